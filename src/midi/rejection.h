#pragma once
// Why a decoder refused some bytes, as a code and up to two numbers. Built without allocating,
// because the track decoder offers every event to up to 22 decoders and throws almost all of
// these answers away; the readable text is made only when a refusal leaves the event decoders,
// as the message of the reader's one error value (smf::DecodeError, `malformed`).

#include "bytes/expected.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace carvo::midi {

enum class RejectReason {
    unexpectedByteLength,
    invalidByteCount,      // first: expected, second: got
    invalidStatusNibble,   // first: the nibble
    noteNumberOutOfBounds, // first: the value (likewise below)
    noteVelocityOutOfBounds,
    notePressureOutOfBounds,
    ccNumberOutOfBounds,
    ccValueOutOfBounds,
    programOutOfBounds,
    channelPressureOutOfBounds,
    pitchBendLSBOutOfBounds,
    pitchBendMSBOutOfBounds,
    missingRunningStatus,
    unexpectedController, // first: expected, second: found
    differentChannel,
    unexpectedLeadBytes,
    sequenceNumberOutOfBounds,
    channelOutOfBounds,
    portOutOfBounds,
    hoursOutOfBounds,
    minutesOutOfBounds,
    secondsOutOfBounds,
    framesOutOfBounds,
    subframesOutOfBounds,
    keySignatureSharpsFlats,
    keySignatureMajorMinor,
    xmfParamLength,
    xmfPatchSet,
    variableLength,
    fewerBytesThanExpected, // first: available, second: expected
    notTextual,
    sysExTermination, // first: the byte found
    sysExEmpty,
    notSysEx,
    notUniversalSysEx,
    notManufacturerSysEx,
};

struct Rejection {
    RejectReason reason = RejectReason::unexpectedByteLength;
    std::int64_t first = 0;
    std::int64_t second = 0;

    std::string message() const;
};

inline Rejection reject(RejectReason reason, std::int64_t first = 0, std::int64_t second = 0) {
    return Rejection{reason, first, second};
}

// A decoded payload and the number of bytes it used.
template <class P> struct Decoded {
    P event;
    std::size_t bufferLength = 0;
};

template <class P> using DecodeResult = bytes::Expected<Decoded<P>, Rejection>;

} // namespace carvo::midi
