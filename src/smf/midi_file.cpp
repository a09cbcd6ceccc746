#include "smf/midi_file.h"

#include "bytes/byte_reader.h"
#include "smf/track_decoder.h"

#include <cerrno>
#include <cstdio>
#include <memory>

namespace carvo::smf {

namespace {

using bytes::ByteReader;
using bytes::Endianness;

[[noreturn]] void malformed(std::string message) {
    throw DecodeError::malformed(std::move(message));
}

const char* const notAMIDIFile = "Header is not correct. File may not be a MIDI file.";

MIDIFile::Header decodeHeader(std::span<const std::uint8_t> header) {
    if (!std::equal(header.begin(), header.begin() + 4, MIDIFile::Header::identifier.begin()))
        malformed(notAMIDIFile);
    if (bytes::toUInt32(header.subspan(4, 4), Endianness::bigEndian) != 6u)
        malformed("Encountered unexpected header length header length.");
    const std::uint16_t format = *bytes::toUInt16(header.subspan(8, 2), Endianness::bigEndian);
    if (format >= 3)
        malformed("Could not read MIDI file format.");
    const std::uint16_t trackCount = *bytes::toUInt16(header.subspan(10, 2), Endianness::bigEndian);

    MIDIFile::Header result;
    result.format = static_cast<Format>(format);
    const std::uint8_t first = header[12];
    const std::uint8_t second = header[13];
    if ((first & 0x80) == 0) {
        result.timeBase = TimeBase::musical(static_cast<std::uint16_t>(first * 256 + second));
    } else {
        const auto rate = frameRateFromRaw(static_cast<std::uint8_t>(first & 0x7F));
        if (!rate)
            malformed("Could not decode timebase.");
        result.timeBase = TimeBase::timecode(*rate, second);
    }
    if (result.format == Format::singleTrack && trackCount != 1)
        malformed("MIDI file is Format 0 which can only contain a single track, but header "
                  "reports a track count of " +
                  std::to_string(trackCount) + ".");
    return result;
}

std::string chunkHeaderFailure(std::int64_t offset) {
    return "There was a problem reading chunk header at byte offset " + std::to_string(offset) +
           ". Encountered end of file early.";
}

// Identifier bytes as 7-bit ASCII; anything else is "????".
std::string identifierText(std::span<const std::uint8_t> identifier) {
    std::string text;
    for (const std::uint8_t byte : identifier) {
        if (byte > 0x7F)
            return "????";
        text += static_cast<char>(byte);
    }
    return text;
}

} // namespace

MIDIFile::MIDIFile() = default;

MIDIFile::MIDIFile(Format format, TimeBase timeBase, std::vector<Chunk> chunks)
    : m_header{format, timeBase}, m_chunks(std::move(chunks)) {}

namespace detail {

MIDIFile::Header walkChunks(std::span<const std::uint8_t> data, ChunkHandler& handler) {
    if (data.empty())
        malformed("MIDI data is empty / contains no bytes.");
    ByteReader reader(data);

    auto headerBytes = reader.read(14);
    if (!headerBytes)
        malformed(notAMIDIFile);
    const MIDIFile::Header header = decodeHeader(*headerBytes);

    auto identifier = reader.read(4);
    if (!identifier)
        malformed(chunkHeaderFailure(reader.readOffset()));

    int trackNumber = 0;
    for (;;) {
        auto length = reader.read(4);
        if (!length)
            malformed("There was a problem reading chunk length at byte offset " +
                      std::to_string(reader.readOffset()) + ". Encountered end of file early.");
        const std::string name = identifierText(*identifier);
        const std::uint32_t bodyLength = *bytes::toUInt32(*length, Endianness::bigEndian);
        auto body = reader.read(static_cast<std::int64_t>(bodyLength));
        if (!body)
            malformed("There was a problem reading track data blob at byte offset " +
                      std::to_string(reader.readOffset()) + " for track " +
                      std::to_string(trackNumber) + ". Encountered end of file early.");

        if (name == Track::identifier) {
            ++trackNumber;
            if (auto failure = handler.track(*body))
                malformed("There was a problem reading track data at byte offset " +
                          std::to_string(reader.readOffset()) + " for track " +
                          std::to_string(trackNumber) + ". " + *failure);
        } else {
            handler.other(name, *body);
        }

        if (reader.remainingByteCount() <= 0)
            return header;
        identifier = reader.read(4);
        if (!identifier)
            malformed(chunkHeaderFailure(reader.readOffset()));
    }
}

} // namespace detail

MIDIFile MIDIFile::decode(std::span<const std::uint8_t> data) {
    // Every chunk kept, each track with its event table.
    class Keeper final : public detail::ChunkHandler {
    public:
        explicit Keeper(std::vector<Chunk>& chunks) : m_chunks(chunks) {}
        std::optional<std::string> track(std::span<const std::uint8_t> body) override {
            auto track = decodeTrack(body);
            if (!track)
                return track.error();
            m_chunks.push_back(Chunk::track(std::move(track).value()));
            return std::nullopt;
        }
        void other(std::string_view identifier, std::span<const std::uint8_t> body) override {
            m_chunks.push_back(
                Chunk::other(UnrecognizedChunk(identifier, {body.begin(), body.end()})));
        }

    private:
        std::vector<Chunk>& m_chunks;
    };

    MIDIFile file;
    Keeper keeper(file.m_chunks);
    file.m_header = detail::walkChunks(data, keeper);
    return file;
}

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& file) {
    const auto failure = [] {
        throw FileReadError(std::error_code(errno, std::generic_category()));
    };
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(file.c_str(), "rb"),
                                                           &std::fclose);
    if (!stream)
        failure();
    std::vector<std::uint8_t> data;
    // With the size known the file lands in one buffer of its own size, without the copies and
    // the doubled peak of a growing one; the size is only a hint, so a file that changes meanwhile
    // is still read to its end.
    std::error_code sizeUnknown;
    const std::uintmax_t size = std::filesystem::file_size(file, sizeUnknown);
    if (!sizeUnknown && size < data.max_size())
        data.reserve(static_cast<std::size_t>(size) + 1);
    constexpr std::size_t block = std::size_t{1} << 16;
    for (;;) {
        const std::size_t used = data.size();
        data.resize(used + std::max(block, data.capacity() - used));
        errno = 0;
        const std::size_t count =
            std::fread(data.data() + used, 1, data.size() - used, stream.get());
        data.resize(used + count);
        if (count == 0 || std::feof(stream.get())) {
            if (std::ferror(stream.get()))
                failure();
            break;
        }
    }
    return data;
}

MIDIFile MIDIFile::read(const std::filesystem::path& file) {
    return decode(readFileBytes(file));
}

MIDIFile MIDIFile::open(std::string_view pathText) {
    // A text that cannot name a file at all must not reach the file system: an embedded NUL
    // would silently name a different, shorter path.
    if (pathText.empty() || pathText.find('\0') != std::string_view::npos)
        throw DecodeError::malformedURL();
    const std::filesystem::path path(pathText);
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        throw DecodeError::fileNotFound();
    return read(path);
}

std::vector<std::reference_wrapper<const Track>> MIDIFile::tracks() const& {
    std::vector<std::reference_wrapper<const Track>> result;
    for (const Chunk& chunk : m_chunks)
        if (const Track* track = chunk.asTrack())
            result.emplace_back(*track);
    return result;
}

std::string MIDIFile::description() const {
    std::string text = "MIDIFile(\n  format: " + smf::description(m_header.format) +
                       "\n  timebase: " + m_header.timeBase.description() + "\n  chunks (" +
                       std::to_string(m_chunks.size()) + ")\n";
    for (std::size_t i = 0; i < m_chunks.size(); ++i)
        text += "    Chunk #" + std::to_string(i + 1) + ": " + m_chunks[i].description() + "\n";
    return text + ")";
}

} // namespace carvo::smf
