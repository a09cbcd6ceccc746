// Carvo's process entry: creates the shared objects in their start-up order, starts the remote
// control server and runs the event loop until the process is told to quit.

#include <csignal>
#include <cstring>
#include <memory>

#include <sys/socket.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "qlab/dbus_service.h"
#include "qlab/qlab_integration.h"
#include "qlab/runner_setup.h"
#include "remote/remote_protocol.h"
#include "remote/tcp_server.h"
#include "ui/application.h"

namespace {

struct Options {
    bool headless = false;
    quint16 port = carvo::TCPServer::defaultPort;
    QString qlabWorkspace; // empty: the demo workspace
    QString scriptLog;
};

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
    parser.addOptions({headless, port, settingsDir, qlabWorkspace, scriptLog});
    parser.process(app);

    Options options;
    options.headless = parser.isSet(headless);
    options.qlabWorkspace = parser.value(qlabWorkspace);
    options.scriptLog = parser.value(scriptLog);
    if (parser.isSet(port)) {
        bool ok = false;
        const uint value = parser.value(port).toUInt(&ok);
        if (!ok || value == 0 || value > 65535) {
            carvo::writeLine(QStringLiteral("carvo: --port needs a number from 1 to 65535"));
            std::exit(2);
        }
        options.port = static_cast<quint16>(value);
    }
    // Before anything reads a setting.
    if (parser.isSet(settingsDir))
        carvo::settings::useFolder(parser.value(settingsDir));
    return options;
}

// The shared objects, in the order the application needs them; the window comes after.
void startUp(const Options& options) {
    // QLab's go and chase commands arrive over D-Bus; without a session bus Carvo runs on.
    carvo::registerDBusService();
    // Scripts for QLab: osascript where AppleScript exists, the simulated QLab elsewhere.
    const bool demo = options.qlabWorkspace.isEmpty();
    QString problem;
    auto runner = carvo::makeScriptRunner(
        {demo ? QStringLiteral(CARVO_DEMO_DIR "/workspace.json") : options.qlabWorkspace,
         options.scriptLog},
        &problem);
    if (!runner) {
        carvo::writeLine(QStringLiteral("carvo: cannot load the QLab workspace ") + problem);
        if (!demo)
            std::exit(2);
    }
    carvo::setScriptRunner(std::move(runner));
    carvo::QLabIntegration::shared(); // reads "standby" and "preWait"

    auto& server = carvo::TCPServer::shared();
    carvo::installRemoteProtocol(); // before any client can connect
    server.setPort(options.port);
    server.startServer();
}

// SIGINT and SIGTERM reach the event loop through a socket pair: the handler only writes a
// byte, and the loop stops the server and quits.
int signalPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

std::unique_ptr<QSocketNotifier> quitOnSignals(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return nullptr;
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    auto notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, &app, [&app] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
        carvo::TCPServer::shared().stopServer(); // listener closed, announcement withdrawn
        app.quit();
    });
    return notifier;
}

// The same start-up with or without a window: names, options, signals, the shared objects; then
// the event loop, or the main window whose closing quits.
template <typename Application, typename Run> int runApplication(int argc, char** argv, Run run) {
    Application app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Carvo"));
    QCoreApplication::setOrganizationName(QStringLiteral("Carvo"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CARVO_VERSION));
    const Options options = parseOptions(app);

    const auto notifier = quitOnSignals(app);
    startUp(options);
    return run();
}

} // namespace

int main(int argc, char** argv) {
    if (!carvo::ui::headlessRequested(argc, argv))
        return runApplication<QGuiApplication>(argc, argv, [] { return carvo::ui::runWindow(); });
    return runApplication<QCoreApplication>(argc, argv, [] { return QCoreApplication::exec(); });
}
