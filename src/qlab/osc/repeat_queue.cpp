#include "qlab/osc/repeat_queue.h"

#include <algorithm>

namespace carvo::osc {

RepeatQueue::RepeatQueue(std::chrono::milliseconds window, std::chrono::milliseconds margin,
                         ClockFunction clock)
    : m_hold(window > std::chrono::milliseconds::zero() ? window + margin
                                                        : std::chrono::milliseconds::zero()),
      m_clock(std::move(clock)) {}

RepeatQueue::Due RepeatQueue::take(ReplyMatcher& matcher) {
    const auto now = m_clock();
    std::erase_if(m_lastSent, [&](const auto& entry) { return now - entry.second >= m_hold; });
    Due due;
    while (!m_entries.empty()) {
        Entry& next = m_entries.front();
        if (next.waiter && next.waiter->finished) {
            m_entries.pop_front();
            continue;
        }
        SteadyClock::time_point free = now;
        if (const auto twin = m_lastSent.find(next.bytes); twin != m_lastSent.end())
            free = std::max(free, twin->second + m_hold);
        if (const auto owed = matcher.owedUntil(next.key))
            free = std::max(free, *owed);
        if (free > now) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(free - now);
            due.retryIn = std::max(wait, std::chrono::milliseconds{1});
            return due;
        }
        if (m_hold > std::chrono::milliseconds::zero())
            m_lastSent[next.bytes] = now;
        due.entries.push_back(std::move(next));
        m_entries.pop_front();
    }
    return due;
}

} // namespace carvo::osc
