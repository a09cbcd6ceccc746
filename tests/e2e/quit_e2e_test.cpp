// A quit signal ends carvo within a bounded time whatever QLab does: a jump held by a QLab that
// does not answer is abandoned, nothing is loaded or started after the signal, the server stops.
#include <csignal>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "support/signal_child.h"

namespace carvo::e2e {
namespace {

constexpr int answerMs = 10000;

class QuitWhileQLabHolds : public ::testing::TestWithParam<int> {};

TEST_P(QuitWhileQLabHolds, TheSignalEndsCarvoAndNothingReachesQLabAfterIt) {
    // QLab holds its answer to the jump's first question for a minute.
    CarvoInstance carvo;
    QString problem;
    ASSERT_TRUE(
        carvo.start(demoWorkspace(), {.extraArguments = {"--qlab-hang", "files@60"}}, &problem))
        << problem.toStdString();
    TestClient client;
    ASSERT_TRUE(client.connectTo(carvo.port()));
    client.send("REMOTE_SELECTED: D-GROUP-WALTZ");
    ASSERT_TRUE(client.waitForMessage("REMOTE_SELECTED: D-GROUP-WALTZ", answerMs));
    client.send("BAR_REQUEST: 3");
    ASSERT_TRUE(carvo.waitForLine(
        QStringLiteral("Simulated QLab holds its answer to a files script"), answerMs));

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(testing::signalChild(carvo.processId(), GetParam()));
    ASSERT_TRUE(carvo.process().waitForFinished(answerMs))
        << "carvo still ran 10 s after the signal";
    const qint64 endedMs = clock.elapsed();
    // A show needs 2 s at most; a busy machine gets slack, a held answer of 60 s none.
    EXPECT_LT(endedMs, 5000);
    std::cout << "carvo ended " << endedMs << " ms after the signal\n";

    EXPECT_EQ(carvo.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(carvo.process().exitCode(), 0);
    EXPECT_TRUE(carvo.hasLine(QStringLiteral("🛑 Server stopped")));
    EXPECT_FALSE(carvo.scriptLog().contains(QStringLiteral("load myCue time barTime")))
        << carvo.scriptLog().toStdString();
    for (const std::string& message : client.messagesWithPending())
        EXPECT_FALSE(std::string_view(message).starts_with("QLAB_SELECTED: ")) << message;
}

INSTANTIATE_TEST_SUITE_P(InterruptAndTerminate, QuitWhileQLabHolds,
                         ::testing::Values(SIGINT, SIGTERM), [](const auto& param) {
                             return std::string(param.param == SIGINT ? "SIGINT" : "SIGTERM");
                         });

TEST(QuitWhileQLabHoldsOverOSC, TheSignalEndsCarvoAtOnceAndNoLoadOrStartGoesOut) {
    // QLab over OSC holds its answer to the jump's question about the group for good.
    QJsonObject top = QJsonDocument::fromJson(demoWorkspace()).object();
    top.insert(QStringLiteral("hang"),
               QJsonObject{{QStringLiteral("script"), QStringLiteral("files")}});
    const QByteArray workspace = QJsonDocument(top).toJson();
    SimulatedQLabProcess qlab;
    QString problem;
    ASSERT_TRUE(qlab.start(workspace, {}, &problem)) << problem.toStdString();
    CarvoInstance carvo;
    ASSERT_TRUE(carvo.start(
        workspace, {.extraArguments = {"--qlab", qlab.url(), "--osc-port", "0"}}, &problem))
        << problem.toStdString();
    ASSERT_TRUE(carvo.waitForLine(QStringLiteral("QLab connected: Carvo Demo"), answerMs));
    TestClient client;
    ASSERT_TRUE(client.connectTo(carvo.port()));
    client.send("REMOTE_SELECTED: D-GROUP-WALTZ");
    ASSERT_TRUE(client.waitForMessage("REMOTE_SELECTED: D-GROUP-WALTZ", answerMs));
    const qsizetype before = qlab.received().size();
    client.send("BAR_REQUEST: 3");
    ASSERT_TRUE(qlab.waitForReceived(
        [](const QString& message) { return message.contains(QStringLiteral("D-GROUP-WALTZ")); },
        answerMs));
    ASSERT_GT(qlab.received().size(), before);

    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(testing::signalChild(carvo.processId(), SIGTERM));
    ASSERT_TRUE(carvo.process().waitForFinished(answerMs));
    // Well within the OSC road's own timeout (2 s), and never the forced end.
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(carvo.process().exitCode(), 0);
    EXPECT_TRUE(carvo.hasLine(QStringLiteral("🛑 Server stopped")));
    for (const QString& message : qlab.received()) {
        EXPECT_FALSE(message.contains(QStringLiteral("/loadAt"))) << message.toStdString();
        EXPECT_FALSE(message.endsWith(QStringLiteral("/start"))) << message.toStdString();
    }
}

} // namespace
} // namespace carvo::e2e
