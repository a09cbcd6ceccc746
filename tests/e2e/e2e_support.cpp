#include "e2e_support.h"

#include "support/midi_bytes.h"

#include <algorithm>

#include <sys/socket.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTimer>

#include "base/numbers.h"
#include "base/settings.h"

namespace carvo::e2e {

namespace {

constexpr int startTimeoutMs = 15000;

qint64 monotonicMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

quint16 freeLoopbackPort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

void adjustCues(QJsonArray& cues, const std::map<QString, double>& durations,
                const QDir& demoFolder) {
    for (qsizetype i = 0; i < cues.size(); ++i) {
        QJsonObject cue = cues[i].toObject();
        const QString id = cue.value(QStringLiteral("uniqueID")).toString();
        if (const auto it = durations.find(id); it != durations.end())
            cue.insert(QStringLiteral("duration"), it->second);
        const QString target = cue.value(QStringLiteral("fileTarget")).toString();
        if (!target.isEmpty())
            cue.insert(QStringLiteral("fileTarget"), demoFolder.absoluteFilePath(target));
        QJsonArray children = cue.value(QStringLiteral("children")).toArray();
        if (!children.isEmpty()) {
            adjustCues(children, durations, demoFolder);
            cue.insert(QStringLiteral("children"), children);
        }
        cues[i] = cue;
    }
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs, Qt::PreciseTimer);
    // Wakes the event loop at the deadline even when nothing else happens; a timer may fire a
    // little early, so it is armed again for whatever is left.
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        if (!wake.isActive())
            wake.start(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

QByteArray demoWorkspace(const std::map<QString, double>& durations) {
    const QDir demoFolder(QStringLiteral(CARVO_DEMO_DIR));
    QFile file(demoFolder.absoluteFilePath(QStringLiteral("workspace.json")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QJsonObject top = QJsonDocument::fromJson(file.readAll()).object();
    QJsonArray workspaces = top.value(QStringLiteral("workspaces")).toArray();
    for (qsizetype w = 0; w < workspaces.size(); ++w) {
        QJsonObject workspace = workspaces[w].toObject();
        QJsonArray cues = workspace.value(QStringLiteral("cues")).toArray();
        adjustCues(cues, durations, demoFolder);
        workspace.insert(QStringLiteral("cues"), cues);
        workspaces[w] = workspace;
    }
    top.insert(QStringLiteral("workspaces"), workspaces);
    return QJsonDocument(top).toJson();
}

bool writeMarksFile(const QString& path) {
    testing::TrackBytes track;
    track.tempo(0, 500'000)
        .timeSignature(0, 4, 2)
        .marker(0, "Intro")
        .marker(4 * 1920, "Letter B")
        .noteOn(27 * 1920 + 960);
    const auto bytes = testing::midiFileBytes(testing::formatSingleTrack, 480, {track});
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

QByteArray withMIDIFile(QByteArray workspace, const QString& path) {
    const QDir demoFolder(QStringLiteral(CARVO_DEMO_DIR));
    return workspace.replace(demoFolder.absoluteFilePath(QStringLiteral("overture.mid")).toUtf8(),
                             path.toUtf8());
}

// --- SimulatedQLabProcess -------------------------------------------------------------------

bool SimulatedQLabProcess::start(const QByteArray& workspaceJson, const QStringList& arguments,
                                 QString* problem, quint16 port) {
    const QString workspacePath = m_dir.filePath(QStringLiteral("osc-workspace.json"));
    QFile workspace(workspacePath);
    if (!workspace.open(QIODevice::WriteOnly) ||
        workspace.write(workspaceJson) != workspaceJson.size()) {
        *problem = QStringLiteral("cannot write the workspace file");
        return false;
    }
    workspace.close();
    m_port = port != 0 ? port : freeLoopbackPort();
    return m_output.start(QStringLiteral(CARVO_QLAB_SIM_EXECUTABLE),
                          QStringList{QStringLiteral("--osc"), QString::number(m_port)} +
                              arguments + QStringList{workspacePath},
                          QStringLiteral("Simulated QLab listening on 127.0.0.1:") +
                              QString::number(m_port),
                          problem);
}

void SimulatedQLabProcess::kill() {
    m_output.stop(true);
}

QString SimulatedQLabProcess::url() const {
    return QStringLiteral("osc://127.0.0.1:") + QString::number(m_port);
}

QStringList SimulatedQLabProcess::received() const {
    QStringList messages;
    const QString prefix = QStringLiteral("received ");
    for (const QString& line : m_output.lines())
        if (line.startsWith(prefix))
            messages << line.mid(prefix.size());
    return messages;
}

bool SimulatedQLabProcess::waitForReceived(const std::function<bool(const QString&)>& matches,
                                           int timeoutMs) const {
    return waitUntil(
        [&] {
            const QStringList messages = received();
            return std::any_of(messages.begin(), messages.end(), matches);
        },
        timeoutMs);
}

// --- CarvoInstance --------------------------------------------------------------------------

LineProcess::LineProcess() {
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { read(); });
}

LineProcess::~LineProcess() {
    stop(false);
}

bool LineProcess::start(const QString& program, const QStringList& arguments, const QString& ready,
                        QString* problem) {
    m_lines.clear();
    m_partialLine.clear();
    m_process.start(program, arguments);
    const bool started = waitUntil(
        [&] { return m_lines.contains(ready) || m_process.state() == QProcess::NotRunning; },
        startTimeoutMs);
    if (!started || !m_lines.contains(ready)) {
        *problem = QFileInfo(program).fileName() +
                   QStringLiteral(" did not become ready; its output:\n") + m_lines.join(u'\n');
        return false;
    }
    return true;
}

void LineProcess::stop(bool kill) {
    if (m_process.state() == QProcess::NotRunning)
        return;
    if (kill)
        m_process.kill();
    else
        m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void LineProcess::read() {
    m_partialLine += m_process.readAllStandardOutput();
    qsizetype end = 0;
    while ((end = m_partialLine.indexOf('\n')) >= 0) {
        m_lines.append(QString::fromUtf8(m_partialLine.left(end)));
        m_partialLine.remove(0, end + 1);
    }
}

bool CarvoInstance::start(const QByteArray& workspaceJson, const CarvoSettings& settings,
                          QString* problem) {
    const QString settingsFolder = m_dir.filePath(QStringLiteral("settings"));
    QDir().mkpath(settingsFolder);
    // Written through the same store carvo reads, into the folder given to it.
    Settings store(settingsFolder);
    store.setStandby(settings.standby);
    for (const auto& [key, value] : settings.texts)
        store.setText(key, value);

    const QString workspacePath = m_dir.filePath(QStringLiteral("workspace.json"));
    QFile workspace(workspacePath);
    if (workspaceJson.isEmpty() || !workspace.open(QIODevice::WriteOnly) ||
        workspace.write(workspaceJson) != workspaceJson.size()) {
        *problem = QStringLiteral("cannot write the workspace file");
        return false;
    }
    workspace.close();

    m_port = freeLoopbackPort();
    if (m_port == 0) {
        *problem = QStringLiteral("no free loopback port");
        return false;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("AVAHI_COMPAT_NOWARN"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_output.process().setProcessEnvironment(environment);
    return m_output.start(
        QStringLiteral(CARVO_EXECUTABLE),
        // The stage display has tests of its own; here it would only contend for its port.
        QStringList{QStringLiteral("--headless"), QStringLiteral("--port"), QString::number(m_port),
                    QStringLiteral("--display-port"), QStringLiteral("0"),
                    QStringLiteral("--settings-dir"), settingsFolder,
                    QStringLiteral("--qlab-workspace"), workspacePath,
                    QStringLiteral("--script-log"), scriptLogPath()} +
            settings.extraArguments,
        QStringLiteral("✅ Server is ready on 127.0.0.1:") + QString::number(m_port), problem);
}

QString CarvoInstance::scriptLogPath() const {
    return m_dir.filePath(QStringLiteral("scripts.log"));
}

QString CarvoInstance::scriptLog() const {
    QFile file(scriptLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

QStringList CarvoInstance::scriptRuns() const {
    QStringList runs;
    const QString marker = QStringLiteral("==== script run ");
    for (const QString& piece : scriptLog().split(marker, Qt::SkipEmptyParts)) {
        // Drop the time stamp that ends the marker line.
        const qsizetype lineEnd = piece.indexOf(u'\n');
        runs.append(lineEnd < 0 ? QString() : piece.mid(lineEnd + 1));
    }
    return runs;
}

bool CarvoInstance::waitForLine(const QString& line, int timeoutMs) {
    return waitUntil([&] { return m_output.lines().contains(line); }, timeoutMs);
}

bool CarvoInstance::waitForStartUpCatalogue(int timeoutMs) {
    return waitUntil(
        [this] {
            return !m_output.lines()
                        .filter(QStringLiteral("Catalogue read at start-up: "))
                        .isEmpty();
        },
        timeoutMs);
}

// --- TestClient -----------------------------------------------------------------------------

TestClient::TestClient() : m_socket(std::make_unique<QTcpSocket>()) {
    QObject::connect(m_socket.get(), &QTcpSocket::readyRead, [this] { receive(); });
    QObject::connect(m_socket.get(), &QTcpSocket::disconnected, [this] { m_closed = true; });
}

TestClient::~TestClient() {
    m_socket->abort();
}

bool TestClient::connectTo(quint16 port, int timeoutMs) {
    m_socket->connectToHost(QHostAddress::LocalHost, port);
    const bool connected =
        waitUntil([&] { return m_socket->state() == QAbstractSocket::ConnectedState; }, timeoutMs);
    // Each message is sent at once, not held back to be joined with the next.
    if (connected)
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return connected;
}

void TestClient::send(const QByteArray& bytes) {
    m_socket->write(bytes);
    m_socket->flush();
}

void TestClient::finishSending() {
    m_socket->flush();
    ::shutdown(static_cast<int>(m_socket->socketDescriptor()), SHUT_WR);
}

void TestClient::close() {
    m_socket->disconnectFromHost();
}

void TestClient::receive() {
    const QByteArray bytes = m_socket->readAll();
    for (std::string& message : m_splitter.feed(
             std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
        m_messages.push_back(std::move(message));
        m_arrivals.push_back(monotonicMs());
    }
}

std::vector<std::string> TestClient::messagesWithPending() const {
    std::vector<std::string> all = m_messages;
    if (!m_splitter.pending().empty())
        all.push_back(m_splitter.pending());
    return all;
}

bool TestClient::waitForMessage(const std::string& text, int timeoutMs) {
    return waitForMatch([&](const std::string& m) { return m == text; }, timeoutMs).has_value();
}

std::optional<std::size_t>
TestClient::waitForMatch(const std::function<bool(const std::string&)>& matches, int timeoutMs,
                         std::size_t from) {
    std::optional<std::size_t> found;
    waitUntil(
        [&] {
            const auto all = messagesWithPending();
            for (std::size_t i = from; i < all.size(); ++i)
                if (matches(all[i])) {
                    found = i;
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

bool TestClient::waitForClose(int timeoutMs) {
    return waitUntil([&] { return m_closed; }, timeoutMs);
}

// --- reading server messages ----------------------------------------------------------------

std::optional<BarPosition> readBarMessage(const std::string& message) {
    if (!std::string_view(message).starts_with(protocol::barPrefix))
        return std::nullopt;
    const std::string body = message.substr(protocol::barPrefix.size());
    const auto dot = body.find('.');
    const auto blank = body.find(' ');
    if (dot == std::string::npos || blank == std::string::npos || blank < dot)
        return std::nullopt;
    const auto bar = parseStrictInt64(std::string_view(body).substr(0, dot));
    const auto beat = parseStrictInt64(std::string_view(body).substr(dot + 1, blank - dot - 1));
    bool ok = false;
    const QString progressText = QString::fromStdString(body.substr(blank + 1));
    const double progress = progressText.toDouble(&ok);
    if (!bar || !beat || !ok)
        return std::nullopt;
    return BarPosition{*bar, *beat, progress, progressText.toStdString()};
}

std::vector<QJsonObject> readGroupCues(const std::string& message, bool* parsed) {
    *parsed = false;
    if (!std::string_view(message).starts_with(protocol::groupCuesPrefix))
        return {};
    QJsonParseError error{};
    const QJsonDocument json = QJsonDocument::fromJson(
        QByteArray::fromStdString(message.substr(protocol::groupCuesPrefix.size())), &error);
    if (error.error != QJsonParseError::NoError || !json.isArray())
        return {};
    std::vector<QJsonObject> cues;
    for (const QJsonValue& value : json.array()) {
        if (!value.isObject())
            return {};
        cues.push_back(value.toObject());
    }
    *parsed = true;
    return cues;
}

QString appleScriptEscaped(const QString& text) {
    QString escaped;
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"')
            escaped += u'\\';
        escaped += c;
    }
    return escaped;
}

std::optional<ProcessFootprint> footprintOf(qint64 processId) {
    QFile status(QStringLiteral("/proc/%1/status").arg(processId));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    ProcessFootprint footprint;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 2)
            continue;
        if (fields[0] == "Threads:")
            footprint.threads = fields[1].toInt();
        else if (fields[0] == "VmRSS:")
            footprint.residentKiB = fields[1].toLongLong();
    }
    return footprint;
}

} // namespace carvo::e2e
