#pragma once
// A Standard MIDI File, decoded all or nothing.

#include "smf/chunk.h"
#include "smf/decode_error.h"
#include "smf/delta_time.h"
#include "smf/midi_file_event.h"
#include "smf/time_base.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace carvo::smf {

class MIDIFile {
public:
    struct Header {
        static constexpr std::string_view identifier = "MThd";
        Format format = Format::multipleTracksSynchronous;
        TimeBase timeBase = TimeBase::musical(960);
        friend bool operator==(const Header&, const Header&) = default;
    };

    // Format 1, 960 ticks per quarter, no chunks.
    MIDIFile();
    MIDIFile(Format format, TimeBase timeBase, std::vector<Chunk> chunks);

    // Decodes bytes already in memory; the error is always `malformed`.
    static Result<MIDIFile> tryDecode(std::span<const std::uint8_t> bytes);
    // Reads the whole file into memory, then decodes it. A read failure is `unreadable`, with the
    // platform's text.
    static Result<MIDIFile> tryRead(const std::filesystem::path& file);
    // As tryRead(), from a path text: `fileNotFound` when nothing exists there, `malformedURL`
    // when the text cannot name a file (empty, or holding a NUL).
    static Result<MIDIFile> tryOpen(std::string_view pathText);

    // The same three for callers that want exceptions: the error is thrown as raise() throws it
    // (DecodeError, or FileReadError for a read failure).
    static MIDIFile decode(std::span<const std::uint8_t> bytes);
    static MIDIFile read(const std::filesystem::path& file);
    static MIDIFile open(std::string_view pathText);

    const Header& header() const { return m_header; }
    Format format() const { return m_header.format; }
    void setFormat(Format format) { m_header.format = format; }
    TimeBase timeBase() const { return m_header.timeBase; }
    void setTimeBase(TimeBase timeBase) { m_header.timeBase = timeBase; }
    const std::vector<Chunk>& chunks() const { return m_chunks; }
    void setChunks(std::vector<Chunk> chunks) { m_chunks = std::move(chunks); }

    // The tracks of all track chunks in file order, skipping other chunks. The references stay
    // valid while this value lives unchanged, so a temporary file has none to give.
    std::vector<std::reference_wrapper<const Track>> tracks() const&;
    std::vector<std::reference_wrapper<const Track>> tracks() && = delete;

    std::string description() const; // multi-line, for display

    // Two values of the same file are equal.
    friend bool operator==(const MIDIFile& a, const MIDIFile& b) {
        return a.m_header == b.m_header && a.m_chunks == b.m_chunks;
    }

private:
    Header m_header;
    std::vector<Chunk> m_chunks;
};

// The most a MIDI file may hold: scores are kilobytes; anything near this is not one.
inline constexpr std::uintmax_t maxFileBytes = std::uintmax_t{64} * 1024 * 1024;

// The whole file at `file` in memory. A read failure is `unreadable` with the platform's text; so
// is anything but a regular file (a device, a pipe: never opened for long, never read) and a file
// of more than maxFileBytes, each with a reason of its own.
Result<std::vector<std::uint8_t>> readFileBytes(const std::filesystem::path& file);

// A file's bytes in place, read-only, for as long as this value lives: mapped where the platform
// can (nothing is copied or cleared first), else read into memory. Refuses what readFileBytes
// refuses, with the same texts.
class FileView {
public:
    FileView(FileView&& other) noexcept;
    FileView& operator=(FileView&& other) noexcept;
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;
    ~FileView();

    std::span<const std::uint8_t> bytes() const { return m_bytes; }
    // The file became shorter while it was mapped: the part it lost reads as zeros, so whatever
    // was decoded from it must be dropped.
    bool cutShort() const;

private:
    friend Result<FileView> viewFileBytes(const std::filesystem::path& file);
    FileView() = default;
    void release();

    std::span<const std::uint8_t> m_bytes;
    std::vector<std::uint8_t> m_copy; // where nothing is mapped
    int m_guardSlot = -1;             // where a mapping is watched for a file cut short
};

Result<FileView> viewFileBytes(const std::filesystem::path& file);

// The failure of a file that was cut short while it was read.
DecodeError fileCutShort();

namespace detail {
// What becomes of each chunk as the file is walked.
class ChunkHandler {
public:
    // A track chunk's body; its failure, not yet placed in the file, or nothing when its events
    // decode.
    virtual std::optional<DecodeError> track(std::span<const std::uint8_t> body) = 0;
    // A chunk of any other identifier (as text, "????" when not ASCII).
    virtual void other(std::string_view identifier, std::span<const std::uint8_t> body) = 0;

protected:
    ~ChunkHandler() = default;
};

// Checks the header and walks the chunks in file order, handing each to handler; gives the
// header, or the first problem: `malformed` from the header or the chunks, placed in the file; a
// track's failure placed with its offset and track number (its kind kept).
Result<MIDIFile::Header> walkChunks(std::span<const std::uint8_t> data, ChunkHandler& handler);
} // namespace detail

} // namespace carvo::smf
