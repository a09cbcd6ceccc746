// The decoders of each event kind's file form: fixed-length channel voice and meta kinds,
// parameter number runs, and the kinds of variable length.

#include "smf/event_decoders.h"

#include "bytes/utf8.h"

#include <algorithm>
#include <array>
#include <optional>

namespace carvo::smf {

using bytes::fail;
using midi::Decoded;
using midi::DecodeResult;
using midi::reject;
using midi::RejectReason;
using Bytes = std::span<const std::uint8_t>;

namespace {

// ---- Fixed-length kinds ----------------------------------------------------------------------

template <class P> struct Fixed; // total length and exact decoder of each fixed-length kind

template <class P> DecodeResult<P> decodeFixedStream(Bytes bytes) {
    constexpr std::size_t length = Fixed<P>::length;
    if (bytes.size() < length)
        return fail(reject(RejectReason::unexpectedByteLength));
    return Fixed<P>::decodeExact(bytes.first(length));
}

template <class P> DecodeResult<P> decodeFixed(Bytes bytes) {
    constexpr std::size_t length = Fixed<P>::length;
    if (bytes.size() != length)
        return fail(reject(RejectReason::invalidByteCount, static_cast<std::int64_t>(length),
                           static_cast<std::int64_t>(bytes.size())));
    return Fixed<P>::decodeExact(bytes);
}

// Channel voice: the status nibble, then 7-bit data bytes.
template <std::uint8_t nibble> bool hasNibble(Bytes bytes) {
    return (bytes[0] >> 4) == nibble;
}

std::uint8_t channelOf(Bytes bytes) {
    return static_cast<std::uint8_t>(bytes[0] & 0x0F);
}

template <> struct Fixed<midi::NoteOff> {
    static constexpr std::size_t length = 3;
    static DecodeResult<midi::NoteOff> decodeExact(Bytes b) {
        if (!hasNibble<0x8>(b))
            return fail(reject(RejectReason::invalidStatusNibble, b[0] >> 4));
        if (b[1] > 127)
            return fail(reject(RejectReason::noteNumberOutOfBounds, b[1]));
        if (b[2] > 127)
            return fail(reject(RejectReason::noteVelocityOutOfBounds, b[2]));
        return Decoded<midi::NoteOff>{{b[1], b[2], channelOf(b), 0}, length};
    }
};

template <> struct Fixed<midi::NoteOn> {
    static constexpr std::size_t length = 3;
    static DecodeResult<midi::NoteOn> decodeExact(Bytes b) {
        if (!hasNibble<0x9>(b))
            return fail(reject(RejectReason::invalidStatusNibble, b[0] >> 4));
        if (b[1] > 127)
            return fail(reject(RejectReason::noteNumberOutOfBounds, b[1]));
        if (b[2] > 127)
            return fail(reject(RejectReason::noteVelocityOutOfBounds, b[2]));
        return Decoded<midi::NoteOn>{{b[1], b[2], channelOf(b), 0}, length};
    }
};

template <> struct Fixed<midi::NotePressure> {
    static constexpr std::size_t length = 3;
    static DecodeResult<midi::NotePressure> decodeExact(Bytes b) {
        if (!hasNibble<0xA>(b))
            return fail(reject(RejectReason::invalidStatusNibble, b[0] >> 4));
        if (b[1] > 127)
            return fail(reject(RejectReason::noteNumberOutOfBounds, b[1]));
        if (b[2] > 127)
            return fail(reject(RejectReason::notePressureOutOfBounds, b[2]));
        return Decoded<midi::NotePressure>{{b[1], b[2], channelOf(b), 0}, length};
    }
};

template <> struct Fixed<midi::CC> {
    static constexpr std::size_t length = 3;
    static DecodeResult<midi::CC> decodeExact(Bytes b) {
        if (!hasNibble<0xB>(b))
            return fail(reject(RejectReason::invalidStatusNibble, b[0] >> 4));
        if (b[1] > 127)
            return fail(reject(RejectReason::ccNumberOutOfBounds, b[1]));
        if (b[2] > 127)
            return fail(reject(RejectReason::ccValueOutOfBounds, b[2]));
        return Decoded<midi::CC>{{b[1], b[2], channelOf(b), 0}, length};
    }
};

template <> struct Fixed<midi::ProgramChange> {
    static constexpr std::size_t length = 2;
    static DecodeResult<midi::ProgramChange> decodeExact(Bytes b) {
        if (!hasNibble<0xC>(b))
            return fail(reject(RejectReason::invalidStatusNibble, b[0] >> 4));
        if (b[1] > 127)
            return fail(reject(RejectReason::programOutOfBounds, b[1]));
        return Decoded<midi::ProgramChange>{{b[1], channelOf(b), 0}, length};
    }
};

template <> struct Fixed<midi::Pressure> {
    static constexpr std::size_t length = 2;
    static DecodeResult<midi::Pressure> decodeExact(Bytes b) {
        if (!hasNibble<0xD>(b))
            return fail(reject(RejectReason::invalidStatusNibble, b[0] >> 4));
        if (b[1] > 127)
            return fail(reject(RejectReason::channelPressureOutOfBounds, b[1]));
        return Decoded<midi::Pressure>{{b[1], channelOf(b), 0}, length};
    }
};

template <> struct Fixed<midi::PitchBend> {
    static constexpr std::size_t length = 3;
    static DecodeResult<midi::PitchBend> decodeExact(Bytes b) {
        if (!hasNibble<0xE>(b))
            return fail(reject(RejectReason::invalidStatusNibble, b[0] >> 4));
        if (b[1] > 127)
            return fail(reject(RejectReason::pitchBendLSBOutOfBounds, b[1]));
        if (b[2] > 127)
            return fail(reject(RejectReason::pitchBendMSBOutOfBounds, b[2]));
        return Decoded<midi::PitchBend>{
            {static_cast<std::uint16_t>(b[2] * 128 + b[1]), channelOf(b), 0}, length};
    }
};

// Meta kinds with fixed lead bytes.
template <std::size_t n> bool startsWith(Bytes b, const std::array<std::uint8_t, n>& lead) {
    return std::equal(lead.begin(), lead.end(), b.begin());
}

template <> struct Fixed<SequenceNumber> {
    static constexpr std::size_t length = 5;
    static DecodeResult<SequenceNumber> decodeExact(Bytes b) {
        if (!startsWith<3>(b, {0xFF, 0x00, 0x02}))
            return fail(reject(RejectReason::unexpectedLeadBytes));
        const auto sequence = static_cast<std::uint16_t>(b[3] << 8 | b[4]);
        if (sequence >= 0x8000)
            return fail(reject(RejectReason::sequenceNumberOutOfBounds, sequence));
        return Decoded<SequenceNumber>{{sequence}, length};
    }
};

template <> struct Fixed<ChannelPrefix> {
    static constexpr std::size_t length = 4;
    static DecodeResult<ChannelPrefix> decodeExact(Bytes b) {
        if (!startsWith<3>(b, {0xFF, 0x20, 0x01}))
            return fail(reject(RejectReason::unexpectedLeadBytes));
        if (b[3] >= 16)
            return fail(reject(RejectReason::channelOutOfBounds, b[3]));
        return Decoded<ChannelPrefix>{{b[3]}, length};
    }
};

template <> struct Fixed<PortPrefix> {
    static constexpr std::size_t length = 4;
    static DecodeResult<PortPrefix> decodeExact(Bytes b) {
        if (!startsWith<3>(b, {0xFF, 0x21, 0x01}))
            return fail(reject(RejectReason::unexpectedLeadBytes));
        if (b[3] >= 128)
            return fail(reject(RejectReason::portOutOfBounds, b[3]));
        return Decoded<PortPrefix>{{b[3]}, length};
    }
};

template <> struct Fixed<Tempo> {
    static constexpr std::size_t length = 6;
    static DecodeResult<Tempo> decodeExact(Bytes b) {
        if (!startsWith<3>(b, {0xFF, 0x51, 0x03}))
            return fail(reject(RejectReason::unexpectedLeadBytes));
        const std::uint32_t micros =
            static_cast<std::uint32_t>(b[3]) << 16 | static_cast<std::uint32_t>(b[4]) << 8 | b[5];
        // Zero microseconds per quarter would divide by zero: it stands for the fastest tempo.
        const double bpm = micros == 0 ? 60000000.0 : 60000000.0 / static_cast<double>(micros);
        return Decoded<Tempo>{{std::clamp(bpm, 3.58, 60000000.0)}, length};
    }
};

template <> struct Fixed<SMPTEOffset> {
    static constexpr std::size_t length = 8;
    static DecodeResult<SMPTEOffset> decodeExact(Bytes b) {
        if (!startsWith<3>(b, {0xFF, 0x54, 0x05}))
            return fail(reject(RejectReason::unexpectedLeadBytes));
        SMPTEOffset offset;
        offset.frameRate = static_cast<SMPTEOffsetFrameRate>((b[3] >> 5) & 0x03);
        offset.hours = static_cast<std::uint8_t>(b[3] & 0x1F);
        offset.minutes = b[4];
        offset.seconds = b[5];
        offset.frames = b[6];
        offset.subframes = b[7];
        if (offset.hours > 23)
            return fail(reject(RejectReason::hoursOutOfBounds, offset.hours));
        if (offset.minutes > 59)
            return fail(reject(RejectReason::minutesOutOfBounds, offset.minutes));
        if (offset.seconds > 59)
            return fail(reject(RejectReason::secondsOutOfBounds, offset.seconds));
        if (offset.frames > 30)
            return fail(reject(RejectReason::framesOutOfBounds, offset.frames));
        if (offset.subframes > 99)
            return fail(reject(RejectReason::subframesOutOfBounds, offset.subframes));
        return Decoded<SMPTEOffset>{offset, length};
    }
};

template <> struct Fixed<TimeSignature> {
    static constexpr std::size_t length = 7;
    static DecodeResult<TimeSignature> decodeExact(Bytes b) {
        if (!startsWith<3>(b, {0xFF, 0x58, 0x04}))
            return fail(reject(RejectReason::unexpectedLeadBytes));
        return Decoded<TimeSignature>{{b[3], b[4], b[5], b[6]}, length};
    }
};

template <> struct Fixed<KeySignature> {
    static constexpr std::size_t length = 5;
    static DecodeResult<KeySignature> decodeExact(Bytes b) {
        if (!startsWith<3>(b, {0xFF, 0x59, 0x02}))
            return fail(reject(RejectReason::unexpectedLeadBytes));
        const auto flatsOrSharps = static_cast<std::int8_t>(b[3]);
        if (flatsOrSharps < -7 || flatsOrSharps > 7)
            return fail(reject(RejectReason::keySignatureSharpsFlats, flatsOrSharps));
        if (b[4] > 1)
            return fail(reject(RejectReason::keySignatureMajorMinor, b[4]));
        return Decoded<KeySignature>{{flatsOrSharps, b[4] == 0}, length};
    }
};

template <> struct Fixed<XMFPatchTypePrefix> {
    static constexpr std::size_t length = 4;
    static DecodeResult<XMFPatchTypePrefix> decodeExact(Bytes b) {
        if (!startsWith<2>(b, {0xFF, 0x60}))
            return fail(reject(RejectReason::unexpectedLeadBytes));
        if (b[2] != 1)
            return fail(reject(RejectReason::xmfParamLength));
        if (b[3] < 1 || b[3] > 3)
            return fail(reject(RejectReason::xmfPatchSet, b[3]));
        return Decoded<XMFPatchTypePrefix>{{static_cast<XMFPatchTypePrefix::PatchSet>(b[3])},
                                           length};
    }
};

// ---- Parameter numbers: a run of control changes --------------------------------------------

struct ParameterRun {
    midi::ParameterNumber parameter;
    std::uint8_t dataEntryMSB = 0;
    std::optional<std::uint8_t> dataEntryLSB;
    std::uint8_t channel = 0;
    std::size_t length = 0;
};

// Reads the control changes of a parameter number run. A control change that starts with a data
// byte uses the status byte of the run's previous one.
class ControlChangeRun {
public:
    explicit ControlChangeRun(Bytes bytes) : bytes_(bytes) {}

    bytes::Expected<std::uint8_t, midi::Rejection> next(std::uint8_t expectedController) {
        if (used_ >= bytes_.size())
            return fail(reject(RejectReason::unexpectedByteLength));
        std::uint8_t status = 0;
        std::size_t size = 0;
        if (bytes_[used_] >= 0x80) {
            status = bytes_[used_];
            size = 3;
        } else {
            if (!status_)
                return fail(reject(RejectReason::missingRunningStatus));
            status = *status_;
            size = 2;
        }
        if (bytes_.size() - used_ < size)
            return fail(reject(RejectReason::unexpectedByteLength));
        const std::uint8_t controller = bytes_[used_ + size - 2];
        const std::uint8_t value = bytes_[used_ + size - 1];
        if ((status >> 4) != 0xB)
            return fail(reject(RejectReason::invalidStatusNibble, status >> 4));
        if (controller > 127)
            return fail(reject(RejectReason::ccNumberOutOfBounds, controller));
        if (value > 127)
            return fail(reject(RejectReason::ccValueOutOfBounds, value));
        if (controller != expectedController)
            return fail(reject(RejectReason::unexpectedController, expectedController, controller));
        const auto channel = static_cast<std::uint8_t>(status & 0x0F);
        if (channel_ && *channel_ != channel)
            return fail(reject(RejectReason::differentChannel));
        channel_ = channel;
        status_ = status;
        used_ += size;
        return value;
    }

    std::size_t used() const { return used_; }
    std::uint8_t channel() const { return channel_.value_or(0); }

private:
    Bytes bytes_;
    std::size_t used_ = 0;
    std::optional<std::uint8_t> status_;
    std::optional<std::uint8_t> channel_;
};

bytes::Expected<ParameterRun, midi::Rejection>
decodeParameterRun(Bytes bytes, std::uint8_t msbController, std::uint8_t lsbController) {
    ControlChangeRun run(bytes);
    ParameterRun result;
    auto msb = run.next(msbController);
    if (!msb)
        return fail(msb.error());
    auto lsb = run.next(lsbController);
    if (!lsb)
        return fail(lsb.error());
    auto dataMSB = run.next(6);
    if (!dataMSB)
        return fail(dataMSB.error());
    // The data entry LSB is optional: failing to read it only means there is none.
    if (auto dataLSB = run.next(38))
        result.dataEntryLSB = *dataLSB;
    result.parameter = {*msb, *lsb};
    result.dataEntryMSB = *dataMSB;
    result.channel = run.channel();
    result.length = run.used();
    return result;
}

template <class P>
DecodeResult<P> decodeParameter(Bytes bytes, std::uint8_t msbController,
                                std::uint8_t lsbController) {
    // Nearly every event offered here is some other channel message or an ordinary control
    // change: refuse those from their first message without setting up the run.
    if (bytes.size() >= 3 && bytes[0] >= 0x80 && bytes[1] <= 127 && bytes[2] <= 127) {
        if ((bytes[0] >> 4) != 0xB)
            return fail(reject(RejectReason::invalidStatusNibble, bytes[0] >> 4));
        if (bytes[1] != msbController)
            return fail(reject(RejectReason::unexpectedController, msbController, bytes[1]));
    }
    auto run = decodeParameterRun(bytes, msbController, lsbController);
    if (!run)
        return fail(run.error());
    P payload;
    payload.parameter = run->parameter;
    payload.dataEntryMSB = run->dataEntryMSB;
    payload.dataEntryLSB = run->dataEntryLSB;
    payload.channel = run->channel;
    return Decoded<P>{payload, run->length};
}

// ---- Variable-length kinds ------------------------------------------------------------------

// The length and the data that follow a lead of leadLength bytes.
struct Body {
    Bytes data;
    std::size_t totalLength = 0;
};

bytes::Expected<Body, midi::Rejection> readBody(Bytes bytes, std::size_t leadLength) {
    const Bytes rest = bytes.subspan(leadLength);
    auto length = readVariableLength(rest.first(std::min<std::size_t>(rest.size(), 4)));
    if (!length)
        return fail(length.error());
    const std::size_t available = rest.size() - length->byteCount;
    if (available < length->value)
        return fail(reject(RejectReason::fewerBytesThanExpected,
                           static_cast<std::int64_t>(available), length->value));
    return Body{rest.subspan(length->byteCount, length->value),
                leadLength + length->byteCount + length->value};
}

constexpr std::size_t textCharacterLimit = 65536;

bool isAscii(Bytes data) {
    return std::all_of(data.begin(), data.end(), [](std::uint8_t b) { return b < 0x80; });
}

// UTF-8 text cut after `limit` characters.
std::string cutToCharacters(std::string text, std::size_t limit) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<std::uint8_t>(text[i]) & 0xC0) != 0x80) {
            if (characters == limit) {
                text.resize(i);
                break;
            }
            ++characters;
        }
    }
    return text;
}

std::string decodeText(Bytes data) {
    std::string text;
    if (isAscii(data) || bytes::isValidUtf8(data)) {
        text.assign(reinterpret_cast<const char*>(data.data()), data.size());
    } else {
        // Latin-1: each byte is the character of the same code point.
        text.reserve(data.size() * 2);
        for (const std::uint8_t b : data) {
            if (b < 0x80) {
                text += static_cast<char>(b);
            } else {
                text += static_cast<char>(0xC0 | (b >> 6));
                text += static_cast<char>(0x80 | (b & 0x3F));
            }
        }
    }
    if (text.size() > textCharacterLimit)
        text = cutToCharacters(std::move(text), textCharacterLimit);
    return text;
}

bytes::OwnedBytes owned(Bytes data) {
    return bytes::OwnedBytes(data);
}

constexpr std::size_t variableMinimum = 3;

DecodeResult<Text> decodeTextStream(Bytes bytes) {
    if (bytes.size() < variableMinimum)
        return fail(reject(RejectReason::unexpectedByteLength));
    if (bytes[0] != 0xFF || bytes[1] < 0x01 || bytes[1] > 0x09)
        return fail(reject(RejectReason::notTextual));
    auto body = readBody(bytes, 2);
    if (!body)
        return fail(body.error());
    return Decoded<Text>{
        {static_cast<Text::EventType>(bytes[1]), bytes::OwnedText(decodeText(body->data))},
        body->totalLength};
}

DecodeResult<SequencerSpecific> decodeSequencerSpecificStream(Bytes bytes) {
    if (bytes.size() < variableMinimum)
        return fail(reject(RejectReason::unexpectedByteLength));
    if (bytes[0] != 0xFF || bytes[1] != 0x7F)
        return fail(reject(RejectReason::unexpectedLeadBytes));
    auto body = readBody(bytes, 2);
    if (!body)
        return fail(body.error());
    return Decoded<SequencerSpecific>{{owned(body->data)}, body->totalLength};
}

DecodeResult<UnrecognizedMeta> decodeUnrecognizedMetaStream(Bytes bytes) {
    if (bytes.size() < variableMinimum)
        return fail(reject(RejectReason::unexpectedByteLength));
    if (bytes[0] != 0xFF)
        return fail(reject(RejectReason::unexpectedLeadBytes));
    auto body = readBody(bytes, 2);
    if (!body)
        return fail(body.error());
    return Decoded<UnrecognizedMeta>{{bytes[1], owned(body->data)}, body->totalLength};
}

// System exclusive: F0, length, the message bytes closed by F7. Returns the bytes between F0 and
// F7 and the total length used.
bytes::Expected<Body, midi::Rejection> readSysEx(Bytes bytes) {
    if (bytes.size() < variableMinimum)
        return fail(reject(RejectReason::unexpectedByteLength));
    if (bytes[0] != 0xF0)
        return fail(reject(RejectReason::notSysEx));
    auto body = readBody(bytes, 1);
    if (!body)
        return fail(body.error());
    if (body->data.empty())
        return fail(reject(RejectReason::sysExEmpty));
    if (body->data.back() != 0xF7)
        return fail(reject(RejectReason::sysExTermination, body->data.back()));
    body->data = body->data.first(body->data.size() - 1);
    return body;
}

bool isUniversal(std::uint8_t identifier) {
    return identifier == 0x7E || identifier == 0x7F;
}

DecodeResult<midi::SysEx7> decodeSysEx7Stream(Bytes bytes) {
    auto message = readSysEx(bytes);
    if (!message)
        return fail(message.error());
    const Bytes content = message->data;
    // A manufacturer is one byte, or 0x00 and two more.
    if (content.empty() || isUniversal(content[0]))
        return fail(reject(RejectReason::notManufacturerSysEx));
    const std::size_t idLength = content[0] == 0x00 ? 3 : 1;
    if (content.size() < idLength)
        return fail(reject(RejectReason::notManufacturerSysEx));
    return Decoded<midi::SysEx7>{
        {midi::ManufacturerID(content.first(idLength)), 0, owned(content.subspan(idLength))},
        message->totalLength};
}

DecodeResult<midi::UniversalSysEx7> decodeUniversalSysEx7Stream(Bytes bytes) {
    auto message = readSysEx(bytes);
    if (!message)
        return fail(message.error());
    const Bytes content = message->data;
    // Universal type, device ID and the two sub-IDs.
    if (content.size() < 4 || !isUniversal(content[0]))
        return fail(reject(RejectReason::notUniversalSysEx));
    return Decoded<midi::UniversalSysEx7>{{static_cast<midi::UniversalType>(content[0]), content[1],
                                           content[2], content[3], 0, owned(content.subspan(4))},
                                          message->totalLength};
}

} // namespace

// ---- Per-kind entry points ------------------------------------------------------------------

#define CARVO_FIXED_KIND(P)                                                                        \
    template <> DecodeResult<P> decodeStream<P>(Bytes bytes) {                                     \
        return decodeFixedStream<P>(bytes);                                                        \
    }                                                                                              \
    template <> DecodeResult<P> decode<P>(Bytes bytes) {                                           \
        return decodeFixed<P>(bytes);                                                              \
    }

CARVO_FIXED_KIND(midi::NoteOff)
CARVO_FIXED_KIND(midi::NoteOn)
CARVO_FIXED_KIND(midi::NotePressure)
CARVO_FIXED_KIND(midi::CC)
CARVO_FIXED_KIND(midi::ProgramChange)
CARVO_FIXED_KIND(midi::Pressure)
CARVO_FIXED_KIND(midi::PitchBend)
CARVO_FIXED_KIND(SequenceNumber)
CARVO_FIXED_KIND(ChannelPrefix)
CARVO_FIXED_KIND(PortPrefix)
CARVO_FIXED_KIND(Tempo)
CARVO_FIXED_KIND(SMPTEOffset)
CARVO_FIXED_KIND(TimeSignature)
CARVO_FIXED_KIND(KeySignature)
CARVO_FIXED_KIND(XMFPatchTypePrefix)
#undef CARVO_FIXED_KIND

template <> DecodeResult<midi::RPN> decodeStream<midi::RPN>(Bytes bytes) {
    return decodeParameter<midi::RPN>(bytes, 101, 100);
}
template <> DecodeResult<midi::NRPN> decodeStream<midi::NRPN>(Bytes bytes) {
    return decodeParameter<midi::NRPN>(bytes, 99, 98);
}
template <> DecodeResult<Text> decodeStream<Text>(Bytes bytes) {
    return decodeTextStream(bytes);
}
template <> DecodeResult<SequencerSpecific> decodeStream<SequencerSpecific>(Bytes bytes) {
    return decodeSequencerSpecificStream(bytes);
}
template <> DecodeResult<UnrecognizedMeta> decodeStream<UnrecognizedMeta>(Bytes bytes) {
    return decodeUnrecognizedMetaStream(bytes);
}
template <> DecodeResult<midi::SysEx7> decodeStream<midi::SysEx7>(Bytes bytes) {
    return decodeSysEx7Stream(bytes);
}
template <> DecodeResult<midi::UniversalSysEx7> decodeStream<midi::UniversalSysEx7>(Bytes bytes) {
    return decodeUniversalSysEx7Stream(bytes);
}

namespace {
// An exact byte list: the stream decoder must use every byte.
template <class P> DecodeResult<P> decodeWhole(Bytes bytes) {
    auto decoded = decodeStream<P>(bytes);
    if (decoded && decoded->bufferLength != bytes.size())
        return fail(reject(RejectReason::invalidByteCount,
                           static_cast<std::int64_t>(decoded->bufferLength),
                           static_cast<std::int64_t>(bytes.size())));
    return decoded;
}
} // namespace

template <> DecodeResult<midi::RPN> decode<midi::RPN>(Bytes b) {
    return decodeWhole<midi::RPN>(b);
}
template <> DecodeResult<midi::NRPN> decode<midi::NRPN>(Bytes b) {
    return decodeWhole<midi::NRPN>(b);
}
template <> DecodeResult<Text> decode<Text>(Bytes b) {
    return decodeWhole<Text>(b);
}
template <> DecodeResult<SequencerSpecific> decode<SequencerSpecific>(Bytes b) {
    return decodeWhole<SequencerSpecific>(b);
}
template <> DecodeResult<UnrecognizedMeta> decode<UnrecognizedMeta>(Bytes b) {
    return decodeWhole<UnrecognizedMeta>(b);
}
template <> DecodeResult<midi::SysEx7> decode<midi::SysEx7>(Bytes b) {
    return decodeWhole<midi::SysEx7>(b);
}
template <> DecodeResult<midi::UniversalSysEx7> decode<midi::UniversalSysEx7>(Bytes b) {
    return decodeWhole<midi::UniversalSysEx7>(b);
}
} // namespace carvo::smf
