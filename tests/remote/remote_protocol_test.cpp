// What one received read sets off, and when: at once, or after the handler has returned.
#include "remote/remote_protocol.h"

#include <string>
#include <vector>

#include <QCoreApplication>
#include <gtest/gtest.h>

#include "base/diagnostics.h"

namespace carvo {
namespace {

// Records every action and standard-output line in the order they happen.
class HandlerFixture : public ::testing::Test {
protected:
    HandlerFixture()
        : m_lines([this](const std::string& line) { events.push_back("line " + line); }) {
        actions.panicGroupCues = [this] { events.emplace_back("panic"); };
        actions.requestCues = [this] { events.emplace_back("cues"); };
        actions.jumpToBar = [this](qint64 bar) { events.push_back("jump " + std::to_string(bar)); };
        actions.stopBarCounterQuietly = [this] { events.emplace_back("stop counter"); };
        actions.restartBarCounter = [this] { events.emplace_back("start counter"); };
        actions.broadcast = [this](const QString& m) {
            events.push_back("broadcast " + m.toStdString());
        };
        actions.selectCue = [this](const QString& id) {
            events.push_back("select " + id.toStdString());
        };
    }

    void receive(const QByteArray& data) {
        handleMessage(actions, data,
                      [this](const QString& m) { events.push_back("reply " + m.toStdString()); });
    }

    // Lets the main event loop run the work that handlers posted.
    static void runPostedWork() { QCoreApplication::processEvents(); }

    ProtocolActions actions;
    std::vector<std::string> events;

private:
    ScopedLineObserver m_lines;
};

using Events = std::vector<std::string>;

TEST_F(HandlerFixture, HandshakeAnswersTheSenderBetweenStoppingAndStartingTheCounter) {
    receive("HANDSHAKE_REQUEST");
    EXPECT_EQ(events, (Events{"stop counter", "reply HANDSHAKE_RESPONSE", "start counter"}));
    runPostedWork();
    EXPECT_EQ(events.size(), 3U);
}

TEST_F(HandlerFixture, StopAndCueRequestsRunBeforeTheHandlerReturns) {
    receive("STOP ");
    receive("REQUEST CUES");
    receive("STOP anything");
    EXPECT_EQ(events, (Events{"panic", "cues", "panic"}));
}

TEST_F(HandlerFixture, SelectionIsEchoedAtOnceAndAppliedAfterTheHandlerReturns) {
    receive("REMOTE_SELECTED: ABC");
    EXPECT_EQ(events, (Events{"broadcast REMOTE_SELECTED: ABC"}));
    runPostedWork();
    EXPECT_EQ(events, (Events{"broadcast REMOTE_SELECTED: ABC", "select ABC"}));
}

TEST_F(HandlerFixture, SelectionEchoIsByteForByteAndTheCueIsTheTextAfterThePrefix) {
    const QByteArray message = "REMOTE_SELECTED: \xC3\xA9t\xC3\xA9 \"x\"\\ {y}";
    receive(message);
    runPostedWork();
    ASSERT_EQ(events.size(), 2U);
    EXPECT_EQ(events[0], "broadcast " + message.toStdString());
    EXPECT_EQ(events[1], "select \xC3\xA9t\xC3\xA9 \"x\"\\ {y}");
}

TEST_F(HandlerFixture, ASelectionThatCouldForgeServerMessagesGetsOneLineNoEchoNoSelection) {
    receive("REMOTE_SELECTED: xBPB: 7BAR: 666.6 0.5");
    receive("REMOTE_SELECTED: A REMOTE_SELECTED: B");
    receive("REMOTE_SELECTED: G1\n");
    receive("REMOTE_SELECTED: " + QByteArray(257, 'A'));
    runPostedWork();
    EXPECT_EQ(events,
              (Events{"line Selection refused: the cue ID could be read as the server message "
                      "\"BPB: \"",
                      "line Selection refused: the cue ID could be read as the server message "
                      "\"REMOTE_SELECTED: \"",
                      "line Selection refused: the cue ID holds a control character",
                      "line Selection refused: the cue ID is longer than 256 bytes"}));
}

TEST_F(HandlerFixture, TwoBarRequestsInOneReadJumpNowhere) {
    receive("BAR_REQUEST: 3BAR_REQUEST: 4");
    runPostedWork();
    EXPECT_EQ(events, (Events{"line Could not convert '3BAR_REQUEST: 4' to Int"}));
}

TEST_F(HandlerFixture, BarRequestJumpsAfterTheHandlerReturnsThenReportsTheNumber) {
    receive("BAR_REQUEST: 012");
    EXPECT_TRUE(events.empty());
    runPostedWork();
    EXPECT_EQ(events, (Events{"jump 12", "line Received Bar: 12"}));
}

TEST_F(HandlerFixture, DeferredWorkKeepsTheOrderOfTheReads) {
    receive("REMOTE_SELECTED: G7");
    receive("BAR_REQUEST: -3");
    receive("STOP ");
    runPostedWork();
    EXPECT_EQ(events, (Events{"broadcast REMOTE_SELECTED: G7", "panic", "select G7", "jump -3",
                              "line Received Bar: -3"}));
}

TEST_F(HandlerFixture, UnreadableBarNumbersAreReportedAndNeverJump) {
    receive("BAR_REQUEST: 12 ");
    receive("BAR_REQUEST: ");
    receive("BAR_REQUEST: 9223372036854775808");
    runPostedWork();
    EXPECT_EQ(events,
              (Events{"line Could not convert '12 ' to Int", "line Could not convert '' to Int",
                      "line Could not convert '9223372036854775808' to Int"}));
}

TEST_F(HandlerFixture, InvalidUTF8IsReportedAndOtherwiseIgnored) {
    receive("STOP \xFF");
    receive("REMOTE_SELECTED: \xC0\xAF");
    runPostedWork();
    EXPECT_EQ(events, (Events{"line Received unknown data format or invalid UTF-8 string",
                              "line Received unknown data format or invalid UTF-8 string"}));
}

TEST_F(HandlerFixture, MessagesThatMatchNoRowDoNothingAtAll) {
    for (const char* text : {"STOP", "HANDSHAKE_REQUEST\n", "REQUEST CUESHANDSHAKE_REQUEST",
                             "BAR_REQUEST:12", "hello", "\r\n"})
        receive(text);
    runPostedWork();
    EXPECT_TRUE(events.empty());
}

} // namespace
} // namespace carvo
