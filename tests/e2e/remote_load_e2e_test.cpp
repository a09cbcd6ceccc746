// Many watching clients at the bar counter's twenty ticks a second all hear every position, in
// the same order. A shortened run; the benchmark runs the long one.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace carvo::e2e {
namespace {

constexpr int clientCount = 50;
constexpr int watchMs = 5000;
constexpr int answerMs = 10000;

TEST(RemoteLoad, FiftyWatchersReceiveEveryBarMessageInOrder) {
    CarvoInstance carvo;
    QString problem;
    ASSERT_TRUE(carvo.start(demoWorkspace(), {}, &problem)) << problem.toStdString();

    std::vector<std::unique_ptr<TestClient>> watchers;
    for (int i = 0; i < clientCount; ++i) {
        watchers.push_back(std::make_unique<TestClient>());
        ASSERT_TRUE(watchers.back()->connectTo(carvo.port())) << "client " << i;
        watchers.back()->send("HANDSHAKE_REQUEST");
    }
    for (auto& watcher : watchers)
        ASSERT_TRUE(watcher->waitForMessage("HANDSHAKE_RESPONSE", answerMs));

    TestClient controller;
    ASSERT_TRUE(controller.connectTo(carvo.port()));
    controller.send("REMOTE_SELECTED: D-GROUP-WALTZ");
    ASSERT_TRUE(controller.waitForMessage("REMOTE_SELECTED: D-GROUP-WALTZ", answerMs));
    const std::size_t jumpFrom = controller.messagesWithPending().size();
    controller.send("BAR_REQUEST: 1");
    ASSERT_TRUE(controller.waitForMatch(
        [](const std::string& m) { return m == "QLAB_SELECTED: D-GROUP-WALTZ"; }, answerMs,
        jumpFrom));

    QElapsedTimer watching;
    watching.start();
    waitUntil([&] { return watching.elapsed() >= watchMs; }, watchMs + 1000);
    // An echo that every client receives after the last position it must compare.
    controller.send("REMOTE_SELECTED: end-of-run");
    for (auto& watcher : watchers)
        ASSERT_TRUE(watcher->waitForMessage("REMOTE_SELECTED: end-of-run", answerMs));
    ASSERT_TRUE(controller.waitForMessage("REMOTE_SELECTED: end-of-run", answerMs));

    // The controller's own stream from the jump on is the reference.
    auto fromJump = [](const TestClient& client) {
        std::vector<std::string> messages = client.messagesWithPending();
        const auto jump =
            std::find(messages.begin(), messages.end(), "QLAB_SELECTED: D-GROUP-WALTZ");
        const auto end = std::find(messages.begin(), messages.end(), "REMOTE_SELECTED: end-of-run");
        return std::vector<std::string>(jump, end);
    };
    const std::vector<std::string> reference = fromJump(controller);
    const auto positions =
        std::count_if(reference.begin(), reference.end(),
                      [](const std::string& m) { return readBarMessage(m).has_value(); });
    // Twenty ticks a second for five seconds, less what a busy machine delays.
    EXPECT_GE(positions, 60);
    std::optional<BarPosition> previous;
    for (const std::string& message : reference) {
        const auto position = readBarMessage(message);
        if (!position)
            continue;
        if (previous) {
            EXPECT_TRUE(position->bar > previous->bar ||
                        (position->bar == previous->bar && position->progress > previous->progress))
                << previous->bar << ' ' << previous->progress << " then " << message;
        }
        previous = position;
    }
    for (std::size_t i = 0; i < watchers.size(); ++i)
        EXPECT_EQ(fromJump(*watchers[i]), reference) << "client " << i;
}

} // namespace
} // namespace carvo::e2e
