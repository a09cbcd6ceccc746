#pragma once
// What a stage display shows, as one value: the display's own copy of where the show stands, so
// that this layer depends on nothing but the base. The application fills it from the engine.

#include <cstdint>

#include <QString>

namespace carvo::display {

enum class Phase : std::uint8_t {
    idle,             // nothing has run yet
    running,          // the counter follows a playing cue
    standby,          // a jump loaded the cue without starting it
    stopped,          // the counter stopped: the cue ended or was stopped
    qlabNotAnswering, // the count goes on, but QLab has not answered
};

// "idle", "running", "standby", "stopped", "qlabNotAnswering": the feed's texts.
const char* phaseText(Phase phase);

struct State {
    QString cueID;
    QString cueName;
    std::int64_t bar = 1;
    std::int64_t beat = 1;
    double progress = 0.0; // of the current bar, 0 to 1
    std::int64_t beatsPerBar = 4;
    Phase phase = Phase::idle;
    // Bars still to come before targetBar during a pre-roll; 0 without one.
    std::int64_t countInBars = 0;
    std::int64_t targetBar = 0;
    QString mark; // the rehearsal mark at or before the bar; empty where there is none
    // When the current bar began, in milliseconds since 1970, and how long it lasts; 0 where
    // nothing follows music (the page then shows the progress as it comes).
    double barStartMs = 0.0;
    double barLengthMs = 0.0;

    friend bool operator==(const State&, const State&) = default;
};

// One group cue the control page offers.
struct Cue {
    QString id;
    QString name;

    friend bool operator==(const Cue&, const Cue&) = default;
};

} // namespace carvo::display
