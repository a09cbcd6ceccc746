#include "engine/clock.h"

#include <chrono>

#include <QTimer>

namespace carvo {
namespace {

class QtRepeatingTimer final : public RepeatingTimer {
public:
    QtRepeatingTimer(int intervalMs, std::function<void()> onFire) : m_timer(new QTimer) {
        m_timer->setTimerType(Qt::PreciseTimer);
        m_timer->setInterval(intervalMs);
        QObject::connect(m_timer, &QTimer::timeout, m_timer, std::move(onFire));
        m_timer->start();
    }
    // The counter may stop from inside the timer's own firing: delete the QTimer later.
    ~QtRepeatingTimer() override {
        m_timer->stop();
        m_timer->deleteLater();
    }
    QtRepeatingTimer(const QtRepeatingTimer&) = delete;
    QtRepeatingTimer& operator=(const QtRepeatingTimer&) = delete;

private:
    QTimer* m_timer;
};

} // namespace

double systemWallClock() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(sinceEpoch).count();
}

std::unique_ptr<RepeatingTimer> makeQtRepeatingTimer(int intervalMs, std::function<void()> onFire) {
    return std::make_unique<QtRepeatingTimer>(intervalMs, std::move(onFire));
}

} // namespace carvo
