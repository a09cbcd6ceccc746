#pragma once
// The remote control protocol's texts, free of Qt so that untrusted bytes can be fuzzed.
//
// Client to server: each received read is one whole message, judged by itself. Server to
// client: messages follow one another on the stream with nothing between them, so a client
// splits the stream again by the prefixes it knows.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace carvo::protocol {

// Client requests; the blank at the end of a prefix belongs to it.
inline constexpr std::string_view stopPrefix = "STOP ";
inline constexpr std::string_view barRequestPrefix = "BAR_REQUEST: ";
inline constexpr std::string_view requestCuesMessage = "REQUEST CUES";
inline constexpr std::string_view handshakeRequestMessage = "HANDSHAKE_REQUEST";
inline constexpr std::string_view remoteSelectedPrefix = "REMOTE_SELECTED: ";

// Server messages.
inline constexpr std::string_view handshakeResponseMessage = "HANDSHAKE_RESPONSE";
inline constexpr std::string_view groupCuesPrefix = "GROUP_CUES: ";
inline constexpr std::string_view qlabSelectedPrefix = "QLAB_SELECTED: ";
inline constexpr std::string_view beatsPerBarPrefix = "BPB: ";
inline constexpr std::string_view barPrefix = "BAR: ";
// Operator messages: the two fixed refusals and every "ERROR: " answer of QLab.
inline constexpr std::string_view outOfRangeMessage = "The bar number is out of range";
inline constexpr std::string_view alreadyRunningMessage =
    "The cue is already running. Please stop the cue and try again";
inline constexpr std::string_view errorPrefix = "ERROR: ";

// The longest cue ID a selection may carry; QLab's unique IDs are far shorter.
inline constexpr std::size_t maxCueIDBytes = 256;

// What one received message asks the server to do.
enum class RequestKind {
    invalidText,      // not UTF-8: reported, otherwise ignored
    stop,             // panic every catalogued group cue
    barRequest,       // jump to `bar`
    badBarNumber,     // a bar request whose `text` (all after the first prefix) is not a number
    requestCues,      // send the catalogue
    handshake,        // answer the sender, then restart the bar counter
    remoteSelected,   // echo the whole message, then address the cue whose ID is `text`
    refusedSelection, // a selection whose echo could be read as server messages; `text` says why
    ignored,          // matches nothing
};

struct Request {
    RequestKind kind = RequestKind::ignored;
    std::int64_t bar = 0;
    std::string text;

    bool operator==(const Request&) const = default;
};

// Reads one received message by the client table, first matching row first.
Request parseRequest(std::string_view bytes);

// Why the echo of a selection of cueID could be read as anything but that one selection by a
// client that splits the stream: a control character, a server message's text in it (or made by
// it together with the start of the server's next message), or a length no cue ID has. Nothing
// when the echo is safe to send.
std::optional<std::string> whyNotEchoed(std::string_view cueID);

// Splits the server's unframed stream into messages at the prefixes a client knows.
// Bytes may arrive in any pieces. A message is complete when the next one begins, when its own
// shape ends it (the handshake response, the fixed refusals, a closed JSON array), or when the
// caller decides the stream has gone quiet and calls flush().
class ServerStreamSplitter {
public:
    // Appends bytes and returns every message that is now complete, in stream order.
    std::vector<std::string> feed(std::string_view bytes);
    // Returns what is still held back (possibly nothing) as a last message.
    std::optional<std::string> flush();
    // Bytes held back that are not yet a complete message.
    const std::string& pending() const { return m_buffer; }

private:
    std::string m_buffer;
};

// Where the "GROUP_CUES: " JSON array that starts at `from` ends (one past its closing bracket),
// if it is closed within text. Strings and their escapes are honoured.
std::optional<std::size_t> endOfJSONArray(std::string_view text, std::size_t from);

} // namespace carvo::protocol
