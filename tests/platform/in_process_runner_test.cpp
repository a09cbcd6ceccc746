// NSAppleScript in process, on a Mac: results and errors as the runner contract gives them, and
// runs from several threads at once (the bar counter's running check runs on the pool).

#include <gtest/gtest.h>

#include <QThreadPool>
#include <atomic>

#include "platform/macos/in_process_runner.h"

namespace carvo {
namespace {

using macos::InProcessRunner;

TEST(InProcessRunner, ResultsArriveAsDescriptorsItemByItem) {
    InProcessRunner runner;
    const ScriptOutcome text = runner.run(QStringLiteral("return \"workspace no cue\""));
    EXPECT_FALSE(text.error);
    EXPECT_EQ(text.resultText(), QStringLiteral("workspace no cue"));

    EXPECT_EQ(runner.run(QStringLiteral("return 2 > 1")).resultText(), QStringLiteral("true"));
    EXPECT_EQ(runner.run(QStringLiteral("return 1 > 2")).resultText(), QStringLiteral("false"));
    EXPECT_EQ(runner.run(QStringLiteral("return 42")).resultText(), QStringLiteral("42"));

    const ScriptOutcome list =
        runner.run(QStringLiteral("return {{\"G1\", \"Overture\"}, {\"G2\", missing value}}"));
    ASSERT_TRUE(list.result);
    EXPECT_EQ(describe(*list.result),
              QStringLiteral(R"({{"G1", "Overture"}, {"G2", missing value}})"));
    EXPECT_TRUE(list.result->isList);
    EXPECT_FALSE(list.resultText());
}

TEST(InProcessRunner, ErrorsCarryTheirMessageAndNumber) {
    InProcessRunner runner;
    const ScriptOutcome thrown = runner.run(QStringLiteral("error \"no cue\" number 42"));
    ASSERT_TRUE(thrown.error);
    EXPECT_EQ(thrown.error->description, QStringLiteral("no cue (42)"));
    EXPECT_FALSE(thrown.result);

    const ScriptOutcome uncompilable = runner.run(QStringLiteral("tell end if"));
    ASSERT_TRUE(uncompilable.error);
    EXPECT_FALSE(uncompilable.error->description.isEmpty());
}

TEST(InProcessRunner, RunsFromPoolThreadsBesideTheMainThread) {
    InProcessRunner runner;
    std::atomic<int> answered = 0;
    QThreadPool pool;
    for (int i = 0; i < 8; ++i)
        pool.start([&] {
            if (runner.run(QStringLiteral("return 2 > 1")).resultText() == QStringLiteral("true"))
                ++answered;
        });
    EXPECT_EQ(runner.run(QStringLiteral("return \"main\"")).resultText(), QStringLiteral("main"));
    pool.waitForDone();
    EXPECT_EQ(answered.load(), 8);
}

TEST(InProcessRunner, KnowsTheRunningApplicationsByBundleIdentifier) {
    InProcessRunner runner;
    // The Dock runs in every logged-in session, a hosted runner's included.
    EXPECT_TRUE(runner.isApplicationRunning(QStringLiteral("com.apple.dock")));
    EXPECT_FALSE(runner.isApplicationRunning(QStringLiteral("io.carvo.no-such-application")));
}

} // namespace
} // namespace carvo
