// The bridge's operations end to end through the simulated QLab: what each returns, what reaches
// the console, the clients and standard output, and what QLab does.
#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

#include <QThreadPool>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qlab/qlab_integration.h"
#include "qlab_test_support.h"

namespace carvo::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Usable groups: G1 (MIDI File child), G2 (audio + memo), G5 (MIDI File child, nested in G4),
// G6 (a MIDI File child after a memo). Not usable: G3 (audio only), G4 (its MIDI File cue is a
// grandchild), G7/G8 (memo without audio), G9 (memo without audio).
constexpr const char* show =
    R"({ "running": true, "workspaces": [ { "name": "Show", "selected": ["G1"],
  "cues": [
    { "uniqueID": "C1", "number": "Carvo", "name": "Carvo Script", "type": "Script" },
    { "uniqueID": "G1", "number": "1", "name": "Overture", "type": "Group", "duration": 240.0,
      "children": [ { "uniqueID": "M1", "type": "MIDI File", "notes": "9", "fileTarget": "music/overture.mid" },
                    { "uniqueID": "A1", "type": "Audio" } ] },
    { "uniqueID": "G2", "name": "Waltz", "type": "group",
      "children": [ { "uniqueID": "A2", "type": "Audio" }, { "uniqueID": "N2", "type": "Memo", "notes": "1, 120, 4, 4" } ] },
    { "uniqueID": "G3", "name": "Tail", "type": "Group", "children": [ { "uniqueID": "A3", "type": "Audio" } ] },
    { "uniqueID": "G4", "name": "Outer", "type": "Group", "children": [
        { "uniqueID": "G5", "name": "Inner", "type": "Group",
          "children": [ { "uniqueID": "M5", "type": "MIDI File", "fileTarget": "/abs/inner.mid" } ] } ] },
    { "uniqueID": "G6", "name": "Memo first", "type": "Group", "children": [
        { "uniqueID": "N6", "type": "memo", "notes": "5,90,3,4" },
        { "uniqueID": "M6", "type": "MIDI File", "notes": "2", "fileTarget": "x.mid" } ] },
    { "uniqueID": "G7", "name": "Three", "type": "Group", "children": [ { "uniqueID": "N7", "type": "Memo", "notes": "1, 120, 4" } ] },
    { "uniqueID": "G8", "name": "Five", "type": "Group", "children": [ { "uniqueID": "N8", "type": "Memo", "notes": "1,2,3,4,5" } ] },
    { "uniqueID": "G9", "name": "No offset", "type": "Group", "children": [ { "uniqueID": "N9", "type": "Memo", "notes": ",120,4,4" } ] },
    { "uniqueID": "C2", "number": "carvo", "name": "Second Carvo", "type": "Script" }
  ] } ] })";

const QString memoFormatError = QStringLiteral(
    "ERROR: Please make the notes of the memo cue in the format 'first bar of the score, tempo, "
    "numerator, denominator'");

class BridgeTest : public SimulatedQLabTest {
protected:
    void SetUp() override {
        SimulatedQLabTest::SetUp();
        install(show);
        bridge().setCueInfos({});
    }
    QString files(const char* source, const char* id, qint64 bar = 17) {
        return answerText(
            bridge().getFilesAndStartBar(12, sourceNamed(source), bar, QString::fromUtf8(id)));
    }
    sim::Cue cue(const QString& id) {
        sim::Cue found;
        const auto model = qlab->snapshot();
        for (const auto& top : model.workspaces.front().cues) {
            if (top.uniqueID == id)
                found = top;
            for (const auto& child : top.children)
                if (child.uniqueID == id)
                    found = child;
        }
        return found;
    }
    bool linesStartingWith(const char* prefix, std::size_t count) {
        std::lock_guard lock(linesMutex);
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
                   return line.starts_with(prefix);
               }) == static_cast<std::ptrdiff_t>(count);
    }
};

TEST_F(BridgeTest, GetFilesAnswersTheMIDIAndTheMemoForm) {
    EXPECT_EQ(files("Remote", "G1"), QStringLiteral("/shows/music/overture.mid, 17, 9, G1"));
    // text items keep the blank after each comma; the offset is the first item, "1".
    EXPECT_EQ(files("Remote", "G2"), QStringLiteral("17,  120,  4,  4, 1, G2"));
    // The first matching child decides, even with a MIDI File cue after it.
    EXPECT_EQ(files("Remote", "G6", -4), QStringLiteral("-4, 90, 3, 4, 5, G6"));
    // A chase starts at the offset; AppleScript compares the source ignoring case.
    EXPECT_EQ(files("chase", "g1"), QStringLiteral("/shows/music/overture.mid, 9, 9, G1"));
    EXPECT_THAT(sent, IsEmpty());
}

TEST_F(BridgeTest, TheOperatorTypesTheBarIntoQLabsDialog) {
    responder->queue(QStringLiteral("33"));
    EXPECT_EQ(files("QLab", "ignored"), QStringLiteral("/shows/music/overture.mid, 33, 9, G1"));
    const auto dialogs = responder->seen();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].text, QStringLiteral("Enter bar number."));
    EXPECT_EQ(dialogs[0].title, QStringLiteral("Brisvale"));
    EXPECT_EQ(dialogs[0].defaultAnswer, QStringLiteral("12"));
}

TEST_F(BridgeTest, CancelInTheBarDialogIsErrorAfterOneErrorLine) {
    responder->queue(std::nullopt);
    EXPECT_EQ(files("QLab", ""), QStringLiteral("Error"));
    EXPECT_TRUE(linesStartingWith("AppleScript error from Get Files and Start Bar: ", 1));
    EXPECT_THAT(consoleLines(), IsEmpty());
    EXPECT_THAT(sent, IsEmpty());
}

TEST_F(BridgeTest, EveryErrorAnswerReachesConsoleClientsAndAQLabDialog) {
    qlab->change([](sim::WorkspaceFile& file) { file.workspaces.front().selected.clear(); });
    const std::vector<std::tuple<const char*, const char*, QString>> cases{
        {"QLab", "G1", QStringLiteral("ERROR: no cue selected")},
        {"Remote", "nobody", QStringLiteral("ERROR: no cue selected")},
        {"Remote", "M1", QStringLiteral("ERROR: Selected cue is not a group")},
        {"Remote", "G3", QStringLiteral("ERROR: Cannot find MIDI File or Memo Cue in the Group")},
        {"Remote", "G7", memoFormatError},
        {"Chase", "G8", memoFormatError},
    };
    QStringList expected;
    for (const auto& [source, cue, message] : cases) {
        EXPECT_EQ(files(source, cue), QStringLiteral("Script failed")) << message.toStdString();
        expected << message;
        // The operator dismisses each dialog before the next error: one dialog at a time.
        ASSERT_TRUE(QLabIntegration::waitForMessageDialogs(5000));
    }
    EXPECT_EQ(consoleLines(), expected);
    EXPECT_EQ(sent, expected);
    QStringList dialogs;
    for (const auto& dialog : responder->seen()) {
        EXPECT_EQ(dialog.title, QStringLiteral("Carvo"));
        dialogs << dialog.text;
    }
    EXPECT_EQ(dialogs, expected);
}

TEST_F(BridgeTest, FixedAnswersWithoutAUsableResult) {
    // "set myOffset to 1" makes a number; a number before & builds a list, which has no text.
    EXPECT_EQ(files("Chase", "G9"), QStringLiteral("No Result"));
    useRunner(nullptr);
    EXPECT_EQ(files("Remote", "G1"), QStringLiteral("Script failed"));
}

TEST_F(BridgeTest, DisplayQLabMessageNeverWaitsForTheDialog) {
    std::promise<void> release;
    auto released = release.get_future().share();
    struct HeldResponder : sim::DialogResponder {
        std::shared_future<void> until;
        std::atomic<bool> answered{false};
        std::optional<QString> respond(const sim::DialogRequest&) override {
            until.wait_for(std::chrono::seconds(5));
            answered = true;
            return std::nullopt; // Cancel
        }
    };
    auto held = std::make_shared<HeldResponder>();
    held->until = released;
    qlab->setDialogResponder(held);

    bridge().displayQLabMessage(
        QStringLiteral("The cue is already running. Please stop the cue and try again"));
    EXPECT_FALSE(held->answered);
    EXPECT_EQ(sent, QStringList{QStringLiteral(
                        "The cue is already running. Please stop the cue and try again")});
    release.set_value();
    EXPECT_THAT(consoleLines(),
                ElementsAre(QStringLiteral(
                    "The cue is already running. Please stop the cue and try again")));
    EXPECT_TRUE(linesStartingWith("AppleScript error from display qlab message: ", 1));
}

TEST_F(BridgeTest, OpenDialogsLeaveTheGlobalPoolToTheCountersRunningChecks) {
    // Dialogs that wait for OK must not take the threads the bar counter asks QLab from, and a
    // flood of refusals opens one dialog at a time: the newest waiting text is shown next.
    struct HeldResponder : sim::DialogResponder {
        std::mutex mutex;
        std::condition_variable changed;
        bool released = false;
        int open = 0;
        int mostOpen = 0;
        QStringList shown;
        std::optional<QString> respond(const sim::DialogRequest& request) override {
            std::unique_lock lock(mutex);
            shown << request.text;
            mostOpen = std::max(mostOpen, ++open);
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(10), [this] { return released; });
            --open;
            changed.notify_all();
            return QStringLiteral("OK");
        }
    };
    auto held = std::make_shared<HeldResponder>();
    qlab->setDialogResponder(held);

    const int messages = 400;
    for (int i = 0; i < messages; ++i)
        bridge().displayQLabMessage(QStringLiteral("The bar number is out of range ") +
                                    QString::number(i));
    {
        std::unique_lock lock(held->mutex);
        ASSERT_TRUE(
            held->changed.wait_for(lock, std::chrono::seconds(5), [&] { return held->open == 1; }));
    }

    std::promise<void> checked;
    auto done = checked.get_future();
    QThreadPool::globalInstance()->start([&checked] { checked.set_value(); });
    EXPECT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready);

    {
        std::unique_lock lock(held->mutex);
        held->released = true;
        held->changed.notify_all();
    }
    ASSERT_TRUE(QLabIntegration::waitForMessageDialogs(5000));
    std::unique_lock lock(held->mutex);
    EXPECT_EQ(held->mostOpen, 1);
    EXPECT_EQ(held->shown, (QStringList{QStringLiteral("The bar number is out of range 0"),
                                        QStringLiteral("The bar number is out of range 399")}));
    lock.unlock();
    // The console and the clients still get every message.
    EXPECT_EQ(consoleLines().size(), messages);
    EXPECT_EQ(sent.size(), messages);
}

TEST_F(BridgeTest, LoadAndStartReadsTheSettingsAfreshAndRunsTheCue) {
    bridge(); // created before the settings change below
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G1")));

    settings.setStandby(true);
    bridge().sendLoadTimeAndStartQLab(QStringLiteral("G1"), 30.5f);
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G1")));
    EXPECT_DOUBLE_EQ(cue(QStringLiteral("G1")).loadedTime, 30.5);

    settings.setStandby(false);
    settings.setPreWait(2.5);
    bridge().sendLoadTimeAndStartQLab(QStringLiteral("G1"), 200.0f);
    EXPECT_EQ(clock->slept(), std::vector<double>{2.5});
    EXPECT_TRUE(bridge().isCueRunning(QStringLiteral("G1")));
    EXPECT_TRUE(bridge().isCueElapsedOverOneSecond(QStringLiteral("G1")));

    // Loaded at 200 s of a 240 s group: it runs 40 s, then stops.
    clock->advance(39.5);
    EXPECT_TRUE(bridge().isCueRunning(QStringLiteral("G1")));
    clock->advance(1.0);
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G1")));
    EXPECT_FALSE(bridge().isCueElapsedOverOneSecond(QStringLiteral("G1")));
}

TEST_F(BridgeTest, ElapsedPassesOneSecondOnlyAfterASecondOfPlay) {
    bridge().sendLoadTimeAndStartQLab(QStringLiteral("G2"), 0.0f);
    EXPECT_TRUE(bridge().isCueRunning(QStringLiteral("G2")));
    clock->advance(0.9);
    EXPECT_FALSE(bridge().isCueElapsedOverOneSecond(QStringLiteral("G2")));
    clock->advance(0.2);
    EXPECT_TRUE(bridge().isCueElapsedOverOneSecond(QStringLiteral("G2")));
    // Default duration of 600 s.
    clock->advance(598.8);
    EXPECT_TRUE(bridge().isCueRunning(QStringLiteral("G2")));
    clock->advance(0.2);
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G2")));
}

TEST_F(BridgeTest, FailedLoadsAreReportedOnStandardOutputOnly) {
    bridge().sendLoadTimeAndStartQLab(QStringLiteral("unknown"), 1.0f);
    EXPECT_TRUE(linesStartingWith("AppleScript error from Send Load Time and Start Qlab: ", 1));
    // A bar time that is no number never reaches QLab: Carvo shows its own dialog.
    bridge().sendLoadTimeAndStartQLab(QStringLiteral("G1"), std::numeric_limits<float>::infinity());
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G1")));
    ASSERT_EQ(responder->seen().size(), 1u);
    EXPECT_EQ(responder->seen()[0].text,
              QStringLiteral("There has been an error. Is Carvo Running?"));
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("unknown")));
    EXPECT_THAT(consoleLines(), IsEmpty());
}

TEST_F(BridgeTest, AHostileCueIDIsOnlyEverAnID) {
    const QString hostile = QStringLiteral("X\" then delete every cue --");
    qlab->change(
        [&](sim::WorkspaceFile& file) { file.workspaces.front().cues.front().uniqueID = hostile; });
    bridge().sendLoadTimeAndStartQLab(hostile, 0.0f);
    EXPECT_TRUE(bridge().isCueRunning(hostile));
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("X")));
    EXPECT_EQ(qlab->snapshot().workspaces.front().cues.size(), 10u);
}

TEST_F(BridgeTest, PanicStopsEveryCataloguedCue) {
    for (const char* id : {"G1", "G2", "G3"})
        bridge().sendLoadTimeAndStartQLab(QString::fromUtf8(id), 0.0f);
    bridge().panicGroupCues(); // empty catalogue: nothing happens
    EXPECT_TRUE(bridge().isCueRunning(QStringLiteral("G1")));

    bridge().setCueInfos({{QStringLiteral("G1"), {}}, {QStringLiteral("G2"), {}}});
    bridge().panicGroupCues();
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G1")));
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G2")));
    EXPECT_TRUE(bridge().isCueRunning(QStringLiteral("G3")));
    std::lock_guard lock(linesMutex);
    EXPECT_THAT(lines, IsEmpty());
}

TEST_F(BridgeTest, StatusFollowsQLabAndItsWorkspace) {
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::runningWithCarvoCue);
    qlab->change([](sim::WorkspaceFile& file) {
        auto& cues = file.workspaces.front().cues;
        cues.erase(cues.begin());
        cues.pop_back();
    });
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::runningWithWorkspace);
    qlab->change([](sim::WorkspaceFile& file) { file.workspaces.clear(); });
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::runningNoWorkspace);
    qlab->change([](sim::WorkspaceFile& file) { file.running = false; });
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::notRunning);
}

TEST_F(BridgeTest, CatalogueTakesUsableGroupsAndSendsThemForNetworkOnly) {
    const QList<CueInfo> usable{{QStringLiteral("G1"), QStringLiteral("Overture")},
                                {QStringLiteral("G2"), QStringLiteral("Waltz")},
                                {QStringLiteral("G5"), QStringLiteral("Inner")},
                                {QStringLiteral("G6"), QStringLiteral("Memo first")}};
    bridge().getValidGroupCues(CatalogueSource::cueList);
    EXPECT_EQ(bridge().cueInfos(), usable);
    EXPECT_THAT(sent, IsEmpty());

    bridge().setCueInfos({});
    bridge().getValidGroupCues(CatalogueSource::network);
    EXPECT_EQ(bridge().cueInfos(), usable);
    ASSERT_EQ(sent.size(), 1);
    ASSERT_TRUE(sent[0].startsWith(QStringLiteral("GROUP_CUES: [{")));
    EXPECT_EQ(decodeCueInfos(sent[0].mid(12).toUtf8()), usable);
    EXPECT_FALSE(sent[0].contains(u'\n'));
}

TEST_F(BridgeTest, CatalogueStaysWhenQLabIsNotReadyOrOffersNothing) {
    const QList<CueInfo> previous{{QStringLiteral("OLD"), QStringLiteral("Previous")}};
    bridge().setCueInfos(previous);
    qlab->change([](sim::WorkspaceFile& file) { // groups, but no Carvo cue
        auto& cues = file.workspaces.front().cues;
        cues.erase(cues.begin());
        cues.pop_back();
    });
    bridge().getValidGroupCues(CatalogueSource::network);
    install(
        R"({ "workspaces": [ { "cues": [ { "uniqueID": "C", "number": "Carvo", "type": "Script" },
        { "uniqueID": "G", "type": "Group", "children": [ { "uniqueID": "A", "type": "Audio" } ] } ] } ] })");
    bridge().getValidGroupCues(CatalogueSource::network);
    qlab->change([](sim::WorkspaceFile& file) { file.running = false; });
    bridge().getValidGroupCues(CatalogueSource::network);
    EXPECT_EQ(bridge().cueInfos(), previous);
    EXPECT_THAT(sent, IsEmpty());
}

TEST_F(BridgeTest, ResetDeletesOnlyTheFirstCarvoCueAndMakesANewOne) {
    bridge().resetCarvoCue();
    const auto cues = qlab->snapshot().workspaces.front().cues;
    ASSERT_EQ(cues.size(), 10u);
    EXPECT_EQ(cues.front().uniqueID, QStringLiteral("G1")); // C1 is gone
    EXPECT_EQ(cues[cues.size() - 2].uniqueID, QStringLiteral("C2"));
    const auto& made = cues.back();
    EXPECT_EQ(made.type, QStringLiteral("Script"));
    EXPECT_EQ(made.number, QStringLiteral("Carvo"));
    EXPECT_EQ(made.name, QStringLiteral("Carvo Script - created by Carvo App"));
    EXPECT_EQ(made.scriptSource, QStringLiteral("tell application \"Carvo\" to run Carvo"));
    ASSERT_EQ(responder->seen().size(), 1u);
    EXPECT_EQ(responder->seen()[0].text,
              QStringLiteral("Carvo Cue has been reset - please give it a hotkey trigger!"));
}

TEST_F(BridgeTest, ChaseCuesAccumulateWithTheirChaseScript) {
    bridge().makeChaseCue();
    bridge().makeChaseCue();
    const auto cues = qlab->snapshot().workspaces.front().cues;
    ASSERT_EQ(cues.size(), 12u);
    for (const auto& made : {cues[10], cues[11]}) {
        EXPECT_EQ(made.name, QStringLiteral("Carvo Chase - put me in your playback group"));
        EXPECT_TRUE(made.number.isEmpty());
        EXPECT_TRUE(made.scriptSource.startsWith(
            QStringLiteral("tell application \"QLab\" to tell front workspace\n")));
        EXPECT_TRUE(made.scriptSource.endsWith(
            QStringLiteral("chase Carvo cue ID myID\n        end tell")));
    }
    EXPECT_NE(cues[10].uniqueID, cues[11].uniqueID);
}

TEST_F(BridgeTest, ScriptCuesNeedQLabAndAWorkspace) {
    qlab->change([](sim::WorkspaceFile& file) { file.workspaces.clear(); });
    bridge().resetCarvoCue();
    qlab->change([](sim::WorkspaceFile& file) { file.running = false; });
    bridge().makeChaseCue();
    EXPECT_THAT(consoleLines(), ElementsAre(QStringLiteral("No Qlab workspapce open"),
                                            QStringLiteral("Qlab is not running")));
}

TEST(QLabStateText, ParsesExactlyTheFiveDisplayTexts) {
    for (const auto state :
         {QLabState::notRunning, QLabState::runningNoWorkspace, QLabState::runningWithWorkspace,
          QLabState::runningWithCarvoCue, QLabState::waitingToCheck})
        EXPECT_EQ(qlabStateFromText(qlabStateText(state)), state);
    EXPECT_EQ(qlabStateText(QLabState::runningWithWorkspace),
              QStringLiteral("QLab is running (workspace found but no Carvo cue)"));
    EXPECT_FALSE(qlabStateFromText(QStringLiteral("QLab is not running ")));
    EXPECT_FALSE(qlabStateFromText(QStringLiteral("qlab is not running")));
    EXPECT_FALSE(decodeCueInfos(R"([{"id":"G1"}])"));
}

} // namespace
} // namespace carvo::testing

namespace carvo::testing {
namespace {

// A runner whose answers the test sets, for outcomes the simulated QLab never gives.
struct CannedRunner : ScriptRunner {
    bool creatable = true;
    bool qlabRunning = true;
    ScriptOutcome outcome;
    std::atomic<int> runs{0};
    bool canCreate(const QString&) override { return creatable; }
    ScriptOutcome run(const QString&) override {
        ++runs;
        return outcome;
    }
    bool isApplicationRunning(const QString& id) override {
        return qlabRunning && id == QStringLiteral("com.figure53.QLab.5");
    }
};

class CannedRunnerTest : public SimulatedQLabTest {
protected:
    void SetUp() override {
        SimulatedQLabTest::SetUp();
        useRunner(runner);
    }
    std::shared_ptr<CannedRunner> runner = std::make_shared<CannedRunner>();
};

TEST_F(CannedRunnerTest, StatusIsNoWorkspaceForEveryOtherOutcome) {
    runner->qlabRunning = false;
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::notRunning);
    EXPECT_EQ(runner->runs, 0); // not running: no script at all
    runner->qlabRunning = true;
    runner->outcome = {ScriptError{QStringLiteral("boom")},
                       ScriptDescriptor::fromText(QStringLiteral("workspace no cue"))};
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::runningNoWorkspace);
    runner->outcome = {{}, ScriptDescriptor::fromText(QStringLiteral("Workspace no cue"))};
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::runningNoWorkspace);
    runner->outcome = {};
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::runningNoWorkspace);
    runner->creatable = false;
    runner->outcome = {{}, ScriptDescriptor::fromText(QStringLiteral("workspace and cue found"))};
    EXPECT_EQ(bridge().checkQLabStatus(), QLabState::runningNoWorkspace);
    std::lock_guard lock(linesMutex);
    EXPECT_THAT(lines, IsEmpty());
}

TEST_F(CannedRunnerTest, AScriptThatCannotBeCreatedNeverRuns) {
    runner->creatable = false;
    EXPECT_EQ(answerText(bridge().getFilesAndStartBar(1, RequestSource::qlab, 1, {})),
              QStringLiteral("Script failed"));
    EXPECT_FALSE(bridge().isCueRunning(QStringLiteral("G")));
    bridge().displayQLabMessage(QStringLiteral("Bar 99 does not exist"));
    EXPECT_EQ(runner->runs, 0);
    // The message still reaches the console and the clients.
    EXPECT_THAT(consoleLines(), ElementsAre(QStringLiteral("Bar 99 does not exist")));
    EXPECT_EQ(sent, QStringList{QStringLiteral("Bar 99 does not exist")});
}

TEST_F(CannedRunnerTest, CatalogueReadsPairsLeniently) {
    // QLab is ready (the status script finds the Carvo cue); the catalogue answer varies.
    struct TwoStep : CannedRunner {
        ScriptOutcome catalogue;
        ScriptOutcome run(const QString& source) override {
            ++runs;
            if (source.contains(QStringLiteral("set resultList to {}")))
                return catalogue;
            return {{}, ScriptDescriptor::fromText(QStringLiteral("workspace and cue found"))};
        }
    };
    auto twoStep = std::make_shared<TwoStep>();
    useRunner(twoStep);
    using D = ScriptDescriptor;
    // An error with a result: reported, and the result is still used.
    twoStep->catalogue = {
        ScriptError{QStringLiteral("half way")},
        D::list({D::list({D::fromText(QStringLiteral("G1"))}), D::fromText(QStringLiteral("odd")),
                 D::list({D{}, D::fromText(QStringLiteral("Named"))})})};
    bridge().getValidGroupCues(CatalogueSource::cueList);
    EXPECT_EQ(bridge().cueInfos(),
              (QList<CueInfo>{{QStringLiteral("G1"), {}}, {}, {{}, QStringLiteral("Named")}}));
    {
        std::lock_guard lock(linesMutex);
        EXPECT_THAT(lines,
                    ElementsAre("AppleScript error from get list of valid group cues: half way"));
    }
    // A result with items that is not a list gives an empty catalogue, sent as such.
    twoStep->catalogue = {{}, D{std::nullopt, {D::fromText(QStringLiteral("x"))}, false}};
    bridge().getValidGroupCues(CatalogueSource::network);
    EXPECT_THAT(bridge().cueInfos(), IsEmpty());
    EXPECT_EQ(sent, QStringList{QStringLiteral("GROUP_CUES: []")});
}

} // namespace
} // namespace carvo::testing
