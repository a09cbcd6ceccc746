#pragma once
// Which request a reply from QLab answers. QLab answers a connection's messages in order, on
// "/reply/" + the address, so the replies on one address go to its requests first in, first out.
// A request that timed out after it was written leaves its reply owed: a late reply is thrown
// away rather than taken for a later request's, and the address stays held (see owedUntil) until
// it has come or the wait for it is given up. A gathering request takes every reply on its address
// until it is ended (by the reply to a marker written right behind it).
//
// Plain C++ on one thread; time comes from the clock it is given, so a test drives it by hand.

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QJsonValue>
#include <QString>

namespace carvo::osc {

struct Reply {
    enum class Status { ok, error, denied, timeout, noConnection };
    Status status = Status::noConnection;
    QJsonValue data;

    bool ok() const { return status == Status::ok; }
    // The reason, for a diagnostic line.
    QString description() const;
};

// "/workspace/{id}/cue_id/X/isRunning" and "/cue_id/X/isRunning" name the same question: replies
// are matched on the address without its workspace part.
std::string withoutWorkspace(std::string_view address);

using SteadyClock = std::chrono::steady_clock;
using ClockFunction = std::function<SteadyClock::time_point()>;

class ReplyMatcher {
public:
    using Done = std::function<void(std::vector<Reply>)>;

    // One request waiting for its reply (or replies, when it gathers).
    struct Waiter {
        std::string key;
        Done done;
        bool gather = false;
        std::vector<Reply> gathered;
        bool written = false;
        bool finished = false;
    };
    using Ticket = std::shared_ptr<Waiter>;

    // owedFor: how long late replies are waited for after a written request timed out.
    ReplyMatcher(std::chrono::milliseconds owedFor, ClockFunction clock)
        : m_owedFor(owedFor), m_clock(std::move(clock)) {}

    // A request whose replies come back on key (an address, with or without its workspace part).
    Ticket expect(std::string_view address, Done done, bool gather = false);
    // It went out: from now on a timeout leaves its reply owed.
    static void written(const Ticket& ticket) { ticket->written = true; }
    // Its time is up: it is answered "timeout", and its reply owed when it was written.
    void expire(const Ticket& ticket);
    // A gathering request's end: what it gathered, or, when nothing came, "timeout" (or the
    // marker's own failure, which says why nothing came).
    void endGathering(const Ticket& ticket, const std::optional<Reply>& marker);
    // A reply on key. True when it settled an owed reply, so the address may be written again.
    bool take(const std::string& key, Reply reply);
    // While replies to key are owed: until when. Nothing to an address goes out before then.
    std::optional<SteadyClock::time_point> owedUntil(const std::string& key);
    // Every waiting request answered with status (a lost connection); nothing owed any more.
    void failAll(Reply::Status status);
    // A new connection owes nothing.
    void forgetOwed() { m_owed.clear(); }

private:
    struct Owed {
        int replies = 0;
        SteadyClock::time_point until;
    };
    // A gathering request that timed out may have had any number of replies on their way.
    static constexpr int unknownCount = 1 << 20;

    void forget(const Ticket& ticket);
    static void finish(const Ticket& ticket, std::vector<Reply> replies);

    std::chrono::milliseconds m_owedFor;
    ClockFunction m_clock;
    std::map<std::string, std::deque<Ticket>, std::less<>> m_waiting;
    std::map<std::string, Owed, std::less<>> m_owed;
};

} // namespace carvo::osc
