// The track loop: delta times, running status, End of Track, and the failure messages of a track
// body. Channel messages are taken by their status byte; every other event goes to the trial order.

#include "smf/track_decoder.h"

#include "bytes/byte_reader.h"
#include "smf/trial_order.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

namespace carvo::smf {

using bytes::fail;
using Bytes = std::span<const std::uint8_t>;

namespace {

constexpr std::size_t reservedEventLimit = std::size_t{1} << 22;

// No event longer than this can be decoded.
constexpr std::size_t eventWindow = 512;
// Only channel voice kinds accept a window that starts with a running-status byte, and none of
// them looks further than a parameter number run (four 3-byte control changes), so a copy of the
// window's start decides exactly as a copy of the whole window would.
constexpr std::size_t runningStatusCopy = 16;

std::string hexOffset(std::size_t offset) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%zX", offset);
    return text;
}

std::string unexpectedData(Bytes body, std::size_t offset) {
    std::string shown;
    const std::size_t count = std::min<std::size_t>(8, body.size() - offset);
    char part[8];
    for (std::size_t i = 0; i < count; ++i) {
        std::snprintf(part, sizeof part, i == 0 ? "0x%02X" : " 0x%02X", body[offset + i]);
        shown += part;
    }
    return "Unexpected data encountered before end of track at track data byte offset " +
           hexOffset(offset) + " (" + shown + " ...).";
}

const char* const endOfFileEarly = "Encountered end of file early.";

// The channel message at p when the trial order would certainly accept it as the one kind its
// status byte allows, appended; the bytes used from p, or 0 to leave the event to the trial order.
// Every kind before the matching one in the trial order refuses a status of another nibble, and
// the meta and system exclusive kinds refuse any status below F0, so for these windows the trial
// order's answer is known from the first bytes. Control changes 99 and 101 may start a parameter
// number run and always take the trial order.
std::size_t takeChannelMessage(const std::uint8_t* p, std::size_t available, DeltaTime delta,
                               std::uint8_t& runningStatus, EventTable& events) {
    std::uint8_t status = p[0];
    std::size_t statusBytes = 1;
    if (status < 0x80) {
        if (runningStatus == 0)
            return 0;
        status = runningStatus;
        statusBytes = 0;
    } else if (status >= 0xF0) {
        return 0;
    }
    const unsigned nibble = status >> 4u;
    const std::size_t dataBytes = (nibble == 0xC || nibble == 0xD) ? 1 : 2;
    const std::size_t length = statusBytes + dataBytes;
    if (available < length)
        return 0;
    const std::uint8_t first = p[statusBytes];
    const std::uint8_t second = dataBytes == 2 ? p[statusBytes + 1] : 0;
    if (first > 127 || second > 127)
        return 0;
    const auto channel = static_cast<std::uint8_t>(status & 0x0F);
    const auto take = [&]<class P>(std::type_identity<P>) {
        events.emplace_back(delta, std::in_place_type<P>,
                            midi::channelMessage<P>(first, second, channel));
    };
    // A switch rather than a search of the channel voice rows: this runs for nearly every event.
    switch (nibble) {
    case 0x8:
        take(std::type_identity<midi::NoteOff>{});
        break;
    case 0x9:
        take(std::type_identity<midi::NoteOn>{});
        break;
    case 0xA:
        take(std::type_identity<midi::NotePressure>{});
        break;
    case 0xB:
        if (first == midi::NRPN::msbController || first == midi::RPN::msbController)
            return 0;
        take(std::type_identity<midi::CC>{});
        break;
    case 0xC:
        take(std::type_identity<midi::ProgramChange>{});
        break;
    case 0xD:
        take(std::type_identity<midi::Pressure>{});
        break;
    default: // 0xE
        take(std::type_identity<midi::PitchBend>{});
        break;
    }
    runningStatus = status;
    return length;
}

} // namespace

// ---- Track decoding -------------------------------------------------------------------------

bytes::Expected<Track, std::string> decodeTrack(Bytes body, TrackDecoding decoding) {
    const bool shortcut = decoding == TrackDecoding::shortcut;
    Track track;
    // The shortest event (one delta byte and one running-status data byte) takes two bytes, so
    // this is the most a body can hold; only untouched address space is wasted. Beyond a few
    // million events the table grows as it fills instead, so no body reserves gigabytes.
    track.events.reserve(std::min(body.size() / 2, reservedEventLimit));
    bytes::ByteReader reader(body);
    std::uint8_t runningStatus = 0; // 0: none
    std::array<std::uint8_t, runningStatusCopy> withStatus{};

    for (;;) {
        auto deltaBytes = reader.nonAdvancingRead(4);
        if (!deltaBytes)
            return fail(std::string(endOfFileEarly));
        auto delta = readVariableLength(*deltaBytes);
        if (!delta)
            return fail(std::string(
                "Delta time variable length value could not be read and may be malformed."));
        reader.advanceBy(static_cast<std::int64_t>(delta->byteCount));

        const std::int64_t remaining = reader.remainingByteCount();
        if (remaining <= 0)
            return fail(std::string(endOfFileEarly));
        if (shortcut) {
            const auto offset = static_cast<std::size_t>(reader.readOffset());
            if (const std::size_t used = takeChannelMessage(
                    body.data() + offset, static_cast<std::size_t>(remaining),
                    DeltaTime::ticks(delta->value), runningStatus, track.events)) {
                reader.advanceBy(static_cast<std::int64_t>(used));
                continue;
            }
        }
        Bytes window = *reader.nonAdvancingRead(std::min<std::int64_t>(remaining, eventWindow));

        // End of Track closes the body; its delta is not kept.
        if (window.size() == 3 && window[0] == 0xFF && window[1] == 0x2F && window[2] == 0x00)
            return track;

        bool statusAdded = false;
        if (window[0] < 0x80 && runningStatus != 0) {
            const std::size_t copied = std::min(window.size(), runningStatusCopy - 1);
            withStatus[0] = runningStatus;
            if (copied == runningStatusCopy - 1) // the usual case, a copy of constant size
                std::memcpy(withStatus.data() + 1, window.data(), runningStatusCopy - 1);
            else
                std::memcpy(withStatus.data() + 1, window.data(), copied);
            window = Bytes(withStatus.data(), copied + 1);
            statusAdded = true;
        }

        auto accepted = shortcut ? offerToKinds(window) : offerToEveryKind(window);
        if (!accepted)
            return fail(unexpectedData(body, static_cast<std::size_t>(reader.readOffset())));
        track.events.emplace_back(DeltaTime::ticks(delta->value), std::move(accepted->event));
        reader.advanceBy(static_cast<std::int64_t>(accepted->bufferLength - (statusAdded ? 1 : 0)));

        const std::uint8_t lead = window[0];
        if (lead >= 0x80 && lead <= 0xEF)
            runningStatus = lead;
        else if (lead >= 0xF0 && lead <= 0xF7)
            runningStatus = 0; // system exclusive cancels running status; meta events keep it
    }
}

} // namespace carvo::smf
