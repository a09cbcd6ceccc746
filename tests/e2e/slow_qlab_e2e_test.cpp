// A QLab that answers late, and one whose running check hangs: the bar counter keeps counting,
// asks one question at a time, nothing in the process grows, and the counter stops once QLab
// says the cue has ended. (The tick period under latency is measured by carvo-bench-remote.)
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace carvo::e2e {
namespace {

constexpr int answerMs = 10000;

// The demo workspace, the waltz (one tempo, 2.0 s a bar) running `seconds`, and QLab's
// slowness from `slow` at the top of the file.
QByteArray slowWorkspace(double seconds, const QJsonObject& slow) {
    QJsonObject top =
        QJsonDocument::fromJson(demoWorkspace({{QStringLiteral("D-GROUP-WALTZ"), seconds}}))
            .object();
    for (auto it = slow.begin(); it != slow.end(); ++it)
        top.insert(it.key(), it.value());
    return QJsonDocument(top).toJson();
}

class SlowQLab : public ::testing::Test {
protected:
    // Lets the event loop run until the clock reads ms (a measuring window, not a wait for an
    // effect).
    void runUntil(qint64 ms) {
        const qint64 left = ms - clock.elapsed();
        if (left > 0)
            waitUntil([] { return false; }, static_cast<int>(left));
    }

    // Starts carvo on the workspace and the waltz from bar 1; the time QLab started it.
    void startWaltz(const QByteArray& workspace) {
        QString problem;
        ASSERT_TRUE(carvo.start(workspace, {}, &problem)) << problem.toStdString();
        ASSERT_TRUE(client.connectTo(carvo.port()));
        clock.start();
        client.send("REMOTE_SELECTED: D-GROUP-WALTZ");
        ASSERT_TRUE(client.waitForMessage("REMOTE_SELECTED: D-GROUP-WALTZ", answerMs));
        client.send("BAR_REQUEST: 1");
        const auto selected = client.waitForMatch(
            [](const std::string& m) { return m == "QLAB_SELECTED: D-GROUP-WALTZ"; }, answerMs);
        ASSERT_TRUE(selected);
        jumpIndex = *selected;
        startedMs = clock.elapsed(); // the load-and-start script had answered by then
    }

    // Index and arrival time of the first stop notice after the jump, waiting up to timeoutMs.
    std::optional<std::pair<std::size_t, qint64>> waitForStop(int timeoutMs) {
        const auto stop = client.waitForMatch(
            [](const std::string& m) { return m == "BAR: 1.1 0"; }, timeoutMs, jumpIndex);
        if (!stop)
            return std::nullopt;
        return std::make_pair(*stop, clock.elapsed());
    }

    std::size_t barMessages(std::size_t from, std::size_t to) const {
        const auto messages = client.messagesWithPending();
        std::size_t count = 0;
        for (std::size_t i = from; i < to && i < messages.size(); ++i)
            count += readBarMessage(messages[i]) && messages[i] != "BAR: 1.1 0" ? 1 : 0;
        return count;
    }

    std::size_t stopNotices() const {
        const auto messages = client.messagesWithPending();
        return static_cast<std::size_t>(
            std::count(messages.begin() + static_cast<std::ptrdiff_t>(jumpIndex), messages.end(),
                       std::string("BAR: 1.1 0")));
    }

    CarvoInstance carvo;
    TestClient client;
    QElapsedTimer clock;
    std::size_t jumpIndex = 0;
    qint64 startedMs = 0;
};

TEST_F(SlowQLab, WithAnswers120MillisecondsLateTheCounterRunsAndStopsOnce) {
    constexpr double playSeconds = 4.0;
    startWaltz(slowWorkspace(playSeconds, {{QStringLiteral("latencyMs"), 120}}));
    runUntil(startedMs + 500);
    const auto early = footprintOf(carvo.processId());
    runUntil(startedMs + 3500);
    const auto late = footprintOf(carvo.processId());
    ASSERT_TRUE(early && late);
    // A check per tick would queue behind a QLab this slow; one at a time, nothing piles up.
    EXPECT_LE(late->threads, early->threads);
    EXPECT_LT(late->residentKiB - early->residentKiB, 2048);

    const auto stop = waitForStop(answerMs);
    ASSERT_TRUE(stop);
    // Within one answer of the cue's end: the question in flight, then the one that finds it
    // stopped, each 120 ms, plus a tick.
    const qint64 endMs = startedMs + static_cast<qint64>(playSeconds * 1000);
    EXPECT_GE(stop->second, endMs - 200);
    EXPECT_LE(stop->second, endMs + 600);
    // Twenty ticks a second for four seconds, less what a busy machine delays.
    EXPECT_GE(barMessages(jumpIndex, stop->first), 50U);
    runUntil(stop->second + 700);
    EXPECT_EQ(stopNotices(), 1U);
}

TEST_F(SlowQLab, AHungRunningCheckLeavesTheCounterCountingUntilItAnswers) {
    // The first question hangs for 4 s; the cue ends after 2 s.
    const QJsonObject hang{{QStringLiteral("script"), QStringLiteral("running")},
                           {QStringLiteral("seconds"), 4.0}};
    startWaltz(slowWorkspace(2.0, {{QStringLiteral("hang"), hang}}));
    runUntil(startedMs + 500);
    const auto early = footprintOf(carvo.processId());

    const auto stop = waitForStop(answerMs);
    ASSERT_TRUE(stop);
    // Counting went on while QLab held its answer, past the cue's end, until the answer came.
    EXPECT_GE(stop->second, startedMs + 3800);
    EXPECT_GE(barMessages(jumpIndex, stop->first), 60U);
    const auto late = footprintOf(carvo.processId());
    ASSERT_TRUE(early && late);
    EXPECT_LE(late->threads, early->threads);
    EXPECT_LT(late->residentKiB - early->residentKiB, 2048);
    runUntil(stop->second + 700);
    EXPECT_EQ(stopNotices(), 1U);
}

} // namespace
} // namespace carvo::e2e
