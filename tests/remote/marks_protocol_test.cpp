// Rehearsal marks in the remote protocol: "MARK_REQUEST: " jumps to a mark's bar, and
// "REQUEST MARKS" is answered to the asking client alone; a client splits both kinds of answer
// out of the stream.

#include <gtest/gtest.h>

#include <QCoreApplication>

#include "base/diagnostics.h"
#include "remote/protocol.h"
#include "remote/remote_protocol.h"

namespace carvo {
namespace {

using Events = std::vector<std::string>;

class MarksProtocol : public ::testing::Test {
protected:
    MarksProtocol()
        : m_lines([this](const std::string& line) { events.push_back("line " + line); }) {
        actions.jumpToBar = [this](qint64 bar) { events.push_back("jump " + std::to_string(bar)); };
        actions.broadcast = [this](const QString& m) {
            events.push_back("broadcast " + m.toStdString());
        };
        actions.jumpToMark = [this](const QString& mark) {
            events.push_back("mark " + mark.toStdString());
        };
        actions.marks = [this] { return marks; };
    }

    void receive(const QByteArray& data) {
        handleMessage(actions, data,
                      [this](const QString& m) { events.push_back("reply " + m.toStdString()); });
    }

    ProtocolActions actions;
    Events events;
    QList<std::pair<qint64, QString>> marks;

private:
    ScopedLineObserver m_lines;
};

TEST_F(MarksProtocol, AMarkRequestJumpsToTheNamedMarkAfterTheHandlerReturns) {
    receive("MARK_REQUEST: Tempo di valse \xe2\x99\xa9");
    EXPECT_TRUE(events.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(events, (Events{"mark Tempo di valse \xe2\x99\xa9",
                              "line Received Mark: Tempo di valse \xe2\x99\xa9"}));
}

TEST_F(MarksProtocol, AMarkRequestWithoutANameJumpsNowhere) {
    receive("MARK_REQUEST: ");
    receive("MARK_REQUEST:C"); // the blank belongs to the prefix
    QCoreApplication::processEvents();
    EXPECT_EQ(events, (Events{"line A mark request without a name"}));
}

TEST_F(MarksProtocol, TheMarksGoToTheAskingClientAloneAsJSON) {
    marks = {{9, QStringLiteral("Intro")}, {17, QStringLiteral("\"Valse\" \u2669")}};
    receive("REQUEST MARKS");
    EXPECT_EQ(events, (Events{"reply MARKS: [{\"bar\":9,\"name\":\"Intro\"},"
                              "{\"bar\":17,\"name\":\"\\\"Valse\\\" \xe2\x99\xa9\"}]"}));

    events.clear();
    marks.clear();
    receive("REQUEST MARKS");
    EXPECT_EQ(events, (Events{"reply MARKS: []"}));

    events.clear();
    receive("REQUEST MARKS "); // exact messages only
    EXPECT_TRUE(events.empty());
}

TEST(MarksStream, AClientSplitsTheMarksAndTheRefusalOutOfTheStream) {
    protocol::ServerStreamSplitter splitter;
    // A name may hold a server prefix; the array's own shape ends the message.
    auto messages = splitter.feed("MARKS: [{\"bar\":9,\"name\":\"BAR: \"}]BPB: 4");
    ASSERT_EQ(messages.size(), 1U);
    EXPECT_EQ(messages[0], "MARKS: [{\"bar\":9,\"name\":\"BAR: \"}]");
    messages = splitter.feed("There is no mark \"Z\" in this musicBAR: 1.1 0");
    ASSERT_EQ(messages.size(), 2U);
    EXPECT_EQ(messages[0], "BPB: 4");
    EXPECT_EQ(messages[1], "There is no mark \"Z\" in this music");

    // An array not closed yet waits for the rest.
    protocol::ServerStreamSplitter waiting;
    EXPECT_TRUE(waiting.feed("MARKS: [{\"bar\":9,").empty());
    messages = waiting.feed("\"name\":\"A\"}]");
    ASSERT_EQ(messages.size(), 1U);
}

} // namespace
} // namespace carvo
