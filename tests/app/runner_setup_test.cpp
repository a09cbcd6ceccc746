// The runner start-up picks for QLab's scripts, outside macOS: the simulated QLab with the
// workspace file, behind the transcript when one is asked for.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <QTest>

#include "app/runner_setup.h"
#include "app/shared_objects.h"
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
    SharedObjects objects(std::shared_ptr<ScriptRunner>{});
    const auto machines = objects.uiServices().qlabMachines;
    const auto found = [&] {
        for (const ui::QLabMachine& machine : machines())
            if (machine.name == name)
                return machine.port == 53017 && !machine.host.isEmpty();
        return false;
    };
    EXPECT_TRUE(QTest::qWaitFor(found, 10000));
}

} // namespace
} // namespace carvo
