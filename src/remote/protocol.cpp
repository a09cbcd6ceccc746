#include "remote/protocol.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "base/numbers.h"
#include "bytes/utf8.h"

namespace carvo::protocol {

namespace {

// Every prefix or fixed text that can begin a server message.
constexpr std::array<std::string_view, 9> serverMessageStarts = {
    handshakeResponseMessage, groupCuesPrefix, remoteSelectedPrefix, qlabSelectedPrefix,
    beatsPerBarPrefix,        barPrefix,       errorPrefix,          outOfRangeMessage,
    alreadyRunningMessage,
};

// Messages whose whole text is fixed end where that text ends.
constexpr std::array<std::string_view, 3> fixedServerMessages = {
    handshakeResponseMessage, outOfRangeMessage, alreadyRunningMessage};

} // namespace

std::optional<std::string> whyNotEchoed(std::string_view cueID) {
    if (cueID.size() > maxCueIDBytes)
        return "the cue ID is longer than " + std::to_string(maxCueIDBytes) + " bytes";
    for (std::size_t i = 0; i < cueID.size(); ++i) {
        const auto byte = static_cast<unsigned char>(cueID[i]);
        // C0, DEL, and C1 (U+0080 to U+009F, encoded C2 80 to C2 9F) in valid UTF-8.
        const bool c1 = byte == 0xC2 && i + 1 < cueID.size() &&
                        static_cast<unsigned char>(cueID[i + 1]) <= 0x9F;
        if (byte < 0x20 || byte == 0x7F || c1)
            return std::string("the cue ID holds a control character");
    }
    // Clients split the stream at these texts; none may begin inside the ID, either on its own or
    // completed by the beginning of whatever message the server sends next.
    for (const std::string_view next : serverMessageStarts) {
        std::string joined(cueID);
        joined.append(next);
        for (const std::string_view start : serverMessageStarts)
            if (joined.find(start) < cueID.size())
                return "the cue ID could be read as the server message \"" + std::string(start) +
                       "\"";
    }
    return std::nullopt;
}

Request parseRequest(std::string_view bytes) {
    if (!bytes::isValidUTF8(bytes))
        return {RequestKind::invalidText, 0, {}};
    if (bytes.starts_with(stopPrefix))
        return {RequestKind::stop, 0, {}};
    if (bytes.starts_with(barRequestPrefix)) {
        // One prefix per request: two requests read together are no number, not a third bar.
        const std::string_view remainder = bytes.substr(barRequestPrefix.size());
        if (const auto bar = parseStrictInt64(remainder))
            return {RequestKind::barRequest, *bar, {}};
        return {RequestKind::badBarNumber, 0, std::string(remainder)};
    }
    if (bytes == requestCuesMessage)
        return {RequestKind::requestCues, 0, {}};
    if (bytes == handshakeRequestMessage)
        return {RequestKind::handshake, 0, {}};
    if (bytes.starts_with(remoteSelectedPrefix)) {
        const std::string_view cueID = bytes.substr(remoteSelectedPrefix.size());
        if (auto reason = whyNotEchoed(cueID))
            return {RequestKind::refusedSelection, 0, std::move(*reason)};
        return {RequestKind::remoteSelected, 0, std::string(cueID)};
    }
    return {RequestKind::ignored, 0, {}};
}

std::optional<std::size_t> endOfJSONArray(std::string_view text, std::size_t from) {
    if (from >= text.size() || text[from] != '[')
        return std::nullopt;
    std::size_t depth = 0;
    bool inString = false;
    bool escaped = false;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if (c == ']' || c == '}') {
            if (--depth == 0)
                return i + 1;
        }
    }
    return std::nullopt;
}

std::vector<std::string> ServerStreamSplitter::feed(std::string_view bytes) {
    m_buffer.append(bytes);
    std::vector<std::string> messages;
    while (!m_buffer.empty()) {
        const std::string_view buffer = m_buffer;
        std::optional<std::size_t> end;

        for (const std::string_view fixed : fixedServerMessages)
            if (buffer.starts_with(fixed))
                end = fixed.size();

        if (!end && buffer.starts_with(groupCuesPrefix) && buffer.size() > groupCuesPrefix.size() &&
            buffer[groupCuesPrefix.size()] == '[') {
            // Cue names may hold any text, prefixes included: the array's own shape ends it.
            end = endOfJSONArray(buffer, groupCuesPrefix.size());
            if (!end)
                break;
        }

        if (!end) {
            // The message runs up to the next known start after its own prefix.
            std::size_t searchFrom = 1;
            for (const std::string_view start : serverMessageStarts)
                if (buffer.starts_with(start))
                    searchFrom = start.size();
            std::size_t next = std::string_view::npos;
            for (const std::string_view start : serverMessageStarts) {
                const std::size_t at = buffer.find(start, searchFrom);
                if (at < next)
                    next = at;
            }
            if (next == std::string_view::npos)
                break;
            end = next;
        }

        messages.emplace_back(buffer.substr(0, *end));
        m_buffer.erase(0, *end);
    }
    return messages;
}

std::optional<std::string> ServerStreamSplitter::flush() {
    if (m_buffer.empty())
        return std::nullopt;
    std::string rest = std::move(m_buffer);
    m_buffer.clear();
    return rest;
}

} // namespace carvo::protocol
