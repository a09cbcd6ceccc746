#pragma once
// The wall clock and the bar counter's timer, handed to those who use them so that tests drive
// ticks at exact times.

#include <functional>
#include <memory>

namespace carvo {

// Seconds since 1970.
using WallClock = std::function<double()>;

double systemWallClock();

// A repeating timer that runs its callback on the main thread until it is destroyed.
class RepeatingTimer {
public:
    virtual ~RepeatingTimer() = default;
};

using TimerFactory =
    std::function<std::unique_ptr<RepeatingTimer>(int intervalMs, std::function<void()> onFire)>;

// A precise QTimer on the calling thread's event loop.
std::unique_ptr<RepeatingTimer> makeQtRepeatingTimer(int intervalMs, std::function<void()> onFire);

} // namespace carvo
