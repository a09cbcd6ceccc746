#pragma once
// SIGINT and SIGTERM reach the event loop through a socket pair: the handler only writes a byte,
// and the loop runs the quit action. One watcher per process.

#include <functional>
#include <memory>

#include <QObject>

class QSocketNotifier;

namespace carvo {

class QuitSignals : public QObject {
    Q_OBJECT

public:
    // Installs the handlers; onQuit runs on this thread's event loop at each signal.
    explicit QuitSignals(std::function<void()> onQuit, QObject* parent = nullptr);
    ~QuitSignals() override;
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    std::function<void()> m_onQuit;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace carvo
