#include "app/shared_objects.h"

#include "app/display_adapter.h"
#include "app/show_settings.h"
#include "app/version.h"
#include "app/view_adapter.h"
#include "base/app_console.h"
#include "engine/marks.h"
#include "qlab/applescript_backend.h"
#include "qlab/osc/osc_settings.h"
#include "remote/interfaces.h"

namespace carvo {

SharedObjects::SharedObjects(std::shared_ptr<ScriptRunner> runner, Settings& settings)
    : SharedObjects(std::make_shared<AppleScriptBackend>(std::move(runner)), settings) {}

SharedObjects::SharedObjects(std::shared_ptr<QLabBackend> backend, Settings& settings)
    : m_settings(settings), m_server(settings), m_qlab(std::move(backend), m_server, settings),
      m_counter(m_progress, m_server, m_qlab.runningCheck()), m_jumps(m_counter, m_qlab, m_server),
      m_requests(m_jumps, m_qlab),
      m_commands(m_requests, m_counter, m_qlab, settings, RequestOrigin::scripting,
                 [this] { stopShow(RequestOrigin::scripting); }),
      m_oscCommands(m_requests, m_counter, m_qlab, settings, RequestOrigin::osc,
                    [this] { stopShow(RequestOrigin::osc); }) {
    serveRemoteProtocol(m_server, protocolActions());
    display::DisplayServer::Control control;
    control.cues = [this] {
        QList<display::Cue> cues;
        for (const CueInfo& cue : m_qlab.cueInfos())
            cues.append({cue.id, cue.name});
        return cues;
    };
    // The control page is a remote client like those of the TCP server, in the same queue.
    control.go = [this](const QString& cueID, qint64 bar) {
        JumpController::Options options;
        options.cueID = cueID;
        m_requests.jump(RequestOrigin::remote, RequestSource::remote, bar, std::move(options));
    };
    control.stop = [this] { stopShow(RequestOrigin::remote); };
    m_display = std::make_unique<DisplayAdapter>(m_counter, m_qlab, std::move(control));
    m_jumps.setStandby([&settings] { return settings.standby(); });
    // Asked at each jump, as "standby" is.
    m_jumps.setPreRollBars([&settings] { return readShowSettings(settings).preRollBars; });
    m_counter.setCueNames([this](const QString& cueID) {
        for (const CueInfo& cue : m_qlab.cueInfos())
            if (cue.id == cueID)
                return cue.name;
        return QString();
    });
}

void SharedObjects::stopShow(RequestOrigin origin) {
    const auto panic = [this] {
        m_qlab.stopCues({m_jumps.currentCueID(), m_counter.followedCue()});
    };
    panic();
    if (m_requests.isBusy())
        m_requests.stopInTurn(origin, panic);
}

void SharedObjects::startDisplay(quint16 port, const QString& pin) {
    if (port == 0) {
        m_display->start({}, 0, pin);
        return;
    }
    QObject::connect(&m_server, &TCPServer::listenerStateChanged, &m_display->server(),
                     [this, port, pin] { m_display->start(m_server.listenAddress(), port, pin); });
}

void SharedObjects::stopDisplay() {
    m_display->stop();
}

SharedObjects::~SharedObjects() {
    m_display->stop();
    m_counter.stopBarCounter(false);
    m_server.setMessageHandler({});
}

ProtocolActions SharedObjects::protocolActions() {
    ProtocolActions actions;
    actions.panicGroupCues = [this] { stopShow(RequestOrigin::remote); };
    actions.requestCues = [this] { m_qlab.getValidGroupCues(CatalogueSource::network); };
    actions.jumpToBar = [this](qint64 bar) {
        m_requests.jump(RequestOrigin::remote, RequestSource::remote, bar);
    };
    actions.stopBarCounterQuietly = [this] { m_counter.stopBarCounter(false); };
    actions.restartBarCounter = [this] { m_counter.startBarCounter(m_jumps.currentCueID()); };
    actions.broadcast = [this](const QString& message) { m_server.broadcast(message); };
    actions.selectCue = [this](const QString& cueID) {
        m_requests.select(RequestOrigin::remote, cueID);
    };
    actions.jumpToMark = [this](const QString& mark) {
        JumpController::Options options;
        options.mark = mark;
        m_requests.jump(RequestOrigin::remote, RequestSource::remote, m_counter.lastBarTriggered(),
                        std::move(options));
    };
    // The marks of the music the counter follows (the last jump that went through).
    actions.marks = [this] {
        QList<std::pair<qint64, QString>> marks;
        const FollowedMusic& music = m_counter.followed();
        for (const NumberedMark& mark : numberedMarks(music.tables->marks, music.firstBarNumber))
            marks.append({mark.bar, mark.name});
        return marks;
    };
    return actions;
}

ui::UIServices SharedObjects::uiServices() {
    ui::UIServices services;
    if (!m_viewModels) {
        m_viewModels = std::make_unique<ViewAdapter>(m_counter, m_progress, m_qlab, m_server);
        const auto followDisplay = [this] {
            const display::DisplayServer& display = m_display->server();
            m_viewModels->server.setDisplay(display.url(), display.hasPIN());
        };
        QObject::connect(&m_display->server(), &display::DisplayServer::listeningChanged,
                         &m_viewModels->server, followDisplay);
        followDisplay();
    }
    services.counter = &m_viewModels->counter;
    services.showState = &m_viewModels->showState;
    services.qlab = &m_viewModels->qlab;
    services.server = &m_viewModels->server;
    services.console = &AppConsole::shared();
    services.settings = &m_settings;
    for (const char* key : osc::sheetKeys)
        services.qlabRoadKeys.append(QByteArray(key));
    services.version = QString::fromLatin1(carvoVersion);
    services.checkQLabStatus = [this] { return qlabStatus(m_qlab.checkQLabStatus()); };
    services.refreshCatalogue = [this] { m_qlab.getValidGroupCues(CatalogueSource::cueList); };
    services.resendCatalogue = [this] { m_qlab.getValidGroupCues(CatalogueSource::network); };
    services.cueInfos = [this] {
        QList<ui::CueRow> rows;
        for (const CueInfo& cue : m_qlab.cueInfos())
            rows.append({cue.id, cue.name});
        return rows;
    };
    services.resetCarvoCue = [this] { m_qlab.resetCarvoCue(); };
    services.makeChaseCue = [this] { m_qlab.makeChaseCue(); };
    services.jumpToBar = [this] {
        m_requests.jump(RequestOrigin::window, RequestSource::qlab, m_counter.lastBarTriggered());
    };
    services.refreshInterfaces = [this] { m_server.setInterfaces(getNetworkInterfaces()); };
    services.stopServer = [this] { m_server.stopServer(); };
    services.startServer = [this] { m_server.startServer(); };
    services.qlabMachines = [this] {
        if (!m_qlabBrowser) {
            m_qlabBrowser = std::make_unique<ServiceBrowser>();
            // Without a DNS-SD daemon the list stays empty; the host can still be typed.
            m_qlabBrowser->browse(QStringLiteral("_qlab._tcp"), QStringLiteral("local."));
        }
        QList<ui::QLabMachine> machines;
        for (const ServiceBrowser::Found& found : m_qlabBrowser->found())
            machines.append({found.name, found.host, found.port});
        return machines;
    };
    return services;
}

} // namespace carvo
