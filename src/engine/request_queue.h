#pragma once
// The one way in for every request that can arrive while a jump runs: the window, remote
// clients, QLab's OSC Network cues and QLab's Script cues (D-Bus or Apple events).
//
// A jump may wait for the operator in a dialog that runs a nested event loop (Carvo's own bar
// dialog), and requests arriving meanwhile must not act in the middle of it. They wait here and
// run one by one in arrival order, as they would behind a main thread that QLab's dialog holds,
// each with what it named when it arrived: a remote bar request keeps the cue the client had
// addressed, even when a later selection or the jump in progress changes the addressed cue.
//
// Waiting is bounded: at most one waiting jump, one waiting selection and one waiting stop per
// origin; a newer one takes the place of the older (a replaced jump gets one console line).

#include <deque>
#include <functional>

#include <QObject>
#include <QString>

#include "engine/jump_controller.h"
#include "engine/request_source.h"

namespace carvo {

class QLabOperations;

// Where a request came from: the bound on waiting requests is per origin.
enum class RequestOrigin {
    window,    // the main window's bar counter
    remote,    // a remote client of the TCP server
    osc,       // QLab's Network cues (the OSC command receiver)
    scripting, // QLab's Script cues (D-Bus, or Apple events on macOS)
};

class RequestQueue : public QObject {
    Q_OBJECT

public:
    // Main thread only.
    RequestQueue(JumpController& jumps, QLabOperations& qlab, QObject* parent = nullptr);
    ~RequestQueue() override;

    // A jump. It runs now when nothing runs, else waits its turn. Remote and chase jumps address
    // options.cueID when given, else the cue addressed at arrival (addressedCue()).
    // options.whenDone runs once, whether the jump ran, was replaced or was dropped.
    void jump(RequestOrigin origin, RequestSource source, qint64 bar,
              JumpController::Options options = {});

    // Makes cueID the cue that remote and chase requests address: now when nothing runs, else
    // after the requests that arrived before it.
    void select(RequestOrigin origin, const QString& cueID);

    // Work that must keep its place behind a jump in progress (a standby chase restarting the
    // counter): now when nothing runs, else in its turn, replacing the origin's waiting jump.
    void follow(RequestOrigin origin, const QString& cueID, std::function<void()> work);

    // Work that keeps its place behind a jump in progress, one waiting per origin (a stop that
    // must also reach the cue the jump in progress starts). Runs now when nothing runs.
    void stopInTurn(RequestOrigin origin, std::function<void()> work);

    // The cue a remote request arriving now addresses: that of the last waiting selection or
    // chase, else QLab's addressed cue.
    QString addressedCue() const;

    // A jump, or other work of the queue's, is running now.
    bool isBusy() const { return m_running; }
    int waitingCount() const { return static_cast<int>(m_waiting.size()); }

    // The process is ending: every waiting request is dropped (answers that must go out still
    // do) and nothing new is taken.
    void close();
    bool isClosed() const { return m_closed; }

private:
    enum class Kind { jump, selection, stop };
    struct Waiting {
        RequestOrigin origin;
        Kind kind;
        // The cue it makes the addressed one, if any (a selection, a remote or chase jump).
        std::optional<QString> addresses;
        std::function<void()> run;
        std::function<void()> dropped; // instead of run, when it never runs
    };

    void enqueue(Waiting waiting);
    void runNow(const std::function<void()>& work);
    void runNextWaiting();

    JumpController& m_jumps;
    QLabOperations& m_qlab;
    bool m_running = false;
    bool m_closed = false;
    std::deque<Waiting> m_waiting;
    // Origins whose replaced requests the console has heard of since the queue was last empty.
    unsigned m_reported = 0; // one bit per origin
};

// "the window", "a remote client", "QLab's OSC commands", "QLab's script commands".
QString originText(RequestOrigin origin);

} // namespace carvo
