#include "smf/decode_error.h"

namespace carvo::smf {

DecodeError::DecodeError(Case kind, std::string message)
    : kind_(kind), message_(std::move(message)) {
    description_ = errorDescription();
}

std::string DecodeError::errorDescription() const {
    switch (kind_) {
    case Case::malformed:
        return "Malformed: " + message_;
    case Case::fileNotFound:
        return "File not found.";
    case Case::malformedURL:
        return "Malformed URL.";
    case Case::fileReadError:
        return "File read error.";
    case Case::notImplemented:
        return "Not implemented.";
    }
    return {};
}

std::string DecodeError::plainText() const {
    switch (kind_) {
    case Case::malformed:
        return "malformed(\"" + message_ + "\")";
    case Case::fileNotFound:
        return "fileNotFound";
    case Case::malformedURL:
        return "malformedURL";
    case Case::fileReadError:
        return "fileReadError";
    case Case::notImplemented:
        return "notImplemented";
    }
    return {};
}

} // namespace carvo::smf
