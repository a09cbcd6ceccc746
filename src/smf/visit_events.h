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

// Decodes bytes with every check of MIDIFile::decode and throws the same DecodeError for the same
// bytes, but keeps no event: for each track chunk in file order it calls visitor.beginTrack(),
// then visitor(delta, payload) for each of the track's events in order, the payload an rvalue of
// its own type. Other chunks are skipped. Gives the header. A later track may still fail after the
// visitor has seen earlier events; whatever it gathered must then be dropped.
template <class Visitor>
MIDIFile::Header decodeEvents(std::span<const std::uint8_t> bytes, Visitor& visitor) {
    class Visiting final : public detail::ChunkHandler {
    public:
        explicit Visiting(Visitor& visitor) : m_visitor(visitor) {}
        std::optional<std::string> track(std::span<const std::uint8_t> body) override {
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

// As decodeEvents, for the file at `file`, read as MIDIFile::read reads it (a read failure throws
// FileReadError).
template <class Visitor>
MIDIFile::Header readEvents(const std::filesystem::path& file, Visitor& visitor) {
    return decodeEvents(readFileBytes(file), visitor);
}

} // namespace carvo::smf
