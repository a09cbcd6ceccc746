// The runner start-up picks for QLab's scripts, outside macOS: the simulated QLab with the
// workspace file, behind the transcript when one is asked for; osascript or, on macOS only,
// AppleScript in process when asked for.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <QTest>

#include "app/runner_setup.h"
#include "app/shared_objects.h"
#include "qlab/osascript_runner.h"
#include "qlab/script_log.h"
#include "remote/service_publisher.h"

namespace carvo {
namespace {

RunnerOptions demoOptions(QString scriptLog = {}) {
    RunnerOptions options;
    options.workspaceFile = QStringLiteral(CARVO_DEMO_DIR "/workspace.json");
    options.scriptLogFile = std::move(scriptLog);
    return options;
}

TEST(RunnerSetup, TheSimulatedQLabAnswersAndIsFoundBehindATranscript) {
    QString problem;
    const auto plain = makeScriptRunner(demoOptions(), &problem);
    ASSERT_TRUE(plain) << problem.toStdString();
    ASSERT_TRUE(plain->simulated);
    EXPECT_EQ(plain->runner, plain->simulated);

    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("scripts.log"));
    const auto logged = makeScriptRunner(demoOptions(log), &problem);
    ASSERT_TRUE(logged);
    ASSERT_TRUE(logged->simulated);
    const auto transcript = std::dynamic_pointer_cast<ScriptLogRunner>(logged->runner);
    ASSERT_TRUE(transcript);
    EXPECT_EQ(transcript->inner(), logged->simulated);
    EXPECT_TRUE(logged->runner->isApplicationRunning(QStringLiteral("com.figure53.QLab.5")));
    logged->runner->run(QStringLiteral("not a script Carvo sends"));
    EXPECT_TRUE(QFile::exists(log));
}

TEST(RunnerSetup, AnUnreadableWorkspaceIsRefusedWithItsReason) {
    QTemporaryDir folder;
    QString problem;
    RunnerOptions options;
    options.workspaceFile = folder.filePath(QStringLiteral("missing.json"));
    EXPECT_FALSE(makeScriptRunner(options, &problem));
    EXPECT_FALSE(problem.isEmpty());
}

TEST(RunnerSetup, TheCommandLinesSlownessWinsOverTheWorkspaceFile) {
    RunnerOptions options = demoOptions();
    options.latencyMs = 40.0;
    options.hang = sim::Hang{sim::ScriptKind::load, QStringLiteral("D-GROUP-WALTZ"), 3.0};
    QString problem;
    const auto choice = makeScriptRunner(options, &problem);
    ASSERT_TRUE(choice && choice->simulated) << problem.toStdString();
    const sim::WorkspaceFile model = choice->simulated->snapshot();
    EXPECT_EQ(model.latencyMs, 40.0);
    ASSERT_TRUE(model.hang);
    EXPECT_EQ(model.hang->kind, sim::ScriptKind::load);
    EXPECT_EQ(model.hang->cueID, QStringLiteral("D-GROUP-WALTZ"));
}

TEST(RunnerSetup, QLabMachinesAnnouncedOnTheNetworkReachTheViews) {
    // A stand-in for QLab announcing its OSC interface.
    ServicePublisher qlab;
    const QString name =
        QStringLiteral("Carvo test QLab %1").arg(QCoreApplication::applicationPid());
    if (!qlab.publish(name, QStringLiteral("_qlab._tcp"), QStringLiteral("local."), 53017))
        GTEST_SKIP() << "no DNS-SD daemon reachable";
    QTemporaryDir settingsFolder;
    Settings settings(settingsFolder.path());
    SharedObjects objects(std::shared_ptr<ScriptRunner>{}, settings);
    const auto machines = objects.uiServices().qlabMachines;
    const auto found = [&] {
        for (const ui::QLabMachine& machine : machines())
            if (machine.name == name)
                return machine.port == 53017 && !machine.host.isEmpty();
        return false;
    };
    EXPECT_TRUE(QTest::qWaitFor(found, 10000));
}

// The platform's own choice, when the environment names none.
#ifdef Q_OS_MACOS
constexpr RunnerKind platformDefault = RunnerKind::inProcess;
#else
constexpr RunnerKind platformDefault = RunnerKind::simulated;
#endif

TEST(RunnerSetup, TheKindComesFromTheCommandLineOrTheEnvironment) {
    EXPECT_EQ(parseRunnerKind(QStringLiteral("in-process")), RunnerKind::inProcess);
    EXPECT_EQ(parseRunnerKind(QStringLiteral("osascript")), RunnerKind::osascript);
    EXPECT_EQ(parseRunnerKind(QStringLiteral("simulated")), RunnerKind::simulated);
    EXPECT_FALSE(parseRunnerKind(QStringLiteral("Osascript")));

    const QByteArray before = qgetenv("CARVO_SCRIPT_RUNNER");
    const bool wasSet = qEnvironmentVariableIsSet("CARVO_SCRIPT_RUNNER");
    qunsetenv("CARVO_SCRIPT_RUNNER");
    EXPECT_EQ(defaultRunnerKind(), platformDefault);
    qputenv("CARVO_SCRIPT_RUNNER", "osascript");
    EXPECT_EQ(defaultRunnerKind(), RunnerKind::osascript);
    qputenv("CARVO_SCRIPT_RUNNER", "nonsense"); // ignored, not an error
    EXPECT_EQ(defaultRunnerKind(), platformDefault);
    if (wasSet)
        qputenv("CARVO_SCRIPT_RUNNER", before);
    else
        qunsetenv("CARVO_SCRIPT_RUNNER");
}

TEST(RunnerSetup, OsascriptOnRequest) {
    RunnerOptions options = demoOptions();
    options.kind = RunnerKind::osascript;
    QString problem;
    const auto osascript = makeScriptRunner(options, &problem);
    ASSERT_TRUE(osascript) << problem.toStdString();
    EXPECT_FALSE(osascript->simulated);
    EXPECT_TRUE(std::dynamic_pointer_cast<OsascriptRunner>(osascript->runner));
}

#ifndef Q_OS_MACOS
TEST(RunnerSetup, NoAppleScriptInProcessOutsideMacOS) {
    RunnerOptions options = demoOptions();
    options.kind = RunnerKind::inProcess;
    QString problem;
    EXPECT_FALSE(makeScriptRunner(options, &problem));
    EXPECT_EQ(problem, QStringLiteral("AppleScript runs in process on macOS only"));
}
#endif

} // namespace
} // namespace carvo
