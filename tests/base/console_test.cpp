#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStringList>
#include <QTest>
#include <QThread>

#include "base/app_console.h"
#include "base/diagnostics.h"

namespace carvo {
namespace {

constexpr int timeoutMs = 5000;

// The console is one per process and only grows: each test looks at what it added.
class Console : public ::testing::Test {
protected:
    void SetUp() override { before = console().logText().size(); }
    static AppConsole& console() { return AppConsole::shared(); }
    QString added() const { return console().logText().mid(before); }
    bool waitForAdded(qsizetype characters) const {
        return QTest::qWaitFor([&] { return added().size() >= characters; }, timeoutMs);
    }
    qsizetype before = 0;
};

TEST_F(Console, AnEmptyMessageAppendsABareLineFeed) {
    console().log(QString());
    ASSERT_TRUE(waitForAdded(1));
    EXPECT_EQ(added(), QStringLiteral("\n"));
}

TEST_F(Console, LogReturnsAtOnceAndAppliesTheChangeOnTheMainThread) {
    QThread* changedOn = nullptr;
    QObject::connect(&console(), &AppConsole::logTextChanged, &console(),
                     [&] { changedOn = QThread::currentThread(); });
    QSignalSpy changed(&console(), &AppConsole::logTextChanged);
    std::thread([] { AppConsole::shared().log(QStringLiteral("from a worker")); }).join();
    EXPECT_EQ(added(), QString()); // scheduled, not applied by the worker
    ASSERT_TRUE(waitForAdded(14));
    EXPECT_EQ(added(), QStringLiteral("from a worker\n"));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(changedOn, QCoreApplication::instance()->thread());
    QObject::disconnect(&console(), &AppConsole::logTextChanged, &console(), nullptr);
}

TEST_F(Console, TwoLogsFromABackgroundThreadKeepTheirOrder) {
    std::thread([] {
        AppConsole::shared().log(QStringLiteral("first"));
        AppConsole::shared().log(QStringLiteral("second"));
    }).join();
    ASSERT_TRUE(waitForAdded(13));
    EXPECT_EQ(added(), QStringLiteral("first\nsecond\n"));
}

TEST_F(Console, EachThreadsEntriesStayInItsOrderWhenThreadsInterleave) {
    constexpr int perThread = 200;
    std::vector<std::thread> threads;
    for (char name : {'a', 'b', 'c'}) {
        threads.emplace_back([name] {
            for (int i = 0; i < perThread; ++i)
                AppConsole::shared().log(QStringLiteral("%1%2").arg(QLatin1Char(name)).arg(i));
        });
    }
    for (auto& thread : threads)
        thread.join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return added().count(QLatin1Char('\n')) == 3 * perThread; },
                                timeoutMs));
    QStringList entries = added().split(QLatin1Char('\n'));
    EXPECT_EQ(entries.takeLast(), QString()); // every entry ends with its line feed
    for (char name : {'a', 'b', 'c'}) {
        int next = 0;
        for (const auto& entry : entries) {
            if (entry.startsWith(QLatin1Char(name))) {
                EXPECT_EQ(entry.mid(1).toInt(), next) << entry.toStdString();
                ++next;
            }
        }
        EXPECT_EQ(next, perThread);
    }
}

TEST_F(Console, AConsoleLineGoesToStandardOutputAndTheConsole) {
    std::vector<std::string> seen;
    {
        ScopedLineObserver observer([&](const std::string& line) { seen.push_back(line); });
        consoleLine(QStringLiteral("📥 New client connection from: 127.0.0.1:5000"));
        writeLine(QStringLiteral("Server state changed: ready"));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"📥 New client connection from: 127.0.0.1:5000",
                                              "Server state changed: ready"}));
    ASSERT_TRUE(waitForAdded(1));
    EXPECT_EQ(added(), QStringLiteral("📥 New client connection from: 127.0.0.1:5000\n"));
}

TEST_F(Console, WithoutAWindowEveryEntryAlsoReachesStandardOutputOnce) {
    struct Mirrored {
        Mirrored() { AppConsole::setMirroredToStandardOutput(true); }
        ~Mirrored() { AppConsole::setMirroredToStandardOutput(false); }
    };
    std::vector<std::string> seen;
    {
        ScopedLineObserver observer([&](const std::string& line) { seen.push_back(line); });
        {
            const Mirrored headless;
            // A refusal reaches the console alone; a server line the console and the output.
            console().log(
                QStringLiteral("The cue is already running. Please stop the cue and try again"));
            consoleLine(QStringLiteral("✅ Server is ready on 127.0.0.1:54321"));
            std::thread([] { AppConsole::shared().log(QStringLiteral("from a worker")); }).join();
        }
        console().log(QStringLiteral("for the window only"));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "The cue is already running. Please stop the cue and try again",
                        "✅ Server is ready on 127.0.0.1:54321", "from a worker"}));
    ASSERT_TRUE(waitForAdded(1));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return added().endsWith(QStringLiteral("for the window only\n")); }, timeoutMs));
    EXPECT_EQ(added().count(QLatin1Char('\n')), 4);
}

TEST(StandardOutput, LinesFromManyThreadsArriveWhole) {
    constexpr int threads = 4;
    constexpr int perThread = 300;
    std::vector<std::string> seen;
    {
        ScopedLineObserver observer([&](const std::string& line) { seen.push_back(line); });
        std::vector<std::thread> writers;
        for (int t = 0; t < threads; ++t) {
            writers.emplace_back([t] {
                const std::string line(64, static_cast<char>('A' + t));
                for (int i = 0; i < perThread; ++i)
                    writeLine(line);
            });
        }
        for (auto& writer : writers)
            writer.join();
    }
    ASSERT_EQ(seen.size(), static_cast<size_t>(threads * perThread));
    for (const auto& line : seen) {
        ASSERT_EQ(line.size(), 64u);
        EXPECT_EQ(line.find_first_not_of(line[0]), std::string::npos) << line;
    }
}

} // namespace
} // namespace carvo
