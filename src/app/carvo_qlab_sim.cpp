// carvo-qlab-sim: the simulated QLab on its own, answering QLab 5's OSC methods over TCP from a
// workspace file, so a Carvo on any machine can reach it as it would reach a real QLab.
//
//   carvo-qlab-sim --osc PORT WORKSPACE.json [--latency MS] [--duplicate-window MS]
//                  [--listen ADDRESS]
//
// Each message received is printed at once as "received " and its oscdump text; one the
// duplicate filter drops is then also printed as "dropped ".

#include <cstdlib>
#include <memory>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>

#include "base/diagnostics.h"
#include "base/numbers.h"
#include "base/quit_signals.h"
#include "base/text.h"
#include "qlab/sim/osc_server.h"
#include "qlab/sim/simulated_qlab.h"
#include "qlab/sim/workspace.h"

namespace {

[[noreturn]] void refuse(const QString& message) {
    carvo::writeLine(QStringLiteral("carvo-qlab-sim: ") + message);
    std::exit(2);
}

double milliseconds(const QCommandLineParser& parser, const QCommandLineOption& option,
                    const QString& name) {
    const auto value = carvo::parseStrictDouble(carvo::toUtf8(parser.value(option)));
    if (!value || !(*value >= 0.0) || *value > 3.6e6)
        refuse(name + QStringLiteral(" needs milliseconds, 0 or more"));
    return *value;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("carvo-qlab-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated QLab 5 that answers QLab's OSC methods over TCP."));
    parser.addHelpOption();
    const QCommandLineOption osc(QStringLiteral("osc"),
                                 QStringLiteral("Listen for OSC over TCP on PORT."),
                                 QStringLiteral("PORT"));
    const QCommandLineOption listen(QStringLiteral("listen"),
                                    QStringLiteral("Listen on ADDRESS (default 127.0.0.1)."),
                                    QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption latency(
        QStringLiteral("latency"),
        QStringLiteral("Answer each message MS milliseconds late (the file's latencyMs)."),
        QStringLiteral("MS"));
    const QCommandLineOption duplicateWindow(
        QStringLiteral("duplicate-window"),
        QStringLiteral("Drop a message identical to the one before it from the same client "
                       "within MS milliseconds (the file's duplicateWindowMs; 0 is off)."),
        QStringLiteral("MS"));
    parser.addOptions({osc, listen, latency, duplicateWindow});
    parser.addPositionalArgument(QStringLiteral("WORKSPACE.json"),
                                 QStringLiteral("The workspace file to play."));
    parser.process(app);

    if (!parser.isSet(osc) || parser.positionalArguments().size() != 1)
        refuse(QStringLiteral("usage: carvo-qlab-sim --osc PORT WORKSPACE.json [--latency MS] "
                              "[--duplicate-window MS] [--listen ADDRESS]"));
    const auto port = carvo::parsePort(carvo::toUtf8(parser.value(osc)));
    if (!port)
        refuse(QStringLiteral("--osc needs a port from 1 to 65535"));
    const QHostAddress address(parser.value(listen));
    if (address.isNull())
        refuse(QStringLiteral("--listen needs an IP address"));

    QString problem;
    auto workspace = carvo::sim::loadWorkspaceFile(parser.positionalArguments().front(), &problem);
    if (!workspace)
        refuse(QStringLiteral("cannot load the workspace ") + problem);
    if (parser.isSet(latency))
        workspace->latencyMs = milliseconds(parser, latency, QStringLiteral("--latency"));
    if (parser.isSet(duplicateWindow))
        workspace->duplicateWindowMs =
            milliseconds(parser, duplicateWindow, QStringLiteral("--duplicate-window"));

    const auto qlab = std::make_shared<carvo::sim::SimulatedQLab>(std::move(*workspace));
    carvo::sim::OSCServer server(qlab);
    QObject::connect(&server, &carvo::sim::OSCServer::messageReceived, [](const QString& line) {
        carvo::writeLine(QStringLiteral("received ") + line);
    });
    QObject::connect(&server, &carvo::sim::OSCServer::messageDropped, [](const QString& line) {
        carvo::writeLine(QStringLiteral("dropped ") + line);
    });
    if (!server.listen(address, *port))
        refuse(QStringLiteral("cannot listen on %1:%2: %3")
                   .arg(address.toString())
                   .arg(*port)
                   .arg(server.errorString()));
    carvo::writeLine(QStringLiteral("Simulated QLab listening on %1:%2")
                         .arg(address.toString())
                         .arg(server.serverPort()));

    carvo::QuitSignals quit([&server] {
        server.close();
        QCoreApplication::quit();
    });
    return QCoreApplication::exec();
}
