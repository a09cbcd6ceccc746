// carvo-remote: a command-line client of Carvo's remote protocol, for operators without a phone
// remote and for wiring Carvo into other show-control tools.
//
//   carvo-remote [--host H] [--port P] [--timeout S] cues | select ID | jump BAR | stop | watch
//   carvo-remote --browse [--timeout S]
//
// Exit status: 0 on success, 1 when the server cannot be reached, refuses or does not answer in
// time, 2 for a bad command line.

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTextStream>
#include <QTimer>

#include <unistd.h>

#include "base/lines.h"
#include "base/numbers.h"
#include "base/quit_signals.h"
#include "base/text.h"
#include "remote/protocol.h"
#include "remote/service.h"
#include "remote/service_browser.h"

namespace {

namespace protocol = carvo::protocol;

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
// A server message that has not been followed by another one within this time is taken whole.
constexpr int quietFlushMs = 150;
constexpr int progressWidth = 30;

const char usageText[] =
    "usage: carvo-remote [--host H] [--port P] [--timeout S] COMMAND\n"
    "       carvo-remote --browse [--timeout S]\n"
    "\n"
    "commands:\n"
    "  cues         list the group cues Carvo can drive (ID and name)\n"
    "  select ID    address the group cue whose QLab unique ID is ID\n"
    "  jump BAR     start the addressed group cue at bar BAR\n"
    "  stop         panic every group cue of the catalogue\n"
    "  watch        show the live bar.beat, bar progress and beats per bar (Ctrl-C ends)\n"
    "\n"
    "options:\n"
    "  --host H     server address (default 127.0.0.1)\n"
    "  --port P     server port (default 54321)\n"
    "  --timeout S  seconds to wait for an answer or, with --browse, to browse (default 5,\n"
    "               30 for jump, 3 for --browse)\n"
    "  --browse     list the Carvo servers announced on the network by DNS-SD\n";

void printError(const QString& text) {
    carvo::writeText(
        carvo::Stream::error,
        (QStringLiteral("carvo-remote: ") + text + QLatin1Char('\n')).toLocal8Bit().toStdString());
}

void printOut(const QString& text) {
    carvo::writeText(carvo::Stream::output, text.toLocal8Bit().toStdString());
}

// --- the command line ---------------------------------------------------------------------

enum class Command { cues, select, jump, stop, watch, browse };

struct Options {
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = carvo::remote::carvoPort;
    std::optional<double> timeoutSeconds;
    Command command = Command::cues;
    QString argument; // the cue ID of select, the bar of jump
};

// The parsed options, or the reason the command line is wrong.
struct ParseResult {
    std::optional<Options> options;
    QString error;
    bool help = false;
};

ParseResult parseCommandLine(const QStringList& args) {
    ParseResult result;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Server address."),
                                  QStringLiteral("H"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Server port."),
                                  QStringLiteral("P"));
    const QCommandLineOption timeout(QStringLiteral("timeout"),
                                     QStringLiteral("Seconds to wait or to browse."),
                                     QStringLiteral("S"));
    const QCommandLineOption browse(QStringLiteral("browse"),
                                    QStringLiteral("List the announced Carvo servers."));
    parser.addOptions({help, host, port, timeout, browse});
    if (!parser.parse(args)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(help)) {
        result.help = true;
        return result;
    }

    Options options;
    if (parser.isSet(host)) {
        options.host = parser.value(host);
        if (options.host.isEmpty()) {
            result.error = QStringLiteral("--host needs a host name or address");
            return result;
        }
    }
    if (parser.isSet(port)) {
        const auto number = carvo::parsePort(carvo::toUtf8(parser.value(port)));
        if (!number) {
            result.error =
                QStringLiteral("bad port '%1' (expected 1 to 65535)").arg(parser.value(port));
            return result;
        }
        options.port = *number;
    }
    if (parser.isSet(timeout)) {
        const auto seconds = carvo::parseStrictDouble(carvo::toUtf8(parser.value(timeout)));
        if (!seconds || !(*seconds > 0.0) || *seconds > 86400.0) {
            result.error = QStringLiteral("bad timeout '%1' (expected seconds above 0)")
                               .arg(parser.value(timeout));
            return result;
        }
        options.timeoutSeconds = *seconds;
    }

    QStringList positional = parser.positionalArguments();
    if (parser.isSet(browse)) {
        if (!positional.isEmpty()) {
            result.error = QStringLiteral("--browse takes no command");
            return result;
        }
        options.command = Command::browse;
        result.options = options;
        return result;
    }
    if (positional.isEmpty()) {
        result.error = QStringLiteral("no command given");
        return result;
    }
    const QString name = positional.takeFirst();
    struct Known {
        const char* name;
        Command command;
        bool takesArgument;
    };
    static const Known known[] = {{"cues", Command::cues, false},
                                  {"select", Command::select, true},
                                  {"jump", Command::jump, true},
                                  {"stop", Command::stop, false},
                                  {"watch", Command::watch, false}};
    const auto match = std::find_if(std::begin(known), std::end(known),
                                    [&](const Known& k) { return name == QLatin1String(k.name); });
    if (match == std::end(known)) {
        result.error = QStringLiteral("unknown command '%1'").arg(name);
        return result;
    }
    options.command = match->command;
    if (match->takesArgument) {
        if (positional.size() != 1) {
            result.error = QStringLiteral("%1 needs exactly one %2")
                               .arg(name, match->command == Command::jump ? QStringLiteral("BAR")
                                                                          : QStringLiteral("ID"));
            return result;
        }
        options.argument = positional.takeFirst();
        if (match->command == Command::jump &&
            !carvo::parseStrictInt64(carvo::toUtf8(options.argument))) {
            result.error =
                QStringLiteral("bad bar number '%1' (expected a whole number such as 17)")
                    .arg(options.argument);
            return result;
        }
        if (match->command == Command::select && options.argument.isEmpty()) {
            result.error = QStringLiteral("select needs a non-empty cue ID");
            return result;
        }
        // The server would refuse it without an answer; say why now instead of waiting.
        if (match->command == Command::select) {
            if (const auto why = carvo::protocol::whyNotEchoed(carvo::toUtf8(options.argument))) {
                result.error = QStringLiteral("select: ") + carvo::fromUtf8(*why);
                return result;
            }
        }
    } else if (!positional.isEmpty()) {
        result.error = QStringLiteral("%1 takes no argument").arg(name);
        return result;
    }
    result.options = options;
    return result;
}

// --- what the server says -----------------------------------------------------------------

bool startsWith(const std::string& text, std::string_view prefix) {
    return std::string_view(text).starts_with(prefix);
}

bool isOperatorMessage(const std::string& message) {
    return message == protocol::outOfRangeMessage || message == protocol::alreadyRunningMessage ||
           startsWith(message, protocol::errorPrefix);
}

QString cueTable(const QJsonArray& cues) {
    qsizetype idWidth = 2;
    for (const QJsonValue& cue : cues)
        idWidth = std::max(idWidth, cue.toObject().value(QLatin1String("id")).toString().size());
    QString table = QStringLiteral("ID").leftJustified(idWidth) + QStringLiteral("  NAME\n");
    for (const QJsonValue& cue : cues) {
        const QJsonObject object = cue.toObject();
        table += object.value(QLatin1String("id")).toString().leftJustified(idWidth) +
                 QStringLiteral("  ") + object.value(QLatin1String("name")).toString() +
                 QLatin1Char('\n');
    }
    return table;
}

// "17.3  [#########---------]  4 beats per bar" from the parts of "BAR: 17.3 0.5".
QString positionLine(const QString& barBeat, double progress, qint64 beatsPerBar) {
    const double shown = std::clamp(progress == progress ? progress : 0.0, 0.0, 1.0);
    const int filled = static_cast<int>(shown * progressWidth + 0.5);
    return QStringLiteral("%1  [%2%3]  %4 beats per bar")
        .arg(barBeat.leftJustified(8), QString(filled, u'#'), QString(progressWidth - filled, u'-'),
             QString::number(beatsPerBar));
}

// --- one session with a server ------------------------------------------------------------

class Session : public QObject {
public:
    explicit Session(Options options) : m_options(std::move(options)) {
        connect(&m_socket, &QTcpSocket::connected, this, [this] { onConnected(); });
        connect(&m_socket, &QTcpSocket::readyRead, this, [this] { onBytes(); });
        connect(&m_socket, &QTcpSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) { onSocketError(error); });
        m_quiet.setSingleShot(true);
        m_quiet.setInterval(quietFlushMs);
        connect(&m_quiet, &QTimer::timeout, this, [this] {
            if (auto rest = m_splitter.flush())
                onMessage(*rest);
        });
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] { onDeadline(); });
    }

    void start() {
        const double fallback = m_options.command == Command::jump ? 30.0 : 5.0;
        m_deadline.start(static_cast<int>(m_options.timeoutSeconds.value_or(fallback) * 1000.0));
        m_socket.connectToHost(m_options.host, m_options.port);
    }

private:
    void onConnected() {
        m_connectedOnce = true;
        // Messages are small and unframed: send each at once rather than joined to the next.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        switch (m_options.command) {
        case Command::cues:
            send(protocol::requestCuesMessage);
            break;
        case Command::select:
            m_sentSelection =
                std::string(protocol::remoteSelectedPrefix) + m_options.argument.toStdString();
            send(m_sentSelection);
            break;
        case Command::jump:
            send(std::string(protocol::barRequestPrefix) + m_options.argument.toStdString());
            break;
        case Command::stop:
            send(protocol::stopPrefix);
            // Nothing comes back: done once the bytes have left.
            connect(&m_socket, &QTcpSocket::bytesWritten, this, [this] {
                if (m_socket.bytesToWrite() == 0) {
                    printOut(QStringLiteral("Stop sent to %1:%2\n")
                                 .arg(m_options.host)
                                 .arg(m_options.port));
                    finish(0);
                }
            });
            break;
        case Command::watch:
            // Watching runs until interrupted; the deadline only bounds the connection.
            m_deadline.stop();
            m_quitSignals = std::make_unique<carvo::QuitSignals>([this] { finish(0); });
            m_tty = isatty(STDOUT_FILENO) != 0;
            send(protocol::handshakeRequestMessage);
            break;
        case Command::browse:
            break;
        }
    }

    // One message is one write of its bare text.
    void send(std::string_view message) {
        m_socket.write(message.data(), static_cast<qint64>(message.size()));
    }

    void onBytes() {
        const QByteArray bytes = m_socket.readAll();
        for (const std::string& message : m_splitter.feed(
                 std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
            onMessage(message);
            if (m_finished)
                return;
        }
        if (!m_splitter.pending().empty())
            m_quiet.start();
    }

    void onMessage(const std::string& message) {
        switch (m_options.command) {
        case Command::cues:
            if (startsWith(message, protocol::groupCuesPrefix)) {
                QJsonParseError error{};
                const QJsonDocument json = QJsonDocument::fromJson(
                    QByteArray::fromStdString(message.substr(protocol::groupCuesPrefix.size())),
                    &error);
                if (!json.isArray()) {
                    printError(
                        QStringLiteral("the server sent a cue list that is not a JSON array: ") +
                        error.errorString());
                    finish(exitFailure);
                    return;
                }
                printOut(cueTable(json.array()));
                finish(0);
            }
            break;
        case Command::select:
            // An older server echoes an ID that holds a known prefix, which comes back split at
            // it: join the pieces again.
            m_echo = std::string_view(m_sentSelection).starts_with(m_echo + message)
                         ? m_echo + message
                         : (std::string_view(m_sentSelection).starts_with(message) ? message
                                                                                   : std::string());
            if (m_echo == m_sentSelection) {
                printOut(QStringLiteral("Selected %1\n").arg(m_options.argument));
                finish(0);
            }
            break;
        case Command::jump:
            if (isOperatorMessage(message)) {
                printError(carvo::fromUtf8(message));
                finish(exitFailure);
            } else if (startsWith(message, protocol::qlabSelectedPrefix)) {
                m_jumpAccepted = true;
                printOut(carvo::fromUtf8(message) + QLatin1Char('\n'));
            } else if (m_jumpAccepted && startsWith(message, protocol::beatsPerBarPrefix)) {
                printOut(carvo::fromUtf8(message) + QLatin1Char('\n'));
            } else if (m_jumpAccepted && startsWith(message, protocol::barPrefix)) {
                // The counter runs: the jump has gone through.
                printOut(carvo::fromUtf8(message) + QLatin1Char('\n'));
                finish(0);
            }
            break;
        case Command::watch:
            watchMessage(message);
            break;
        case Command::stop:
        case Command::browse:
            break;
        }
    }

    void watchMessage(const std::string& message) {
        if (startsWith(message, protocol::beatsPerBarPrefix)) {
            if (const auto n = carvo::parseStrictInt64(
                    std::string_view(message).substr(protocol::beatsPerBarPrefix.size())))
                m_beatsPerBar = *n;
            return;
        }
        if (isOperatorMessage(message)) {
            endLine();
            printOut(carvo::fromUtf8(message) + QLatin1Char('\n'));
            return;
        }
        if (!startsWith(message, protocol::barPrefix))
            return;
        const QString body =
            carvo::fromUtf8(std::string_view(message).substr(protocol::barPrefix.size()));
        const qsizetype blank = body.indexOf(u' ');
        if (blank < 0)
            return;
        const auto progress = carvo::parseStrictDouble(carvo::toUtf8(body.mid(blank + 1)));
        const QString line = positionLine(body.left(blank), progress.value_or(0.0), m_beatsPerBar);
        if (m_tty) {
            printOut(QStringLiteral("\r\033[K") + line);
            m_lineOpen = true;
        } else {
            printOut(line + QLatin1Char('\n'));
        }
    }

    void endLine() {
        if (m_lineOpen)
            printOut(QStringLiteral("\n"));
        m_lineOpen = false;
    }

    void onSocketError(QAbstractSocket::SocketError error) {
        if (m_finished)
            return;
        if (error == QAbstractSocket::RemoteHostClosedError) {
            endLine();
            printError(QStringLiteral("the server at %1:%2 closed the connection")
                           .arg(m_options.host)
                           .arg(m_options.port));
        } else if (!m_connectedOnce) {
            printError(QStringLiteral("cannot connect to %1:%2: %3")
                           .arg(m_options.host)
                           .arg(m_options.port)
                           .arg(m_socket.errorString()));
        } else {
            endLine();
            printError(QStringLiteral("connection to %1:%2 failed: %3")
                           .arg(m_options.host)
                           .arg(m_options.port)
                           .arg(m_socket.errorString()));
        }
        finish(exitFailure);
    }

    void onDeadline() {
        if (m_socket.state() != QAbstractSocket::ConnectedState) {
            printError(QStringLiteral("cannot connect to %1:%2: no answer in time")
                           .arg(m_options.host)
                           .arg(m_options.port));
        } else if (m_options.command == Command::cues) {
            printError(QStringLiteral("no cue list from the server in time (QLab is not running, "
                                      "its workspace lacks the Carvo cue, or it offers no usable "
                                      "group cue)"));
        } else if (m_options.command == Command::jump) {
            printError(m_jumpAccepted ? QStringLiteral("the bar counter did not start in time")
                                      : QStringLiteral("no answer to the jump in time"));
        } else {
            printError(QStringLiteral("no answer from the server in time"));
        }
        finish(exitFailure);
    }

    void finish(int status) {
        if (m_finished)
            return;
        m_finished = true;
        endLine();
        m_deadline.stop();
        m_quiet.stop();
        m_socket.disconnectFromHost();
        QCoreApplication::exit(status);
    }

    Options m_options;
    QTcpSocket m_socket;
    protocol::ServerStreamSplitter m_splitter;
    QTimer m_quiet;
    QTimer m_deadline;
    std::unique_ptr<carvo::QuitSignals> m_quitSignals; // watching ends with Ctrl-C
    std::string m_sentSelection;
    std::string m_echo; // the part of the selection's echo received so far
    qint64 m_beatsPerBar = 4;
    bool m_jumpAccepted = false;
    bool m_tty = false;
    bool m_lineOpen = false;
    bool m_connectedOnce = false;
    bool m_finished = false;
};

// --- finding servers by DNS-SD ------------------------------------------------------------

// Browses for Carvo's service for a bounded time, then prints what it found as a table.
class Browse : public QObject {
public:
    explicit Browse(double seconds) : m_seconds(seconds) {
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, [this] { report(); });
    }

    void start() {
        const int error = m_browser.browse(QString::fromLatin1(carvo::remote::serviceType),
                                           QString::fromLatin1(carvo::remote::serviceDomain));
        if (error != 0) {
            printError(QStringLiteral("DNS-SD browsing is not available (error %1); is the "
                                      "mDNS daemon (Avahi) running?")
                           .arg(error));
            QCoreApplication::exit(exitFailure);
            return;
        }
        m_deadline.start(static_cast<int>(m_seconds * 1000.0));
    }

private:
    void report() {
        const auto& found = m_browser.found();
        if (found.empty()) {
            printError(QStringLiteral("no Carvo server found in %1 s").arg(m_seconds));
            QCoreApplication::exit(exitFailure);
            return;
        }
        qsizetype nameWidth = 4;
        qsizetype hostWidth = 4;
        for (const auto& f : found) {
            nameWidth = std::max(nameWidth, f.name.size());
            hostWidth = std::max(hostWidth, f.host.size());
        }
        QString table = QStringLiteral("NAME").leftJustified(nameWidth) + QStringLiteral("  ") +
                        QStringLiteral("HOST").leftJustified(hostWidth) +
                        QStringLiteral("  PORT\n");
        for (const auto& f : found)
            table += f.name.leftJustified(nameWidth) + QStringLiteral("  ") +
                     f.host.leftJustified(hostWidth) + QStringLiteral("  ") +
                     QString::number(f.port) + QLatin1Char('\n');
        printOut(table);
        QCoreApplication::exit(0);
    }

    double m_seconds;
    QTimer m_deadline;
    carvo::ServiceBrowser m_browser;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const ParseResult parsed = parseCommandLine(QCoreApplication::arguments());
    if (parsed.help) {
        printOut(QString::fromLatin1(usageText));
        return 0;
    }
    if (!parsed.options) {
        printError(parsed.error);
        carvo::writeText(carvo::Stream::error,
                         "usage: carvo-remote [--host H] [--port P] [--timeout S] "
                         "cues | select ID | jump BAR | stop | watch\n"
                         "       carvo-remote --browse [--timeout S]\n"
                         "       carvo-remote --help\n");
        return exitUsage;
    }
    const Options& options = *parsed.options;
    if (options.command == Command::browse) {
        // Avahi's compatibility layer otherwise prints a banner about itself on standard error.
        qputenv("AVAHI_COMPAT_NOWARN", "1");
        Browse browser(options.timeoutSeconds.value_or(3.0));
        QTimer::singleShot(0, &browser, [&browser] { browser.start(); });
        return QCoreApplication::exec();
    }
    Session session(options);
    QTimer::singleShot(0, &session, [&session] { session.start(); });
    return QCoreApplication::exec();
}
