#include "app/display_adapter.h"

#include <QHostAddress>

#include "base/diagnostics.h"
#include "engine/bar_counter_manager.h"
#include "qlab/qlab_integration.h"
#include "remote/service_publisher.h"

namespace carvo {
namespace {

display::Phase displayPhase(ShowPhase phase) {
    switch (phase) {
    case ShowPhase::idle:
        return display::Phase::idle;
    case ShowPhase::running:
        return display::Phase::running;
    case ShowPhase::standby:
        return display::Phase::standby;
    case ShowPhase::stopped:
        return display::Phase::stopped;
    case ShowPhase::qlabNotAnswering:
        return display::Phase::qlabNotAnswering;
    }
    return display::Phase::idle;
}

} // namespace

display::State displayState(const ShowState& show, const FollowedMusic& music) {
    display::State state;
    state.cueID = show.cueID;
    state.cueName = show.cueName;
    state.bar = show.bar;
    state.beat = show.beat;
    state.progress = show.progress;
    state.beatsPerBar = show.beatsPerBar;
    state.phase = displayPhase(show.phase);
    state.countInBars = show.countInBars;
    state.targetBar = show.targetBar;
    state.mark = show.mark;
    const bool counting = show.phase == ShowPhase::running ||
                          show.phase == ShowPhase::qlabNotAnswering ||
                          show.phase == ShowPhase::standby;
    const auto& starts = music.tables->barStartTimes;
    const BarIndex index = music.currentBarIndex;
    if (counting && index >= 1 && index + 1 < static_cast<BarIndex>(starts.size())) {
        const auto at = static_cast<std::size_t>(index);
        const double start = music.jumpStartTime + (starts[at] - music.jumpBarTime);
        state.barStartMs = start * 1000.0;
        state.barLengthMs = (static_cast<double>(starts[at + 1]) - starts[at]) * 1000.0;
    }
    return state;
}

DisplayAdapter::DisplayAdapter(const BarCounterManager& counter, QLabIntegration& qlab,
                               display::DisplayServer::Control control) {
    m_server.setControl(std::move(control));
    const ShowStatePublisher& publisher = counter.showState();
    QObject::connect(&publisher, &ShowStatePublisher::changed, &m_server,
                     [this, &publisher, &counter] {
                         m_server.publish(displayState(publisher.state(), counter.followed()));
                     });
    QObject::connect(&qlab, &QLabIntegration::messageShown, &m_server,
                     [this](const QString& message) { m_server.showMessage(message); });
    m_server.publish(displayState(publisher.state(), counter.followed()));
}

DisplayAdapter::~DisplayAdapter() = default;

void DisplayAdapter::start(const QString& ipAddress, quint16 port, const QString& pin) {
    stop();
    if (port == 0) {
        writeLine(QStringLiteral("Stage display: off (port 0)"));
        return;
    }
    m_server.setPIN(pin);
    if (!m_server.listen(QHostAddress(ipAddress), port))
        return;
    consoleLine(QStringLiteral("📺 Stage display on ") + m_server.url() +
                (pin.isEmpty() ? QStringLiteral(" (no control page: no PIN set)")
                               : QStringLiteral(" (control page: ") + m_server.url() +
                                     QStringLiteral("control)")));
    if (!m_announcement)
        m_announcement = std::make_unique<ServicePublisher>();
    // Without a DNS-SD daemon the publisher says so once; the page is still there.
    m_announcement->publish(QStringLiteral("Carvo Display"), QStringLiteral("_http._tcp."),
                            QStringLiteral("local."), m_server.port());
}

void DisplayAdapter::stop() {
    if (m_announcement)
        m_announcement->stop();
    if (m_server.isListening())
        m_server.stop();
}

} // namespace carvo
