#include "smf/midi_file_event.h"

#include <array>
#include <cstddef>

namespace carvo::smf {

namespace {
// In the order of the cases.
constexpr std::array<std::string_view, std::variant_size_v<Payload>> names{"cc",
                                                                           "channelPrefix",
                                                                           "keySignature",
                                                                           "noteOff",
                                                                           "noteOn",
                                                                           "notePressure",
                                                                           "pitchBend",
                                                                           "portPrefix",
                                                                           "pressure",
                                                                           "programChange",
                                                                           "rpn",
                                                                           "nrpn",
                                                                           "sequenceNumber",
                                                                           "sequencerSpecific",
                                                                           "smpteOffset",
                                                                           "sysEx7",
                                                                           "tempo",
                                                                           "text",
                                                                           "timeSignature",
                                                                           "universalSysEx7",
                                                                           "unrecognizedMeta",
                                                                           "xmfPatchTypePrefix"};
} // namespace

std::string_view name(MIDIFileEventType type) {
    const auto index = static_cast<std::size_t>(type);
    return index < names.size() ? names[index] : "unknown";
}

MIDIFileEventType MIDIFileEvent::type() const {
    return static_cast<MIDIFileEventType>(event.index());
}

namespace {
// System exclusive in a file: F0, the length as a variable-length quantity, the rest.
std::vector<std::uint8_t> sysExFileForm(std::vector<std::uint8_t> message) {
    const auto length = static_cast<std::uint32_t>(message.size() - 1);
    std::vector<std::uint8_t> bytes{0xF0};
    appendVariableLength(bytes, length);
    bytes.insert(bytes.end(), message.begin() + 1, message.end());
    return bytes;
}
} // namespace

std::vector<std::uint8_t> MIDIFileEvent::rawBytes() const {
    return std::visit(
        [](const auto& payload) {
            using P = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<P, midi::SysEx7> ||
                          std::is_same_v<P, midi::UniversalSysEx7>)
                return sysExFileForm(payload.rawBytes());
            else if constexpr (midi::ChannelVoiceKind<P>)
                return midi::rawBytes(payload);
            else
                return payload.rawBytes();
        },
        event);
}

std::string MIDIFileEvent::eventDescription() const {
    return std::visit(
        [](const auto& payload) {
            if constexpr (midi::ChannelVoiceKind<std::decay_t<decltype(payload)>>)
                return midi::description(payload);
            else
                return payload.description();
        },
        event);
}

std::string MIDIFileEvent::eventDebugDescription() const {
    return std::string(name(type())) + "(delta: " + delta.description() +
           ", event: " + eventDescription() + ")";
}

std::string describe(const MIDIFileEvent& event) {
    return event.delta.description() + " " + event.eventDescription();
}

} // namespace carvo::smf
