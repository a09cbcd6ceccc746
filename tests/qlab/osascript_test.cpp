// The macOS runner: reading osascript's -ss output, and running a stand-in osascript program.
#include <future>
#include <vector>

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include "base/quit_signals.h"
#include "qlab/osascript_runner.h"

namespace carvo {
namespace {

ScriptDescriptor text(const char* value) {
    return ScriptDescriptor::fromText(QString::fromUtf8(value));
}

ScriptDescriptor parsed(const char* output) {
    const auto result = parseOsascriptOutput(QString::fromUtf8(output));
    EXPECT_FALSE(result.problem) << output << ": " << result.problem->toStdString();
    EXPECT_TRUE(result.result) << output;
    return result.result.value_or(ScriptDescriptor{});
}

TEST(OsascriptOutput, QuotedStringsLoseTheirEscapes) {
    EXPECT_EQ(parsed(R"("/Users/me/Music/over ture.mid, 17, 9, 4F2A")"
                     "\n"),
              text("/Users/me/Music/over ture.mid, 17, 9, 4F2A"));
    EXPECT_EQ(parsed(R"("say \"hi\" \\ back\nslash\t")"), text("say \"hi\" \\ back\nslash\t"));
    EXPECT_EQ(parsed(R"("")"), text(""));
    EXPECT_EQ(parsed(R"("{not, a list}")"), text("{not, a list}"));
}

TEST(OsascriptOutput, ListsNestAndMayBeEmpty) {
    EXPECT_EQ(parsed("{}"), ScriptDescriptor::list({}));
    EXPECT_EQ(parsed(R"({{"G1", "Overture"}, {"G2", "Waltz, \"slow\""}, {}})"),
              ScriptDescriptor::list({ScriptDescriptor::list({text("G1"), text("Overture")}),
                                      ScriptDescriptor::list({text("G2"), text("Waltz, \"slow\"")}),
                                      ScriptDescriptor::list({})}));
    EXPECT_EQ(parsed("{ 1 ,true,-2.5E+3 }"),
              ScriptDescriptor::list({text("1"), text("true"), text("-2.5E+3")}));
}

TEST(OsascriptOutput, BareValuesRecordsAndMissingValue) {
    EXPECT_EQ(parsed("true\n"), text("true"));
    EXPECT_EQ(parsed("missing value"), ScriptDescriptor{});
    EXPECT_EQ(parsed(R"(cue id "A, B" of workspace id "W" of application "QLab")"),
              text(R"(cue id "A, B" of workspace id "W" of application "QLab")"));
    EXPECT_EQ(parsed("«class ABCD»"), text("«class ABCD»"));
    const auto record = parsed(R"({button returned:"OK", |odd: key|:3})");
    EXPECT_FALSE(record.isList);
    EXPECT_EQ(record.items, (QList<ScriptDescriptor>{text("OK"), text("3")}));
}

TEST(OsascriptOutput, EmptyOutputIsNoResult) {
    const auto result = parseOsascriptOutput(QStringLiteral("\n"));
    EXPECT_FALSE(result.result);
    EXPECT_FALSE(result.problem);
}

TEST(OsascriptOutput, MalformedOutputIsAProblemNotAGuess) {
    for (const char* bad : {R"("unterminated)", R"({"a", "b")", R"({"a" "b"})", R"("a" tail)",
                            "{,}", "{1,}", R"("ends in \)", "«class ABCD", "}"}) {
        const auto result = parseOsascriptOutput(QString::fromUtf8(bad));
        EXPECT_TRUE(result.problem) << bad;
        EXPECT_FALSE(result.result) << bad;
    }
    const auto deep = parseOsascriptOutput(QString(100000, u'{') + QString(100000, u'}'));
    EXPECT_TRUE(deep.problem);
}

// Running, and not a zombie that nobody has reaped yet.
bool isAlive(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray fields = stat.readAll();
    const qsizetype close = fields.lastIndexOf(')');
    return close >= 0 && close + 2 < fields.size() && fields.at(close + 2) != 'Z';
}

class OsascriptRunnerTest : public ::testing::Test {
protected:
    OsascriptRunner runner{QStringLiteral(CARVO_QLAB_TEST_DATA "/fake-osascript")};
};

TEST_F(OsascriptRunnerTest, SendsTheWholeScriptOnStandardInput) {
    const QString script =
        QStringLiteral("tell application \"QLab\"\n  \\ ünïcødé\nend tell -- echo");
    const auto outcome = runner.run(script);
    EXPECT_FALSE(outcome.error);
    EXPECT_EQ(outcome.resultText(), script);
}

TEST_F(OsascriptRunnerTest, ReadsResultsAndNoResult) {
    const auto list = runner.run(QStringLiteral("-- reply: {{\"G1\", \"Over\"}}"));
    ASSERT_TRUE(list.result);
    EXPECT_TRUE(list.result->isList);
    EXPECT_EQ(list.result->items.at(0).items.at(1).text, QStringLiteral("Over"));
    EXPECT_EQ(runner.run(QStringLiteral("-- reply: true")).resultText(), QStringLiteral("true"));
    const auto none = runner.run(QStringLiteral("delay 0"));
    EXPECT_FALSE(none.error);
    EXPECT_FALSE(none.result);
}

TEST_F(OsascriptRunnerTest, FailuresBecomeErrorsWithTheirDescription) {
    const auto failed =
        runner.run(QStringLiteral("-- fail: 12:20: execution error: User canceled. (-128)"));
    ASSERT_TRUE(failed.error);
    EXPECT_EQ(failed.error->description,
              QStringLiteral("12:20: execution error: User canceled. (-128)"));
    EXPECT_FALSE(failed.result);

    const auto garbled = runner.run(QStringLiteral("-- reply: {\"open"));
    ASSERT_TRUE(garbled.error);
    EXPECT_TRUE(
        garbled.error->description.startsWith(QStringLiteral("unreadable osascript result")));

    OsascriptRunner missing(QStringLiteral(CARVO_QLAB_TEST_DATA "/no-such-program"));
    EXPECT_TRUE(missing.run(QStringLiteral("return 1")).error);
    EXPECT_FALSE(missing.isApplicationRunning(QStringLiteral("com.figure53.QLab.5")));
}

TEST_F(OsascriptRunnerTest, RunsFromSeveralThreadsAtOnce) {
    std::vector<std::future<ScriptOutcome>> runs;
    for (int i = 0; i < 6; ++i)
        runs.push_back(std::async(std::launch::async, [this, i] {
            return runner.run(QStringLiteral("-- reply: \"%1\"").arg(i));
        }));
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(runs[static_cast<std::size_t>(i)].get().resultText(), QString::number(i));
}

// In a child process of its own (a quit signal marks the whole process as quitting): a script
// that never answers holds the runner until SIGTERM comes; the signal's watcher kills the
// osascript process, the run returns an error, and nothing of it outlives the signal.
TEST_F(OsascriptRunnerTest, AQuitSignalAbandonsAScriptThatNeverAnswers) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString pidFile = folder.filePath(QStringLiteral("osascript.pid"));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const QuitSignals quit({});
        const auto outcome = runner.run(QStringLiteral("delay 1000 -- hang: ") + pidFile);
        _exit(outcome.error && quitRequested() ? 0 : 1);
    }

    QElapsedTimer clock;
    clock.start();
    QFile file(pidFile);
    while (!(file.exists() && file.size() > 0) && clock.elapsed() < 10'000)
        QThread::msleep(10);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the stand-in osascript never started";
    const pid_t osascript = static_cast<pid_t>(file.readAll().trimmed().toLongLong());
    ASSERT_GT(osascript, 0);

    clock.restart();
    ASSERT_EQ(::kill(child, SIGTERM), 0);
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && clock.elapsed() < 10'000)
        QThread::msleep(10);
    if (ended == 0)
        ::kill(child, SIGKILL);
    ASSERT_EQ(ended, child) << "the runner still waited 10 s after the signal";
    // The bound a show needs is 2 s; a loaded machine gets some slack.
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    // The stand-in ignored SIGTERM: only the watcher's SIGKILL ended it.
    while (isAlive(osascript) && clock.elapsed() < 10'000)
        QThread::msleep(10);
    EXPECT_FALSE(isAlive(osascript)) << "the osascript process outlived the signal";
    ::kill(osascript, SIGKILL);
}

} // namespace
} // namespace carvo
