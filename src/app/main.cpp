// Carvo's process entry: builds the shared objects in their start-up order, starts the remote
// control server and runs the event loop (or the main window) until the process is told to quit.

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>

#if defined(Q_OS_UNIX)
#include <sys/resource.h>
#endif

#include "app/runner_setup.h"
#include "app/shared_objects.h"
#include "app/show_settings.h"
#include "app/version.h"
#include "app/window.h"
#include "base/app_console.h"
#include "base/diagnostics.h"
#include "base/numbers.h"
#include "base/quit_signals.h"
#include "base/settings.h"
#include "base/text.h"
#include "display/display_settings.h"
#include "qlab/applescript_backend.h"
#include "qlab/osc/osc_settings.h"
#include "qlab/osc/position_sender.h"

#ifdef Q_OS_MACOS
#include "platform/macos/apple_event_receiver.h"
#else
#include "qlab/dbus_service.h"
#endif
#include "qlab/osc/command_receiver.h"

namespace {

struct Options {
    bool headless = false;
    quint16 port = carvo::TCPServer::defaultPort;
    QString qlabWorkspace; // empty: the demo workspace
    QString scriptLog;
    std::optional<double> qlabLatencyMs;
    std::optional<carvo::sim::Hang> qlabHang;
    carvo::RunnerKind runner = carvo::defaultRunnerKind();
    QString qlabUrl;                    // --qlab osc://HOST[:PORT]
    std::optional<quint16> oscPort;     // none: the setting; 0: off
    QString settingsDir;                // empty: the user's own settings
    std::optional<quint16> displayPort; // none: the setting; 0: off
};

// The value of an option that was given, parsed by parse(text, &problem); one that cannot be
// parsed ends the process with status 2 and the line "carvo: " + need + problem.
template <typename Parse>
auto parsedOrExit(const QCommandLineParser& parser, const QCommandLineOption& option,
                  const QString& need, Parse parse) -> decltype(parse(QString(), nullptr)) {
    if (!parser.isSet(option))
        return std::nullopt;
    QString problem;
    auto value = parse(parser.value(option), &problem);
    if (!value) {
        carvo::writeLine(QStringLiteral("carvo: ") + need + problem);
        std::exit(2);
    }
    return value;
}

// Parses the command line of a running application; exits with a message on bad input.
Options parseOptions(const QCoreApplication& app) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Carvo, a bar-jumping companion for QLab"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Run without a window."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Listen and announce on port N (default 54321)."),
                                  QStringLiteral("N"));
    const QCommandLineOption settingsDir(
        QStringLiteral("settings-dir"),
        QStringLiteral("Keep the settings in DIR instead of the user's own."),
        QStringLiteral("DIR"));
    const QCommandLineOption qlabWorkspace(
        QStringLiteral("qlab-workspace"),
        QStringLiteral("The simulated QLab's workspace FILE (default: the demo workspace)."),
        QStringLiteral("FILE"));
    const QCommandLineOption scriptLog(
        QStringLiteral("script-log"),
        QStringLiteral("Append every AppleScript run and its outcome to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption qlabLatency(
        QStringLiteral("qlab-latency"),
        QStringLiteral("The simulated QLab answers each script MS milliseconds late."),
        QStringLiteral("MS"));
    const QCommandLineOption qlabHang(
        QStringLiteral("qlab-hang"),
        QStringLiteral("The simulated QLab never answers scripts of KIND (for one cue with "
                       ":CUE_ID), or answers them after @SECONDS: "
                       "KIND[:CUE_ID][@SECONDS]; kinds: status, catalogue, files, running, "
                       "elapsed, load, panic, message, script-cue."),
        QStringLiteral("HANG"));
    const QCommandLineOption scriptRunner(
        QStringLiteral("script-runner"),
        QStringLiteral("Where QLab's scripts run: in-process (NSAppleScript, macOS), osascript "
                       "(a process per script) or simulated (the simulated QLab); default "
                       "in-process on macOS, simulated elsewhere, or CARVO_SCRIPT_RUNNER."),
        QStringLiteral("KIND"));
    const QCommandLineOption qlab(
        QStringLiteral("qlab"),
        QStringLiteral("Reach QLab over its OSC interface at URL, osc://HOST[:PORT] (default port "
                       "53000), instead of AppleScript or the simulated QLab."),
        QStringLiteral("URL"));
    const QCommandLineOption oscPort(
        QStringLiteral("osc-port"),
        QStringLiteral("Take QLab's OSC commands (/carvo/go, /carvo/chase, /carvo/stop) on UDP and "
                       "TCP port N, 0 for none (default: the setting oscCommandPort, else 53536)."),
        QStringLiteral("N"));
    const QCommandLineOption displayPort(
        QStringLiteral("display-port"),
        QStringLiteral("Serve the stage display on port PORT of the server's address, 0 for none "
                       "(default: the setting displayPort, else 54380)."),
        QStringLiteral("PORT"));
    parser.addOptions({headless, port, settingsDir, qlabWorkspace, scriptLog, qlabLatency, qlabHang,
                       scriptRunner, qlab, oscPort, displayPort});
    parser.process(app);

    Options options;
    options.headless = parser.isSet(headless);
    options.qlabWorkspace = parser.value(qlabWorkspace);
    options.scriptLog = parser.value(scriptLog);
    options.qlabUrl = parser.value(qlab);
    options.settingsDir = parser.value(settingsDir);
    if (const auto value = parsedOrExit(
            parser, port, QStringLiteral("--port needs a number from 1 to 65535"),
            [](const QString& text, QString*) { return carvo::parsePort(carvo::toUtf8(text)); }))
        options.port = *value;
    options.oscPort = parsedOrExit(
        parser, oscPort, QStringLiteral("--osc-port needs a number from 0 to 65535"),
        [](const QString& text, QString*) -> std::optional<quint16> {
            const std::string utf8 = carvo::toUtf8(text);
            return utf8 == "0" ? std::optional<std::uint16_t>(0) : carvo::parsePort(utf8);
        });
    options.displayPort = parsedOrExit(
        parser, displayPort, QStringLiteral("--display-port needs a number from 0 to 65535"),
        [](const QString& text, QString*) -> std::optional<quint16> {
            const std::string utf8 = carvo::toUtf8(text);
            return utf8 == "0" ? std::optional<std::uint16_t>(0) : carvo::parsePort(utf8);
        });
    options.qlabLatencyMs = parsedOrExit(
        parser, qlabLatency, QStringLiteral("--qlab-latency needs milliseconds, 0 or more"),
        [](const QString& text, QString*) -> std::optional<double> {
            const auto value = carvo::parseStrictDouble(carvo::toUtf8(text));
            if (!value || !(*value >= 0.0) || *value > 3.6e6)
                return std::nullopt;
            return value;
        });
    options.qlabHang = parsedOrExit(
        parser, qlabHang, QStringLiteral("--qlab-hang: "),
        [](const QString& text, QString* problem) { return carvo::sim::parseHang(text, problem); });
    if (const auto kind = parsedOrExit(
            parser, scriptRunner,
            QStringLiteral("--script-runner needs in-process, osascript or simulated"),
            [](const QString& text, QString*) { return carvo::parseRunnerKind(text); }))
        options.runner = *kind;
    return options;
}

// Scripts for QLab: AppleScript in process where it exists, the simulated QLab elsewhere; or
// QLab's OSC interface when the command line or the settings say so.
carvo::RunnerChoice chooseRunner(const Options& options, const carvo::Settings& settings) {
    QString roadProblem;
    const auto road = carvo::osc::chooseRoad(settings, options.qlabUrl, &roadProblem);
    if (!roadProblem.isEmpty()) {
        carvo::writeLine(QStringLiteral("carvo: ") + roadProblem);
        std::exit(2);
    }
    if (road)
        return carvo::makeOSCRoad(road->client, road->media);

    const bool demo = options.qlabWorkspace.isEmpty();
    QString problem;
    auto choice = carvo::makeScriptRunner(
        {demo ? carvo::demoFolder() + QStringLiteral("/workspace.json") : options.qlabWorkspace,
         options.scriptLog, options.qlabLatencyMs, options.qlabHang, options.runner},
        &problem);
    if (choice)
        return *choice;
    if (options.runner != carvo::RunnerKind::simulated) {
        carvo::writeLine(QStringLiteral("carvo: --script-runner: ") + problem);
        std::exit(2);
    }
    carvo::writeLine(QStringLiteral("carvo: cannot load the QLab workspace ") + problem);
    if (!demo)
        std::exit(2);
    return {};
}

// Each remote client takes a descriptor; macOS starts applications with 256 at most, fewer than
// the clients Carvo serves. The soft limit goes up to what the hard one allows.
void raiseDescriptorLimit() {
#if defined(Q_OS_UNIX)
    constexpr rlim_t wanted = 4096;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
#endif
}

bool headlessRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            return true;
    }
    return false;
}

// Help and the version are printed and the process ends: no window, so no display is needed.
bool onlyPrintingRequested(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--")
            break;
        for (const std::string_view printing :
             {"-h", "-?", "--help", "--help-all", "-v", "--version"}) {
            if (argument == printing)
                return true;
        }
    }
    return false;
}

// The same start-up with or without a window: names, options, signals, the shared objects; then
// the event loop, or the main window whose closing quits.
template <typename Application> int runApplication(int argc, char** argv, bool windowed) {
    Application app(argc, argv);
    // Without a window nobody reads the console: its lines go to standard output as well.
    carvo::AppConsole::setMirroredToStandardOutput(!windowed);
    QCoreApplication::setApplicationName(QStringLiteral("Carvo"));
    QCoreApplication::setOrganizationName(QStringLiteral("Carvo"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(carvo::carvoVersion));
    const Options options = parseOptions(app);
    carvo::Settings settings =
        options.settingsDir.isEmpty() ? carvo::Settings() : carvo::Settings(options.settingsDir);
    const carvo::RunnerChoice qlab = chooseRunner(options, settings);

    std::shared_ptr<carvo::QLabBackend> backend = qlab.osc;
    if (!backend)
        backend = std::make_shared<carvo::AppleScriptBackend>(qlab.runner);
    carvo::SharedObjects objects(std::move(backend), settings);
#ifdef Q_OS_MACOS
    // QLab's go and chase commands arrive as Apple events, which only the windowed application
    // receives: --headless makes no NSApplication.
    const carvo::macos::AppleEventReceiver appleEvents(objects.commands());
#else
    // QLab's go and chase commands arrive over D-Bus; without a session bus Carvo runs on.
    const auto dbus = carvo::CarvoDBusService::registerOnSessionBus(objects.commands());
#endif
    // QLab's Network cues send go, chase and stop over OSC; a port in use leaves Carvo running.
    carvo::osc::CommandReceiver osc(objects.oscCommands());
    // The position for lighting and video desks; nothing is sent without targets.
    const auto positionTargets =
        carvo::osc::parsePositionTargets(carvo::readShowSettings(settings).oscPositionTargets);
    for (const QString& refused : positionTargets.refused)
        carvo::consoleLine(QStringLiteral("❌ \"oscPositionTargets\": '") + refused +
                           QStringLiteral("' is not host:port; nothing is sent there"));
    std::unique_ptr<carvo::osc::PositionSender> positionSender;
    if (!positionTargets.targets.empty())
        positionSender = std::make_unique<carvo::osc::PositionSender>(objects.counter(),
                                                                      positionTargets.targets);
    // QLab's machine may send them too: the one the OSC road reaches, else the setting's.
    const QString qlabHost =
        qlab.osc ? qlab.osc->client().settings().host : carvo::osc::qlabHost(settings);
    if (const quint16 oscPort = options.oscPort.value_or(carvo::osc::commandPort(settings)))
        osc.listen(oscPort, qlabHost);
    else
        carvo::writeLine(QStringLiteral("OSC commands: off (port 0)"));
    // The listener closes and the announcement is withdrawn before the process ends; waiting
    // requests are dropped. A script that holds the main thread is abandoned by the signal's
    // own thread, and the simulated QLab's held answers come at once.
    carvo::QuitSignals quit([&objects] {
        objects.requests().close();
        objects.server().stopServer();
        objects.stopDisplay();
        QCoreApplication::quit();
    });
    std::optional<carvo::AbandonOnQuit> endHangs;
    if (qlab.simulated)
        endHangs.emplace([simulated = qlab.simulated] { simulated->endHangs(); });
    // The stage display follows the server onto its address.
    const carvo::display::DisplaySettings display = carvo::display::readDisplaySettings(settings);
    objects.startDisplay(options.displayPort.value_or(display.port), display.pin);
    objects.server().setPort(options.port);
    objects.server().startServer();
    // So that a stop reaches every group cue even before a client has asked for the catalogue.
    objects.qlab().fillCatalogueQuietly();

    const int status = windowed ? carvo::runWindow(objects, qlab) : QCoreApplication::exec();
    // Scripts the simulated QLab still holds answer, so the threads that wait for them end.
    if (qlab.simulated)
        qlab.simulated->endHangs();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    raiseDescriptorLimit();
    if (!headlessRequested(argc, argv) && !onlyPrintingRequested(argc, argv))
        return runApplication<QGuiApplication>(argc, argv, true);
    return runApplication<QCoreApplication>(argc, argv, false);
}
