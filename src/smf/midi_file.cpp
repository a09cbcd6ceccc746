#include "smf/midi_file.h"

#include "bytes/byte_reader.h"
#include "smf/track_decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>

#if __has_include(<unistd.h>) && __has_include(<sys/stat.h>)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#define CARVO_POSIX_FILES 1
#endif

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

namespace {

[[noreturn]] void failWithErrno() {
    throw FileReadError(std::error_code(errno, std::generic_category()));
}

[[noreturn]] void tooLarge(std::uintmax_t size) {
    throw FileReadError(std::make_error_code(std::errc::file_too_large),
                        "larger than 64 MiB (" + std::to_string(size) + " bytes)");
}

#if defined(CARVO_POSIX_FILES)
const char* kindOf(mode_t mode) {
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    if (S_ISFIFO(mode))
        return "a pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a file";
}

struct Descriptor {
    int fd;
    ~Descriptor() { ::close(fd); }
};
#endif

} // namespace

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& file) {
#if defined(CARVO_POSIX_FILES)
    // Without blocking: opening a pipe would otherwise wait for a writer. The kind is judged on
    // what was opened, so a path swapped meanwhile cannot slip a device past the check.
    errno = 0;
    const Descriptor opened{::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (opened.fd < 0)
        failWithErrno();
    struct stat status {};
    if (::fstat(opened.fd, &status) != 0)
        failWithErrno();
    if (S_ISDIR(status.st_mode))
        throw FileReadError(std::make_error_code(std::errc::is_a_directory));
    if (!S_ISREG(status.st_mode))
        throw FileReadError(std::make_error_code(std::errc::invalid_argument),
                            std::string("not a regular file (") + kindOf(status.st_mode) + ")");
    const auto size = static_cast<std::uintmax_t>(status.st_size);
    if (size > maxFileBytes)
        tooLarge(size);
    std::vector<std::uint8_t> data;
    // One buffer of the file's size; the size is only a hint, so a file that changes meanwhile is
    // still read to its end, and never past the limit.
    data.reserve(static_cast<std::size_t>(size) + 1);
    constexpr std::size_t block = std::size_t{1} << 16;
    for (;;) {
        const std::size_t used = data.size();
        if (used > maxFileBytes)
            tooLarge(used);
        data.resize(used + std::max(block, data.capacity() - used));
        const ssize_t count = ::read(opened.fd, data.data() + used, data.size() - used);
        if (count < 0) {
            data.resize(used);
            if (errno == EINTR)
                continue;
            failWithErrno();
        }
        data.resize(used + static_cast<std::size_t>(count));
        if (count == 0)
            break;
    }
    return data;
#else
    std::error_code kindUnknown;
    const auto status = std::filesystem::status(file, kindUnknown);
    if (!kindUnknown && std::filesystem::is_directory(status))
        throw FileReadError(std::make_error_code(std::errc::is_a_directory));
    if (!kindUnknown && std::filesystem::exists(status) &&
        !std::filesystem::is_regular_file(status))
        throw FileReadError(std::make_error_code(std::errc::invalid_argument),
                            "not a regular file");
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(file.c_str(), "rb"),
                                                           &std::fclose);
    if (!stream)
        failWithErrno();
    std::vector<std::uint8_t> data;
    constexpr std::size_t block = std::size_t{1} << 16;
    for (;;) {
        const std::size_t used = data.size();
        if (used > maxFileBytes)
            tooLarge(used);
        data.resize(used + block);
        const std::size_t count = std::fread(data.data() + used, 1, block, stream.get());
        data.resize(used + count);
        if (count == 0 || std::feof(stream.get())) {
            if (std::ferror(stream.get()))
                failWithErrno();
            break;
        }
    }
    return data;
#endif
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
