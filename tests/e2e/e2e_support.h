#pragma once
// End-to-end support: a real headless carvo with the simulated QLab on a loopback port, and test
// clients that send raw bytes and split what the server sends back. Every wait is bounded and
// returns as soon as its condition holds; nothing sleeps.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "remote/protocol.h"

namespace carvo::e2e {

// Runs the event loop until condition holds or timeoutMs has passed; true when it holds.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);

// The demo workspace with its file targets made absolute and, per unique ID, changed group
// durations (seconds a started cue runs in the simulated QLab).
QByteArray demoWorkspace(const std::map<QString, double>& durations = {});

// Writes at path a MIDI file with rehearsal marks: 32 bars of 4/4 at 120 (2.0 s a bar), "Intro"
// at the first bar and "Letter B" where the fifth begins; true when written.
bool writeMarksFile(const QString& path);
// The workspace with the demo's MIDI file (the overture's and the finale's) replaced by path.
QByteArray withMIDIFile(QByteArray workspace, const QString& path);

struct CarvoSettings {
    bool standby = false;
    // Text settings written to carvo's store before it starts (key, value).
    std::vector<std::pair<const char*, QString>> texts = {};
    // After carvo's own (a later option wins over an earlier one).
    QStringList extraArguments;
};

// A child process whose merged output is read line by line as it comes.
class LineProcess {
public:
    LineProcess();
    ~LineProcess();
    LineProcess(const LineProcess&) = delete;
    LineProcess& operator=(const LineProcess&) = delete;

    // Starts program and waits until it prints ready; false with its output otherwise.
    bool start(const QString& program, const QStringList& arguments, const QString& ready,
               QString* problem);
    // Asks it to end (terminate, or kill at once), then waits for it.
    void stop(bool kill);

    QProcess& process() { return m_process; }
    const QStringList& lines() const { return m_lines; }

private:
    void read();

    QProcess m_process;
    QByteArray m_partialLine;
    QStringList m_lines;
};

// One carvo process: headless, on a free loopback port, with its own settings folder, the given
// workspace in the simulated QLab and a script transcript.
class CarvoInstance {
public:
    CarvoInstance() = default;
    CarvoInstance(const CarvoInstance&) = delete;
    CarvoInstance& operator=(const CarvoInstance&) = delete;

    // Starts carvo and waits until its server is ready; false with a reason otherwise.
    bool start(const QByteArray& workspaceJson, const CarvoSettings& settings, QString* problem);

    quint16 port() const { return m_port; }
    qint64 processId() const { return m_output.process().processId(); }
    QProcess& process() { return m_output.process(); }
    QString scriptLogPath() const;
    QString scriptLog() const;
    // Each transcript entry: the script text followed by its outcome.
    QStringList scriptRuns() const;
    const QStringList& outputLines() const { return m_output.lines(); }
    bool hasLine(const QString& line) const { return m_output.lines().contains(line); }
    bool waitForLine(const QString& line, int timeoutMs);
    // Waits until carvo has read QLab's catalogue quietly at start-up (for STOP).
    bool waitForStartUpCatalogue(int timeoutMs);
    // How often a line has appeared so far.
    qsizetype lineCount(const QString& line) const { return m_output.lines().count(line); }

private:
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    mutable LineProcess m_output;
};

// The simulated QLab as a process of its own speaking OSC on a free loopback port: what a Carvo
// on the OSC road talks to. Every message it receives is one "received …" line of its output.
class SimulatedQLabProcess {
public:
    SimulatedQLabProcess() = default;
    SimulatedQLabProcess(const SimulatedQLabProcess&) = delete;
    SimulatedQLabProcess& operator=(const SimulatedQLabProcess&) = delete;

    // Starts it on the workspace (on port, or a free one) and waits until it listens.
    bool start(const QByteArray& workspaceJson, const QStringList& arguments, QString* problem,
               quint16 port = 0);
    // Ends it as QLab quitting does: its connections drop.
    void kill();

    quint16 port() const { return m_port; }
    qint64 processId() { return m_output.process().processId(); }
    QString url() const;
    // The messages received so far, in oscdump's form ("/workspace/W/cue_id/X/start").
    QStringList received() const;
    bool waitForReceived(const std::function<bool(const QString&)>& matches, int timeoutMs) const;
    const QStringList& outputLines() const { return m_output.lines(); }

private:
    QTemporaryDir m_dir;
    quint16 m_port = 0;
    LineProcess m_output;
};

// A raw client: one write per message, and the server's stream split into messages.
class TestClient {
public:
    TestClient();
    ~TestClient();
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool connectTo(quint16 port, int timeoutMs = 5000);
    // One write of exactly these bytes.
    void send(const QByteArray& bytes);
    // Closes our sending side; the server acts on what it has read and then drops us.
    void finishSending();
    // Closes the whole connection once the bytes written have left.
    void close();

    // Complete messages so far, in stream order.
    const std::vector<std::string>& messages() const { return m_messages; }
    // The complete messages, then whatever is still held back as a last message: for a message
    // that nothing follows (the stream has no framing to end it).
    std::vector<std::string> messagesWithPending() const;
    bool closedByServer() const { return m_closed; }

    // Waits for a message (complete, or the held-back last one) equal to text.
    bool waitForMessage(const std::string& text, int timeoutMs);
    // Waits for a message satisfying the predicate; its index in messagesWithPending().
    std::optional<std::size_t> waitForMatch(const std::function<bool(const std::string&)>& matches,
                                            int timeoutMs, std::size_t from = 0);
    bool waitForClose(int timeoutMs);
    // Arrival time (ms on a monotonic clock) of each complete message.
    const std::vector<qint64>& arrivalTimes() const { return m_arrivals; }

private:
    void receive();

    std::unique_ptr<QTcpSocket> m_socket;
    protocol::ServerStreamSplitter m_splitter;
    std::vector<std::string> m_messages;
    std::vector<qint64> m_arrivals;
    bool m_closed = false;
};

// "BAR: 17.3 0.5625" read back; none for any other message.
struct BarPosition {
    qint64 bar = 0;
    qint64 beat = 0;
    double progress = 0.0;
    std::string progressText;
};
std::optional<BarPosition> readBarMessage(const std::string& message);

// The JSON of a "GROUP_CUES: " message, or an empty object list when it does not parse.
std::vector<QJsonObject> readGroupCues(const std::string& message, bool* parsed);

// What /proc says of a running process: its thread count and resident memory; none when the
// process or the file is gone.
struct ProcessFootprint {
    int threads = 0;
    qint64 residentKiB = 0;
};
std::optional<ProcessFootprint> footprintOf(qint64 processId);

// AppleScript string literal escaping, as any script text that carries a value must use.
QString appleScriptEscaped(const QString& text);

} // namespace carvo::e2e
