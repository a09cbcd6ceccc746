// The decoders of each event kind's file form: fixed-length channel voice and meta kinds,
// parameter number runs, and the kinds of variable length.

#include "smf/event_decoders.h"

#include "bytes/utf8.h"

#include <algorithm>
#include <array>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace carvo::smf {

using bytes::fail;
using midi::Decoded;
using midi::DecodeResult;
using midi::reject;
using midi::RejectReason;
using Bytes = std::span<const std::uint8_t>;

namespace {

// ---- Fixed-length kinds ----------------------------------------------------------------------

template <class P> using Fields = bytes::Expected<P, midi::Rejection>;

// Meta kinds of one length: their lead bytes and how the bytes after them become the payload.
template <class P> struct FixedMeta;

// Lead bytes FF, the type and the length byte of a body of bodyLength bytes.
template <std::uint8_t type, std::uint8_t bodyLength> struct MetaLead {
    static constexpr std::array<std::uint8_t, 3> lead{0xFF, type, bodyLength};
    static constexpr std::size_t length = 3 + bodyLength;
};

template <> struct FixedMeta<SequenceNumber> : MetaLead<0x00, 2> {
    static Fields<SequenceNumber> fields(Bytes b) {
        const auto sequence = static_cast<std::uint16_t>(b[3] << 8 | b[4]);
        if (sequence >= 0x8000)
            return fail(reject(RejectReason::sequenceNumberOutOfBounds, sequence));
        return SequenceNumber{sequence};
    }
};

template <> struct FixedMeta<ChannelPrefix> : MetaLead<0x20, 1> {
    static Fields<ChannelPrefix> fields(Bytes b) {
        if (b[3] >= 16)
            return fail(reject(RejectReason::channelOutOfBounds, b[3]));
        return ChannelPrefix{b[3]};
    }
};

template <> struct FixedMeta<PortPrefix> : MetaLead<0x21, 1> {
    static Fields<PortPrefix> fields(Bytes b) {
        if (b[3] >= 128)
            return fail(reject(RejectReason::portOutOfBounds, b[3]));
        return PortPrefix{b[3]};
    }
};

template <> struct FixedMeta<Tempo> : MetaLead<0x51, 3> {
    static Fields<Tempo> fields(Bytes b) {
        const std::uint32_t micros =
            static_cast<std::uint32_t>(b[3]) << 16 | static_cast<std::uint32_t>(b[4]) << 8 | b[5];
        // Zero microseconds per quarter would divide by zero: it stands for the fastest tempo.
        const double bpm = micros == 0 ? 60000000.0 : 60000000.0 / static_cast<double>(micros);
        return Tempo{std::clamp(bpm, 3.58, 60000000.0)};
    }
};

template <> struct FixedMeta<SMPTEOffset> : MetaLead<0x54, 5> {
    static Fields<SMPTEOffset> fields(Bytes b) {
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
        return offset;
    }
};

template <> struct FixedMeta<TimeSignature> : MetaLead<0x58, 4> {
    static Fields<TimeSignature> fields(Bytes b) { return TimeSignature{b[3], b[4], b[5], b[6]}; }
};

template <> struct FixedMeta<KeySignature> : MetaLead<0x59, 2> {
    static Fields<KeySignature> fields(Bytes b) {
        const auto flatsOrSharps = static_cast<std::int8_t>(b[3]);
        if (flatsOrSharps < -7 || flatsOrSharps > 7)
            return fail(reject(RejectReason::keySignatureSharpsFlats, flatsOrSharps));
        if (b[4] > 1)
            return fail(reject(RejectReason::keySignatureMajorMinor, b[4]));
        return KeySignature{flatsOrSharps, b[4] == 0};
    }
};

// Its length byte is checked with a reason of its own, so it is not among the lead bytes.
template <> struct FixedMeta<XMFPatchTypePrefix> {
    static constexpr std::array<std::uint8_t, 2> lead{0xFF, 0x60};
    static constexpr std::size_t length = 4;
    static Fields<XMFPatchTypePrefix> fields(Bytes b) {
        if (b[2] != 1)
            return fail(reject(RejectReason::xmfParamLength));
        if (b[3] < 1 || b[3] > 3)
            return fail(reject(RejectReason::xmfPatchSet, b[3]));
        return XMFPatchTypePrefix{static_cast<XMFPatchTypePrefix::PatchSet>(b[3])};
    }
};

template <class P>
concept FixedMetaKind = requires {
    FixedMeta<P>::length;
};

template <class P>
concept FixedKind = midi::ChannelVoiceKind<P> || FixedMetaKind<P>;

template <FixedKind P> constexpr std::size_t fixedLength() {
    if constexpr (midi::ChannelVoiceKind<P>)
        return 1 + midi::dataByteCount<P>;
    else
        return FixedMeta<P>::length;
}

// Decodes exactly fixedLength<P>() bytes.
template <FixedKind P> DecodeResult<P> decodeFixed(Bytes b) {
    constexpr std::size_t length = fixedLength<P>();
    if constexpr (midi::ChannelVoiceKind<P>) {
        // The status nibble, then 7-bit data bytes.
        using Row = midi::ChannelVoice<P>;
        if ((b[0] >> 4) != Row::nibble)
            return fail(reject(RejectReason::invalidStatusNibble, b[0] >> 4));
        for (std::size_t i = 0; i < Row::refusals.size(); ++i)
            if (b[i + 1] > 127)
                return fail(reject(Row::refusals[i], b[i + 1]));
        const auto channel = static_cast<std::uint8_t>(b[0] & 0x0F);
        if constexpr (length == 3)
            return Decoded<P>{midi::channelMessage<P>(b[1], b[2], channel), length};
        else
            return Decoded<P>{midi::channelMessage<P>(b[1], 0, channel), length};
    } else {
        constexpr auto& lead = FixedMeta<P>::lead;
        if (!std::equal(lead.begin(), lead.end(), b.begin()))
            return fail(reject(RejectReason::unexpectedLeadBytes));
        auto payload = FixedMeta<P>::fields(b);
        if (!payload)
            return fail(payload.error());
        return Decoded<P>{std::move(*payload), length};
    }
}

// ---- Parameter numbers: a run of control changes --------------------------------------------

// Reads the control changes of a parameter number run. A control change that starts with a data
// byte uses the status byte of the run's previous one.
class ControlChangeRun {
public:
    explicit ControlChangeRun(Bytes bytes) : m_bytes(bytes) {}

    bytes::Expected<std::uint8_t, midi::Rejection> next(std::uint8_t expectedController) {
        if (m_used >= m_bytes.size())
            return fail(reject(RejectReason::unexpectedByteLength));
        std::uint8_t status = 0;
        std::size_t size = 0;
        if (m_bytes[m_used] >= 0x80) {
            status = m_bytes[m_used];
            size = 3;
        } else {
            if (!m_status)
                return fail(reject(RejectReason::missingRunningStatus));
            status = *m_status;
            size = 2;
        }
        if (m_bytes.size() - m_used < size)
            return fail(reject(RejectReason::unexpectedByteLength));
        const std::uint8_t controller = m_bytes[m_used + size - 2];
        const std::uint8_t value = m_bytes[m_used + size - 1];
        if ((status >> 4) != 0xB)
            return fail(reject(RejectReason::invalidStatusNibble, status >> 4));
        if (controller > 127)
            return fail(reject(RejectReason::ccNumberOutOfBounds, controller));
        if (value > 127)
            return fail(reject(RejectReason::ccValueOutOfBounds, value));
        if (controller != expectedController)
            return fail(reject(RejectReason::unexpectedController, expectedController, controller));
        const auto channel = static_cast<std::uint8_t>(status & 0x0F);
        if (m_channel && *m_channel != channel)
            return fail(reject(RejectReason::differentChannel));
        m_channel = channel;
        m_status = status;
        m_used += size;
        return value;
    }

    std::size_t used() const { return m_used; }
    std::uint8_t channel() const { return m_channel.value_or(0); }

private:
    Bytes m_bytes;
    std::size_t m_used = 0;
    std::optional<std::uint8_t> m_status;
    std::optional<std::uint8_t> m_channel;
};

template <bool registered>
DecodeResult<midi::ParameterMessage<registered>> decodeParameter(Bytes bytes) {
    using P = midi::ParameterMessage<registered>;
    // Nearly every event offered here is some other channel message or an ordinary control
    // change: refuse those from their first message without setting up the run.
    if (bytes.size() >= 3 && bytes[0] >= 0x80 && bytes[1] <= 127 && bytes[2] <= 127) {
        if ((bytes[0] >> 4) != 0xB)
            return fail(reject(RejectReason::invalidStatusNibble, bytes[0] >> 4));
        if (bytes[1] != P::msbController)
            return fail(reject(RejectReason::unexpectedController, P::msbController, bytes[1]));
    }
    ControlChangeRun run(bytes);
    auto msb = run.next(P::msbController);
    if (!msb)
        return fail(msb.error());
    auto lsb = run.next(P::lsbController);
    if (!lsb)
        return fail(lsb.error());
    auto dataMSB = run.next(6);
    if (!dataMSB)
        return fail(dataMSB.error());
    P payload;
    // The data entry LSB is optional: failing to read it only means there is none.
    if (auto dataLSB = run.next(38))
        payload.dataEntryLSB = *dataLSB;
    payload.parameter = {*msb, *lsb};
    payload.dataEntryMSB = *dataMSB;
    payload.channel = run.channel();
    return Decoded<P>{payload, run.used()};
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
    if (isAscii(data) || bytes::isValidUTF8(data)) {
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

// The body of a variable-length kind whose lead of leadLength bytes passes leadMatches; every
// such kind needs at least 3 bytes, and a lead it does not take is refused as wrongLead.
template <class LeadMatches>
bytes::Expected<Body, midi::Rejection>
readVariable(Bytes bytes, std::size_t leadLength, RejectReason wrongLead, LeadMatches leadMatches) {
    if (bytes.size() < 3)
        return fail(reject(RejectReason::unexpectedByteLength));
    if (!leadMatches(bytes))
        return fail(reject(wrongLead));
    return readBody(bytes, leadLength);
}

DecodeResult<Text> decodeVariable(std::type_identity<Text>, Bytes bytes) {
    auto body = readVariable(bytes, 2, RejectReason::notTextual,
                             [](Bytes b) { return b[0] == 0xFF && b[1] >= 0x01 && b[1] <= 0x09; });
    if (!body)
        return fail(body.error());
    return Decoded<Text>{
        {static_cast<Text::EventType>(bytes[1]), bytes::OwnedText(decodeText(body->data))},
        body->totalLength};
}

DecodeResult<SequencerSpecific> decodeVariable(std::type_identity<SequencerSpecific>, Bytes bytes) {
    auto body = readVariable(bytes, 2, RejectReason::unexpectedLeadBytes,
                             [](Bytes b) { return b[0] == 0xFF && b[1] == 0x7F; });
    if (!body)
        return fail(body.error());
    return Decoded<SequencerSpecific>{{owned(body->data)}, body->totalLength};
}

DecodeResult<UnrecognizedMeta> decodeVariable(std::type_identity<UnrecognizedMeta>, Bytes bytes) {
    auto body = readVariable(bytes, 2, RejectReason::unexpectedLeadBytes,
                             [](Bytes b) { return b[0] == 0xFF; });
    if (!body)
        return fail(body.error());
    return Decoded<UnrecognizedMeta>{{bytes[1], owned(body->data)}, body->totalLength};
}

// System exclusive: F0, length, the message bytes closed by F7. Returns the bytes between F0 and
// F7 and the total length used.
bytes::Expected<Body, midi::Rejection> readSysEx(Bytes bytes) {
    auto body =
        readVariable(bytes, 1, RejectReason::notSysEx, [](Bytes b) { return b[0] == 0xF0; });
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

DecodeResult<midi::SysEx7> decodeVariable(std::type_identity<midi::SysEx7>, Bytes bytes) {
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

DecodeResult<midi::UniversalSysEx7> decodeVariable(std::type_identity<midi::UniversalSysEx7>,
                                                   Bytes bytes) {
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

template <bool registered>
DecodeResult<midi::ParameterMessage<registered>>
decodeVariable(std::type_identity<midi::ParameterMessage<registered>>, Bytes bytes) {
    return decodeParameter<registered>(bytes);
}

// ---- Every kind's two decoders, in one table each --------------------------------------------

template <class P> DecodeResult<P> decodeStreamAs(Bytes bytes) {
    if constexpr (FixedKind<P>) {
        constexpr std::size_t length = fixedLength<P>();
        if (bytes.size() < length)
            return fail(reject(RejectReason::unexpectedByteLength));
        return decodeFixed<P>(bytes.first(length));
    } else {
        return decodeVariable(std::type_identity<P>{}, bytes);
    }
}

template <class P> DecodeResult<P> decodeAs(Bytes bytes) {
    if constexpr (FixedKind<P>) {
        constexpr std::size_t length = fixedLength<P>();
        if (bytes.size() != length)
            return fail(reject(RejectReason::invalidByteCount, static_cast<std::int64_t>(length),
                               static_cast<std::int64_t>(bytes.size())));
        return decodeFixed<P>(bytes);
    } else {
        // An exact byte list: the stream decoder must use every byte.
        auto decoded = decodeVariable(std::type_identity<P>{}, bytes);
        if (decoded && decoded->bufferLength != bytes.size())
            return fail(reject(RejectReason::invalidByteCount,
                               static_cast<std::int64_t>(decoded->bufferLength),
                               static_cast<std::int64_t>(bytes.size())));
        return decoded;
    }
}

using PayloadDecoder = DecodeResult<Payload> (*)(Bytes);

template <class P, DecodeResult<P> (*decoder)(Bytes)> DecodeResult<Payload> asPayload(Bytes bytes) {
    auto decoded = decoder(bytes);
    if (!decoded)
        return fail(decoded.error());
    return Decoded<Payload>{Payload(std::in_place_type<P>, std::move(decoded->event)),
                            decoded->bufferLength};
}

template <std::size_t kind> using KindAt = std::variant_alternative_t<kind, Payload>;

struct DecoderTables {
    std::array<PayloadDecoder, std::variant_size_v<Payload>> stream;
    std::array<PayloadDecoder, std::variant_size_v<Payload>> exact;
};

// Indexed by the kind, which is the payload's index in Payload.
template <std::size_t... kinds>
constexpr DecoderTables decoderTables(std::index_sequence<kinds...>) {
    return {{&asPayload<KindAt<kinds>, &decodeStreamAs<KindAt<kinds>>>...},
            {&asPayload<KindAt<kinds>, &decodeAs<KindAt<kinds>>>...}};
}

constexpr DecoderTables decoders =
    decoderTables(std::make_index_sequence<std::variant_size_v<Payload>>{});

} // namespace

namespace {
Result<Decoded<Payload>> asError(DecodeResult<Payload>&& decoded) {
    if (!decoded)
        return fail(DecodeError::malformed(decoded.error().message()));
    return std::move(decoded).value();
}
} // namespace

namespace detail {
DecodeResult<Payload> offerTo(MIDIFileEventType kind, Bytes bytes) {
    return decoders.stream[static_cast<std::size_t>(kind)](bytes);
}
} // namespace detail

Result<Decoded<Payload>> decodeStream(MIDIFileEventType kind, Bytes bytes) {
    return asError(detail::offerTo(kind, bytes));
}

Result<Decoded<Payload>> decode(MIDIFileEventType kind, Bytes bytes) {
    return asError(decoders.exact[static_cast<std::size_t>(kind)](bytes));
}

} // namespace carvo::smf
