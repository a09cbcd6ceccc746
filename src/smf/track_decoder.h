#pragma once
// Decoding of one "MTrk" chunk body, without exceptions: into an event table, or event by event
// to a visitor that keeps only what it needs.

#include "bytes/byte_reader.h"
#include "bytes/expected.h"
#include "smf/chunk.h"
#include "smf/decode_error.h"
#include "smf/event_decoders.h"
#include "smf/trial_order.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace carvo::smf {

// How events are matched to their kinds. Both give the same result for every body: the shortcut
// takes the common channel messages by their status byte and offers everything else to the kinds
// of the trial order that accept its first byte; trialOrderOnly offers every event to every kind
// of the trial order, for checking the shortcut.
enum class TrackDecoding { shortcut, trialOrderOnly };

// The events of one track body, or the track-level failure: `malformed` with "Encountered end of
// file early.", the delta time message, or the unexpected-data message, not yet placed in a file.
Result<Track> decodeTrack(std::span<const std::uint8_t> body,
                          TrackDecoding decoding = TrackDecoding::shortcut);

// Decodes the body exactly as decodeTrack does, with the same checks and the same failure
// message, but keeps no event: each one goes, in file order, to visit(delta, payload), the payload
// as an rvalue of its own type (midi::NoteOn, Tempo, ...). Gives the number of events visited.
// When the body fails, visit has already seen the events before the failure.
template <class Visitor>
Result<std::size_t> visitTrack(std::span<const std::uint8_t> body, Visitor&& visit,
                               TrackDecoding decoding = TrackDecoding::shortcut);

// ---- How a body is walked --------------------------------------------------------------------

namespace detail {

// No event longer than this can be decoded.
constexpr std::size_t eventWindow = 512;
// Only channel voice kinds accept a window that starts with a running-status byte, and none of
// them looks further than a parameter number run (four 3-byte control changes), so a copy of the
// window's start decides exactly as a copy of the whole window would.
constexpr std::size_t runningStatusCopy = 16;

// The failures of a track body, made only when it fails.
DecodeError endedEarly();
DecodeError malformedDelta();
// The unexpected-data failure for the event at offset.
DecodeError unexpectedData(std::span<const std::uint8_t> body, std::size_t offset);

// The channel message at p when the trial order would certainly accept it as the one kind its
// status byte allows, handed to visit; the bytes used from p, or 0 to leave the event to the trial
// order. Every kind before the matching one in the trial order refuses a status of another nibble,
// and the meta and system exclusive kinds refuse any status below F0, so for these windows the
// trial order's answer is known from the first bytes. Control changes 99 and 101 may start a
// parameter number run and always take the trial order.
template <class Visitor>
std::size_t takeChannelMessage(const std::uint8_t* p, std::size_t available, DeltaTime delta,
                               std::uint8_t& runningStatus, Visitor& visit) {
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
        visit(delta, midi::channelMessage<P>(first, second, channel));
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

} // namespace detail

template <class Visitor>
Result<std::size_t> visitTrack(std::span<const std::uint8_t> body, Visitor&& visit,
                               TrackDecoding decoding) {
    using namespace detail;
    const bool shortcut = decoding == TrackDecoding::shortcut;
    std::size_t count = 0;
    bytes::ByteReader reader(body);
    std::uint8_t runningStatus = 0; // 0: none
    std::array<std::uint8_t, runningStatusCopy> withStatus{};

    for (;;) {
        auto deltaBytes = reader.nonAdvancingRead(4);
        if (!deltaBytes)
            return bytes::fail(endedEarly());
        auto delta = readVariableLength(*deltaBytes);
        if (!delta)
            return bytes::fail(malformedDelta());
        reader.advanceBy(static_cast<std::int64_t>(delta->byteCount));

        const std::int64_t remaining = reader.remainingByteCount();
        if (remaining <= 0)
            return bytes::fail(endedEarly());
        if (shortcut) {
            const auto offset = static_cast<std::size_t>(reader.readOffset());
            if (const std::size_t used =
                    takeChannelMessage(body.data() + offset, static_cast<std::size_t>(remaining),
                                       DeltaTime::ticks(delta->value), runningStatus, visit)) {
                reader.advanceBy(static_cast<std::int64_t>(used));
                ++count;
                continue;
            }
        }
        std::span<const std::uint8_t> window =
            *reader.nonAdvancingRead(std::min<std::int64_t>(remaining, eventWindow));

        // End of Track closes the body; its delta is not kept.
        if (window.size() == 3 && window[0] == 0xFF && window[1] == 0x2F && window[2] == 0x00)
            return count;

        bool statusAdded = false;
        if (window[0] < 0x80 && runningStatus != 0) {
            const std::size_t copied = std::min(window.size(), runningStatusCopy - 1);
            withStatus[0] = runningStatus;
            if (copied == runningStatusCopy - 1) // the usual case, a copy of constant size
                std::memcpy(withStatus.data() + 1, window.data(), runningStatusCopy - 1);
            else
                std::memcpy(withStatus.data() + 1, window.data(), copied);
            window = std::span<const std::uint8_t>(withStatus.data(), copied + 1);
            statusAdded = true;
        }

        auto accepted = shortcut ? offerToKinds(window) : offerToEveryKind(window);
        if (!accepted)
            return bytes::fail(unexpectedData(body, static_cast<std::size_t>(reader.readOffset())));
        std::visit(
            [&](auto& payload) { visit(DeltaTime::ticks(delta->value), std::move(payload)); },
            accepted->event);
        ++count;
        reader.advanceBy(static_cast<std::int64_t>(accepted->bufferLength - (statusAdded ? 1 : 0)));

        const std::uint8_t lead = window[0];
        if (lead >= 0x80 && lead <= 0xEF)
            runningStatus = lead;
        else if (lead >= 0xF0 && lead <= 0xF7)
            runningStatus = 0; // system exclusive cancels running status; meta events keep it
    }
}

} // namespace carvo::smf
