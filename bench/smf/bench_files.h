#pragma once
// The generated MIDI files the reader's benchmarks decode, and the file the whole-process
// measurement of carvo-bars reads.

#include "support/midi_bytes.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace carvo::bench {

using testing::Bytes;

// A track chunk of the body with its End of Track.
inline Bytes closedTrack(Bytes body) {
    testing::appendEndOfTrack(body);
    return testing::track(body);
}

// A number below n from the generator.
inline std::uint32_t below(std::mt19937& random, std::uint32_t n) {
    return static_cast<std::uint32_t>(random() % n);
}

// A text meta event after a zero delta.
inline void text(Bytes& body, std::uint8_t type, const std::string& value) {
    body.push_back(0x00);
    testing::appendMeta(body, type, value);
}

// Many tracks of dense playing: notes under running status, controllers, pitch bend, and now
// and then system exclusive and text events.
inline Bytes denseFile(std::size_t targetBytes) {
    constexpr std::uint16_t trackCount = 16;
    std::mt19937 random(7);
    Bytes file = testing::header(testing::formatMultipleTracks, trackCount, 480);
    const std::size_t perTrack = targetBytes / trackCount;
    for (std::uint16_t t = 0; t < trackCount; ++t) {
        const auto channel = static_cast<std::uint8_t>(t % 16);
        Bytes body;
        body.reserve(perTrack + 64);
        text(body, 0x03, "Track " + std::to_string(t));
        body.insert(body.end(), {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20});
        body.insert(body.end(), {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});
        std::size_t group = 0;
        while (body.size() < perTrack) {
            // A phrase of notes under one status byte, velocity 0 ending each note.
            body.insert(body.end(), {0x00, static_cast<std::uint8_t>(0x90 | channel), 60, 100});
            for (int n = 0; n < 24; ++n) {
                const auto note = static_cast<std::uint8_t>(40 + below(random, 48));
                testing::appendVariableLength(body, below(random, 4));
                body.insert(body.end(), {note, static_cast<std::uint8_t>(1 + below(random, 126))});
                testing::appendVariableLength(body, below(random, 96));
                body.insert(body.end(), {note, 0});
            }
            // A controller sweep and a pitch bend sweep under running status.
            body.insert(body.end(), {0x00, static_cast<std::uint8_t>(0xB0 | channel), 1, 0});
            for (int n = 0; n < 12; ++n)
                body.insert(body.end(), {0x02, 1, static_cast<std::uint8_t>(n * 10)});
            body.insert(body.end(), {0x00, static_cast<std::uint8_t>(0xE0 | channel), 0, 64});
            for (int n = 0; n < 12; ++n)
                body.insert(body.end(), {0x01, static_cast<std::uint8_t>(n * 9),
                                         static_cast<std::uint8_t>(64 + n)});
            if (++group % 16 == 0) {
                body.insert(body.end(), {0x00, 0xF0, 0x09, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F,
                                         0x00, 0xF7});
                text(body, 0x06, "Rehearsal mark " + std::to_string(group));
            }
        }
        testing::append(file, closedTrack(body));
    }
    return file;
}

// A typical score: a conductor track and a few instruments, one status byte per event.
inline Bytes typicalFile(std::size_t targetBytes) {
    constexpr std::uint16_t trackCount = 8;
    std::mt19937 random(11);
    Bytes file = testing::header(testing::formatMultipleTracks, trackCount, 960);
    Bytes conductor;
    text(conductor, 0x03, "Conductor");
    for (int bar = 0; bar < 200; ++bar) {
        testing::appendVariableLength(conductor, bar == 0 ? 0 : 3840);
        conductor.insert(conductor.end(),
                         {0xFF, 0x51, 0x03, 0x07, 0xA1, static_cast<std::uint8_t>(bar % 256)});
        if (bar % 16 == 0)
            conductor.insert(conductor.end(), {0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08});
    }
    testing::append(file, closedTrack(conductor));
    const std::size_t perTrack = targetBytes / trackCount;
    for (std::uint16_t t = 1; t < trackCount; ++t) {
        const auto channel = static_cast<std::uint8_t>(t);
        Bytes body;
        text(body, 0x03, "Instrument " + std::to_string(t));
        body.insert(body.end(), {0x00, static_cast<std::uint8_t>(0xC0 | channel), 0x30});
        while (body.size() < perTrack) {
            const auto note = static_cast<std::uint8_t>(48 + below(random, 36));
            testing::appendVariableLength(body, 240 * (1 + below(random, 4)));
            body.insert(body.end(), {static_cast<std::uint8_t>(0x90 | channel), note, 80});
            testing::appendVariableLength(body, 200 + below(random, 200));
            body.insert(body.end(), {static_cast<std::uint8_t>(0x80 | channel), note, 64});
            if (below(random, 32) == 0)
                body.insert(body.end(), {0x00, static_cast<std::uint8_t>(0xB0 | channel), 64, 127});
        }
        testing::append(file, closedTrack(body));
    }
    return file;
}

// A score for the tempo map: a conductor track with a tempo change in every bar and a new time
// signature every 16 bars, and one long track of dense playing: notes under running status
// broken by a controller now and then, so most events are 3 or 4 bytes. About 3.7 bytes an event;
// a target of 13.7 MB gives about 3.69 million events in some 83000 bars.
inline Bytes tempoMapFile(std::size_t targetBytes) {
    constexpr std::uint16_t ticksPerQuarter = 960;
    std::mt19937 random(23);
    // The conductor track takes about a 21st of the file.
    const std::size_t noteBytes = targetBytes - targetBytes / 21;
    Bytes notes;
    notes.reserve(noteBytes + 64);
    text(notes, 0x03, "Piano");
    std::uint64_t ticks = 0;
    // Each group: five notes, the first with its status byte, then a controller with its own.
    while (notes.size() < noteBytes) {
        for (int n = 0; n < 5; ++n) {
            const auto note = static_cast<std::uint8_t>(36 + below(random, 60));
            const std::uint32_t gap = below(random, 8);
            const std::uint32_t length = 128 + below(random, 128);
            testing::appendVariableLength(notes, gap);
            if (n == 0)
                notes.push_back(0x90);
            notes.insert(notes.end(), {note, static_cast<std::uint8_t>(1 + below(random, 126))});
            testing::appendVariableLength(notes, length);
            notes.insert(notes.end(), {note, 0});
            ticks += gap + length;
        }
        notes.insert(notes.end(), {0x00, 0xB0, 7, static_cast<std::uint8_t>(below(random, 128))});
    }

    Bytes conductor;
    text(conductor, 0x03, "Conductor");
    const std::uint32_t barTicks = 4 * ticksPerQuarter; // the signatures below keep 4 quarters
    for (std::uint64_t bar = 0; bar * barTicks <= ticks; ++bar) {
        testing::appendVariableLength(conductor, bar == 0 ? 0 : barTicks);
        const std::uint32_t micros = 400000 + below(random, 200000);
        conductor.insert(conductor.end(),
                         {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(micros >> 16),
                          static_cast<std::uint8_t>(micros >> 8),
                          static_cast<std::uint8_t>(micros)});
        if (bar % 16 == 0) // 4/4 and 8/8 in turn
            conductor.insert(conductor.end(),
                             {0x00, 0xFF, 0x58, 0x04,
                              static_cast<std::uint8_t>(bar % 32 == 0 ? 4 : 8),
                              static_cast<std::uint8_t>(bar % 32 == 0 ? 2 : 3), 0x18, 0x08});
    }

    Bytes file = testing::header(testing::formatMultipleTracks, 2, ticksPerQuarter);
    testing::append(file, closedTrack(conductor));
    testing::append(file, closedTrack(notes));
    return file;
}

} // namespace carvo::bench
