#pragma once
// What the bar counter follows: the bar tables of a jump and where in them the music started.
// The jump controller hands it to the counter as a value when a jump goes through; the counter
// advances its own copy as bars begin. Pure C++.

#include <cstdint>
#include <memory>

#include "engine/tempo_map.h"

namespace carvo {

// A bar index: 1 is the score's first bar, 0 the placeholder of the bar tables.
using BarIndex = std::int64_t;

struct FollowedMusic {
    // Built once per jump and never changed; shared by the counter's copies. Never null.
    std::shared_ptr<const BarTables> tables = noTables();
    // The bar number the score gives its first bar (QLab's offset).
    std::int64_t firstBarNumber = 0;
    // The bar that is playing; the counter moves it on.
    BarIndex currentBarIndex = 1;
    // The bar the jump asked for; later than the bar it started from while a pre-roll counts
    // in. 0: none (the jump started at the bar it asked for).
    BarIndex targetBarIndex = 0;
    // The moment playback of the bar at jumpBarTime began, in seconds since 1970.
    double jumpStartTime = 0.0;
    // The start, in the tables, of the bar from which the jump started.
    float jumpBarTime = 0.0F;

    static std::shared_ptr<const BarTables> noTables() {
        static const auto empty = std::make_shared<const BarTables>();
        return empty;
    }
};

} // namespace carvo
