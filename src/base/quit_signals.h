#pragma once
// SIGINT and SIGTERM end Carvo within a bounded time, whatever QLab does. The handler only writes
// a byte to a socket pair; a watcher thread of its own reads it, so a main thread held by a QLab
// script that never returns cannot keep the signal from acting. At the first signal the watcher
// marks the process as quitting (nothing more goes to QLab), abandons what holds the main thread
// (each AbandonOnQuit alive at that moment), and hands the quit action to the event loop. If the
// process has not ended after the grace period, or a second signal comes, it ends at once.

#include <cstdint>
#include <functional>

#include <QObject>

namespace carvo {

// A quit signal has come: the process is ending, and nothing more may be sent to QLab.
bool quitRequested();

class QuitSignals : public QObject {
    Q_OBJECT

public:
    static constexpr int graceMilliseconds = 1500;

    // Installs the handlers; onQuit runs on this thread's event loop at the first signal. One
    // watcher per process.
    explicit QuitSignals(std::function<void()> onQuit, QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    std::function<void()> m_onQuit;
};

// While it lives, a quit signal runs `abandon` on the watcher's thread: it must make a blocking
// call on another thread return (kill a child process, end a wait), and be safe to run from any
// thread. If the process is already quitting, it runs at once.
class AbandonOnQuit {
public:
    explicit AbandonOnQuit(std::function<void()> abandon);
    ~AbandonOnQuit();
    AbandonOnQuit(const AbandonOnQuit&) = delete;
    AbandonOnQuit& operator=(const AbandonOnQuit&) = delete;

private:
    std::uint64_t m_id = 0;
};

} // namespace carvo
