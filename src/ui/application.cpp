#include "ui/application.h"

#include <cstring>
#include <memory>

#include <QCoreApplication>
#include <QPointer>

#include "base/app_console.h"
#include "base/diagnostics.h"
#include "engine/bar_counter_manager.h"
#include "engine/beat_progress_model.h"
#include "engine/jump_controller.h"
#include "qlab/qlab_integration.h"
#include "qlab/runner_setup.h"
#include "qlab/sim/simulated_qlab.h"
#include "remote/interfaces.h"
#include "remote/tcp_server.h"
#include "ui/views.h"

namespace carvo::ui {
WindowDialogResponder::WindowDialogResponder(Views& views) : m_views(&views) {}

std::optional<QString> WindowDialogResponder::respond(const sim::DialogRequest& request) {
    if (!m_views)
        return request.defaultAnswer.value_or(QString());
    return m_views->askInDialog(request.title.isEmpty() ? QStringLiteral("QLab") : request.title,
                                request.text, request.defaultAnswer);
}

UiServices sharedServices() {
    UiServices services;
    services.counterManager = &BarCounterManager::shared();
    services.progressModel = &BeatProgressModel::shared();
    services.qlab = &QLabIntegration::shared();
    services.server = &TCPServer::shared();
    services.console = &AppConsole::shared();
    services.checkQLabStatus = [] { return qlabStateText(QLabIntegration::checkQLabStatus()); };
    services.getValidGroupCues = [](const QString& source) {
        QLabIntegration::getValidGroupCues(source);
    };
    services.cueInfos = [] {
        QList<CueRow> rows;
        for (const CueInfo& cue : QLabIntegration::cueInfos())
            rows.append({cue.id, cue.name});
        return rows;
    };
    services.resetCarvoCue = [] { QLabIntegration::resetCarvoCue(); };
    services.makeChaseCue = [] { QLabIntegration::makeChaseCue(); };
    services.jumpToBar = [](const QString& source) {
        BarCounterManager& manager = BarCounterManager::shared();
        jumpToBar(manager, source, manager.lastBarTriggered());
    };
    services.refreshInterfaces = [] { TCPServer::shared().setInterfaces(getNetworkInterfaces()); };
    services.stopServer = [] { TCPServer::shared().stopServer(); };
    services.startServer = [] { TCPServer::shared().startServer(); };
    return services;
}

bool headlessRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            return true;
    }
    return false;
}

int runWindow() {
    Views views(sharedServices());
    // Behind a --script-log transcript too, so the bar dialog still appears in the window.
    const auto simulated = installedSimulatedQLab();
    if (simulated)
        simulated->setDialogResponder(std::make_shared<WindowDialogResponder>(views));

    // Closing the one main window ends the application, whatever else is open.
    QObject::connect(&views, &Views::mainWindowClosed, &views, [] {
        QCoreApplication::quit();
        writeLine(std::string_view("view dissapeared"));
    });
    if (!views.showMainWindow())
        return 1;
    const int status = QCoreApplication::exec();
    if (simulated)
        simulated->setDialogResponder(std::make_shared<sim::DefaultAnswerResponder>());
    return status;
}

} // namespace carvo::ui
