// Reading client messages, strict UTF-8, and splitting the server's unframed stream.
#include "remote/protocol.h"

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace carvo::protocol {
namespace {

Request parse(std::string_view text) {
    return parseRequest(text);
}

// --- strict UTF-8 (the decoder's own cases are in tests/bytes) ------------------------------

TEST(UTF8Validation, InvalidBytesMakeTheMessageUnreadableWhateverItsPrefix) {
    EXPECT_EQ(parse("STOP \xFF").kind, RequestKind::invalidText);
    EXPECT_EQ(parse("BAR_REQUEST: 1\x80").kind, RequestKind::invalidText);
    EXPECT_EQ(parse("REMOTE_SELECTED: \xED\xA0\x80").kind, RequestKind::invalidText);
    // A character cut in two by the read size is invalid on both sides of the cut.
    const std::string note = "REMOTE_SELECTED: \xE2\x99\xAA";
    EXPECT_EQ(parse(std::string_view(note).substr(0, note.size() - 1)).kind,
              RequestKind::invalidText);
    EXPECT_EQ(parse(std::string_view(note).substr(note.size() - 1)).kind, RequestKind::invalidText);
}

// --- the rows of the client table -----------------------------------------------------------

TEST(ClientRequests, StopNeedsItsBlankAndIgnoresWhatFollows) {
    EXPECT_EQ(parse("STOP ").kind, RequestKind::stop);
    EXPECT_EQ(parse("STOP everything now").kind, RequestKind::stop);
    EXPECT_EQ(parse("STOP \n").kind, RequestKind::stop);
    EXPECT_EQ(parse("STOP").kind, RequestKind::ignored);
    EXPECT_EQ(parse("STOP\n").kind, RequestKind::ignored);
    EXPECT_EQ(parse("stop ").kind, RequestKind::ignored);
    EXPECT_EQ(parse(" STOP ").kind, RequestKind::ignored);
}

TEST(ClientRequests, ExactMessagesMatchOnlyWithoutAnythingAround) {
    EXPECT_EQ(parse("REQUEST CUES").kind, RequestKind::requestCues);
    EXPECT_EQ(parse("HANDSHAKE_REQUEST").kind, RequestKind::handshake);
    for (const char* near : {"HANDSHAKE_REQUEST\n", "HANDSHAKE_REQUEST\r\n", "HANDSHAKE_REQUEST ",
                             "handshake_request", "REQUEST CUES\n", "REQUEST  CUES", "Request Cues",
                             "REQUEST CUESHANDSHAKE_REQUEST", "HANDSHAKE_REQUESTREQUEST CUES"})
        EXPECT_EQ(parse(near).kind, RequestKind::ignored) << near;
}

TEST(ClientRequests, RowsAreTriedInTableOrder) {
    // A message that begins with STOP is a stop, even when a later row's text follows.
    EXPECT_EQ(parse("STOP BAR_REQUEST: 5").kind, RequestKind::stop);
    EXPECT_EQ(parse("STOP REMOTE_SELECTED: X").kind, RequestKind::stop);
    // A bar request whose remainder holds a selection is a bad bar number, not a selection.
    const Request mixed = parse("BAR_REQUEST: REMOTE_SELECTED: X");
    EXPECT_EQ(mixed.kind, RequestKind::badBarNumber);
    EXPECT_EQ(mixed.text, "REMOTE_SELECTED: X");
}

TEST(ClientRequests, UnknownTextIsIgnored) {
    for (const char* text : {"", "hello", "BAR: 1.1 0", "GROUP_CUES: []", "\n", "BAR_REQUEST:12",
                             "REMOTE_SELECTED:ABC", "bar_request: 12"})
        EXPECT_EQ(parse(text).kind, RequestKind::ignored) << text;
}

// --- bar numbers ----------------------------------------------------------------------------

TEST(BarRequests, ReadTheStrictIntegerForm) {
    struct Case {
        const char* message;
        std::int64_t bar;
    };
    const Case cases[] = {
        {"BAR_REQUEST: 17", 17},
        {"BAR_REQUEST: 012", 12},
        {"BAR_REQUEST: +12", 12},
        {"BAR_REQUEST: -3", -3},
        {"BAR_REQUEST: 0", 0},
        {"BAR_REQUEST: 9223372036854775807", INT64_MAX},
        {"BAR_REQUEST: -9223372036854775808", INT64_MIN},
    };
    for (const Case& c : cases) {
        const Request request = parse(c.message);
        EXPECT_EQ(request.kind, RequestKind::barRequest) << c.message;
        EXPECT_EQ(request.bar, c.bar) << c.message;
    }
}

TEST(BarRequests, ReportTheRemainderThatIsNotANumber) {
    struct Case {
        const char* message;
        const char* remainder;
    };
    const Case cases[] = {
        {"BAR_REQUEST: 12 ", "12 "},
        {"BAR_REQUEST: ", ""},
        {"BAR_REQUEST:  12", " 12"},
        {"BAR_REQUEST: 12\n", "12\n"},
        {"BAR_REQUEST: 12\r\n", "12\r\n"},
        {"BAR_REQUEST: 1.5", "1.5"},
        {"BAR_REQUEST: twelve", "twelve"},
        {"BAR_REQUEST: +", "+"},
        {"BAR_REQUEST: +-3", "+-3"},
        {"BAR_REQUEST: 0x10", "0x10"},
        {"BAR_REQUEST: 9223372036854775808", "9223372036854775808"},
        {"BAR_REQUEST: -9223372036854775809", "-9223372036854775809"},
        {"BAR_REQUEST: \xD9\xA1\xD9\xA2", "\xD9\xA1\xD9\xA2"}, // Arabic-Indic digits are not ASCII
        // Only the first prefix is the request's own; a second one is part of the number.
        {"BAR_REQUEST: BAR_REQUEST: 5", "BAR_REQUEST: 5"},
        {"BAR_REQUEST: BAR_REQBAR_REQUEST: UEST: 5", "BAR_REQBAR_REQUEST: UEST: 5"},
    };
    for (const Case& c : cases) {
        const Request request = parse(c.message);
        EXPECT_EQ(request.kind, RequestKind::badBarNumber) << c.message;
        EXPECT_EQ(request.text, c.remainder) << c.message;
    }
}

TEST(BarRequests, TwoRequestsReadTogetherAreRefusedInsteadOfJoined) {
    // Two clients' requests, or one client's flood, can arrive in one read: no bar of either
    // digits, and no bar made of both.
    for (const char* message : {"BAR_REQUEST: 3BAR_REQUEST: 4", "BAR_REQUEST: 5BAR_REQUEST: 5",
                                "BAR_REQUEST: 5BAR_REQUEST: 5BAR_REQUEST: 5BAR_REQUEST: 5"}) {
        const Request request = parse(message);
        EXPECT_EQ(request.kind, RequestKind::badBarNumber) << message;
        EXPECT_EQ(request.text, std::string_view(message).substr(barRequestPrefix.size()))
            << message;
    }
}

// --- selections -----------------------------------------------------------------------------

TEST(RemoteSelections, TakeTheTextAfterThePrefixVerbatim) {
    EXPECT_EQ(parse("REMOTE_SELECTED: ABC"), (Request{RequestKind::remoteSelected, 0, "ABC"}));
    EXPECT_EQ(parse("REMOTE_SELECTED: ").text, "");
    EXPECT_EQ(parse("REMOTE_SELECTED: 8D5A13C2-76B1-4E55-9F7B-0C6E1B2BEEF").text,
              "8D5A13C2-76B1-4E55-9F7B-0C6E1B2BEEF");
    // Quotes and backslashes are carried verbatim; the QLab bridge escapes what it splices.
    const std::string hostile = "x\" \\ activate \xC3\xA9t\xC3\xA9";
    EXPECT_EQ(parse("REMOTE_SELECTED: " + hostile).text, hostile);
    const std::string longest(maxCueIDBytes, 'A');
    EXPECT_EQ(parse("REMOTE_SELECTED: " + longest),
              (Request{RequestKind::remoteSelected, 0, longest}));
}

TEST(RemoteSelections, AnIDThatCouldBeReadAsServerMessagesIsRefused) {
    const std::string refused[] = {
        // Echoed, these would be three messages to every client: a selection, BPB 7, bar 666.6.
        "xBPB: 7BAR: 666.6 0.5",
        "QLAB_SELECTED: G1",
        "xBPB: 3",
        "xBAR: 1.1 0",
        "GROUP_CUES: []",
        "A REMOTE_SELECTED: B",
        "HANDSHAKE_RESPONSE",
        "The bar number is out of range",
        "The cue is already running. Please stop the cue and try again",
        "xERROR: no cue selected",
        // Whole only with the server's next message: "ERROR: " completes the handshake response.
        "xHANDSHAKE_RESPONS",
        // Control characters: line ends, NUL, escape, DEL and the C1 range.
        "ID\n",
        "ID\r",
        std::string("I\0D", 3),
        "\x1B[2J",
        "ID\x7F",
        "ID\xC2\x85",
        // Longer than any unique ID.
        std::string(maxCueIDBytes + 1, 'A'),
    };
    for (const std::string& id : refused) {
        const Request request = parse("REMOTE_SELECTED: " + id);
        EXPECT_EQ(request.kind, RequestKind::refusedSelection) << id;
        EXPECT_FALSE(request.text.empty()) << id; // the reason
    }
}

// Whatever a client selects, an accepted echo reaches every client as exactly one message, and
// the server's message after it stays whole: it cannot forge a position or a response.
TEST(RemoteSelections, AnAcceptedEchoIsOneMessageWhateverFollowsIt) {
    const std::vector<std::string> serverTexts = {
        "HANDSHAKE_RESPONSE",
        "GROUP_CUES: [{\"id\":\"A\",\"name\":\"n\"}]",
        "REMOTE_SELECTED: G",
        "QLAB_SELECTED: G",
        "BPB: 4",
        "BAR: 1.1 0",
        "ERROR: no cue selected",
        "The bar number is out of range",
        "The cue is already running. Please stop the cue and try again"};
    // IDs made of pieces of the server's texts, so that near misses are common.
    std::mt19937 random(1905);
    std::size_t accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string id;
        const int pieces = 1 + static_cast<int>(random() % 3);
        for (int p = 0; p < pieces; ++p) {
            const std::string& text = serverTexts[random() % serverTexts.size()];
            // Now and then a whole message; mostly a piece of one.
            const std::size_t from = random() % 4 == 0 ? 0 : random() % text.size();
            id += random() % 4 == 0 ? text.substr(from)
                                    : text.substr(from, 1 + random() % (text.size() - from));
            if (random() % 3 == 0)
                id += "x-9 "[random() % 4];
        }
        const std::string echo = "REMOTE_SELECTED: " + id;
        if (parse(echo).kind != RequestKind::remoteSelected)
            continue;
        ++accepted;
        for (const std::string& next : serverTexts) {
            ServerStreamSplitter splitter;
            std::vector<std::string> messages = splitter.feed(echo + next);
            if (auto rest = splitter.flush())
                messages.push_back(std::move(*rest));
            ASSERT_EQ(messages, (std::vector<std::string>{echo, next})) << id;
        }
    }
    // Both outcomes are well represented.
    EXPECT_GT(accepted, 2000U);
    EXPECT_LT(accepted, 18000U);
}

// --- splitting the server's stream ----------------------------------------------------------

std::vector<std::string> splitAll(std::string_view stream, std::size_t pieceSize) {
    ServerStreamSplitter splitter;
    std::vector<std::string> messages;
    for (std::size_t at = 0; at < stream.size(); at += pieceSize)
        for (std::string& m : splitter.feed(stream.substr(at, pieceSize)))
            messages.push_back(std::move(m));
    if (auto rest = splitter.flush())
        messages.push_back(std::move(*rest));
    return messages;
}

TEST(ServerStream, SplitsBackToBackMessagesWhateverThePieces) {
    const std::vector<std::string> sent = {
        "REMOTE_SELECTED: G1",
        "QLAB_SELECTED: G1",
        "BPB: 4",
        "BAR: 17.1 0.0",
        "BAR: 17.1 0.025",
        "BAR: 17.2 0.3333333333333333",
        "BPB: 3",
        "BAR: 18.1 5e-05",
        "GROUP_CUES: [{\"id\":\"A\",\"name\":\"BAR: not a message "
        "[x]\"},{\"id\":\"B\",\"name\":\"q\\\"]\"}]",
        "HANDSHAKE_RESPONSE",
        "The bar number is out of range",
        "ERROR: no cue selected",
        "The cue is already running. Please stop the cue and try again",
        "BAR: 18.1 0",
    };
    std::string stream;
    for (const std::string& m : sent)
        stream += m;
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{7}, std::size_t{4096}})
        EXPECT_EQ(splitAll(stream, piece), sent) << "pieces of " << piece << " bytes";
}

TEST(ServerStream, HoldsAnOpenMessageBackUntilItsEndIsKnown) {
    ServerStreamSplitter splitter;
    EXPECT_TRUE(splitter.feed("BAR: 9.1 0.0").empty());
    // The next digits could still belong to the progress value.
    EXPECT_TRUE(splitter.feed("5").empty());
    // Half a prefix is not yet the start of the next message.
    EXPECT_TRUE(splitter.feed("BA").empty());
    EXPECT_EQ(splitter.feed("R: 9.2 0.5"), std::vector<std::string>{"BAR: 9.1 0.05"});
    EXPECT_EQ(splitter.pending(), "BAR: 9.2 0.5");
    EXPECT_EQ(splitter.flush(), std::optional<std::string>("BAR: 9.2 0.5"));
    EXPECT_EQ(splitter.flush(), std::nullopt);
}

TEST(ServerStream, EndsSelfDelimitingMessagesAtOnce) {
    ServerStreamSplitter splitter;
    EXPECT_EQ(splitter.feed("HANDSHAKE_RESPONSE"), std::vector<std::string>{"HANDSHAKE_RESPONSE"});
    EXPECT_EQ(splitter.feed("GROUP_CUES: [{\"id\":\"A\",\"name\":\"]\"}"),
              std::vector<std::string>{});
    EXPECT_EQ(splitter.feed("]"),
              std::vector<std::string>{"GROUP_CUES: [{\"id\":\"A\",\"name\":\"]\"}]"});
    EXPECT_EQ(splitter.feed("The bar number is out of range"),
              std::vector<std::string>{"The bar number is out of range"});
    EXPECT_TRUE(splitter.pending().empty());
}

TEST(ServerStream, KeepsUnknownLeadingTextAsItsOwnMessage) {
    EXPECT_EQ(splitAll("something newBAR: 1.1 0", 4),
              (std::vector<std::string>{"something new", "BAR: 1.1 0"}));
}

TEST(JSONArrayEnd, HonoursStringsAndNesting) {
    EXPECT_EQ(endOfJSONArray("[]", 0), std::optional<std::size_t>(2));
    EXPECT_EQ(endOfJSONArray("x[[1],[2]]y", 1), std::optional<std::size_t>(10));
    EXPECT_EQ(endOfJSONArray(R"(["\\"]rest)", 0), std::optional<std::size_t>(6));
    EXPECT_EQ(endOfJSONArray(R"(["\"]"])", 0), std::optional<std::size_t>(7));
    EXPECT_EQ(endOfJSONArray(R"(["]")", 0), std::nullopt);
    EXPECT_EQ(endOfJSONArray("{}", 0), std::nullopt);
    EXPECT_EQ(endOfJSONArray("[", 5), std::nullopt);
}

} // namespace
} // namespace carvo::protocol
