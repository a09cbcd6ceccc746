#pragma once
// The jump state: one set per process, written by the jump controller and advanced by the bar
// counter. Main thread only, no locks (every writer runs there).

#include <cstdint>
#include <vector>

#include <QString>

namespace carvo {

// A bar index: 1 is the score's first bar, 0 the placeholder of the bar tables.
using BarIndex = std::int64_t;

struct JumpState {
    QString currentCueID;
    std::int64_t firstBarNumber = 0;
    BarIndex currentBarIndex = 1;
    std::vector<float> barStartTimes;
    std::vector<std::int64_t> barBeatCounts;
    double jumpStartTime = 0.0; // seconds since 1970
    float jumpBarTime = 0.0F;   // seconds into the music
};

JumpState& jumpState();

} // namespace carvo
