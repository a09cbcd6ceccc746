// The simulated QLab's OSC server over a real TCP connection on loopback: QLab's reply format,
// the passcode, reading cues, playback on the one model the AppleScript side also plays, making
// cues, the duplicate filter, latency, hangs and bytes that are not OSC.
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUuid>
#include <gtest/gtest.h>

#include <deque>

#include "qlab/osc/osc.h"
#include "qlab/qlab_test_support.h"
#include "qlab/scripts.h"
#include "qlab/sim/osc_server.h"

namespace carvo::testing {
namespace {

using osc::Message;

constexpr int replyTimeoutMs = 3000;

// An OSC client over TCP: SLIP-framed messages out, QLab's replies back.
class OSCTestClient {
public:
    bool connectTo(quint16 port) {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        QElapsedTimer timer;
        timer.start();
        while (m_socket.state() != QAbstractSocket::ConnectedState &&
               timer.elapsed() < replyTimeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        return m_socket.state() == QAbstractSocket::ConnectedState;
    }

    void send(const Message& message) {
        const auto packet = osc::encode(message);
        const auto framed = osc::slipFrame(
            std::string_view(reinterpret_cast<const char*>(packet.data()), packet.size()));
        sendBytes(QByteArray(reinterpret_cast<const char*>(framed.data()),
                             static_cast<qsizetype>(framed.size())));
    }
    void sendBytes(const QByteArray& bytes) {
        m_socket.write(bytes);
        m_socket.flush();
    }

    // The next reply's message, waiting up to the timeout; none if nothing came.
    std::optional<Message> nextMessage(int timeoutMs = replyTimeoutMs) {
        QElapsedTimer timer;
        timer.start();
        while (m_replies.empty() && timer.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
            const auto bytes = m_socket.readAll();
            for (const auto& packet : m_decoder.feed(
                     std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))))
                if (auto message = osc::decode(packet))
                    m_replies.push_back(std::move(*message));
        }
        if (m_replies.empty())
            return std::nullopt;
        auto message = std::move(m_replies.front());
        m_replies.pop_front();
        return message;
    }

    // The next reply's JSON, checked to be the reply to address.
    QJsonObject nextReply(const std::string& address) {
        const auto message = nextMessage();
        if (!message) {
            ADD_FAILURE() << "no reply to " << address;
            return {};
        }
        EXPECT_EQ(message->address, "/reply" + address);
        const auto* text = message->arguments.size() == 1
                               ? std::get_if<std::string>(&message->arguments[0])
                               : nullptr;
        if (!text) {
            ADD_FAILURE() << "a reply without its one string argument: " << message->address;
            return {};
        }
        const auto document = QJsonDocument::fromJson(QByteArray::fromStdString(*text));
        EXPECT_TRUE(document.isObject()) << *text;
        const auto reply = document.object();
        EXPECT_EQ(reply.value(QStringLiteral("address")).toString().toStdString(), address);
        return reply;
    }

    // Sends the message and returns its reply.
    QJsonObject ask(const Message& message) {
        send(message);
        return nextReply(message.address);
    }

    QTcpSocket& socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    osc::SlipDecoder m_decoder;
    std::deque<Message> m_replies;
};

QString statusOf(const QJsonObject& reply) {
    return reply.value(QStringLiteral("status")).toString();
}

// Two workspaces: a locked one in front, an open one behind. The front one's cues: a group with
// a MIDI File child and an audio child, a memo group, and a group nested in another.
constexpr const char* show = R"({ "workspaces": [
  { "name": "Show", "uniqueID": "WS-SHOW", "passcode": "1234", "selected": ["G1", "GONE"],
    "cues": [
      { "uniqueID": "G1", "number": "1", "name": "Overture", "type": "Group", "duration": 30,
        "children": [
          { "uniqueID": "M1", "number": "1.1", "type": "MIDI File", "notes": "9",
            "fileTarget": "overture.mid" },
          { "uniqueID": "A1", "number": "1.2", "name": "Overture audio", "type": "Audio" } ] },
      { "uniqueID": "G2", "number": "2", "name": "Act 2", "type": "Group",
        "children": [
          { "uniqueID": "G3", "number": "2.1", "name": "Finale", "type": "Group",
            "children": [ { "uniqueID": "N3", "type": "Memo", "notes": "1, 120, 4, 4" } ] } ] } ] },
  { "name": "Rehearsal", "cues": [] } ] })";

TEST(OSCWorkspaceFile, ReadsTheOSCKnobsAndRefusesBadOnes) {
    const auto file = workspaceFrom(R"({ "duplicateWindowMs": 25, "workspaces": [
        { "name": "A", "passcode": "0042", "cues": [ { "uniqueID": "N", "type": "Network",
          "customString": "/carvo/go", "networkPatchNumber": 3, "networkPatchName": "Carvo" } ] },
        { "name": "A" } ] })");
    EXPECT_DOUBLE_EQ(file.duplicateWindowMs, 25.0);
    ASSERT_EQ(file.workspaces.size(), 2u);
    EXPECT_EQ(file.workspaces[0].passcode, QStringLiteral("0042"));
    const auto& cue = file.workspaces[0].cues.at(0);
    EXPECT_EQ(cue.customString, QStringLiteral("/carvo/go"));
    EXPECT_EQ(cue.networkPatchNumber, 3);
    EXPECT_EQ(cue.networkPatchName, QStringLiteral("Carvo"));
    // Two workspaces of one name still get IDs of their own.
    EXPECT_NE(file.workspaces[0].uniqueID, file.workspaces[1].uniqueID);

    for (const auto& [json, key] : std::vector<std::pair<const char*, const char*>>{
             {R"({"duplicateWindowMs": -1})", "duplicateWindowMs"},
             {R"({"jitter": {"ms": 20}})", "jitter"},
             {R"({"workspaces": [ { "passcodeRights": "view|delete" } ]})",
              "workspaces[0].passcodeRights"},
             {R"({"workspaces": [ { "selectedReplies": "last" } ]})",
              "workspaces[0].selectedReplies"},
             {R"({"workspaces": [ { "passcode": 1234 } ]})", "workspaces[0].passcode"},
             {R"({"workspaces": [ { "uniqueID": ["W"] } ]})", "workspaces[0].uniqueID"},
             {R"({"workspaces": [ { "cues": [ { "uniqueID": "N", "type": "Network",
                 "networkPatchNumber": 1.5 } ] } ]})",
              "networkPatchNumber"}}) {
        QString problem;
        EXPECT_FALSE(sim::parseWorkspace(QByteArray(json), QStringLiteral("/"), &problem)) << json;
        EXPECT_TRUE(problem.contains(QLatin1String(key))) << problem.toStdString();
    }
}

class OSCServerTest : public ::testing::Test {
protected:
    void start(const char* json) {
        m_qlab = std::make_shared<sim::SimulatedQLab>(workspaceFrom(json), m_clock);
        m_server = std::make_unique<sim::OSCServer>(m_qlab);
        ASSERT_TRUE(m_server->listen(QHostAddress::LocalHost, 0))
            << m_server->errorString().toStdString();
        ASSERT_TRUE(m_client.connectTo(m_server->serverPort()));
    }

    // A message to the front workspace, after connecting with its passcode.
    QJsonObject askShow(const std::string& method, std::vector<osc::Argument> arguments = {}) {
        return m_client.ask({"/workspace/WS-SHOW" + method, std::move(arguments)});
    }
    void connectToShow() {
        ASSERT_EQ(askShow("/connect", {std::string("1234")}).value("data").toString(),
                  QStringLiteral("ok:view|edit|control"));
    }
    // The reply that comes next is the thump's: nothing was answered in between.
    void expectNothingBeforeAThump() {
        m_client.send({"/thump", {}});
        EXPECT_EQ(m_client.nextReply("/thump").value("data").toString(), QStringLiteral("thump"));
    }
    // Sends the message and lets the server read it before the test moves the clock on.
    void sendAndLetArrive(const Message& message) {
        const auto before = m_server->receivedMessages().size();
        m_client.send(message);
        QElapsedTimer timer;
        timer.start();
        while (m_server->receivedMessages().size() == before && timer.elapsed() < replyTimeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    QString appleScriptAnswer(const std::string& script) {
        const auto outcome = m_qlab->run(QString::fromStdString(script));
        EXPECT_FALSE(outcome.error) << script;
        return outcome.resultText().value_or(QString());
    }

    std::shared_ptr<FakeClock> m_clock = std::make_shared<FakeClock>();
    std::shared_ptr<sim::SimulatedQLab> m_qlab;
    std::unique_ptr<sim::OSCServer> m_server;
    OSCTestClient m_client;
};

TEST_F(OSCServerTest, ListsTheWorkspacesFrontFirstWithoutAWorkspaceID) {
    start(show);
    const auto reply = m_client.ask({"/workspaces", {}});
    EXPECT_EQ(statusOf(reply), QStringLiteral("ok"));
    EXPECT_FALSE(reply.contains(QStringLiteral("workspace_id")));
    const auto list = reply.value("data").toArray();
    ASSERT_EQ(list.size(), 2);
    const auto front = list[0].toObject();
    EXPECT_EQ(front.value("uniqueID").toString(), QStringLiteral("WS-SHOW"));
    EXPECT_EQ(front.value("displayName").toString(), QStringLiteral("Show"));
    EXPECT_EQ(front.value("hasPasscode"), QJsonValue(true));
    EXPECT_TRUE(front.value("version").toString().startsWith(u"5."));
    // Without an ID in the file, one derived from the name: a UUID, the same on every run.
    const auto derived = list[1].toObject();
    EXPECT_EQ(derived.value("hasPasscode"), QJsonValue(false));
    EXPECT_FALSE(QUuid::fromString(derived.value("uniqueID").toString()).isNull());
    EXPECT_EQ(derived.value("uniqueID").toString(), workspaceFrom(show).workspaces[1].uniqueID);
}

TEST_F(OSCServerTest, AWorkspaceWithAPasscodeDeniesEachConnectionUntilItConnects) {
    start(show);
    auto reply = askShow("/cue_id/G1/type");
    EXPECT_EQ(statusOf(reply), QStringLiteral("denied"));
    EXPECT_EQ(reply.value("workspace_id").toString(), QStringLiteral("WS-SHOW"));
    EXPECT_FALSE(reply.contains(QStringLiteral("data")));

    for (const auto& wrong :
         std::vector<std::vector<osc::Argument>>{{}, {std::string("4321")}, {std::int32_t{4321}}}) {
        reply = askShow("/connect", wrong);
        EXPECT_EQ(statusOf(reply), QStringLiteral("ok"));
        EXPECT_EQ(reply.value("data").toString(), QStringLiteral("badpass"));
    }
    EXPECT_EQ(statusOf(askShow("/thump")), QStringLiteral("denied"));

    // A number is as good as the text of the passcode.
    reply = askShow("/connect", {std::int32_t{1234}});
    EXPECT_EQ(reply.value("data").toString(), QStringLiteral("ok:view|edit|control"));
    reply = askShow("/cue_id/G1/type");
    EXPECT_EQ(statusOf(reply), QStringLiteral("ok"));
    EXPECT_EQ(reply.value("data").toString(), QStringLiteral("Group"));
    EXPECT_EQ(askShow("/thump").value("data").toString(), QStringLiteral("thump"));

    // Another connection has not connected.
    OSCTestClient other;
    ASSERT_TRUE(other.connectTo(m_server->serverPort()));
    EXPECT_EQ(statusOf(other.ask({"/workspace/WS-SHOW/cue_id/G1/type", {}})),
              QStringLiteral("denied"));

    m_client.send({"/workspace/WS-SHOW/disconnect", {}});
    EXPECT_EQ(statusOf(askShow("/cue_id/G1/type")), QStringLiteral("denied"));
}

TEST_F(OSCServerTest, AWorkspaceWithoutAPasscodeAnswersWithoutConnecting) {
    start(show);
    const auto id = workspaceFrom(show).workspaces[1].uniqueID.toStdString();
    EXPECT_EQ(m_client.ask({"/workspace/" + id + "/cueLists", {}}).value("status").toString(),
              QStringLiteral("ok"));
    EXPECT_EQ(
        m_client.ask({"/workspace/" + id + "/connect", {std::string()}}).value("data").toString(),
        QStringLiteral("ok:view|edit|control"));
    const auto unknown = m_client.ask({"/workspace/NO-SUCH/thump", {}});
    EXPECT_EQ(statusOf(unknown), QStringLiteral("error"));
}

TEST_F(OSCServerTest, RepliesOnlyWithDataUnlessAlwaysReplyIsOn) {
    start(show);
    connectToShow();
    // Actions, setters and unknown addresses answer nothing while alwaysReply is off.
    m_client.send({"/workspace/WS-SHOW/cue_id/G1/loadAt", {1.0F}});
    m_client.send({"/workspace/WS-SHOW/cue_id/G1/name", {std::string("Renamed")}});
    m_client.send({"/workspace/WS-SHOW/no/such/method", {}});
    m_client.send({"/nonsense", {}});
    m_client.send({"/alwaysReply", {std::int32_t{0}}});
    expectNothingBeforeAThump();
    // A getter on a cue that is not there still answers: with an error.
    EXPECT_EQ(statusOf(askShow("/cue_id/NOPE/name")), QStringLiteral("error"));

    EXPECT_EQ(statusOf(m_client.ask({"/alwaysReply", {std::int32_t{1}}})), QStringLiteral("ok"));
    auto reply = askShow("/cue_id/G1/name", {std::string("Overture")});
    EXPECT_EQ(statusOf(reply), QStringLiteral("ok"));
    EXPECT_FALSE(reply.contains(QStringLiteral("data")));
    EXPECT_EQ(statusOf(askShow("/no/such/method")), QStringLiteral("error"));
    EXPECT_EQ(statusOf(askShow("/cue_id/G1/type", {std::string("Audio")})),
              QStringLiteral("error")); // read only
    // Without a workspace in front, each open workspace answers.
    m_client.send({"/nonsense", {}});
    EXPECT_EQ(statusOf(m_client.nextReply("/nonsense")), QStringLiteral("error"));
    EXPECT_EQ(statusOf(m_client.nextReply("/nonsense")), QStringLiteral("error"));
    const auto version = m_client.ask({"/version", {}}).value("data").toString();
    EXPECT_EQ(version, m_client.ask({"/workspaces", {}}).value("data")[0]["version"].toString());
    m_client.send({"/alwaysReply", {osc::False{}}});
    m_client.send({"/workspace/WS-SHOW/cue_id/G1/start", {}});
    expectNothingBeforeAThump();
}

TEST_F(OSCServerTest, AddressesWithoutAWorkspaceReachEveryWorkspace) {
    start(show);
    connectToShow();
    m_client.send({"/cueLists", {}});
    const auto first = m_client.nextReply("/cueLists");
    const auto second = m_client.nextReply("/cueLists");
    EXPECT_EQ(first.value("workspace_id").toString(), QStringLiteral("WS-SHOW"));
    EXPECT_EQ(second.value("workspace_id").toString(), workspaceFrom(show).workspaces[1].uniqueID);
}

TEST_F(OSCServerTest, ReadsACueWithOneValuesForKeys) {
    start(show);
    connectToShow();
    const auto keys = std::string(R"(["uniqueID","number","name","type","notes","fileTarget",)"
                                  R"("isRunning","actionElapsed","duration","armed","listName",)"
                                  R"("displayName","noSuchKey"])");
    // /cue/selected is the last selected cue that exists.
    auto reply = askShow("/cue/selected/valuesForKeys", {keys});
    EXPECT_EQ(statusOf(reply), QStringLiteral("ok"));
    const auto group = reply.value("data").toObject();
    EXPECT_EQ(group.value("uniqueID").toString(), QStringLiteral("G1"));
    EXPECT_EQ(group.value("number").toString(), QStringLiteral("1"));
    EXPECT_EQ(group.value("type").toString(), QStringLiteral("Group"));
    EXPECT_EQ(group.value("isRunning"), QJsonValue(false));
    EXPECT_EQ(group.value("actionElapsed"), QJsonValue(0.0));
    EXPECT_EQ(group.value("duration"), QJsonValue(30.0));
    EXPECT_EQ(group.value("fileTarget"), QJsonValue(QJsonValue::Null));
    EXPECT_EQ(group.value("listName").toString(), QStringLiteral("Overture"));
    EXPECT_FALSE(group.contains(QStringLiteral("noSuchKey")));

    const auto midi = askShow("/cue_id/M1/valuesForKeys", {keys}).value("data").toObject();
    EXPECT_EQ(midi.value("fileTarget").toString(), QStringLiteral("/shows/overture.mid"));
    EXPECT_EQ(midi.value("notes").toString(), QStringLiteral("9"));
    EXPECT_EQ(midi.value("name").toString(), QString());
    EXPECT_EQ(midi.value("listName").toString(), QStringLiteral("overture.mid"));

    EXPECT_EQ(askShow("/cue/2.1/uniqueID").value("data").toString(), QStringLiteral("G3"));
    EXPECT_EQ(askShow("/cue_id/N3/notes").value("data").toString(), QStringLiteral("1, 120, 4, 4"));
    for (const auto& bad :
         {std::string("not json"), std::string(R"({"a": 1})"), std::string(R"([1, 2])")})
        EXPECT_EQ(statusOf(askShow("/cue_id/G1/valuesForKeys", {bad})), QStringLiteral("error"));
    EXPECT_EQ(statusOf(askShow("/cue_id/NOPE/valuesForKeys", {keys})), QStringLiteral("error"));

    m_qlab->change([](sim::WorkspaceFile& model) { model.workspaces[0].selected.clear(); });
    EXPECT_EQ(statusOf(askShow("/cue/selected/uniqueID")), QStringLiteral("error"));
}

TEST_F(OSCServerTest, ListsChildrenInOrderShallowOrDeepAndTheCueLists) {
    start(show);
    connectToShow();
    const auto shallow = askShow("/cue_id/G1/children/shallow").value("data").toArray();
    ASSERT_EQ(shallow.size(), 2);
    EXPECT_EQ(shallow[0]["uniqueID"].toString(), QStringLiteral("M1"));
    EXPECT_EQ(shallow[0]["type"].toString(), QStringLiteral("MIDI File"));
    EXPECT_EQ(shallow[0]["number"].toString(), QStringLiteral("1.1"));
    EXPECT_EQ(shallow[1]["uniqueID"].toString(), QStringLiteral("A1"));
    EXPECT_EQ(shallow[1]["name"].toString(), QStringLiteral("Overture audio"));
    EXPECT_EQ(shallow[1]["listName"].toString(), QStringLiteral("Overture audio"));

    // The shallow form leaves out a child group's children, the deep form has them.
    const auto act = askShow("/cue_id/G2/children/shallow").value("data").toArray();
    ASSERT_EQ(act.size(), 1);
    EXPECT_FALSE(act[0].toObject().contains(QStringLiteral("cues")));
    const auto deep = askShow("/cue_id/G2/children").value("data").toArray();
    EXPECT_EQ(deep[0]["cues"][0]["uniqueID"].toString(), QStringLiteral("N3"));

    const auto lists = askShow("/cueLists").value("data").toArray();
    ASSERT_EQ(lists.size(), 1);
    const auto cues = lists[0]["cues"].toArray();
    ASSERT_EQ(cues.size(), 2);
    EXPECT_EQ(cues[0]["uniqueID"].toString(), QStringLiteral("G1"));
    EXPECT_EQ(cues[0]["cues"][0]["uniqueID"].toString(), QStringLiteral("M1"));
    EXPECT_EQ(cues[1]["cues"][0]["cues"][0]["type"].toString(), QStringLiteral("Memo"));
}

TEST_F(OSCServerTest, PlaysTheSameModelAsTheAppleScriptSide) {
    start(show);
    connectToShow();
    m_client.send({"/workspace/WS-SHOW/cue_id/G1/loadAt", {12.5F}});
    m_client.send({"/workspace/WS-SHOW/cue_id/G1/start", {}});
    EXPECT_EQ(askShow("/cue_id/G1/isRunning").value("data"), QJsonValue(true));
    EXPECT_EQ(appleScriptAnswer(scripts::isCueRunning("G1")), QStringLiteral("true"));
    m_clock->advance(2.0);
    EXPECT_DOUBLE_EQ(askShow("/cue_id/G1/actionElapsed").value("data").toDouble(), 14.5);

    // Panic stops it for both; the AppleScript side's start is seen over OSC.
    m_client.send({"/workspace/WS-SHOW/cue_id/G1/panic", {}});
    EXPECT_EQ(askShow("/cue_id/G1/isRunning").value("data"), QJsonValue(false));
    EXPECT_EQ(appleScriptAnswer(scripts::isCueRunning("G1")), QStringLiteral("false"));
    EXPECT_DOUBLE_EQ(askShow("/cue_id/G1/actionElapsed").value("data").toDouble(), 0.0);
    appleScriptAnswer(scripts::loadTimeAndStart("G1", 20.0f, false, 0.0));
    EXPECT_EQ(askShow("/cue_id/G1/isRunning").value("data"), QJsonValue(true));

    // It runs to its duration (30 s) and is over.
    m_clock->advance(10.0);
    EXPECT_EQ(askShow("/cue_id/G1/isRunning").value("data"), QJsonValue(false));

    // loadAt takes whole seconds too; stop stops; a time that is not a number is refused.
    m_client.send({"/workspace/WS-SHOW/cue_id/G1/loadAt", {std::int32_t{3}}});
    EXPECT_DOUBLE_EQ(askShow("/cue_id/G1/actionElapsed").value("data").toDouble(), 3.0);
    m_client.send({"/workspace/WS-SHOW/cue_id/G1/start", {}});
    m_client.send({"/workspace/WS-SHOW/cue_id/G1/stop", {}});
    EXPECT_EQ(appleScriptAnswer(scripts::isCueRunning("G1")), QStringLiteral("false"));
    m_client.send({"/alwaysReply", {std::int32_t{1}}});
    m_client.nextReply("/alwaysReply");
    EXPECT_EQ(statusOf(askShow("/cue_id/G1/loadAt", {std::string("soon")})),
              QStringLiteral("error"));
    EXPECT_EQ(statusOf(askShow("/cue_id/G1/loadAt")), QStringLiteral("error"));
}

TEST_F(OSCServerTest, ListsTheRunningCuesWhicheverSideStartedThem) {
    start(show);
    connectToShow();
    EXPECT_EQ(askShow("/runningCues/uniqueIDs").value("data").toArray(), QJsonArray());
    m_client.send({"/workspace/WS-SHOW/cue_id/G3/start", {}});
    appleScriptAnswer(scripts::loadTimeAndStart("G1", 0.0f, false, 0.0));
    // Depth first, as the cue list shows them.
    EXPECT_EQ(askShow("/runningCues/uniqueIDs").value("data").toArray(),
              (QJsonArray{QJsonObject{{"uniqueID", "G1"}}, QJsonObject{{"uniqueID", "G3"}}}));
    const auto running = askShow("/runningCues").value("data").toArray();
    ASSERT_EQ(running.size(), 2);
    EXPECT_EQ(running[1]["name"].toString(), QStringLiteral("Finale"));
    m_clock->advance(30.0); // G1 reaches its end
    EXPECT_EQ(askShow("/runningCues/uniqueIDs").value("data").toArray(),
              (QJsonArray{QJsonObject{{"uniqueID", "G3"}}}));
}

TEST_F(OSCServerTest, UpdatesTellASubscriberWhichCueChanged) {
    start(show);
    connectToShow();
    m_client.send({"/workspace/WS-SHOW/updates", {std::int32_t{1}}});
    expectNothingBeforeAThump();
    // Started by the AppleScript side; ended by reaching its duration.
    appleScriptAnswer(scripts::loadTimeAndStart("G1", 0.0f, false, 0.0));
    auto update = m_client.nextMessage();
    ASSERT_TRUE(update);
    EXPECT_EQ(update->address, "/update/workspace/WS-SHOW/cue_id/G1");
    EXPECT_TRUE(update->arguments.empty());
    m_clock->advance(30.0);
    update = m_client.nextMessage();
    ASSERT_TRUE(update);
    EXPECT_EQ(update->address, "/update/workspace/WS-SHOW/cue_id/G1");
    // A new cue changes the workspace's list; a renamed one is that cue's update.
    askShow("/new", {std::string("memo")});
    update = m_client.nextMessage();
    ASSERT_TRUE(update);
    EXPECT_EQ(update->address, "/update/workspace/WS-SHOW");
    m_client.send({"/workspace/WS-SHOW/cue_id/A1/name", {std::string("Renamed")}});
    update = m_client.nextMessage();
    ASSERT_TRUE(update);
    EXPECT_EQ(update->address, "/update/workspace/WS-SHOW/cue_id/A1");

    m_client.send({"/workspace/WS-SHOW/updates", {std::int32_t{0}}});
    m_client.send({"/workspace/WS-SHOW/cue_id/A1/name", {std::string("Again")}});
    expectNothingBeforeAThump();
    EXPECT_FALSE(m_client.nextMessage(100)); // nothing after the thump either
}

TEST_F(OSCServerTest, MakesANetworkCueAndSetsItsMessage) {
    start(show);
    connectToShow();
    const auto made = askShow("/new", {std::string("network")});
    EXPECT_EQ(statusOf(made), QStringLiteral("ok"));
    const auto id = made.value("data").toString().toStdString();
    ASSERT_FALSE(id.empty());
    EXPECT_EQ(askShow("/cue/selected/uniqueID").value("data").toString().toStdString(), id);
    EXPECT_EQ(askShow("/cue_id/" + id + "/type").value("data").toString(),
              QStringLiteral("Network"));

    const std::string cue = "/workspace/WS-SHOW/cue_id/" + id;
    m_client.send({cue + "/number", {std::string("Carvo")}});
    m_client.send({cue + "/name", {std::string("Carvo go")}});
    m_client.send({cue + "/customString", {std::string("/carvo/go")}});
    m_client.send({cue + "/networkPatchNumber", {std::int32_t{2}}});
    m_client.send({cue + "/networkPatchName", {std::string("Carvo")}});
    const auto values =
        askShow("/cue_id/" + id + "/valuesForKeys",
                {std::string(R"(["number","name","customString","networkPatchNumber",)"
                             R"("networkPatchName"])")})
            .value("data")
            .toObject();
    EXPECT_EQ(values.value("number").toString(), QStringLiteral("Carvo"));
    EXPECT_EQ(values.value("name").toString(), QStringLiteral("Carvo go"));
    EXPECT_EQ(values.value("customString").toString(), QStringLiteral("/carvo/go"));
    EXPECT_EQ(values.value("networkPatchNumber"), QJsonValue(2));
    EXPECT_EQ(values.value("networkPatchName").toString(), QStringLiteral("Carvo"));
    // The AppleScript side sees the cue numbered "Carvo" in the same workspace.
    EXPECT_EQ(appleScriptAnswer(std::string(scripts::checkStatus())),
              QStringLiteral("workspace and cue found"));

    EXPECT_EQ(statusOf(askShow("/new", {std::string("hologram")})), QStringLiteral("error"));
    EXPECT_EQ(statusOf(askShow("/new")), QStringLiteral("error"));
}

constexpr const char* filtered = R"({ "duplicateWindowMs": 100, "workspaces": [
  { "name": "Show", "uniqueID": "W", "cues": [ { "uniqueID": "G", "type": "Group" } ] } ] })";

TEST_F(OSCServerTest, TheDuplicateFilterDropsARepeatWithinItsWindowOnly) {
    start(filtered);
    const Message running{"/workspace/W/cue_id/G/isRunning", {}};
    const Message elapsed{"/workspace/W/cue_id/G/actionElapsed", {}};
    m_client.send(running);
    m_client.send(running); // dropped: no reply at all
    m_client.send(elapsed);
    m_client.nextReply(running.address);
    m_client.nextReply(elapsed.address);

    // Different messages are never dropped, however fast they come.
    for (int i = 0; i < 5; ++i) {
        m_client.send(running);
        m_client.send(elapsed);
    }
    for (int i = 0; i < 5; ++i) {
        m_client.nextReply(running.address);
        m_client.nextReply(elapsed.address);
    }
    // The same address with other arguments is another message.
    m_client.send({"/workspace/W/cue_id/G/name", {std::string("a")}});
    m_client.send({"/workspace/W/cue_id/G/name", {std::string("b")}});
    expectNothingBeforeAThump();
    EXPECT_EQ(m_qlab->snapshot().workspaces[0].cues[0].name, QStringLiteral("b"));

    // QLab judges by real arrival: the simulation's clock moving on changes nothing. After the
    // window has really passed, the same message is answered again; a dropped one has no effect.
    sendAndLetArrive(running);
    m_clock->advance(10.0);
    sendAndLetArrive(running);
    QThread::msleep(150); // past the window, measured from the dropped one
    sendAndLetArrive(running);
    m_client.nextReply(running.address);
    m_client.nextReply(running.address);
    m_client.send({"/workspace/W/new", {std::string("memo")}});
    m_client.send({"/workspace/W/new", {std::string("memo")}});
    m_client.nextReply("/workspace/W/new");
    expectNothingBeforeAThump();
    EXPECT_EQ(m_qlab->snapshot().workspaces[0].cues.size(), 2u);

    const auto dropped = m_server->droppedMessages();
    EXPECT_EQ(dropped, (QStringList{QStringLiteral("/workspace/W/cue_id/G/isRunning"),
                                    QStringLiteral("/workspace/W/cue_id/G/isRunning"),
                                    QStringLiteral("/workspace/W/new s \"memo\"")}));
}

TEST_F(OSCServerTest, JitterMakesEveryOtherChosenMessageArriveLateWithThoseBehindIt) {
    start(filtered);
    m_qlab->change([](sim::WorkspaceFile& model) {
        model.duplicateWindowMs = 300;
        model.jitter = sim::WorkspaceFile::Jitter{250, QStringLiteral("isRunning")};
    });
    const Message running{"/workspace/W/cue_id/G/isRunning", {}};
    QElapsedTimer timer;
    timer.start();
    m_client.send(running); // late
    m_client.send({"/version", {}});
    m_client.nextReply(running.address);
    EXPECT_GE(timer.elapsed(), 250);
    m_client.nextReply("/version"); // held behind it, in order

    // The next one is on time.
    m_client.send(running);
    m_client.nextReply(running.address);

    // The one after is late again, and its twin, written after the window, arrives within it:
    // QLab drops it. This is the race a sender must leave a margin for.
    const auto serveFor = [](int ms) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    serveFor(150);
    timer.restart();
    m_client.send(running);
    serveFor(350);
    m_client.send(running);
    m_client.nextReply(running.address);
    expectNothingBeforeAThump();
    EXPECT_EQ(m_server->droppedMessages(),
              QStringList{QStringLiteral("/workspace/W/cue_id/G/isRunning")});
}

TEST_F(OSCServerTest, APasscodeGrantsItsRightsAndActionsNeedControl) {
    start(show);
    m_qlab->change([](sim::WorkspaceFile& model) {
        model.workspaces[0].passcodeRights = QStringLiteral("view");
    });
    EXPECT_EQ(askShow("/connect", {std::string("1234")}).value("data").toString(),
              QStringLiteral("ok:view"));
    EXPECT_EQ(statusOf(askShow("/cue_id/G1/type")), QStringLiteral("ok"));
    m_client.send({"/alwaysReply", {std::int32_t{1}}});
    m_client.nextReply("/alwaysReply");
    for (const auto& [method, arguments] :
         std::vector<std::pair<std::string, std::vector<osc::Argument>>>{
             {"/cue_id/G1/loadAt", {2.0F}},
             {"/cue_id/G1/start", {}},
             {"/cue_id/G1/panic", {}},
             {"/cue_id/G1/name", {std::string("renamed")}},
             {"/new", {std::string("memo")}}})
        EXPECT_EQ(statusOf(askShow(method, arguments)), QStringLiteral("denied")) << method;
    EXPECT_FALSE(appleScriptAnswer(scripts::isCueRunning("G1")) == QStringLiteral("true"));
}

TEST_F(OSCServerTest, SeveralSelectedCuesAnswerOncePerCueOrOnceWithAList) {
    start(filtered);
    m_qlab->change([&](sim::WorkspaceFile& model) {
        model.duplicateWindowMs = 0;
        auto& workspace = model.workspaces[0];
        workspace.cues.push_back({});
        workspace.cues.back().uniqueID = QStringLiteral("H");
        workspace.cues.back().type = QStringLiteral("Audio");
        workspace.selected = QStringList{QStringLiteral("G"), QStringLiteral("H")};
    });
    for (const auto shape :
         {sim::Workspace::SelectedReplies::each, sim::Workspace::SelectedReplies::list}) {
        m_qlab->change(
            [&](sim::WorkspaceFile& model) { model.workspaces[0].selectedReplies = shape; });
        m_client.send({"/workspace/W/cue/selected/uniqueID", {}});
        if (shape == sim::Workspace::SelectedReplies::each) {
            EXPECT_EQ(m_client.nextReply("/workspace/W/cue/selected/uniqueID").value("data"),
                      QJsonValue(QStringLiteral("G")));
            EXPECT_EQ(m_client.nextReply("/workspace/W/cue/selected/uniqueID").value("data"),
                      QJsonValue(QStringLiteral("H")));
        } else {
            EXPECT_EQ(m_client.nextReply("/workspace/W/cue/selected/uniqueID").value("data"),
                      QJsonValue(QJsonArray{QStringLiteral("G"), QStringLiteral("H")}));
        }
        expectNothingBeforeAThump();
    }
}

TEST_F(OSCServerTest, TheDuplicateFilterIsOffAtZero) {
    start(show);
    m_client.send({"/thump", {}});
    m_client.send({"/thump", {}});
    m_client.nextReply("/thump");
    m_client.nextReply("/thump");
    EXPECT_TRUE(m_server->droppedMessages().isEmpty());
}

TEST_F(OSCServerTest, EachReplyComesAsLateAsTheLatencySaysAndInOrder) {
    start(show);
    m_qlab->change([](sim::WorkspaceFile& model) { model.latencyMs = 150; });
    QElapsedTimer timer;
    timer.start();
    m_client.send({"/version", {}});
    m_client.send({"/thump", {}});
    m_client.nextReply("/version");
    EXPECT_GE(timer.elapsed(), 150);
    m_client.nextReply("/thump");
}

TEST_F(OSCServerTest, AHangHoldsTheRunningChecksOfItsCueUntilItIsLifted) {
    start(filtered);
    m_qlab->change([](sim::WorkspaceFile& model) {
        model.hang = sim::Hang{sim::ScriptKind::running, QStringLiteral("G"), std::nullopt};
    });
    m_client.send({"/workspace/W/cue_id/G/valuesForKeys", {std::string(R"(["isRunning"])")}});
    m_client.send({"/workspace/W/cue_id/G/isRunning", {}});
    // Other questions are answered meanwhile.
    EXPECT_EQ(m_client.ask({"/workspace/W/cue_id/G/type", {}}).value("data").toString(),
              QStringLiteral("Group"));
    m_qlab->change([](sim::WorkspaceFile& model) { model.hang.reset(); });
    EXPECT_EQ(m_client.nextReply("/workspace/W/cue_id/G/valuesForKeys").value("data")["isRunning"],
              QJsonValue(false));
    m_client.nextReply("/workspace/W/cue_id/G/isRunning");
}

TEST_F(OSCServerTest, AStatusHangHoldsTheQuestionForTheCarvoCue) {
    start(filtered);
    m_qlab->change([](sim::WorkspaceFile& model) {
        model.duplicateWindowMs = 0;
        model.hang = sim::Hang{sim::ScriptKind::status, {}, std::nullopt};
    });
    const Message carvo{"/workspace/W/cue/Carvo/uniqueID", {}};
    m_client.send(carvo);
    expectNothingBeforeAThump();
    m_qlab->change([](sim::WorkspaceFile& model) { model.hang.reset(); });
    EXPECT_EQ(statusOf(m_client.nextReply(carvo.address)), QStringLiteral("error")); // none here
}

TEST_F(OSCServerTest, BytesThatAreNotOSCChangeNothingAndTheConnectionServesOn) {
    start(show);
    const auto end = static_cast<char>(0xC0);
    m_client.sendBytes(QByteArray("\x00\x01garbage\xDB\xDB", 11) + end + end);
    m_client.sendBytes(QByteArray(1, end) + QByteArray("/x\0\0,q\0\0", 8) + end); // unknown tag
    m_client.sendBytes(QByteArray(1, end) + "#bundle" + QByteArray(9, '\0') + end);
    m_client.sendBytes(QByteArray(1, end) + QByteArray(200 * 1024, 'x') + end); // too large
    const auto truncated = osc::encode({"/workspace/X/new", {std::string("network")}});
    m_client.sendBytes(QByteArray(1, end) +
                       QByteArray(reinterpret_cast<const char*>(truncated.data()),
                                  static_cast<qsizetype>(truncated.size() - 4)) +
                       end);
    expectNothingBeforeAThump();
    EXPECT_EQ(m_server->receivedMessages(), QStringList{QStringLiteral("/thump")});
}

TEST_F(OSCServerTest, LogsEveryMessageAsOscdumpPrintsIt) {
    start(show);
    QStringList emitted;
    QObject::connect(m_server.get(), &sim::OSCServer::messageReceived,
                     [&](const QString& line) { emitted.append(line); });
    m_client.send({"/workspace/W1/cue_id/6A3B/loadAt", {12.5F}});
    m_client.send({"/carvo/note", {std::string("caf\xc3\xa9"), std::int32_t{-3}}});
    m_client.send({"/x", {osc::True{}, osc::False{}, osc::Nil{}, std::int64_t{9}, 2.25}});
    expectNothingBeforeAThump();
    const QStringList expected{QStringLiteral("/workspace/W1/cue_id/6A3B/loadAt f 12.500000"),
                               QStringLiteral("/carvo/note si \"caf\u00e9\" -3"),
                               QStringLiteral("/x TFNhd #T #F Nil 9 2.250000"),
                               QStringLiteral("/thump")};
    EXPECT_EQ(m_server->receivedMessages(), expected);
    EXPECT_EQ(emitted, expected);
}

TEST_F(OSCServerTest, ClosingDropsTheConnections) {
    start(show);
    m_server->close();
    QElapsedTimer timer;
    timer.start();
    while (m_client.socket().state() == QAbstractSocket::ConnectedState &&
           timer.elapsed() < replyTimeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    EXPECT_NE(m_client.socket().state(), QAbstractSocket::ConnectedState);
}

TEST(DemoWorkspaceOverOSC, AnswersWhatAJumpAsks) {
    QString problem;
    auto demo = sim::loadWorkspaceFile(QStringLiteral(CARVO_DEMO_DIR "/workspace.json"), &problem);
    ASSERT_TRUE(demo) << problem.toStdString();
    const auto qlab = std::make_shared<sim::SimulatedQLab>(std::move(*demo));
    sim::OSCServer server(qlab);
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    OSCTestClient client;
    ASSERT_TRUE(client.connectTo(server.serverPort()));
    const auto id = client.ask({"/workspaces", {}}).value("data")[0]["uniqueID"].toString();
    const std::string cue = "/workspace/" + id.toStdString() + "/cue/selected";
    const auto group = client.ask({cue + "/valuesForKeys", {std::string(R"(["uniqueID","type"])")}})
                           .value("data")
                           .toObject();
    EXPECT_EQ(group.value("uniqueID").toString(), QStringLiteral("D-GROUP-OVERTURE"));
    EXPECT_EQ(group.value("type").toString(), QStringLiteral("Group"));
    const auto children = client.ask({cue + "/children/shallow", {}}).value("data").toArray();
    ASSERT_EQ(children.size(), 2);
    EXPECT_EQ(children[0]["type"].toString(), QStringLiteral("MIDI File"));
    const auto target =
        client.ask({"/workspace/" + id.toStdString() + "/cue_id/D-MIDI-OVERTURE/fileTarget", {}})
            .value("data")
            .toString();
    EXPECT_TRUE(target.endsWith(u"/demo/overture.mid")) << target.toStdString();
}

#ifdef CARVO_QLAB_SIM
// A free port on loopback, as far as anyone can know before binding it.
quint16 freePort() {
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    return probe.serverPort();
}

// Reads the process's standard output until a line starting with prefix comes; that line.
QString waitForLine(QProcess& process, const QString& prefix) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < replyTimeoutMs) {
        while (process.canReadLine()) {
            const auto line = QString::fromUtf8(process.readLine()).trimmed();
            if (line.startsWith(prefix))
                return line;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    return {};
}

TEST(QLabSimProgram, ServesAWorkspaceFilePrintsEachMessageAndEndsOnSigterm) {
    const auto port = freePort();
    QProcess process;
    process.start(QStringLiteral(CARVO_QLAB_SIM),
                  {QStringLiteral("--osc"), QString::number(port),
                   QStringLiteral(CARVO_DEMO_DIR "/workspace.json"), QStringLiteral("--latency"),
                   QStringLiteral("1"), QStringLiteral("--duplicate-window"),
                   QStringLiteral("500")});
    ASSERT_TRUE(process.waitForStarted());
    EXPECT_EQ(waitForLine(process, QStringLiteral("Simulated QLab")),
              QStringLiteral("Simulated QLab listening on 127.0.0.1:%1").arg(port));

    OSCTestClient client;
    ASSERT_TRUE(client.connectTo(port));
    const auto id = client.ask({"/workspaces", {}}).value("data")[0]["uniqueID"].toString();
    const std::string cue = "/workspace/" + id.toStdString() + "/cue_id/D-GROUP-OVERTURE";
    client.send({cue + "/loadAt", {12.5F}});
    client.send({cue + "/loadAt", {12.5F}});
    client.send({cue + "/start", {}});
    EXPECT_EQ(client.ask({cue + "/isRunning", {}}).value("data"), QJsonValue(true));
    EXPECT_EQ(waitForLine(process, QStringLiteral("received ") + QString::fromStdString(cue)),
              QStringLiteral("received %1/loadAt f 12.500000").arg(QString::fromStdString(cue)));
    EXPECT_EQ(waitForLine(process, QStringLiteral("dropped ")),
              QStringLiteral("dropped %1/loadAt f 12.500000").arg(QString::fromStdString(cue)));

    process.terminate();
    ASSERT_TRUE(process.waitForFinished(replyTimeoutMs));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

TEST(QLabSimProgram, RefusesABadCommandLine) {
    for (const QStringList& arguments :
         {QStringList{QStringLiteral(CARVO_DEMO_DIR "/workspace.json")},
          QStringList{QStringLiteral("--osc"), QStringLiteral("70000"),
                      QStringLiteral(CARVO_DEMO_DIR "/workspace.json")},
          QStringList{QStringLiteral("--osc"), QStringLiteral("53999"),
                      QStringLiteral("/no/such/workspace.json")},
          QStringList{QStringLiteral("--osc"), QStringLiteral("53999"),
                      QStringLiteral(CARVO_DEMO_DIR "/workspace.json"),
                      QStringLiteral("--duplicate-window"), QStringLiteral("-1")}}) {
        QProcess process;
        process.start(QStringLiteral(CARVO_QLAB_SIM), arguments);
        ASSERT_TRUE(process.waitForFinished(replyTimeoutMs)) << arguments.join(u' ').toStdString();
        EXPECT_EQ(process.exitCode(), 2) << arguments.join(u' ').toStdString();
    }
}
#endif

} // namespace
} // namespace carvo::testing
