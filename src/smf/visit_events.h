#pragma once
// A whole file's events without its event tables: for readers that need only a few kinds, such as
// the tempo map, and must still refuse a malformed file whole, exactly as MIDIFile::decode does.

#include "smf/midi_file.h"
#include "smf/track_decoder.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace carvo::smf {

// Decodes bytes with every check of MIDIFile::tryDecode and fails with the same DecodeError for
// the same bytes, but keeps no event: for each track chunk in file order it calls
// visitor.beginTrack(), then visitor(delta, payload) for each of the track's events in order, the
// payload an rvalue of its own type. Other chunks are skipped. Gives the header. A later track may
// still fail after the visitor has seen earlier events; whatever it gathered must then be dropped.
template <class Visitor>
Result<MIDIFile::Header> tryDecodeEvents(std::span<const std::uint8_t> bytes, Visitor& visitor) {
    class Visiting final : public detail::ChunkHandler {
    public:
        explicit Visiting(Visitor& visitor) : m_visitor(visitor) {}
        std::optional<DecodeError> track(std::span<const std::uint8_t> body) override {
            m_visitor.beginTrack();
            auto visited = visitTrack(body, m_visitor);
            if (!visited)
                return visited.error();
            return std::nullopt;
        }
        void other(std::string_view, std::span<const std::uint8_t>) override {}

    private:
        Visitor& m_visitor;
    };
    Visiting visiting(visitor);
    return detail::walkChunks(bytes, visiting);
}

// As tryDecodeEvents, for the file at `file`, refused as MIDIFile::tryRead refuses it. The bytes
// are decoded where they lie (viewFileBytes); a file cut short meanwhile is refused as unreadable,
// whatever the visitor gathered.
template <class Visitor>
Result<MIDIFile::Header> tryReadEvents(const std::filesystem::path& file, Visitor& visitor) {
    auto view = viewFileBytes(file);
    if (!view)
        return bytes::fail(view.error());
    auto header = tryDecodeEvents(view->bytes(), visitor);
    if (view->cutShort())
        return bytes::fail(fileCutShort());
    return header;
}

// tryDecodeEvents for callers that want exceptions, as MIDIFile::decode throws them.
template <class Visitor>
MIDIFile::Header decodeEvents(std::span<const std::uint8_t> bytes, Visitor& visitor) {
    return valueOrRaise(tryDecodeEvents(bytes, visitor));
}

} // namespace carvo::smf
