// The runner start-up picks for QLab's scripts, outside macOS: the simulated QLab with the
// workspace file, behind the transcript when one is asked for.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/runner_setup.h"
#include "qlab/script_log.h"

namespace carvo {
namespace {

TEST(RunnerSetup, TheSimulatedQLabAnswersAndIsFoundBehindATranscript) {
    QString problem;
    const auto plain =
        makeScriptRunner({QStringLiteral(CARVO_DEMO_DIR "/workspace.json"), {}}, &problem);
    ASSERT_TRUE(plain) << problem.toStdString();
    ASSERT_TRUE(plain->simulated);
    EXPECT_EQ(plain->runner, plain->simulated);

    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("scripts.log"));
    const auto logged =
        makeScriptRunner({QStringLiteral(CARVO_DEMO_DIR "/workspace.json"), log}, &problem);
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
    EXPECT_FALSE(makeScriptRunner({folder.filePath(QStringLiteral("missing.json")), {}}, &problem));
    EXPECT_FALSE(problem.isEmpty());
}

} // namespace
} // namespace carvo
