#pragma once
// A clock that moves only when the test moves it, for the classes that are handed their clock.

#include <chrono>

#include "qlab/osc/reply_matcher.h"

namespace carvo::testing {

struct ManualClock {
    osc::SteadyClock::time_point now{std::chrono::seconds(100)};
    osc::ClockFunction function() {
        return [this] { return now; };
    }
};

} // namespace carvo::testing
