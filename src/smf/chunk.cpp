#include "smf/chunk.h"

namespace carvo::smf {

namespace {
constexpr std::size_t identifierLength = 4;
}

UnrecognizedChunk::UnrecognizedChunk(std::string_view identifier, std::vector<std::uint8_t> rawData)
    : m_rawData(std::move(rawData)) {
    // An unrecognized chunk never carries a known identifier.
    if (identifier == "MThd" || identifier == "MTrk")
        m_identifier = "----";
    else if (identifier.size() < identifierLength)
        m_identifier =
            std::string(identifier) + std::string(identifierLength - identifier.size(), '-');
    else
        m_identifier = std::string(identifier.substr(0, identifierLength));
}

std::string Chunk::identifier() const {
    if (const auto* other = asOther())
        return other->identifier();
    return std::string(Track::identifier);
}

std::string Chunk::description() const {
    if (const auto* other = asOther())
        return other->identifier() + ": " + std::to_string(other->rawData().size()) + " bytes";
    return std::string(Track::identifier) + ": " + std::to_string(asTrack()->events.size()) +
           " events";
}

} // namespace carvo::smf
