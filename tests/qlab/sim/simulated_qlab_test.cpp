// The simulated QLab on its own: its workspace file, what it refuses, the demo workspace, the
// transcript decorator and simultaneous runs from several threads.
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "qlab/qlab_integration.h"
#include "qlab/qlab_test_support.h"
#include "qlab/script_log.h"
#include "qlab/scripts.h"

namespace carvo::testing {
namespace {

using ::testing::HasSubstr;

constexpr const char* tiny =
    R"({ "workspaces": [ { "selected": ["G"], "dialogAnswers": ["21", null],
    "cues": [ { "uniqueID": "G", "type": "Group", "duration": 5,
                "children": [ { "uniqueID": "M", "type": "MIDI File", "fileTarget": "../a b.mid" } ] } ] } ] })";

QString fileText(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return QString::fromUtf8(file.readAll());
}

TEST(SimulatedWorkspace, ReadsTheFileWithItsDefaults) {
    const auto file = workspaceFrom(tiny, QStringLiteral("/shows/today"));
    EXPECT_TRUE(file.running);
    ASSERT_EQ(file.workspaces.size(), 1u);
    const auto& group = file.workspaces[0].cues.at(0);
    EXPECT_DOUBLE_EQ(group.duration, 5.0);
    EXPECT_DOUBLE_EQ(group.children.at(0).duration, 600.0);
    EXPECT_EQ(group.children.at(0).fileTarget, QStringLiteral("/shows/a b.mid"));
    EXPECT_EQ(file.workspaces[0].dialogAnswers,
              (std::deque<std::optional<QString>>{QStringLiteral("21"), std::nullopt}));
}

TEST(SimulatedWorkspace, NamesWhatIsWrongInABrokenFile) {
    const std::vector<std::pair<const char*, const char*>> broken{
        {"[1]", "expected an object"},
        {R"({"running": "yes"})", "running"},
        {R"({"workspaces": [ { "cues": [ { "type": "Group" } ] } ]})",
         "workspaces[0].cues[0].uniqueID"},
        {R"({"workspaces": [ { "cues": [ { "uniqueID": "G", "type": "Group", "children": [ { "uniqueID": "A", "type": 3 } ] } ] } ]})",
         "workspaces[0].cues[0].children[0].type"},
        {R"({"workspaces": [ { "cues": [ { "uniqueID": "G", "type": "Group", "duration": -1 } ] } ]})",
         "duration"},
        {R"({"workspaces": [ { "dialogAnswers": [17] } ]})", "dialogAnswers"},
        {R"({"workspaces": [ { "selected": "G" } ]})", "selected"},
        {R"({"latencyMs": -5})", "latencyMs"},
        {R"({"hang": { "script": "everything" }})", "hang.script"},
        {R"({"hang": { "script": "running", "seconds": "soon" }})", "hang.seconds"},
        {"{", "not JSON"},
    };
    for (const auto& [json, where] : broken) {
        QString problem;
        EXPECT_FALSE(sim::parseWorkspace(QByteArray(json), QStringLiteral("/"), &problem)) << json;
        EXPECT_THAT(problem.toStdString(), HasSubstr(where)) << json;
    }
    QString problem;
    EXPECT_FALSE(sim::loadWorkspaceFile(QStringLiteral("/no/such/workspace.json"), &problem));
    EXPECT_THAT(problem.toStdString(), HasSubstr("/no/such/workspace.json"));
}

TEST(SimulatedWorkspace, ReadsHowSlowQLabIs) {
    const auto slow = workspaceFrom(
        R"({ "latencyMs": 40, "hang": { "script": "running", "cueID": "G1", "seconds": 2.5 } })");
    EXPECT_DOUBLE_EQ(slow.latencyMs, 40.0);
    ASSERT_TRUE(slow.hang);
    EXPECT_EQ(slow.hang->kind, sim::ScriptKind::running);
    EXPECT_EQ(slow.hang->cueID, QStringLiteral("G1"));
    EXPECT_EQ(slow.hang->seconds, 2.5);
    EXPECT_FALSE(workspaceFrom(R"({ "hang": { "script": "load" } })").hang->seconds);

    // The command line's form of the same.
    const auto hang = sim::parseHang(QStringLiteral("files:G-7@12"));
    ASSERT_TRUE(hang);
    EXPECT_EQ(hang->kind, sim::ScriptKind::files);
    EXPECT_EQ(hang->cueID, QStringLiteral("G-7"));
    EXPECT_EQ(hang->seconds, 12.0);
    EXPECT_EQ(sim::parseHang(QStringLiteral("script-cue"))->kind, sim::ScriptKind::scriptCue);
    for (const char* bad : {"", "nothing", "running@", "running@-1", "running@later"}) {
        QString problem;
        EXPECT_FALSE(sim::parseHang(QString::fromLatin1(bad), &problem)) << bad;
        EXPECT_FALSE(problem.isEmpty()) << bad;
    }
}

class SimulatedQLabRunnerTest : public SimulatedQLabTest {
protected:
    void SetUp() override {
        SimulatedQLabTest::SetUp();
        install(tiny);
    }
};

TEST_F(SimulatedQLabRunnerTest, AnswersOnlyTheScriptsCarvoSends) {
    for (const std::string& script :
         {std::string("return 1"), std::string(), scripts::isCueRunning("G") + " ",
          std::string(scripts::checkStatus()).substr(1),
          scripts::getFilesAndStartBar(1, "Remote", 2, "G").replace(0, 4, "TELL"),
          std::string("tell application id \"com.figure53.QLab.5\" to tell front workspace\n    "
                      "set myCue to "
                      "first cue whose uniqueID is \"G\"\n    delete myCue\nend tell")}) {
        const auto outcome = qlab->run(QString::fromStdString(script));
        ASSERT_TRUE(outcome.error) << script;
        EXPECT_EQ(outcome.error->description, QStringLiteral("unsupported script"));
    }
    EXPECT_EQ(qlab->snapshot().workspaces[0].cues.size(), 1u);
    EXPECT_TRUE(qlab->isApplicationRunning(QStringLiteral("com.figure53.QLab.5")));
    EXPECT_FALSE(qlab->isApplicationRunning(QStringLiteral("com.figure53.QLab.4")));
}

TEST_F(SimulatedQLabRunnerTest, TheWorkspacesDialogAnswersComeFirst) {
    responder->queue(QStringLiteral("99"));
    EXPECT_EQ(answerText(bridge().getFilesAndStartBar(3, RequestSource::qlab, 3, {})),
              QStringLiteral("/a b.mid, 21, 1, G")); // empty notes: offset 1
    EXPECT_EQ(answerText(bridge().getFilesAndStartBar(3, RequestSource::qlab, 3, {})),
              QStringLiteral("Error"));
    EXPECT_TRUE(responder->seen().empty());
    EXPECT_EQ(answerText(bridge().getFilesAndStartBar(3, RequestSource::qlab, 3, {})),
              QStringLiteral("/a b.mid, 99, 1, G"));
}

TEST_F(SimulatedQLabRunnerTest, AStartedCueRunsForItsDurationThenCanStartAgain) {
    bridge().sendLoadTimeAndStartQLab(QStringLiteral("G"), 0.0f);
    clock->advance(5.0);
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G")));
    bridge().sendLoadTimeAndStartQLab(QStringLiteral("G"), 4.0f);
    EXPECT_TRUE(bridge().isCueRunning(QStringLiteral("G")));
    // Loaded at or past its end, a cue is over as soon as it starts.
    bridge().sendLoadTimeAndStartQLab(QStringLiteral("G"), 7.0f);
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G")));
}

// The bar counter asks from the pool while the main thread loads and starts.
TEST_F(SimulatedQLabRunnerTest, RunsFromSeveralThreadsAtOnce) {
    bridge().setCueInfos({{QStringLiteral("G"), QStringLiteral("Group")}});
    std::atomic<int> answered{0};
    for (int i = 0; i < 200; ++i)
        QThreadPool::globalInstance()->start([&answered, check = bridge().runningCheck()] {
            check(QStringLiteral("G"));
            ++answered;
        });
    for (int i = 0; i < 50; ++i) {
        bridge().sendLoadTimeAndStartQLab(QStringLiteral("G"), 1.0f);
        bridge().panicGroupCues();
    }
    settle();
    EXPECT_EQ(answered.load(), 200);
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G"))); // the last panic stopped it
}

TEST_F(SimulatedQLabRunnerTest, TheTranscriptRecordsEveryRunWithItsOutcome) {
    QTemporaryDir folder;
    const auto path = folder.filePath(QStringLiteral("scripts.log"));
    useRunner(std::make_shared<ScriptLogRunner>(qlab, path));
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G")));
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("nobody")));
    bridge().getValidGroupCues(CatalogueSource::cueList); // no Carvo cue: status only

    const auto transcript = fileText(path);
    const auto running = QString::fromStdString(scripts::isCueRunning("G"));
    const auto at = transcript.indexOf(running);
    ASSERT_GE(at, 0);
    const QString outcome = QStringLiteral("\n==== result\n\"false\"\n==== script run ");
    EXPECT_EQ(transcript.mid(at + running.size(), outcome.size()), outcome);
    EXPECT_THAT(transcript.toStdString(),
                HasSubstr("==== error\nQLab got an error: Can’t get cue"));
    EXPECT_THAT(transcript.toStdString(), HasSubstr("==== result\n\"workspace no cue\""));
    EXPECT_EQ(transcript.count(QStringLiteral("==== script run ")), 3);
}

TEST_F(SimulatedQLabRunnerTest, EveryAnswerComesAsLateAsTheLatencySays) {
    qlab->change([](sim::WorkspaceFile& file) { file.latencyMs = 40.0; });
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G")));
    bridge().checkQLabStatus(); // the status script; the running-application question is no script
    bridge().sendLoadTimeAndStartQLab(QStringLiteral("G"), 1.0f); // then "delay 0.0" in QLab
    EXPECT_EQ(clock->slept(), (std::vector<double>{0.04, 0.04, 0.04, 0.0}));
}

TEST_F(SimulatedQLabRunnerTest, AHungKindOfScriptAnswersWhenTheHangIsLifted) {
    qlab->change([](sim::WorkspaceFile& file) {
        file.hang = sim::Hang{sim::ScriptKind::running, QStringLiteral("G"), std::nullopt};
    });
    std::promise<std::optional<bool>> answer;
    auto answered = answer.get_future();
    std::thread asking([&answer, check = bridge().runningCheck()] {
        answer.set_value(check(QStringLiteral("G")));
    });
    // Other scripts, and the same question for another cue, still answer.
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::runningWithWorkspace);
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("other")));
    EXPECT_EQ(answered.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);

    qlab->change([](sim::WorkspaceFile& file) { file.hang.reset(); });
    ASSERT_EQ(answered.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(answered.get(), std::optional<bool>(false));
    asking.join();
}

TEST_F(SimulatedQLabRunnerTest, AHangWithSecondsAnswersLateAndEndHangsFreesEveryone) {
    qlab->change([](sim::WorkspaceFile& file) {
        file.hang = sim::Hang{sim::ScriptKind::status, {}, 0.3};
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::runningWithWorkspace);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));

    qlab->change([](sim::WorkspaceFile& file) {
        file.hang = sim::Hang{sim::ScriptKind::elapsed, {}, std::nullopt};
    });
    std::promise<std::optional<bool>> answer;
    auto answered = answer.get_future();
    std::thread asking(
        [&] { answer.set_value(bridge().isCueElapsedOverOneSecond(QStringLiteral("G"))); });
    EXPECT_EQ(answered.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    qlab->endHangs(); // as the application does when it quits
    EXPECT_EQ(answered.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    asking.join();
    EXPECT_FALSE(bridge().isCueElapsedOverOneSecond(QStringLiteral("G"))); // never again held
}

TEST(DemoWorkspace, OffersWhatTheDemoNeeds) {
    QString problem;
    auto workspace =
        sim::loadWorkspaceFile(QStringLiteral(CARVO_DEMO_DIR "/workspace.json"), &problem);
    ASSERT_TRUE(workspace) << problem.toStdString();
    QTemporaryDir settingsFolder;
    const Settings settings(settingsFolder.path());
    QStringList sent;
    RecordingBroadcaster broadcaster(sent);
    QLabIntegration bridge(std::make_shared<sim::SimulatedQLab>(std::move(*workspace)), broadcaster,
                           settings);
    EXPECT_EQ(bridge.checkQLabStatus(), QLabState::runningWithCarvoCue);
    bridge.getValidGroupCues(CatalogueSource::cueList);
    const auto catalogue = bridge.cueInfos();
    ASSERT_GE(catalogue.size(), 2);
    const auto midi =
        answerText(bridge.getFilesAndStartBar(1, RequestSource::chase, 1, catalogue[0].id));
    EXPECT_EQ(midi, QStringLiteral(CARVO_DEMO_DIR "/overture.mid, 9, 9, ") + catalogue[0].id);
    const auto memo =
        answerText(bridge.getFilesAndStartBar(1, RequestSource::remote, 5, catalogue[1].id));
    EXPECT_EQ(memo, QStringLiteral("5,  120,  4,  4, 1, ") + catalogue[1].id);
}

} // namespace
} // namespace carvo::testing
