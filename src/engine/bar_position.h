#pragma once
// The position arithmetic of one bar counter tick, free of Qt so it can be checked on its own.
// The widths follow what remote clients see: times in 32-bit floats, the progress in 64 bits.

#include <cstdint>
#include <string>
#include <vector>

namespace carvo {

struct BarPositionInput {
    std::int64_t currentBarIndex = 1;
    std::int64_t firstBarNumber = 0;
    const std::vector<float>* barStartTimes = nullptr;
    const std::vector<std::int64_t>* barBeatCounts = nullptr;
    double jumpStartTime = 0.0;
    float jumpBarTime = 0.0F;
    double now = 0.0;
};

struct BarPosition {
    // The index lies outside the part of the tables the counter can follow: stop.
    bool outsideTables = false;
    // The next bar began before this tick; index and beatsPerBar describe it.
    bool barChanged = false;
    std::int64_t index = 0;
    std::int64_t beatsPerBar = 0;
    double progress = 0.0;
    std::int64_t beat = 1;
    std::int64_t bar = 0;
    std::string text; // "17.3"
};

BarPosition computeBarPosition(const BarPositionInput& input);

} // namespace carvo
