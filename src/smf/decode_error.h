#pragma once
// The reader's failures. Decoding bytes only ever fails with `malformed`; the path forms add
// `fileNotFound` and `malformedURL`.

#include <exception>
#include <stdexcept>
#include <string>
#include <system_error>

namespace carvo::smf {

class DecodeError : public std::exception {
public:
    enum class Case { malformed, fileNotFound, malformedURL, fileReadError, notImplemented };

    static DecodeError malformed(std::string message) {
        return DecodeError(Case::malformed, std::move(message));
    }
    static DecodeError fileNotFound() { return DecodeError(Case::fileNotFound, {}); }
    static DecodeError malformedURL() { return DecodeError(Case::malformedURL, {}); }
    static DecodeError fileReadError() { return DecodeError(Case::fileReadError, {}); }
    static DecodeError notImplemented() { return DecodeError(Case::notImplemented, {}); }

    Case kind() const { return m_kind; }
    // The payload of `malformed`; empty for the other cases.
    const std::string& message() const { return m_message; }
    // "Malformed: " + message, "File not found.", ...
    std::string errorDescription() const;
    // The case name with its payload in parentheses and double quotes, as shown after
    // "Failed to read MIDI file: ", e.g. malformed("…"); a case without payload is its bare name.
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
};

// A file that exists but could not be read; what() is the platform's error text, or the reader's
// own where it refuses a file the platform would read (a device, a file too large).
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

} // namespace carvo::smf
