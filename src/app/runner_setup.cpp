#include "app/runner_setup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "qlab/osascript_runner.h"
#include "qlab/script_log.h"

namespace carvo {

QString demoFolder() {
    const QString installed = QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../" CARVO_INSTALL_DATADIR "/carvo/demo");
    if (QFileInfo::exists(installed + QStringLiteral("/workspace.json")))
        return QDir::cleanPath(installed);
    return QStringLiteral(CARVO_SOURCE_DEMO_DIR);
}

std::optional<RunnerChoice> makeScriptRunner(const RunnerOptions& options, QString* problem) {
    RunnerChoice choice;
#ifdef Q_OS_MACOS
    (void)problem;
    choice.runner = std::make_shared<OsascriptRunner>();
#else
    auto workspace = sim::loadWorkspaceFile(options.workspaceFile, problem);
    if (!workspace)
        return std::nullopt;
    if (options.latencyMs)
        workspace->latencyMs = *options.latencyMs;
    if (options.hang)
        workspace->hang = options.hang;
    choice.simulated = std::make_shared<sim::SimulatedQLab>(std::move(*workspace));
    choice.runner = choice.simulated;
#endif
    if (!options.scriptLogFile.isEmpty())
        choice.runner =
            std::make_shared<ScriptLogRunner>(std::move(choice.runner), options.scriptLogFile);
    return choice;
}

void RunnerChoice::setDialogResponder(std::shared_ptr<DialogResponder> responder) const {
    if (simulated)
        simulated->setDialogResponder(responder);
    if (osc)
        osc->setDialogResponder(responder);
}

RunnerChoice makeOscRoad(const osc::ClientSettings& client, const osc::MediaPathMap& media) {
    auto connection = std::make_shared<osc::Client>(client);
    connection->start();
    RunnerChoice choice;
    choice.osc = std::make_shared<osc::OscBackend>(std::move(connection), media);
    return choice;
}

} // namespace carvo
