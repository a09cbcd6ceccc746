#include "engine/bar_position.h"

#include <cmath>
#include <limits>

namespace carvo {
namespace {

// The beat number within the bar; beat 1 whenever the beat length gives no usable number, so
// a zero-length bar or a bar of 0 beats never turns infinity or NaN into an integer.
std::int64_t beatNumber(float intoBar, float beatLength) {
    if (!std::isfinite(beatLength) || beatLength <= 0.0F)
        return 1;
    const float beats = std::trunc(intoBar / beatLength);
    if (!std::isfinite(beats))
        return 1;
    constexpr float limit = 9.0e18F; // inside the signed 64-bit range
    return static_cast<std::int64_t>(std::fmax(-limit, std::fmin(beats, limit))) + 1;
}

std::int64_t saturatingBarNumber(std::int64_t index, std::int64_t firstBarNumber) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(index, firstBarNumber, &sum))
        return firstBarNumber > 0 ? std::numeric_limits<std::int64_t>::max()
                                  : std::numeric_limits<std::int64_t>::min();
    if (__builtin_sub_overflow(sum, 1, &sum))
        return std::numeric_limits<std::int64_t>::min();
    return sum;
}

} // namespace

BarPosition computeBarPosition(const BarPositionInput& input) {
    const auto& starts = *input.barStartTimes;
    const auto& beats = *input.barBeatCounts;
    BarPosition position;
    const auto count = static_cast<std::int64_t>(std::min(starts.size(), beats.size()));
    const std::int64_t i = input.currentBarIndex;
    // The last two entries are the bar line that ends the tables and the bar before it.
    if (i < 0 || i >= count - 2) {
        position.outsideTables = true;
        return position;
    }
    const auto at = [](std::int64_t index) { return static_cast<std::size_t>(index); };

    const auto elapsed = static_cast<float>(input.now - input.jumpStartTime);
    const float barLength = starts[at(i + 1)] - starts[at(i)];

    std::int64_t c = i;
    if (starts[at(i + 1)] - input.jumpBarTime < elapsed) {
        c = i + 1; // at most one bar per tick
        position.barChanged = true;
        position.beatsPerBar = beats[at(c)];
    }
    position.index = c;

    const float intoBar = elapsed - (starts[at(c)] - input.jumpBarTime);
    position.progress = static_cast<double>(intoBar) / static_cast<double>(barLength);
    // Bar starts are rounded to the millisecond, so a bar can have no length: clients and the
    // progress bar get 0 rather than "inf" or "nan".
    if (!std::isfinite(position.progress))
        position.progress = 0.0;
    const float beatLength = (starts[at(c + 1)] - starts[at(c)]) / static_cast<float>(beats[at(c)]);
    position.beat = beatNumber(intoBar, beatLength);
    position.bar = saturatingBarNumber(c, input.firstBarNumber);
    position.text = std::to_string(position.bar) + "." + std::to_string(position.beat);
    return position;
}

} // namespace carvo
