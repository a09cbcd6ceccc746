#include "app/runner_setup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "qlab/osascript_runner.h"
#include "qlab/script_log.h"

#ifdef Q_OS_MACOS
#include "platform/macos/in_process_runner.h"
#endif

namespace carvo {

QString demoFolder() {
    const QString installed = QCoreApplication::applicationDirPath() +
                              QStringLiteral("/../" CARVO_INSTALL_DATADIR "/carvo/demo");
    if (QFileInfo::exists(installed + QStringLiteral("/workspace.json")))
        return QDir::cleanPath(installed);
    return QStringLiteral(CARVO_SOURCE_DEMO_DIR);
}

std::optional<RunnerKind> parseRunnerKind(const QString& text) {
    if (text == QStringLiteral("in-process"))
        return RunnerKind::inProcess;
    if (text == QStringLiteral("osascript"))
        return RunnerKind::osascript;
    if (text == QStringLiteral("simulated"))
        return RunnerKind::simulated;
    return std::nullopt;
}

RunnerKind defaultRunnerKind() {
    if (const auto chosen = parseRunnerKind(qEnvironmentVariable("CARVO_SCRIPT_RUNNER")))
        return *chosen;
#ifdef Q_OS_MACOS
    return RunnerKind::inProcess;
#else
    return RunnerKind::simulated;
#endif
}

std::optional<RunnerChoice> makeScriptRunner(const RunnerOptions& options, QString* problem) {
    RunnerChoice choice;
    switch (options.kind) {
    case RunnerKind::inProcess:
#ifdef Q_OS_MACOS
        choice.runner = std::make_shared<macos::InProcessRunner>();
        break;
#else
        if (problem)
            *problem = QStringLiteral("AppleScript runs in process on macOS only");
        return std::nullopt;
#endif
    case RunnerKind::osascript:
        choice.runner = std::make_shared<OsascriptRunner>();
        break;
    case RunnerKind::simulated: {
        auto workspace = sim::loadWorkspaceFile(options.workspaceFile, problem);
        if (!workspace)
            return std::nullopt;
        if (options.latencyMs)
            workspace->latencyMs = *options.latencyMs;
        if (options.hang)
            workspace->hang = options.hang;
        choice.simulated = std::make_shared<sim::SimulatedQLab>(std::move(*workspace));
        choice.runner = choice.simulated;
        break;
    }
    }
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

RunnerChoice makeOSCRoad(const osc::ClientSettings& client, const osc::MediaPathMap& media) {
    auto connection = std::make_shared<osc::Client>(client);
    connection->start();
    RunnerChoice choice;
    choice.osc = std::make_shared<osc::OSCBackend>(std::move(connection), media);
    return choice;
}

} // namespace carvo
