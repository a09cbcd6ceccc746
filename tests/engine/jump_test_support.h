#pragma once
// A simulated QLab with a hand-driven clock behind the jump controller: the workspace holds a
// MIDI group (first bar 9), a memo group (1, 120, 4, 4), a MIDI group with empty notes and a
// group whose MIDI file is missing. The wall clock of the engine follows the same clock.

#include <fstream>
#include <memory>
#include <mutex>
#include <string>

#include <QTemporaryDir>
#include <QThreadPool>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "engine/jump_controller.h"
#include "engine/request_queue.h"
#include "engine_test_support.h"
#include "qlab/qlab_integration.h"
#include "qlab/scripting_commands.h"
#include "qlab/sim/simulated_qlab.h"
#include "support/midi_bytes.h"

namespace carvo::testing {

// QLab's clock: a delay in a script moves it on at once.
class SimClock final : public sim::Clock {
public:
    double now() override {
        std::lock_guard lock(m_mutex);
        return m_seconds;
    }
    void sleep(double seconds) override { advance(seconds); }
    void advance(double seconds) {
        std::lock_guard lock(m_mutex);
        m_seconds += seconds;
    }

private:
    std::mutex m_mutex;
    double m_seconds = 0.0;
};

// Every script the bridge ran, recorded before the simulated QLab answers it.
class RecordingRunner final : public ScriptRunner {
public:
    explicit RecordingRunner(std::shared_ptr<ScriptRunner> inner) : m_inner(std::move(inner)) {}
    ScriptOutcome run(const QString& source) override {
        {
            std::lock_guard lock(m_mutex);
            m_scripts.append(source);
        }
        return m_inner->run(source);
    }
    bool isApplicationRunning(const QString& bundleIdentifier) override {
        return m_inner->isApplicationRunning(bundleIdentifier);
    }
    // How many recorded scripts contain fragment.
    int count(const QString& fragment) const {
        std::lock_guard lock(m_mutex);
        int found = 0;
        for (const QString& script : m_scripts)
            found += script.contains(fragment) ? 1 : 0;
        return found;
    }
    void clear() {
        std::lock_guard lock(m_mutex);
        m_scripts.clear();
    }

private:
    std::shared_ptr<ScriptRunner> m_inner;
    mutable std::mutex m_mutex;
    QStringList m_scripts;
};

inline constexpr char loadScript[] = "load myCue time barTime";
inline constexpr char runningScript[] = "set isRunning to running of myCue";

// 480 ticks per quarter at 120 beats per minute in 4/4 (2.0 s a bar); the last note sounds in
// the middle of bar 32, so the tables end with the bar line of bar 33.
inline testing::Bytes thirtyTwoBarsBytes() {
    testing::TrackBytes track;
    track.tempo(0, 500'000).timeSignature(0, 4, 2).noteOn(31 * 1920 + 960);
    return testing::midiFileBytes(testing::formatSingleTrack, 480, {track});
}

class SimulatedQLabJump : public ::testing::Test {
private:
    QTemporaryDir m_settingsFolder;

protected:
    // The test's own settings: the bridge and the commands read them afresh.
    Settings settings{m_settingsFolder.path()};

    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        const testing::Bytes bytes = thirtyTwoBarsBytes();
        std::ofstream(m_dir.filePath(QStringLiteral("tempo.mid")).toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));

        const QByteArray json = R"({ "running": true, "workspaces": [ { "name": "Show",
            "selected": ["G1"],
            "cues": [
              { "uniqueID": "G1", "number": "1", "name": "Overture", "type": "Group",
                "duration": 240.0, "children": [
                  { "uniqueID": "M1", "type": "MIDI File", "notes": "9", "fileTarget": "tempo.mid" },
                  { "uniqueID": "A1", "type": "Audio" } ] },
              { "uniqueID": "G2", "number": "2", "name": "Waltz", "type": "Group",
                "duration": 4000.0, "children": [
                  { "uniqueID": "N2", "type": "Memo", "notes": "1, 120, 4, 4" },
                  { "uniqueID": "A2", "type": "Audio" } ] },
              { "uniqueID": "G3", "number": "3", "name": "Finale", "type": "Group", "children": [
                  { "uniqueID": "M3", "type": "MIDI File", "notes": "", "fileTarget": "tempo.mid" } ] },
              { "uniqueID": "G4", "number": "4", "name": "Lost", "type": "Group", "children": [
                  { "uniqueID": "M4", "type": "MIDI File", "notes": "", "fileTarget": "missing.mid" } ] }
            ] } ] })";
        QString problem;
        auto workspace = sim::parseWorkspace(json, m_dir.path(), &problem);
        ASSERT_TRUE(workspace) << problem.toStdString();
        m_sim = std::make_shared<sim::SimulatedQLab>(std::move(*workspace), m_qlabClock);
        m_runner = std::make_shared<RecordingRunner>(m_sim);
        m_qlab = std::make_unique<QLabIntegration>(m_runner, harness.broadcaster, settings);
        m_jumps = std::make_unique<JumpController>(harness.counter, *m_qlab, harness.broadcaster);
        m_requests = std::make_unique<RequestQueue>(*m_jumps, *m_qlab);
        m_commands = std::make_unique<ScriptingCommands>(*m_requests, harness.counter, *m_qlab,
                                                         settings, RequestOrigin::scripting);

        // The engine's wall clock runs with QLab's clock.
        const WallClock wall = [this] { return wallAt(m_qlabClock->now()); };
        harness.counter.setWallClock(wall);
        m_jumps->setWallClock(wall);
        m_commands->setWallClock(wall);
        // As the application wires it: a jump reads "standby" afresh.
        m_jumps->setStandby([this] { return settings.standby(); });
        // Running checks ask the simulated QLab, when the test answers them.
        harness.runningCheck = m_qlab->runningCheck();
        ASSERT_TRUE(m_settingsFolder.isValid());
    }

    void TearDown() override {
        QThreadPool::globalInstance()->waitForDone(5000);
        QLabIntegration::waitForMessageDialogs(5000); // dialogs of refusals
        QCoreApplication::processEvents();
    }

    static double wallAt(double qlabSeconds) { return 1'700'000'000.0 + qlabSeconds; }
    double wallNow() { return wallAt(m_qlabClock->now()); }
    BarCounterManager& manager() { return harness.counter; }
    QLabIntegration& qlab() { return *m_qlab; }
    JumpController& jumps() { return *m_jumps; }
    RequestQueue& requests() { return *m_requests; }
    ScriptingCommands& commands() { return *m_commands; }
    JumpState jumpState() const { return m_jumps->state(); }

    // A remote client's selection and bar request, through the one way in for requests.
    void remoteJump(const QString& cueID, qint64 bar) {
        m_requests->select(RequestOrigin::remote, cueID);
        m_requests->jump(RequestOrigin::remote, RequestSource::remote, bar);
    }
    // A jump from the main window: QLab's selected cue and bar dialog.
    void qlabJump() {
        m_requests->jump(RequestOrigin::window, RequestSource::qlab, manager().lastBarTriggered());
    }
    void answerBarDialogWith(std::optional<QString> answer) {
        m_sim->change([&](sim::WorkspaceFile& file) {
            file.workspaces.front().dialogAnswers.push_back(answer);
        });
    }
    void selectInQLab(const QString& cueID) {
        m_sim->change(
            [&](sim::WorkspaceFile& file) { file.workspaces.front().selected = {cueID}; });
    }
    // The group's state in QLab, or none when the ID is unknown.
    std::optional<sim::Cue> cueInQLab(const QString& uniqueID) const {
        const sim::WorkspaceFile file = m_sim->snapshot();
        for (const sim::Cue& cue : file.workspaces.front().cues)
            if (cue.uniqueID == uniqueID)
                return cue;
        return std::nullopt;
    }
    void stopEveryCue() {
        m_sim->change([](sim::WorkspaceFile& file) {
            for (sim::Cue& cue : file.workspaces.front().cues)
                cue.startedAt.reset();
        });
    }
    bool wroteLine(const std::string& line) const {
        std::lock_guard lock(m_linesMutex);
        return std::find(m_lines.begin(), m_lines.end(), line) != m_lines.end();
    }

    EngineHarness harness;
    std::shared_ptr<SimClock> m_qlabClock = std::make_shared<SimClock>();
    std::shared_ptr<sim::SimulatedQLab> m_sim;
    std::shared_ptr<RecordingRunner> m_runner;
    std::unique_ptr<QLabIntegration> m_qlab;
    std::unique_ptr<JumpController> m_jumps;
    std::unique_ptr<RequestQueue> m_requests;
    std::unique_ptr<ScriptingCommands> m_commands;

private:
    QTemporaryDir m_dir;
    mutable std::mutex m_linesMutex;
    std::vector<std::string> m_lines;
    ScopedLineObserver m_observer{[this](const std::string& line) {
        std::lock_guard lock(m_linesMutex);
        m_lines.push_back(line);
    }};
};

} // namespace carvo::testing
