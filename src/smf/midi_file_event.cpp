#include "smf/midi_file_event.h"

namespace carvo::smf {

std::string_view name(MIDIFileEventType type) {
    switch (type) {
    case MIDIFileEventType::cc:
        return "cc";
    case MIDIFileEventType::channelPrefix:
        return "channelPrefix";
    case MIDIFileEventType::keySignature:
        return "keySignature";
    case MIDIFileEventType::noteOff:
        return "noteOff";
    case MIDIFileEventType::noteOn:
        return "noteOn";
    case MIDIFileEventType::notePressure:
        return "notePressure";
    case MIDIFileEventType::pitchBend:
        return "pitchBend";
    case MIDIFileEventType::portPrefix:
        return "portPrefix";
    case MIDIFileEventType::pressure:
        return "pressure";
    case MIDIFileEventType::programChange:
        return "programChange";
    case MIDIFileEventType::rpn:
        return "rpn";
    case MIDIFileEventType::nrpn:
        return "nrpn";
    case MIDIFileEventType::sequenceNumber:
        return "sequenceNumber";
    case MIDIFileEventType::sequencerSpecific:
        return "sequencerSpecific";
    case MIDIFileEventType::smpteOffset:
        return "smpteOffset";
    case MIDIFileEventType::sysEx7:
        return "sysEx7";
    case MIDIFileEventType::tempo:
        return "tempo";
    case MIDIFileEventType::text:
        return "text";
    case MIDIFileEventType::timeSignature:
        return "timeSignature";
    case MIDIFileEventType::universalSysEx7:
        return "universalSysEx7";
    case MIDIFileEventType::unrecognizedMeta:
        return "unrecognizedMeta";
    case MIDIFileEventType::xmfPatchTypePrefix:
        return "xmfPatchTypePrefix";
    }
    return "unknown";
}

MIDIFileEventType MIDIFileEvent::type() const {
    return std::visit(
        [](const auto& payload) { return eventTypeOf<std::decay_t<decltype(payload)>>(); }, event);
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
            else
                return payload.rawBytes();
        },
        event);
}

std::string MIDIFileEvent::eventDescription() const {
    return std::visit([](const auto& payload) { return payload.description(); }, event);
}

std::string MIDIFileEvent::eventDebugDescription() const {
    return std::string(name(type())) + "(delta: " + delta.description() +
           ", event: " + eventDescription() + ")";
}

std::string describe(const MIDIFileEvent& event) {
    return event.delta.description() + " " + event.eventDescription();
}

} // namespace carvo::smf
