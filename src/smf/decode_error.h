#pragma once
// The reader's one error value: a kind from a small closed set and a readable message, with the
// place in the file (the part being read, its byte offset and track) added once, by the chunk
// walker, on the way out. Nothing in the reader throws; results carry this value (Result<T>), and
// only the exception forms at its edge (MIDIFile::decode, read, open) throw it.

#include "bytes/expected.h"

#include <cstdint>
#include <exception>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace carvo::smf {

// The message of a track body or a chunk that ends before it should.
inline constexpr std::string_view endOfFileEarly = "Encountered end of file early.";

class DecodeError : public std::exception {
public:
    // Decoding bytes only ever fails with `malformed`; the path forms add `fileNotFound` and
    // `malformedURL`; `unreadable` is a file the platform (or the reader's size and kind checks)
    // would not read, its message the platform's text.
    enum class Case {
        malformed,
        fileNotFound,
        malformedURL,
        fileReadError,
        notImplemented,
        unreadable
    };

    // The part of the file that was being read when the problem was found.
    enum class Part { chunkHeader, chunkLength, trackDataBlob, trackData };

    struct Context {
        Part part = Part::trackData;
        std::int64_t byteOffset = 0;
        std::optional<int>
            track; // for the parts of a track chunk: its number, from 1 (0 before the first)
    };

    static DecodeError malformed(std::string message) {
        return DecodeError(Case::malformed, std::move(message));
    }
    static DecodeError fileNotFound() { return DecodeError(Case::fileNotFound, {}); }
    static DecodeError malformedURL() { return DecodeError(Case::malformedURL, {}); }
    static DecodeError fileReadError() { return DecodeError(Case::fileReadError, {}); }
    static DecodeError notImplemented() { return DecodeError(Case::notImplemented, {}); }
    static DecodeError unreadable(std::error_code code, std::string platformText) {
        DecodeError error(Case::unreadable, std::move(platformText));
        error.m_code = code;
        return error;
    }

    Case kind() const { return m_kind; }
    // The payload of `malformed` (with its place, once given), the platform's text of
    // `unreadable`; empty for the other cases.
    const std::string& message() const { return m_message; }
    // Where the problem lies, once the chunk walker has said so.
    const std::optional<Context>& context() const { return m_context; }
    // The platform's error code of `unreadable`.
    std::error_code code() const { return m_code; }

    // The same error placed in the file. A `malformed` message is put behind the place: "There
    // was a problem reading track data at byte offset 75 for track 2. " + message; other kinds
    // keep their message. A place is given once: an error that has one keeps it.
    DecodeError in(Context context) &&;

    // "Malformed: " + message, "File not found.", ...; the platform's text for `unreadable`.
    std::string errorDescription() const;
    // The case name with its payload in parentheses and double quotes, as shown after
    // "Failed to read MIDI file: ", e.g. malformed("…"); a case without payload is its bare name;
    // `unreadable` is the platform's text alone.
    std::string plainText() const;
    const char* what() const noexcept override { return m_description.c_str(); }

    friend bool operator==(const DecodeError& a, const DecodeError& b) {
        return a.m_kind == b.m_kind && a.m_message == b.m_message;
    }

private:
    DecodeError(Case kind, std::string message);

    Case m_kind;
    std::string m_message;
    std::string m_description;
    std::optional<Context> m_context;
    std::error_code m_code;
};

// For test failure messages: the plain text.
std::ostream& operator<<(std::ostream& stream, const DecodeError& error);

template <class T> using Result = bytes::Expected<T, DecodeError>;

// A file that exists but could not be read, as the exception forms throw it: what() is the
// platform's error text, or the reader's own where it refuses a file the platform would read (a
// device, a file too large).
class FileReadError : public std::runtime_error {
public:
    explicit FileReadError(std::error_code code)
        : std::runtime_error(code.message()), m_code(code) {}
    FileReadError(std::error_code code, const std::string& reason)
        : std::runtime_error(reason), m_code(code) {}
    std::error_code code() const { return m_code; }

private:
    std::error_code m_code;
};

// The one place where the reader's error becomes an exception, for the exception forms: throws
// FileReadError for `unreadable`, the error itself otherwise.
[[noreturn]] void raise(const DecodeError& error);

// The value of result, or its error raised.
template <class T> T valueOrRaise(Result<T>&& result) {
    if (!result)
        raise(result.error());
    return std::move(result).value();
}

} // namespace carvo::smf
