#pragma once
// What goes to QLab next, in order. QLab may drop a message identical to one the same client sent
// within its repeat window, judging by arrival; so a message whose twin went out less than the
// window and a margin (for the way there) ago holds the queue until that has passed. A message to
// an address whose late replies are still owed holds it too, so those cannot be taken for its own.
//
// Plain C++ on one thread; time comes from the clock it is given, so a test drives it by hand.

#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "qlab/osc/reply_matcher.h"

namespace carvo::osc {

class RepeatQueue {
public:
    struct Entry {
        std::string bytes;           // the encoded message: twins are equal bytes
        std::string key;             // the address its reply comes back on
        ReplyMatcher::Ticket waiter; // none: nothing waits for a reply
    };
    struct Due {
        std::vector<Entry> entries; // to write now, in order
        // When the entry in front may go, from now (a millisecond at least); none: nothing waits.
        std::optional<std::chrono::milliseconds> retryIn;
    };

    // A window of zero: QLab's filter is off, and nothing is held for it.
    RepeatQueue(std::chrono::milliseconds window, std::chrono::milliseconds margin,
                ClockFunction clock);

    void push(Entry entry) { m_entries.push_back(std::move(entry)); }
    // Takes what may go now, in order, as sent now; a request that was answered meanwhile (it
    // timed out waiting its turn) is dropped unsent.
    Due take(ReplyMatcher& matcher);
    void clear() { m_entries.clear(); }
    bool empty() const { return m_entries.empty(); }

private:
    std::chrono::milliseconds m_hold;
    ClockFunction m_clock;
    std::deque<Entry> m_entries;
    std::map<std::string, SteadyClock::time_point> m_lastSent;
};

} // namespace carvo::osc
