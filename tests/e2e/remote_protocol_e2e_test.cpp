// The remote protocol end to end: a real headless carvo with the simulated QLab and the demo
// workspace on a loopback port, driven by clients that send raw bytes.
#include <algorithm>
#include <cmath>
#include <set>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

#include "e2e_support.h"

namespace carvo::e2e {
namespace {

constexpr int answerMs = 5000;
// The demo's memo group: first bar 1, 120 beats per minute, 4/4, so a bar lasts 2 s.
const QString waltz = QStringLiteral("D-GROUP-WALTZ");
constexpr double waltzBarSeconds = 2.0;
// The demo's MIDI group: its MIDI File cue's notes number the score's first bar 9.
const QString overture = QStringLiteral("D-GROUP-OVERTURE");

class RemoteProtocolEndToEnd : public ::testing::Test {
protected:
    void startCarvo(const QByteArray& workspace = demoWorkspace(), CarvoSettings settings = {}) {
        QString problem;
        ASSERT_TRUE(carvo.start(workspace, settings, &problem)) << problem.toStdString();
    }

    std::unique_ptr<TestClient> connectClient() {
        auto client = std::make_unique<TestClient>();
        EXPECT_TRUE(client->connectTo(carvo.port()));
        return client;
    }

    // Selects a cue and waits for the echo, so the next message is a read of its own.
    static void select(TestClient& client, const QString& cueID) {
        const QByteArray message = "REMOTE_SELECTED: " + cueID.toUtf8();
        client.send(message);
        ASSERT_TRUE(client.waitForMessage(message.toStdString(), answerMs));
    }

    // Sends one message on a connection of its own and closes the sending side: when the server
    // has closed the connection too, the message has been acted on. Returns what came back.
    std::vector<std::string> sendAlone(const QByteArray& message) {
        TestClient client;
        EXPECT_TRUE(client.connectTo(carvo.port()));
        client.send(message);
        client.finishSending();
        EXPECT_TRUE(client.waitForClose(answerMs)) << message.toStdString();
        return client.messagesWithPending();
    }

    qsizetype runsContaining(const QString& text) const {
        const QStringList runs = carvo.scriptRuns();
        return std::count_if(runs.begin(), runs.end(),
                             [&](const QString& run) { return run.contains(text); });
    }

    CarvoInstance carvo;
};

using Messages = std::vector<std::string>;

// The demo workspace without the Carvo cue: QLab then offers no catalogue at all.
QByteArray demoWorkspaceWithoutTheCarvoCue() {
    QJsonObject top = QJsonDocument::fromJson(demoWorkspace()).object();
    QJsonArray workspaces = top.value(QStringLiteral("workspaces")).toArray();
    QJsonObject front = workspaces[0].toObject();
    QJsonArray cues;
    for (const QJsonValue& cue : front.value(QStringLiteral("cues")).toArray())
        if (cue.toObject().value(QStringLiteral("number")).toString() != QStringLiteral("Carvo"))
            cues.append(cue);
    front.insert(QStringLiteral("cues"), cues);
    workspaces[0] = front;
    top.insert(QStringLiteral("workspaces"), workspaces);
    return QJsonDocument(top).toJson();
}

// --- the road of a remote jump --------------------------------------------------------------

TEST_F(RemoteProtocolEndToEnd, SelectionIsEchoedToEveryClientTheSenderIncluded) {
    startCarvo();
    auto sender = connectClient();
    auto silent = connectClient(); // never sends anything
    sender->send("REMOTE_SELECTED: ABC");
    EXPECT_TRUE(sender->waitForMessage("REMOTE_SELECTED: ABC", answerMs));
    EXPECT_TRUE(silent->waitForMessage("REMOTE_SELECTED: ABC", answerMs));
}

TEST_F(RemoteProtocolEndToEnd, BarRequestLoadsTheBarAndThenCountsThroughIt) {
    startCarvo();
    auto sender = connectClient();
    auto watcher = connectClient();
    select(*sender, waltz);
    sender->send("BAR_REQUEST: 5");

    // Bar 6 begins 2 s after the jump; wait until its first position has been received whole.
    ASSERT_TRUE(waitUntil(
        [&] {
            const auto& all = watcher->messages();
            return !all.empty() && readBarMessage(all.back()) &&
                   readBarMessage(all.back())->bar == 6;
        },
        answerMs + 3000));
    const Messages messages = watcher->messages();
    const auto& arrivals = watcher->arrivalTimes();

    // The echo, then the jump's two messages, then the positions.
    ASSERT_GE(messages.size(), 4U);
    EXPECT_EQ(messages[0], "REMOTE_SELECTED: D-GROUP-WALTZ");
    EXPECT_EQ(messages[1], "QLAB_SELECTED: D-GROUP-WALTZ");
    EXPECT_EQ(messages[2], "BPB: 4");
    std::size_t newBarAnnounced = 0;
    std::optional<BarPosition> previous;
    qint64 firstArrival = 0;
    double firstPosition = 0.0;
    for (std::size_t i = 3; i < messages.size(); ++i) {
        if (messages[i] == "BPB: 4") {
            newBarAnnounced = i;
            continue;
        }
        const auto position = readBarMessage(messages[i]);
        ASSERT_TRUE(position.has_value()) << messages[i];
        ASSERT_TRUE(position->bar == 5 || position->bar == 6) << messages[i];
        EXPECT_GE(position->progress, 0.0) << messages[i];
        EXPECT_LT(position->progress, 1.0) << messages[i];
        // 4/4: a quarter of the bar per beat (either side of a beat line may round either way).
        const double beats = position->progress * 4.0;
        if (std::abs(beats - std::round(beats)) > 1e-3) {
            EXPECT_EQ(position->beat, static_cast<qint64>(std::floor(beats)) + 1) << messages[i];
        }
        const double seconds =
            (static_cast<double>(position->bar - 5) + position->progress) * waltzBarSeconds;
        if (previous) {
            const double previousSeconds =
                (static_cast<double>(previous->bar - 5) + previous->progress) * waltzBarSeconds;
            EXPECT_GT(seconds, previousSeconds) << messages[i];
        } else {
            firstArrival = arrivals[i];
            firstPosition = seconds;
        }
        // The position follows the clock: what it has moved matches the time between arrivals.
        const double wallSeconds = static_cast<double>(arrivals[i] - firstArrival) / 1000.0;
        EXPECT_NEAR(seconds - firstPosition, wallSeconds, 0.5) << messages[i];
        previous = position;
    }
    EXPECT_GT(newBarAnnounced, 3U) << "no \"BPB: \" when bar 6 began";
    EXPECT_EQ(readBarMessage(messages.back())->bar, 6);
    EXPECT_TRUE(carvo.hasLine(QStringLiteral("Received Bar: 5")));
    // Bar 5 of the memo's fixed tempo starts 8 s into the music.
    EXPECT_EQ(runsContaining(QStringLiteral("set barTime to 8.0\n")), 1);
}

TEST_F(RemoteProtocolEndToEnd, MIDIGroupCountsInTheScoresOwnBarNumbers) {
    startCarvo();
    auto client = connectClient();
    select(*client, overture);
    client->send("BAR_REQUEST: 9");
    const auto first = client->waitForMatch(
        [](const std::string& m) { return readBarMessage(m).has_value(); }, answerMs);
    ASSERT_TRUE(first.has_value());
    const Messages messages = client->messagesWithPending();
    EXPECT_EQ(messages[1], "QLAB_SELECTED: D-GROUP-OVERTURE");
    EXPECT_TRUE(std::string_view(messages[2]).starts_with("BPB: "));
    // Bar 9 is the score's first bar: the music is loaded from its start.
    EXPECT_EQ(readBarMessage(messages[*first])->bar, 9);
    EXPECT_EQ(runsContaining(QStringLiteral("set barTime to 0.0\n")), 1);
}

TEST_F(RemoteProtocolEndToEnd, CounterStopsWithTheLastBarWhenTheCueEnds) {
    // Bar 5 starts 8 s into the music; the simulated group's action ends one second later.
    startCarvo(demoWorkspace({{waltz, 9.0}}));
    auto client = connectClient();
    select(*client, waltz);
    client->send("BAR_REQUEST: 5");
    const auto stop = client->waitForMatch([](const std::string& m) { return m == "BAR: 5.1 0"; },
                                           answerMs + 3000);
    ASSERT_TRUE(stop.has_value());
    const Messages messages = client->messagesWithPending();
    const auto positions = std::count_if(
        messages.begin(), messages.begin() + static_cast<long>(*stop), [](const std::string& m) {
            const auto p = readBarMessage(m);
            return p && p->bar == 5 && p->progress > 0.0;
        });
    // About one second at twenty ticks a second ran before the stop.
    EXPECT_GE(positions, 5);
}

TEST_F(RemoteProtocolEndToEnd, BarRequestWithoutAnySelectionReachesClientsAsAnOperatorMessage) {
    startCarvo();
    auto client = connectClient();
    auto watcher = connectClient();
    client->send("BAR_REQUEST: 5");
    const auto answer = watcher->waitForMatch(
        [](const std::string& m) { return std::string_view(m).starts_with("ERROR: "); }, answerMs);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(watcher->messagesWithPending()[*answer], "ERROR: no cue selected");
}

// --- cues and stop --------------------------------------------------------------------------

TEST_F(RemoteProtocolEndToEnd, RequestCuesSendsOneCatalogueThatParses) {
    startCarvo();
    auto client = connectClient();
    auto watcher = connectClient();
    client->send("REQUEST CUES");
    ASSERT_TRUE(watcher->waitForMatch(
        [](const std::string& m) { return std::string_view(m).starts_with("GROUP_CUES: "); },
        answerMs));
    // A later echo proves nothing else was sent in between.
    select(*client, waltz);
    const Messages messages = client->messagesWithPending();
    ASSERT_EQ(messages.size(), 2U);
    bool parsed = false;
    const auto cues = readGroupCues(messages[0], &parsed);
    ASSERT_TRUE(parsed) << messages[0];
    std::set<QString> ids;
    for (const QJsonObject& cue : cues) {
        EXPECT_EQ(cue.keys(), (QStringList{QStringLiteral("id"), QStringLiteral("name")}));
        ids.insert(cue.value(QStringLiteral("id")).toString());
    }
    EXPECT_TRUE(ids.count(waltz));
    EXPECT_TRUE(ids.count(overture));
    EXPECT_EQ(watcher->messagesWithPending().front(), messages[0]);
}

TEST_F(RemoteProtocolEndToEnd, RequestCuesSendsNothingWhileTheWorkspaceLacksTheCarvoCue) {
    startCarvo(demoWorkspaceWithoutTheCarvoCue());

    auto watcher = connectClient();
    EXPECT_EQ(sendAlone("REQUEST CUES"), Messages{});
    select(*watcher, waltz);
    EXPECT_EQ(watcher->messagesWithPending(), Messages{"REMOTE_SELECTED: D-GROUP-WALTZ"});
}

TEST_F(RemoteProtocolEndToEnd, StopPanicsEveryCataloguedCueAndNeedsItsBlank) {
    startCarvo();
    auto client = connectClient();
    client->send("REQUEST CUES");
    const auto catalogue = client->waitForMatch(
        [](const std::string& m) { return std::string_view(m).starts_with("GROUP_CUES: "); },
        answerMs);
    ASSERT_TRUE(catalogue.has_value());
    bool parsed = false;
    const auto cues = readGroupCues(client->messagesWithPending()[*catalogue], &parsed);
    ASSERT_TRUE(parsed);
    ASSERT_FALSE(cues.empty());

    EXPECT_TRUE(sendAlone("STOP").empty());
    EXPECT_EQ(runsContaining(QStringLiteral("panic myCue")), 0);

    EXPECT_TRUE(sendAlone("STOP now, please").empty());
    const QStringList runs = carvo.scriptRuns();
    ASSERT_EQ(runsContaining(QStringLiteral("panic myCue")), 1);
    const QString panic = *std::find_if(runs.begin(), runs.end(), [](const QString& run) {
        return run.contains(QStringLiteral("panic myCue"));
    });
    for (const QJsonObject& cue : cues) {
        const QString id = cue.value(QStringLiteral("id")).toString();
        EXPECT_TRUE(panic.contains(QStringLiteral("set myCue to first cue whose uniqueID is \"") +
                                   appleScriptEscaped(id) + QStringLiteral("\"\npanic myCue")))
            << id.toStdString();
    }
    EXPECT_EQ(panic.count(QStringLiteral("panic myCue")), static_cast<qsizetype>(cues.size()));
}

TEST_F(RemoteProtocolEndToEnd, StopBeforeAnyoneAskedForTheCuesStillPanicsTheWholeCatalogue) {
    startCarvo();
    auto watcher = connectClient();
    // Read quietly at start-up: no client hears a catalogue it did not ask for.
    ASSERT_TRUE(carvo.waitForStartUpCatalogue(answerMs));
    EXPECT_TRUE(sendAlone("STOP ").empty());
    ASSERT_EQ(runsContaining(QStringLiteral("panic myCue")), 1) << carvo.scriptLog().toStdString();
    for (const QString& group : {waltz, overture})
        EXPECT_EQ(runsContaining(QStringLiteral("first cue whose uniqueID is \"") + group +
                                 QStringLiteral("\"\npanic myCue")),
                  1)
            << group.toStdString();
    for (const std::string& message : watcher->messagesWithPending())
        EXPECT_FALSE(std::string_view(message).starts_with("GROUP_CUES: ")) << message;
}

TEST_F(RemoteProtocolEndToEnd, StopStopsTheMusicOfTheLastJumpThoughNoCatalogueWasEverRead) {
    // Without the Carvo cue QLab offers no catalogue at all, so only what Carvo itself started
    // can be known to a stop; no client ever sent REQUEST CUES.
    startCarvo(demoWorkspaceWithoutTheCarvoCue());

    auto client = connectClient();
    select(*client, waltz);
    client->send("BAR_REQUEST: 3");
    const auto counting = client->waitForMatch(
        [](const std::string& m) {
            const auto p = readBarMessage(m);
            return p && p->bar == 3 && p->progress > 0.0;
        },
        answerMs);
    ASSERT_TRUE(counting.has_value());

    EXPECT_TRUE(sendAlone("STOP ").empty());
    EXPECT_EQ(runsContaining(QStringLiteral("set myCue to first cue whose uniqueID is \"") + waltz +
                             QStringLiteral("\"\npanic myCue")),
              1)
        << carvo.scriptLog().toStdString();
    // QLab stopped the waltz, so the counter stops with the bar it was jumped to.
    EXPECT_TRUE(client
                    ->waitForMatch([](const std::string& m) { return m == "BAR: 3.1 0"; }, answerMs,
                                   *counting)
                    .has_value());
}

// --- handshake ------------------------------------------------------------------------------

TEST_F(RemoteProtocolEndToEnd, HandshakeAnswersOnlyTheRequesterThenEveryoneHearsThePosition) {
    startCarvo();
    auto requester = connectClient();
    auto other = connectClient();
    requester->send("HANDSHAKE_REQUEST");
    ASSERT_TRUE(requester->waitForMessage("HANDSHAKE_RESPONSE", answerMs));
    // Nothing runs: the counter stops at once with the last triggered bar, the initial 1.
    EXPECT_TRUE(requester->waitForMessage("BAR: 1.1 0", answerMs));
    ASSERT_TRUE(other->waitForMessage("BAR: 1.1 0", answerMs));
    const Messages heard = other->messagesWithPending();
    EXPECT_EQ(std::count(heard.begin(), heard.end(), "HANDSHAKE_RESPONSE"), 0);
    EXPECT_EQ(requester->messagesWithPending().front(), "HANDSHAKE_RESPONSE");
}

TEST_F(RemoteProtocolEndToEnd, HandshakeWhileACueRunsRejoinsItsPosition) {
    startCarvo();
    auto controller = connectClient();
    select(*controller, waltz);
    controller->send("BAR_REQUEST: 3");
    ASSERT_TRUE(controller->waitForMatch(
        [](const std::string& m) { return readBarMessage(m).has_value(); }, answerMs));

    auto latecomer = connectClient();
    latecomer->send("HANDSHAKE_REQUEST");
    const auto response = latecomer->waitForMatch(
        [](const std::string& m) { return m == "HANDSHAKE_RESPONSE"; }, answerMs);
    ASSERT_TRUE(response.has_value());
    // The restarted counter goes on from the jump instead of stopping.
    const auto position = latecomer->waitForMatch(
        [](const std::string& m) {
            const auto p = readBarMessage(m);
            return p && p->progress > 0.0;
        },
        answerMs, *response + 1);
    ASSERT_TRUE(position.has_value());
    EXPECT_EQ(readBarMessage(latecomer->messagesWithPending()[*position])->bar, 3);
}

// --- what the server does not take ----------------------------------------------------------

TEST_F(RemoteProtocolEndToEnd, NearMissesAndJoinedMessagesGetNoAnswerAndRunNoScript) {
    startCarvo();
    // The catalogue read at start-up (for STOP) runs its scripts first; none may follow it.
    ASSERT_TRUE(carvo.waitForStartUpCatalogue(answerMs));
    const QStringList startUp = carvo.scriptRuns();
    const QByteArray nearMisses[] = {
        "HANDSHAKE_REQUEST\n",
        "HANDSHAKE_REQUEST\r\n",
        "REQUEST CUES\n",
        "STOP",
        "BAR_REQUEST:12",
        "REQUEST CUESHANDSHAKE_REQUEST", // two requests in one read are one message
        "handshake_request",
    };
    for (const QByteArray& message : nearMisses)
        EXPECT_EQ(sendAlone(message), Messages{}) << message.toStdString();
    EXPECT_EQ(carvo.scriptRuns(), startUp) << carvo.scriptLog().toStdString();
    EXPECT_FALSE(std::any_of(carvo.outputLines().begin(), carvo.outputLines().end(),
                             [](const QString& line) { return line.startsWith("Received Bar"); }));
}

TEST_F(RemoteProtocolEndToEnd, BarNumbersFollowTheStrictIntegerRule) {
    // Standby: the cue is only loaded, so each jump goes through however quickly they follow.
    startCarvo(demoWorkspace(), CarvoSettings{.standby = true, .extraArguments = {}});
    auto client = connectClient();
    select(*client, waltz);

    for (const char* request : {"BAR_REQUEST: 012", "BAR_REQUEST: +12"}) {
        const std::size_t before = client->messagesWithPending().size();
        const qsizetype reported = carvo.lineCount(QStringLiteral("Received Bar: 12"));
        client->send(request);
        EXPECT_TRUE(client->waitForMatch(
            [](const std::string& m) { return m == "QLAB_SELECTED: D-GROUP-WALTZ"; }, answerMs,
            before))
            << request;
        EXPECT_TRUE(waitUntil(
            [&] { return carvo.lineCount(QStringLiteral("Received Bar: 12")) == reported + 1; },
            answerMs))
            << request;
        // Let the standby counter stop before the next request, so reads stay apart.
        EXPECT_TRUE(client->waitForMatch([](const std::string& m) { return m == "BAR: 12.1 0"; },
                                         answerMs, before))
            << request;
    }
    // 12 starts 22 s into the music, twice.
    EXPECT_EQ(runsContaining(QStringLiteral("set barTime to 22.0\n")), 2);

    const std::size_t before = client->messagesWithPending().size();
    client->send("BAR_REQUEST: -3");
    EXPECT_TRUE(client->waitForMatch(
        [](const std::string& m) { return m == "The bar number is out of range"; }, answerMs,
        before));
    EXPECT_TRUE(carvo.waitForLine(QStringLiteral("Received Bar: -3"), answerMs));

    EXPECT_EQ(sendAlone("BAR_REQUEST: 12 "), Messages{});
    EXPECT_TRUE(carvo.waitForLine(QStringLiteral("Could not convert '12 ' to Int"), answerMs));
    EXPECT_EQ(sendAlone("BAR_REQUEST: "), Messages{});
    EXPECT_TRUE(carvo.waitForLine(QStringLiteral("Could not convert '' to Int"), answerMs));
    EXPECT_EQ(runsContaining(QStringLiteral("set barTime to")), 2);
}

// --- reads and the connection ---------------------------------------------------------------

TEST_F(RemoteProtocolEndToEnd, FiveThousandBytesAreJudgedAsTwoMessages) {
    startCarvo();
    auto client = connectClient();
    // Two bar requests padded with leading zeros: 4096 bytes, then 904. Read as one message
    // they would be no bar at all.
    const QByteArray prefix = "BAR_REQUEST: ";
    const QByteArray first = prefix + QByteArray(4096 - prefix.size() - 1, '0') + "5";
    const QByteArray second = prefix + QByteArray(5000 - 4096 - prefix.size() - 1, '0') + "7";
    client->send(first + second);
    EXPECT_TRUE(carvo.waitForLine(QStringLiteral("Received Bar: 5"), answerMs));
    EXPECT_TRUE(carvo.waitForLine(QStringLiteral("Received Bar: 7"), answerMs));
    EXPECT_TRUE(std::none_of(
        carvo.outputLines().begin(), carvo.outputLines().end(),
        [](const QString& line) { return line.startsWith(QStringLiteral("Could not convert")); }));
}

TEST_F(RemoteProtocolEndToEnd, InvalidUTF8IsReportedAndTheConnectionStaysOpen) {
    startCarvo();
    auto client = connectClient();
    client->send("REMOTE_SELECTED: \xC3\x28");
    ASSERT_TRUE(carvo.waitForLine(
        QStringLiteral("Received unknown data format or invalid UTF-8 string"), answerMs));
    select(*client, QStringLiteral("still-here"));
    EXPECT_EQ(client->messagesWithPending(), Messages{"REMOTE_SELECTED: still-here"});
    EXPECT_FALSE(client->closedByServer());
}

TEST_F(RemoteProtocolEndToEnd, RequestArrivingWithTheEndOfTheStreamIsCarriedOutFirst) {
    startCarvo();
    auto watcher = connectClient();
    // The request and the end of the stream arrive together.
    const Messages answer = sendAlone("REQUEST CUES");
    ASSERT_EQ(answer.size(), 1U);
    EXPECT_TRUE(std::string_view(answer[0]).starts_with("GROUP_CUES: "));
    EXPECT_TRUE(carvo.waitForLine(QStringLiteral("Connection closed or error occurred"), answerMs));
    EXPECT_TRUE(watcher->waitForMessage(answer[0], answerMs));
}

TEST_F(RemoteProtocolEndToEnd, PeerThatClosesRightAfterRequestCuesStillGetsItCarriedOut) {
    startCarvo();
    auto watcher = connectClient();
    auto leaving = connectClient();
    leaving->send("REQUEST CUES");
    leaving->close();
    EXPECT_TRUE(watcher->waitForMatch(
        [](const std::string& m) { return std::string_view(m).starts_with("GROUP_CUES: "); },
        answerMs));
    EXPECT_TRUE(carvo.waitForLine(QStringLiteral("Connection closed or error occurred"), answerMs));
    EXPECT_EQ(runsContaining(QStringLiteral("panic")), 0);
}

// --- security -------------------------------------------------------------------------------

// A selection spliced into QLab's scripts stays inside its string literal whatever it holds.
TEST(RemoteSelectionSplicing, HostileCueIdsCannotChangeTheScriptQLabRuns) {
    // Line ends are refused before any script sees them (control characters); quotes,
    // backslashes and AppleScript's own words must stay inside the literal.
    const QString hostile =
        QStringLiteral("x\" & (do shell script \"touch /tmp/carvo-injected\") & \"\\ "
                       "end tell tell application \"Finder\" to quit --");
    const QString harmless = QStringLiteral("harmless-id");

    // The same requests with the hostile and with a harmless ID, in fresh processes.
    auto getFilesRun = [](const QString& cueID, QString* run) {
        CarvoInstance carvo;
        QString problem;
        ASSERT_TRUE(carvo.start(demoWorkspace(), {}, &problem)) << problem.toStdString();
        TestClient client;
        ASSERT_TRUE(client.connectTo(carvo.port()));
        const QByteArray selection = "REMOTE_SELECTED: " + cueID.toUtf8();
        client.send(selection);
        ASSERT_TRUE(client.waitForMessage(selection.toStdString(), answerMs));
        client.send("BAR_REQUEST: 5");
        // QLab finds no cue with that ID and says so.
        ASSERT_TRUE(client.waitForMessage("ERROR: no cue selected", answerMs));
        const QString literal = QStringLiteral("\"") + appleScriptEscaped(cueID) + u'"';
        const QStringList runs = carvo.scriptRuns().filter(literal);
        ASSERT_EQ(runs.size(), 1) << carvo.scriptLog().toStdString();
        *run = runs.front();
    };
    QString hostileRun;
    QString harmlessRun;
    getFilesRun(hostile, &hostileRun);
    getFilesRun(harmless, &harmlessRun);
    ASSERT_FALSE(hostileRun.isEmpty());

    // QLab ran the get-files script, not a script error, and only the literals differ.
    EXPECT_TRUE(hostileRun.contains(QStringLiteral("==== result\n")));
    EXPECT_FALSE(hostileRun.contains(QStringLiteral("==== error\n")));
    const QString literal = QStringLiteral("\"") + appleScriptEscaped(hostile) + u'"';
    EXPECT_GE(hostileRun.count(literal), 1);
    QString normalised = hostileRun;
    normalised.replace(literal, QStringLiteral("\"") + harmless + u'"');
    EXPECT_EQ(normalised, harmlessRun);
}

} // namespace
} // namespace carvo::e2e
