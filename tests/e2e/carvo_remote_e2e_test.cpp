// carvo-remote against a real headless carvo with the simulated QLab and the demo workspace.
#include <csignal>

#include <QCoreApplication>
#include <QProcess>
#include <QTcpServer>
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "support/signal_child.h"

#include <QTemporaryDir>

namespace carvo::e2e {
namespace {

constexpr int answerMs = 10000;

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

class CarvoRemoteEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        QString problem;
        ASSERT_TRUE(carvo.start(demoWorkspace(), {}, &problem)) << problem.toStdString();
    }

    QStringList withPort(QStringList arguments) const {
        return QStringList{QStringLiteral("--port"), QString::number(carvo.port())} + arguments;
    }

    static void launch(QProcess& process, const QStringList& arguments) {
        process.start(QStringLiteral(CARVO_REMOTE_EXECUTABLE), arguments);
    }

    // Runs carvo-remote to its end, keeping the event loop (and so every test client) going.
    static Outcome run(const QStringList& arguments) {
        QProcess process;
        launch(process, arguments);
        Outcome result;
        const bool ended =
            waitUntil([&] { return process.state() == QProcess::NotRunning; }, answerMs);
        EXPECT_TRUE(ended) << arguments.join(u' ').toStdString();
        if (!ended) {
            process.kill();
            process.waitForFinished();
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    CarvoInstance carvo;
};

TEST_F(CarvoRemoteEndToEnd, CuesPrintsTheCatalogueAsATable) {
    const Outcome cues = run(withPort({QStringLiteral("cues")}));
    ASSERT_EQ(cues.exitCode, 0) << cues.err.toStdString();
    const QStringList lines = cues.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("ID ")));
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral("NAME")));
    // Every row puts the name in the header's name column.
    const qsizetype nameColumn = lines[0].indexOf(QStringLiteral("NAME"));
    bool sawWaltz = false;
    for (const QString& row : lines.mid(1)) {
        EXPECT_EQ(row.mid(nameColumn - 2, 2), QStringLiteral("  ")) << row.toStdString();
        if (row.startsWith(QStringLiteral("D-GROUP-WALTZ ")))
            sawWaltz = row.mid(nameColumn) == QStringLiteral("Waltz");
    }
    EXPECT_TRUE(sawWaltz) << cues.out.toStdString();
}

TEST_F(CarvoRemoteEndToEnd, SelectThenJumpPrintsTheServersAnswerUntilTheCounterRuns) {
    TestClient watcher;
    ASSERT_TRUE(watcher.connectTo(carvo.port()));
    const Outcome selection =
        run(withPort({QStringLiteral("select"), QStringLiteral("D-GROUP-WALTZ")}));
    ASSERT_EQ(selection.exitCode, 0) << selection.err.toStdString();
    EXPECT_TRUE(watcher.waitForMessage("REMOTE_SELECTED: D-GROUP-WALTZ", answerMs));

    const Outcome jump = run(withPort({QStringLiteral("jump"), QStringLiteral("5")}));
    ASSERT_EQ(jump.exitCode, 0) << jump.err.toStdString();
    const QStringList lines = jump.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << jump.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("QLAB_SELECTED: D-GROUP-WALTZ"));
    EXPECT_EQ(lines[1], QStringLiteral("BPB: 4"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("BAR: 5.1 "))) << lines[2].toStdString();
}

TEST_F(CarvoRemoteEndToEnd, SelectRefusesAnIDTheServerWouldRefuseWithoutWaiting) {
    // The server refuses a cue ID in which clients would find a server message.
    const Outcome selection =
        run(withPort({QStringLiteral("select"), QStringLiteral("odd BAR: cue")}));
    EXPECT_EQ(selection.exitCode, 2) << selection.err.toStdString();
    EXPECT_TRUE(selection.err.startsWith(QStringLiteral(
        "carvo-remote: select: the cue ID could be read as the server message \"BAR: \"\n")))
        << selection.err.toStdString();
    EXPECT_TRUE(selection.out.isEmpty());
}

TEST_F(CarvoRemoteEndToEnd, RefusedJumpPrintsTheOperatorMessageAndFails) {
    const Outcome jump = run(withPort({QStringLiteral("jump"), QStringLiteral("5")}));
    EXPECT_EQ(jump.exitCode, 1);
    EXPECT_TRUE(jump.err.contains(QStringLiteral("ERROR: no cue selected")))
        << jump.err.toStdString();
}

TEST_F(CarvoRemoteEndToEnd, StopPanicsTheCatalogue) {
    ASSERT_EQ(run(withPort({QStringLiteral("cues")})).exitCode, 0);
    const Outcome stop = run(withPort({QStringLiteral("stop")}));
    EXPECT_EQ(stop.exitCode, 0) << stop.err.toStdString();
    // The stop runs while the server reads it; the transcript shows it once the read is handled.
    EXPECT_TRUE(waitUntil([&] { return carvo.scriptLog().contains(QStringLiteral("panic myCue")); },
                          answerMs));
}

TEST_F(CarvoRemoteEndToEnd, WatchRedrawsThePositionUntilInterrupted) {
    QProcess watch;
    launch(watch, withPort({QStringLiteral("watch")}));
    QString seen;
    auto collect = [&] {
        seen += QString::fromUtf8(watch.readAllStandardOutput());
        return seen;
    };
    // Before any jump the handshake's counter stops at bar 1.
    ASSERT_TRUE(waitUntil([&] { return collect().contains(QStringLiteral("1.1 ")); }, answerMs))
        << seen.toStdString();

    TestClient controller;
    ASSERT_TRUE(controller.connectTo(carvo.port()));
    controller.send("REMOTE_SELECTED: D-GROUP-WALTZ");
    ASSERT_TRUE(controller.waitForMessage("REMOTE_SELECTED: D-GROUP-WALTZ", answerMs));
    controller.send("BAR_REQUEST: 7");
    ASSERT_TRUE(waitUntil([&] { return collect().contains(QStringLiteral("\n7.")); }, answerMs))
        << seen.toStdString();
    const QStringList lines = seen.split(u'\n', Qt::SkipEmptyParts);
    const QString line = *std::find_if(lines.begin(), lines.end(),
                                       [](const QString& l) { return l.startsWith(u'7'); });
    // bar.beat, a progress bar through the bar, and the beats per bar.
    EXPECT_TRUE(line.contains(u'[') && line.contains(u']')) << line.toStdString();
    EXPECT_TRUE(line.endsWith(QStringLiteral("4 beats per bar"))) << line.toStdString();

    testing::signalChild(watch.processId(), SIGINT);
    ASSERT_TRUE(waitUntil([&] { return watch.state() == QProcess::NotRunning; }, answerMs));
    EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(watch.exitCode(), 0);
}

TEST_F(CarvoRemoteEndToEnd, BrowseListsTheAnnouncedServer) {
    const Outcome browse =
        run({QStringLiteral("--browse"), QStringLiteral("--timeout"), QStringLiteral("3")});
    if (browse.err.contains(QStringLiteral("DNS-SD browsing is not available")))
        GTEST_SKIP() << "no mDNS daemon: " << browse.err.toStdString();
    ASSERT_EQ(browse.exitCode, 0) << browse.err.toStdString();
    const QStringList lines = browse.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("NAME ")));
    // Other Carvo servers may be announced too, renamed by the daemon; ours is known by its port.
    const QString port = QStringLiteral("  ") + QString::number(carvo.port());
    EXPECT_TRUE(std::any_of(lines.begin() + 1, lines.end(), [&](const QString& line) {
        return line.startsWith(QStringLiteral("Carvo Server")) && line.endsWith(port);
    })) << browse.out.toStdString();
}

// The demo workspace with the overture's MIDI file replaced by one with rehearsal marks: 32 bars
// of 4/4 at 120, "Intro" at the first bar (numbered 9) and "Letter B" where the fifth begins (13).
class CarvoRemoteMarks : public CarvoRemoteEndToEnd {
protected:
    void SetUp() override {}

    void startWith(const CarvoSettings& settings) {
        ASSERT_TRUE(m_dir.isValid());
        const QString midi = m_dir.filePath(QStringLiteral("marks.mid"));
        ASSERT_TRUE(writeMarksFile(midi));
        const QByteArray workspace = withMIDIFile(demoWorkspace(), midi);
        ASSERT_TRUE(workspace.contains(midi.toUtf8()));
        QString problem;
        ASSERT_TRUE(carvo.start(workspace, settings, &problem)) << problem.toStdString();
        ASSERT_EQ(
            run(withPort({QStringLiteral("select"), QStringLiteral("D-GROUP-OVERTURE")})).exitCode,
            0);
    }

    QTemporaryDir m_dir;
};

TEST_F(CarvoRemoteMarks, JumpToAMarkThenListTheMarksThenAnUnknownMarkFails) {
    startWith({});
    const Outcome jump = run(
        withPort({QStringLiteral("jump"), QStringLiteral("--mark"), QStringLiteral("letter b")}));
    ASSERT_EQ(jump.exitCode, 0) << jump.err.toStdString();
    const QStringList lines = jump.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << jump.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("QLAB_SELECTED: D-GROUP-OVERTURE"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("BAR: 13.1 "))) << lines[2].toStdString();

    const Outcome marks = run(withPort({QStringLiteral("marks")}));
    ASSERT_EQ(marks.exitCode, 0) << marks.err.toStdString();
    EXPECT_EQ(marks.out, QStringLiteral("BAR\tNAME\n9\tIntro\n13\tLetter B\n"));

    const Outcome unknown =
        run(withPort({QStringLiteral("jump"), QStringLiteral("--mark"), QStringLiteral("Coda")}));
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("There is no mark \"Coda\" in this music")))
        << unknown.err.toStdString();
}

TEST_F(CarvoRemoteMarks, APreRollFromTheSettingsCountsTwoBarsIn) {
    CarvoSettings settings;
    settings.texts = {{"preRollBars", QStringLiteral("2")}};
    startWith(settings);
    const Outcome jump = run(withPort({QStringLiteral("jump"), QStringLiteral("13")}));
    ASSERT_EQ(jump.exitCode, 0) << jump.err.toStdString();
    const QStringList lines = jump.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << jump.out.toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("BAR: 11.1 "))) << lines[2].toStdString();
}

TEST(CarvoRemoteMarkArguments, MarkGoesWithJumpAloneAndNeedsText) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral("marks"), QStringLiteral("--mark"), QStringLiteral("A")},
          QStringList{QStringLiteral("jump"), QStringLiteral("17"), QStringLiteral("--mark"),
                      QStringLiteral("A")},
          QStringList{QStringLiteral("jump"), QStringLiteral("--mark"), QString()}}) {
        QProcess process;
        process.start(QStringLiteral(CARVO_REMOTE_EXECUTABLE), arguments);
        ASSERT_TRUE(process.waitForFinished(answerMs));
        EXPECT_EQ(process.exitCode(), 2) << arguments.join(u' ').toStdString();
    }
}

TEST(CarvoRemoteFailures, RefusedConnectionAndBadArgumentsFailClearly) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const QString port = QString::number(closed.serverPort());
    closed.close(); // nothing listens there any more

    QProcess process;
    process.start(QStringLiteral(CARVO_REMOTE_EXECUTABLE),
                  {QStringLiteral("--port"), port, QStringLiteral("cues")});
    ASSERT_TRUE(process.waitForFinished(answerMs));
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError())
                    .contains(QStringLiteral("cannot connect to 127.0.0.1:") + port));

    const QStringList badCommandLines[] = {
        {},
        {QStringLiteral("jump")},
        {QStringLiteral("jump"), QStringLiteral("12 ")},
        {QStringLiteral("jump"), QStringLiteral("1.5")},
        {QStringLiteral("select")},
        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("cues")},
        {QStringLiteral("--port"), QStringLiteral("65536"), QStringLiteral("cues")},
        {QStringLiteral("--port")},
        {QStringLiteral("dance")},
        {QStringLiteral("stop"), QStringLiteral("now")},
        {QStringLiteral("--browse"), QStringLiteral("cues")},
    };
    for (const QStringList& arguments : badCommandLines) {
        process.start(QStringLiteral(CARVO_REMOTE_EXECUTABLE), arguments);
        ASSERT_TRUE(process.waitForFinished(answerMs));
        EXPECT_EQ(process.exitCode(), 2) << arguments.join(u' ').toStdString();
        EXPECT_TRUE(process.readAllStandardError().startsWith("carvo-remote: "))
            << arguments.join(u' ').toStdString();
    }
}

} // namespace
} // namespace carvo::e2e
