#include "qlab/osc/reply_matcher.h"

#include <algorithm>

namespace carvo::osc {

QString Reply::description() const {
    switch (status) {
    case Status::ok:
        return QStringLiteral("ok");
    case Status::error:
        return QStringLiteral("QLab answered with an error");
    case Status::denied:
        return QStringLiteral("QLab denied the request (passcode)");
    case Status::timeout:
        return QStringLiteral("QLab did not answer in time");
    case Status::noConnection:
        return QStringLiteral("no connection to QLab");
    }
    return {};
}

std::string withoutWorkspace(std::string_view address) {
    constexpr std::string_view prefix = "/workspace/";
    if (!address.starts_with(prefix))
        return std::string(address);
    const auto slash = address.find('/', prefix.size());
    return slash == std::string_view::npos ? std::string() : std::string(address.substr(slash));
}

ReplyMatcher::Ticket ReplyMatcher::expect(std::string_view address, Done done, bool gather) {
    auto ticket = std::make_shared<Waiter>();
    ticket->key = withoutWorkspace(address);
    ticket->done = std::move(done);
    ticket->gather = gather;
    m_waiting[ticket->key].push_back(ticket);
    return ticket;
}

void ReplyMatcher::expire(const Ticket& ticket) {
    if (ticket->finished)
        return;
    forget(ticket);
    if (ticket->written) {
        // Its reply may still come: it is owed, and belongs to no later request.
        Owed& owed = m_owed[ticket->key];
        owed.replies = ticket->gather ? unknownCount : owed.replies + 1;
        owed.until = m_clock() + m_owedFor;
    }
    finish(ticket, {{Reply::Status::timeout, {}}});
}

void ReplyMatcher::endGathering(const Ticket& ticket, const std::optional<Reply>& marker) {
    if (ticket->finished)
        return;
    forget(ticket);
    auto replies = std::move(ticket->gathered);
    if (replies.empty())
        replies.push_back({!marker || marker->ok() ? Reply::Status::timeout : marker->status, {}});
    finish(ticket, std::move(replies));
}

bool ReplyMatcher::take(const std::string& key, Reply reply) {
    bool freed = false;
    if (const auto owed = m_owed.find(key); owed != m_owed.end()) {
        // A late reply to a request that timed out: nobody's answer now.
        if (m_clock() < owed->second.until) {
            if (--owed->second.replies <= 0) {
                m_owed.erase(owed);
                return true;
            }
            return false;
        }
        m_owed.erase(owed);
        freed = true;
    }
    const auto found = m_waiting.find(key);
    if (found == m_waiting.end() || found->second.empty())
        return freed; // nobody asks this (a thump's reply)
    const auto ticket = found->second.front();
    if (ticket->gather) {
        ticket->gathered.push_back(std::move(reply));
        return freed;
    }
    found->second.pop_front();
    if (found->second.empty())
        m_waiting.erase(found);
    finish(ticket, {std::move(reply)});
    return freed;
}

std::optional<SteadyClock::time_point> ReplyMatcher::owedUntil(const std::string& key) {
    const auto now = m_clock();
    std::erase_if(m_owed, [&](const auto& entry) { return now >= entry.second.until; });
    const auto owed = m_owed.find(key);
    if (owed == m_owed.end())
        return std::nullopt;
    return owed->second.until;
}

void ReplyMatcher::failAll(Reply::Status status) {
    auto waiting = std::move(m_waiting);
    m_waiting.clear();
    m_owed.clear();
    for (auto& [key, queue] : waiting)
        for (const auto& ticket : queue)
            if (!ticket->finished)
                finish(ticket, {{status, {}}});
}

void ReplyMatcher::forget(const Ticket& ticket) {
    const auto found = m_waiting.find(ticket->key);
    if (found == m_waiting.end())
        return;
    std::erase(found->second, ticket);
    if (found->second.empty())
        m_waiting.erase(found);
}

void ReplyMatcher::finish(const Ticket& ticket, std::vector<Reply> replies) {
    ticket->finished = true;
    Done done = std::move(ticket->done);
    if (done)
        done(std::move(replies));
}

} // namespace carvo::osc
