#include "engine/request_queue.h"

#include <algorithm>

#include "base/diagnostics.h"
#include "engine/qlab_operations.h"

namespace carvo {

QString originText(RequestOrigin origin) {
    switch (origin) {
    case RequestOrigin::window:
        return QStringLiteral("the window");
    case RequestOrigin::remote:
        return QStringLiteral("a remote client");
    case RequestOrigin::osc:
        return QStringLiteral("QLab's OSC commands");
    case RequestOrigin::scripting:
        return QStringLiteral("QLab's script commands");
    }
    return {};
}

RequestQueue::RequestQueue(JumpController& jumps, QLabOperations& qlab, QObject* parent)
    : QObject(parent), m_jumps(jumps), m_qlab(qlab) {}

RequestQueue::~RequestQueue() {
    close();
}

QString RequestQueue::addressedCue() const {
    for (auto it = m_waiting.rbegin(); it != m_waiting.rend(); ++it)
        if (it->addresses)
            return *it->addresses;
    return m_qlab.uniqueID();
}

void RequestQueue::jump(RequestOrigin origin, RequestSource source, qint64 bar,
                        JumpController::Options options) {
    const bool addressed = source == RequestSource::remote || source == RequestSource::chase;
    if (addressed && !options.cueID)
        options.cueID = addressedCue();
    std::optional<QString> addresses = addressed ? options.cueID : std::nullopt;
    auto done = options.whenDone;
    if (m_closed) {
        if (done)
            done();
        return;
    }
    auto run = [this, source, bar, options = std::move(options)] {
        m_jumps.jumpToBar(source, bar, options);
    };
    if (!m_running) {
        runNow(run);
        return;
    }
    enqueue({origin, Kind::jump, std::move(addresses), std::move(run), std::move(done)});
}

void RequestQueue::select(RequestOrigin origin, const QString& cueID) {
    if (m_closed)
        return;
    auto run = [this, cueID] { m_qlab.setUniqueID(cueID); };
    if (!m_running) {
        runNow(run);
        return;
    }
    enqueue({origin, Kind::selection, cueID, std::move(run), {}});
}

void RequestQueue::follow(RequestOrigin origin, const QString& cueID, std::function<void()> work) {
    if (m_closed)
        return;
    if (!m_running) {
        runNow(work);
        return;
    }
    enqueue({origin, Kind::jump, cueID, std::move(work), {}});
}

void RequestQueue::stopInTurn(RequestOrigin origin, std::function<void()> work) {
    if (m_closed)
        return;
    if (!m_running) {
        runNow(work);
        return;
    }
    enqueue({origin, Kind::stop, std::nullopt, std::move(work), {}});
}

void RequestQueue::enqueue(Waiting waiting) {
    const auto older = std::find_if(m_waiting.begin(), m_waiting.end(), [&](const Waiting& other) {
        return other.origin == waiting.origin && other.kind == waiting.kind;
    });
    if (older != m_waiting.end()) {
        // The newer request takes the older one's slot at the back of the line: it arrived last.
        // One line per origin while the jump in progress holds them, however many follow.
        const unsigned bit = 1u << static_cast<unsigned>(waiting.origin);
        if (older->kind == Kind::jump && (m_reported & bit) == 0) {
            m_reported |= bit;
            consoleLine(QStringLiteral("A waiting request from ") + originText(waiting.origin) +
                        QStringLiteral(" was replaced by a newer one"));
        }
        auto dropped = std::move(older->dropped);
        m_waiting.erase(older);
        if (dropped)
            dropped();
    }
    m_waiting.push_back(std::move(waiting));
}

void RequestQueue::runNow(const std::function<void()>& work) {
    m_running = true;
    work();
    m_running = false;
    if (m_waiting.empty())
        m_reported = 0;
    else
        QMetaObject::invokeMethod(this, &RequestQueue::runNextWaiting, Qt::QueuedConnection);
}

void RequestQueue::runNextWaiting() {
    if (m_running || m_waiting.empty())
        return;
    Waiting next = std::move(m_waiting.front());
    m_waiting.pop_front();
    runNow(next.run);
}

void RequestQueue::close() {
    m_closed = true;
    std::deque<Waiting> dropped;
    dropped.swap(m_waiting);
    for (Waiting& waiting : dropped)
        if (waiting.dropped)
            waiting.dropped();
}

} // namespace carvo
