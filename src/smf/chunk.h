#pragma once
// The chunks after the header: tracks and chunks this reader does not know.

#include "smf/event_table.h"
#include "smf/midi_file_event.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace carvo::smf {

struct Track {
    static constexpr std::string_view identifier = "MTrk";
    EventTable events; // End of Track is not among them
    friend bool operator==(const Track&, const Track&) = default;
};

class UnrecognizedChunk {
public:
    // "MThd" and "MTrk" become "----"; shorter identifiers are padded with '-' to four
    // characters, longer ones cut to their first four.
    explicit UnrecognizedChunk(std::string_view identifier, std::vector<std::uint8_t> rawData = {});

    const std::string& identifier() const { return m_identifier; }
    const std::vector<std::uint8_t>& rawData() const { return m_rawData; }

    friend bool operator==(const UnrecognizedChunk&, const UnrecognizedChunk&) = default;

private:
    std::string m_identifier;
    std::vector<std::uint8_t> m_rawData;
};

class Chunk {
public:
    static Chunk track(Track value) { return Chunk(std::move(value)); }
    static Chunk other(UnrecognizedChunk value) { return Chunk(std::move(value)); }

    // Null when the chunk is of the other kind.
    const Track* asTrack() const { return std::get_if<Track>(&m_value); }
    const UnrecognizedChunk* asOther() const { return std::get_if<UnrecognizedChunk>(&m_value); }

    std::string identifier() const;
    std::string description() const; // "MTrk: 12 events", "XYZW: 3 bytes"

    friend bool operator==(const Chunk&, const Chunk&) = default;

private:
    explicit Chunk(std::variant<Track, UnrecognizedChunk> value) : m_value(std::move(value)) {}

    std::variant<Track, UnrecognizedChunk> m_value;
};

} // namespace carvo::smf
