#include "midi/rejection.h"

#include "bytes/hex.h"

namespace carvo::midi {

namespace {
std::string hexByte(std::int64_t value) {
    return bytes::hexByte(static_cast<std::uint8_t>(value & 0xFF));
}
} // namespace

std::string Rejection::message() const {
    const std::string a = std::to_string(first);
    const std::string b = std::to_string(second);
    switch (reason) {
    case RejectReason::unexpectedByteLength:
        return "Unexpected byte length.";
    case RejectReason::invalidByteCount:
        return "Invalid number of bytes. Expected " + a + " but got " + b;
    case RejectReason::invalidStatusNibble:
        return "Invalid status nibble: " + hexByte(first) + ".";
    case RejectReason::noteNumberOutOfBounds:
        return "Note number is out of bounds: " + a;
    case RejectReason::noteVelocityOutOfBounds:
        return "Note velocity is out of bounds: " + a;
    case RejectReason::notePressureOutOfBounds:
        return "Note pressure value is out of bounds: " + a;
    case RejectReason::ccNumberOutOfBounds:
        return "CC number is out of bounds: " + a;
    case RejectReason::ccValueOutOfBounds:
        return "CC value is out of bounds: " + a;
    case RejectReason::programOutOfBounds:
        return "Program Change program number is out of bounds: " + a;
    case RejectReason::channelPressureOutOfBounds:
        return "Channel Pressure value is out of bounds: " + a;
    case RejectReason::pitchBendLSBOutOfBounds:
        return "Pitch Bend LSB is out of bounds: " + a;
    case RejectReason::pitchBendMSBOutOfBounds:
        return "Pitch Bend MSB is out of bounds: " + a;
    case RejectReason::missingRunningStatus:
        return "Missing running status byte.";
    case RejectReason::unexpectedController:
        return "Expected CC message with controller number " + a + " but found controller number " +
               b + " instead.";
    case RejectReason::differentChannel:
        return "CC message has different channel number.";
    case RejectReason::unexpectedLeadBytes:
        return "Event does not start with expected bytes.";
    case RejectReason::sequenceNumberOutOfBounds:
        return "Sequence number is out of bounds: " + a;
    case RejectReason::channelOutOfBounds:
        return "Channel number is out of bounds: " + a;
    case RejectReason::portOutOfBounds:
        return "Port number is out of bounds: " + a;
    case RejectReason::hoursOutOfBounds:
        return "Hours is out of bounds: " + a;
    case RejectReason::minutesOutOfBounds:
        return "Minutes is out of bounds: " + a;
    case RejectReason::secondsOutOfBounds:
        return "Seconds value is out of bounds: " + a;
    case RejectReason::framesOutOfBounds:
        return "Frames value is out of bounds: " + a;
    case RejectReason::subframesOutOfBounds:
        return "Subframes value is out of bounds: " + a;
    case RejectReason::keySignatureSharpsFlats:
        return "Illegal value found when reading Key Signature event sharps/flats byte. Got " + a +
               " but value must be between -7 ... 7.";
    case RejectReason::keySignatureMajorMinor:
        return "Illegal value found when reading Key Signature event major/minor key byte. Got " +
               a + " but value must be between 0 ... 1.";
    case RejectReason::xmfParamLength:
        return "Param length should always be 1.";
    case RejectReason::xmfPatchSet:
        return "Patch set is out of bounds: " + a;
    case RejectReason::variableLength:
        return "Could not extract variable length.";
    case RejectReason::fewerBytesThanExpected:
        return "Fewer bytes are available (" + a + ") than are expected (" + b + ")";
    case RejectReason::notTextual:
        return "Event is not a textual event.";
    case RejectReason::sysExTermination:
        return "Expected SysEx termination byte 0xF7 but found " + hexByte(first) + " instead.";
    case RejectReason::sysExEmpty:
        return "SysEx data was empty when attempting to read termination byte.";
    case RejectReason::notSysEx:
        return "Event does not start with a system exclusive status byte.";
    case RejectReason::notUniversalSysEx:
        return "System exclusive message is not a universal message.";
    case RejectReason::notManufacturerSysEx:
        return "System exclusive message is not a manufacturer message.";
    }
    return "Unknown rejection.";
}

} // namespace carvo::midi
