#include "smf/midi_file.h"

#include "bytes/byte_reader.h"
#include "smf/track_decoder.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

#if __has_include(<unistd.h>) && __has_include(<sys/stat.h>)
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define CARVO_POSIX_FILES 1
#endif

namespace carvo::smf {

namespace {

using bytes::ByteReader;
using bytes::Endianness;
using bytes::fail;
using Part = DecodeError::Part;

Result<MIDIFile::Header> malformed(std::string message) {
    return fail(DecodeError::malformed(std::move(message)));
}

const char* const notAMIDIFile = "Header is not correct. File may not be a MIDI file.";

Result<MIDIFile::Header> decodeHeader(std::span<const std::uint8_t> header) {
    if (!std::equal(header.begin(), header.begin() + 4, MIDIFile::Header::identifier.begin()))
        return malformed(notAMIDIFile);
    if (bytes::toUInt32(header.subspan(4, 4), Endianness::bigEndian) != 6u)
        return malformed("Encountered unexpected header length header length.");
    const std::uint16_t format = *bytes::toUInt16(header.subspan(8, 2), Endianness::bigEndian);
    if (format >= 3)
        return malformed("Could not read MIDI file format.");
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
            return malformed("Could not decode timebase.");
        result.timeBase = TimeBase::timecode(*rate, second);
    }
    if (result.format == Format::singleTrack && trackCount != 1)
        return malformed("MIDI file is Format 0 which can only contain a single track, but header "
                         "reports a track count of " +
                         std::to_string(trackCount) + ".");
    return result;
}

// A chunk's part that ends before it should, placed where the reader stands.
Result<MIDIFile::Header> chunkEndedEarly(Part part, std::int64_t offset,
                                         std::optional<int> track = std::nullopt) {
    return fail(DecodeError::malformed(std::string(endOfFileEarly)).in({part, offset, track}));
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

Result<MIDIFile::Header> walkChunks(std::span<const std::uint8_t> data, ChunkHandler& handler) {
    if (data.empty())
        return malformed("MIDI data is empty / contains no bytes.");
    ByteReader reader(data);

    auto headerBytes = reader.read(14);
    if (!headerBytes)
        return malformed(notAMIDIFile);
    auto header = decodeHeader(*headerBytes);
    if (!header)
        return header;

    auto identifier = reader.read(4);
    if (!identifier)
        return chunkEndedEarly(Part::chunkHeader, reader.readOffset());

    int trackNumber = 0;
    for (;;) {
        auto length = reader.read(4);
        if (!length)
            return chunkEndedEarly(Part::chunkLength, reader.readOffset());
        const std::string name = identifierText(*identifier);
        const std::uint32_t bodyLength = *bytes::toUInt32(*length, Endianness::bigEndian);
        auto body = reader.read(static_cast<std::int64_t>(bodyLength));
        if (!body)
            return chunkEndedEarly(Part::trackDataBlob, reader.readOffset(), trackNumber);

        if (name == Track::identifier) {
            ++trackNumber;
            if (auto failure = handler.track(*body))
                return fail(
                    std::move(*failure).in({Part::trackData, reader.readOffset(), trackNumber}));
        } else {
            handler.other(name, *body);
        }

        if (reader.remainingByteCount() <= 0)
            return header;
        identifier = reader.read(4);
        if (!identifier)
            return chunkEndedEarly(Part::chunkHeader, reader.readOffset());
    }
}

} // namespace detail

Result<MIDIFile> MIDIFile::tryDecode(std::span<const std::uint8_t> data) {
    // Every chunk kept, each track with its event table.
    class Keeper final : public detail::ChunkHandler {
    public:
        explicit Keeper(std::vector<Chunk>& chunks) : m_chunks(chunks) {}
        std::optional<DecodeError> track(std::span<const std::uint8_t> body) override {
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
    auto header = detail::walkChunks(data, keeper);
    if (!header)
        return fail(header.error());
    file.m_header = *header;
    return file;
}

namespace {

using FileBytes = Result<std::vector<std::uint8_t>>;

FileBytes unreadable(std::error_code code) {
    return fail(DecodeError::unreadable(code, code.message()));
}

FileBytes unreadable(std::error_code code, std::string reason) {
    return fail(DecodeError::unreadable(code, std::move(reason)));
}

FileBytes failedWithErrno() {
    return unreadable(std::error_code(errno, std::generic_category()));
}

FileBytes tooLarge(std::uintmax_t size) {
    return unreadable(std::make_error_code(std::errc::file_too_large),
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

class Descriptor {
public:
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    Descriptor& operator=(Descriptor&&) = delete;
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    int fd;
};
#endif

} // namespace

#if defined(CARVO_POSIX_FILES)
namespace {

// An open regular file within the size limit, and its size.
struct OpenedFile {
    Descriptor descriptor;
    std::size_t size = 0;
};

Result<OpenedFile> openChecked(const std::filesystem::path& file) {
    // Without blocking: opening a pipe would otherwise wait for a writer. The kind is judged on
    // what was opened, so a path swapped meanwhile cannot slip a device past the check.
    errno = 0;
    Descriptor opened{::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (opened.fd < 0)
        return fail(failedWithErrno().error());
    struct stat status {};
    if (::fstat(opened.fd, &status) != 0)
        return fail(failedWithErrno().error());
    if (S_ISDIR(status.st_mode))
        return fail(unreadable(std::make_error_code(std::errc::is_a_directory)).error());
    if (!S_ISREG(status.st_mode))
        return fail(unreadable(std::make_error_code(std::errc::invalid_argument),
                               std::string("not a regular file (") + kindOf(status.st_mode) + ")")
                        .error());
    const auto size = static_cast<std::uintmax_t>(status.st_size);
    if (size > maxFileBytes)
        return fail(tooLarge(size).error());
    return OpenedFile{std::move(opened), static_cast<std::size_t>(size)};
}

// Reads an opened file to its end. The size is only a hint, so a file that changes meanwhile is
// still read to its end, and never past the limit.
FileBytes readOpened(const OpenedFile& opened) {
    std::vector<std::uint8_t> data;
    data.reserve(opened.size + 1);
    constexpr std::size_t block = std::size_t{1} << 16;
    for (;;) {
        const std::size_t used = data.size();
        if (used > maxFileBytes)
            return tooLarge(used);
        data.resize(used + std::max(block, data.capacity() - used));
        const ssize_t count = ::read(opened.descriptor.fd, data.data() + used, data.size() - used);
        if (count < 0) {
            data.resize(used);
            if (errno == EINTR)
                continue;
            return failedWithErrno();
        }
        data.resize(used + static_cast<std::size_t>(count));
        if (count == 0)
            break;
    }
    return data;
}

} // namespace
#endif

Result<std::vector<std::uint8_t>> readFileBytes(const std::filesystem::path& file) {
#if defined(CARVO_POSIX_FILES)
    auto opened = openChecked(file);
    if (!opened)
        return fail(opened.error());
    return readOpened(*opened);
#else
    std::error_code kindUnknown;
    const auto status = std::filesystem::status(file, kindUnknown);
    if (!kindUnknown && std::filesystem::is_directory(status))
        return unreadable(std::make_error_code(std::errc::is_a_directory));
    if (!kindUnknown && std::filesystem::exists(status) &&
        !std::filesystem::is_regular_file(status))
        return unreadable(std::make_error_code(std::errc::invalid_argument), "not a regular file");
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::fopen(file.c_str(), "rb"),
                                                           &std::fclose);
    if (!stream)
        return failedWithErrno();
    std::vector<std::uint8_t> data;
    constexpr std::size_t block = std::size_t{1} << 16;
    for (;;) {
        const std::size_t used = data.size();
        if (used > maxFileBytes)
            return tooLarge(used);
        data.resize(used + block);
        const std::size_t count = std::fread(data.data() + used, 1, block, stream.get());
        data.resize(used + count);
        if (count == 0 || std::feof(stream.get())) {
            if (std::ferror(stream.get()))
                return failedWithErrno();
            break;
        }
    }
    return data;
#endif
}

DecodeError fileCutShort() {
    return DecodeError::unreadable(std::make_error_code(std::errc::io_error),
                                   "the file became shorter while it was read");
}

#if defined(CARVO_POSIX_FILES)
namespace {

// Watches the mappings being decoded for a file cut short meanwhile. The system then raises
// SIGBUS at the first access past the file's new end, which would end the process in the middle
// of a show. Instead the pages past it become zeros and the mapping is marked, so its reader
// refuses the file as unreadable. Faults anywhere else reach whatever handled SIGBUS before.
struct GuardSlot {
    std::atomic<bool> taken{false};
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> cut{false};
};
constexpr int guardSlotCount = 8;
GuardSlot guardSlots[guardSlotCount];
struct sigaction earlierBusAction {};
std::uintptr_t pageSize = 4096;

void onBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (GuardSlot& slot : guardSlots) {
        const std::uintptr_t begin = slot.begin.load();
        const std::uintptr_t end = slot.end.load();
        if (begin == 0 || address < begin || address >= end)
            continue;
        // mmap is a plain system call here, safe in a handler though POSIX does not list it.
        const std::uintptr_t page = address & ~(pageSize - 1);
        void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            slot.cut.store(true);
            return; // the access is made again and reads zeros
        }
    }
    if ((earlierBusAction.sa_flags & SA_SIGINFO) != 0 && earlierBusAction.sa_sigaction) {
        earlierBusAction.sa_sigaction(signal, info, context);
    } else if (earlierBusAction.sa_handler != SIG_DFL && earlierBusAction.sa_handler != SIG_IGN) {
        earlierBusAction.sa_handler(signal);
    } else {
        // The fault comes again as the access is retried, and now ends the process as it would
        // have. (sigaction may be called in a handler; signal may not.)
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        ::sigaction(SIGBUS, &fallback, nullptr);
    }
}

void installBusGuard() {
    static std::once_flag once;
    std::call_once(once, [] {
        pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &earlierBusAction);
    });
}

// A free slot watching [begin, end), or -1 when all are taken.
int watch(const void* begin, std::size_t length) {
    installBusGuard();
    for (int i = 0; i < guardSlotCount; ++i) {
        GuardSlot& slot = guardSlots[i];
        if (slot.taken.exchange(true))
            continue;
        slot.cut.store(false);
        slot.end.store(reinterpret_cast<std::uintptr_t>(begin) + length);
        slot.begin.store(reinterpret_cast<std::uintptr_t>(begin));
        return i;
    }
    return -1;
}

} // namespace
#endif

FileView::FileView(FileView&& other) noexcept
    : m_bytes(std::exchange(other.m_bytes, {})), m_copy(std::move(other.m_copy)),
      m_guardSlot(std::exchange(other.m_guardSlot, -1)) {}

FileView& FileView::operator=(FileView&& other) noexcept {
    if (this != &other) {
        release();
        m_bytes = std::exchange(other.m_bytes, {});
        m_copy = std::move(other.m_copy);
        m_guardSlot = std::exchange(other.m_guardSlot, -1);
    }
    return *this;
}

FileView::~FileView() {
    release();
}

bool FileView::cutShort() const {
#if defined(CARVO_POSIX_FILES)
    return m_guardSlot >= 0 && guardSlots[m_guardSlot].cut.load();
#else
    return false;
#endif
}

void FileView::release() {
#if defined(CARVO_POSIX_FILES)
    if (m_guardSlot >= 0) {
        GuardSlot& slot = guardSlots[m_guardSlot];
        slot.begin.store(0);
        slot.end.store(0);
        ::munmap(const_cast<std::uint8_t*>(m_bytes.data()), m_bytes.size());
        slot.taken.store(false);
        m_guardSlot = -1;
    }
#endif
    m_bytes = {};
    m_copy.clear();
}

Result<FileView> viewFileBytes(const std::filesystem::path& file) {
    FileView view;
#if defined(CARVO_POSIX_FILES)
    auto opened = openChecked(file);
    if (!opened)
        return fail(opened.error());
    if (opened->size > 0) {
        // The pages come straight from the system's file cache, all at once: nothing is copied
        // or cleared, which reading into a buffer would spend most of its time on.
        void* mapped = ::mmap(nullptr, opened->size, PROT_READ, MAP_PRIVATE | MAP_POPULATE,
                              opened->descriptor.fd, 0);
        if (mapped != MAP_FAILED) {
            const int slot = watch(mapped, opened->size);
            if (slot >= 0) {
                view.m_bytes = {static_cast<const std::uint8_t*>(mapped), opened->size};
                view.m_guardSlot = slot;
                return view;
            }
            ::munmap(mapped, opened->size);
        }
    }
    // Nothing to map, or no mapping to be had: the bytes are read.
    auto data = readOpened(*opened);
#else
    auto data = readFileBytes(file);
#endif
    if (!data)
        return fail(data.error());
    view.m_copy = std::move(*data);
    view.m_bytes = view.m_copy;
    return view;
}

Result<MIDIFile> MIDIFile::tryRead(const std::filesystem::path& file) {
    auto bytes = readFileBytes(file);
    if (!bytes)
        return fail(bytes.error());
    return tryDecode(*bytes);
}

Result<MIDIFile> MIDIFile::tryOpen(std::string_view pathText) {
    // A text that cannot name a file at all must not reach the file system: an embedded NUL
    // would silently name a different, shorter path.
    if (pathText.empty() || pathText.find('\0') != std::string_view::npos)
        return fail(DecodeError::malformedURL());
    const std::filesystem::path path(pathText);
    std::error_code error;
    if (!std::filesystem::exists(path, error))
        return fail(DecodeError::fileNotFound());
    return tryRead(path);
}

MIDIFile MIDIFile::decode(std::span<const std::uint8_t> bytes) {
    return valueOrRaise(tryDecode(bytes));
}

MIDIFile MIDIFile::read(const std::filesystem::path& file) {
    return valueOrRaise(tryRead(file));
}

MIDIFile MIDIFile::open(std::string_view pathText) {
    return valueOrRaise(tryOpen(pathText));
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
