#include "qlab/osc/osc_client.h"

#include <algorithm>
#include <functional>
#include <future>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include "base/diagnostics.h"
#include "base/quit_signals.h"
#include "qlab/osc/repeat_queue.h"
#include "qlab/osc/slip_stream.h"

namespace carvo::osc {
namespace {

using Done = std::function<void(Reply)>;

std::string bytesOf(const std::vector<std::uint8_t>& bytes) {
    return {bytes.begin(), bytes.end()};
}

Reply replyOf(const QJsonObject& json) {
    Reply reply;
    const QString status = json.value(QStringLiteral("status")).toString();
    if (status == QStringLiteral("ok"))
        reply.status = Reply::Status::ok;
    else if (status == QStringLiteral("denied"))
        reply.status = Reply::Status::denied;
    else
        reply.status = Reply::Status::error;
    reply.data = json.value(QStringLiteral("data"));
    return reply;
}

// A passcode error needs a person; the other failures may mend themselves.
enum class SessionEnd { retry, badPasscode };

} // namespace

QString noControlMessage(const QString& workspaceName) {
    return QStringLiteral("❌ QLab's passcode for workspace \"%1\" does not allow control: use a "
                          "passcode with control rights")
        .arg(workspaceName);
}

// "1 MiB" or "64 KiB", for the line that names the frame limit.
QString sizeText(std::size_t bytes) {
    if (bytes >= (std::size_t{1} << 20) && bytes % (std::size_t{1} << 20) == 0)
        return QStringLiteral("%1 MiB").arg(bytes >> 20);
    if (bytes % 1024 == 0)
        return QStringLiteral("%1 KiB").arg(bytes / 1024);
    return QStringLiteral("%1 bytes").arg(bytes);
}

// Everything that touches the socket, on the client's thread.
class ClientWorker : public QObject {
public:
    using Gathered = std::function<void(std::vector<Reply>)>;

    ClientWorker(ClientSettings settings, std::shared_ptr<Client::Session> session,
                 std::function<void(bool)> connectionChanged)
        : m_settings(std::move(settings)), m_session(std::move(session)),
          m_connectionChanged(std::move(connectionChanged)), m_retryDelay(m_settings.firstRetry),
          m_reader(std::make_unique<SlipStreamReader>(m_settings.maxPacket)),
          // Late replies are waited for half a timeout, so the next request still has time for
          // its own.
          m_matcher(m_settings.timeout / 2, &SteadyClock::now),
          m_queue(m_settings.repeatWindow, m_settings.repeatMargin, &SteadyClock::now) {}

    void start() {
        m_socket = new QTcpSocket(this);
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(m_socket, &QTcpSocket::connected, this, [this] { onConnected(); });
        QObject::connect(m_socket, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        QObject::connect(m_socket, &QTcpSocket::disconnected, this, [this] { lost(); });
        QObject::connect(m_socket, &QTcpSocket::errorOccurred, this,
                         [this](QAbstractSocket::SocketError) { lost(); });
        m_retry.setSingleShot(true);
        QObject::connect(&m_retry, &QTimer::timeout, this, [this] { connectNow(); });
        QObject::connect(&m_thump, &QTimer::timeout, this, [this] { thump(); });
        m_pump.setSingleShot(true);
        m_pump.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_pump, &QTimer::timeout, this, [this] { pump(); });
        m_connectTimeout.setSingleShot(true);
        QObject::connect(&m_connectTimeout, &QTimer::timeout, this, [this] { lost(); });
        connectNow();
    }

    // Requests from outside: in the workspace session, or refused at once without one. Written
    // together, before any reply is awaited.
    void sendInWorkspace(std::vector<Request> requests, std::vector<Done> done) {
        for (std::size_t i = 0; i < requests.size(); ++i) {
            if (!m_up) {
                done[i]({Reply::Status::noConnection, {}});
                continue;
            }
            send("/workspace/" + m_workspaceID + requests[i].address,
                 std::move(requests[i].arguments),
                 [done = std::move(done[i])](std::vector<Reply> replies) {
                     done(replies.empty() ? Reply{Reply::Status::timeout, {}} : replies.front());
                 });
        }
    }

    // Every reply to one message, up to the reply to a marker written right behind it: QLab
    // answers a connection's messages in order.
    void gatherInWorkspace(const std::string& address, std::vector<Argument> arguments,
                           Gathered done) {
        if (!m_up) {
            done({{Reply::Status::noConnection, {}}});
            return;
        }
        const auto gathered = send("/workspace/" + m_workspaceID + address, std::move(arguments),
                                   std::move(done), true);
        send("/version", {},
             [this, weak = std::weak_ptr<ReplyMatcher::Waiter>(gathered)](
                 const std::vector<Reply>& marker) {
                 if (const auto ticket = weak.lock())
                     m_matcher.endGathering(ticket, marker.empty() ? std::nullopt
                                                                   : std::optional(marker.front()));
             });
    }

    void stop() {
        m_stopping = true;
        m_retry.stop();
        m_thump.stop();
        failAll(Reply::Status::noConnection);
        if (m_socket)
            m_socket->abort();
    }

private:
    void connectNow() {
        if (m_stopping)
            return;
        m_down = false;
        m_reader = std::make_unique<SlipStreamReader>(m_settings.maxPacket);
        m_matcher.forgetOwed();
        m_socket->abort();
        m_socket->connectToHost(m_settings.host, m_settings.port);
        m_connectTimeout.start(m_settings.timeout);
    }

    void onConnected() {
        m_connectTimeout.stop();
        {
            std::lock_guard lock(m_session->mutex);
            m_session->reachable = true;
        }
        // Replies to every message keep each request's answer, and so its failure, its own.
        send("/alwaysReply", {std::int32_t{1}}, [](const std::vector<Reply>&) {});
        askWorkspaces();
    }

    void askWorkspaces() {
        send("/workspaces", {}, [this](const std::vector<Reply>& replies) {
            const Reply& reply = replies.front();
            if (!reply.ok()) {
                end(SessionEnd::retry);
                return;
            }
            const QJsonArray workspaces = reply.data.toArray();
            QJsonObject chosen;
            for (const QJsonValue& value : workspaces) {
                const QJsonObject workspace = value.toObject();
                if (m_settings.workspaceName.isEmpty() ||
                    workspace.value(QStringLiteral("displayName")).toString() ==
                        m_settings.workspaceName) {
                    chosen = workspace;
                    break;
                }
            }
            if (chosen.isEmpty()) {
                if (!m_saidNoWorkspace) {
                    consoleLine(m_settings.workspaceName.isEmpty()
                                    ? QStringLiteral("QLab has no open workspace")
                                    : QStringLiteral("QLab has no open workspace named \"%1\"")
                                          .arg(m_settings.workspaceName));
                    m_saidNoWorkspace = true;
                }
                // QLab is there; ask again until a workspace opens.
                QTimer::singleShot(m_settings.firstRetry, this, [this] {
                    if (m_socket->state() == QAbstractSocket::ConnectedState && !m_up)
                        askWorkspaces();
                });
                return;
            }
            m_saidNoWorkspace = false;
            connectWorkspace(chosen.value(QStringLiteral("uniqueID")).toString(),
                             chosen.value(QStringLiteral("displayName")).toString());
        });
    }

    void connectWorkspace(const QString& id, const QString& name) {
        // QLab's own clients always send the passcode, empty when there is none.
        std::vector<Argument> arguments{m_settings.passcode.toStdString()};
        const std::string address = "/workspace/" + id.toStdString() + "/connect";
        send(address, std::move(arguments), [this, id, name](const std::vector<Reply>& replies) {
            const Reply& reply = replies.front();
            const QString answer = reply.data.toString();
            // "ok:view|edit|control" names the rights granted; a bare "ok" grants none.
            if (reply.ok() &&
                (answer == QStringLiteral("ok") || answer.startsWith(QStringLiteral("ok:")))) {
                const QStringList rights = answer.mid(3).split(QLatin1Char('|'));
                up(id, name, rights.contains(QStringLiteral("control")));
                return;
            }
            if (answer == QStringLiteral("badpass") || reply.status == Reply::Status::denied) {
                if (!m_saidBadPasscode) {
                    consoleLine(QStringLiteral("❌ QLab refused the passcode for workspace "
                                               "\"%1\": check the QLab passcode setting")
                                    .arg(name));
                    m_saidBadPasscode = true;
                }
                end(SessionEnd::badPasscode);
                return;
            }
            end(SessionEnd::retry);
        });
    }

    void up(const QString& id, const QString& name, bool control) {
        m_up = true;
        m_workspaceID = id.toStdString();
        m_saidBadPasscode = false;
        m_saidUnreachable = false;
        m_retryDelay = m_settings.firstRetry;
        {
            std::lock_guard lock(m_session->mutex);
            m_session->connected = true;
            m_session->control = control;
            m_session->workspaceID = id;
            m_session->workspaceName = name;
        }
        consoleLine(QStringLiteral("QLab connected: ") + name);
        if (!control && !m_saidNoControl)
            consoleLine(noControlMessage(name));
        m_saidNoControl = !control;
        m_heard = true;
        m_missed = 0;
        m_thumpQueued = false;
        m_thump.start(m_settings.thumpInterval);
        m_connectionChanged(true);
    }

    // A thump a beat; any word from QLab since the last one answers it. Only several silent
    // beats in a row lose the connection: a QLab busy for a moment is still there.
    void thump() {
        if (m_thumpQueued)
            return; // the last one still waits its turn: nothing was missed yet
        if (m_heard) {
            m_missed = 0;
        } else if (++m_missed >= m_settings.missedThumps) {
            end(SessionEnd::retry);
            return;
        }
        m_thumpQueued = true;
        m_queue.push(
            {bytesOf(encode({"/workspace/" + m_workspaceID + "/thump", {}})), "/thump", nullptr});
        pump();
    }

    // The session ends here; the socket's own end reports the loss.
    void end(SessionEnd how) {
        if (how == SessionEnd::badPasscode)
            m_retryDelay = m_settings.longestRetry;
        m_socket->abort();
        lost();
    }

    void lost() {
        if (m_down)
            return;
        m_down = true;
        m_connectTimeout.stop();
        m_thump.stop();
        m_socket->abort();
        failAll(Reply::Status::noConnection);
        const bool wasUp = m_up;
        m_up = false;
        {
            std::lock_guard lock(m_session->mutex);
            m_session->connected = false;
            m_session->reachable = false;
            m_session->control = false;
        }
        if (m_stopping)
            return;
        if (wasUp) {
            consoleLine(QStringLiteral("QLab connection lost"));
            m_connectionChanged(false);
        } else if (!m_saidUnreachable && !m_saidBadPasscode) {
            consoleLine(QStringLiteral("QLab not reachable at %1:%2")
                            .arg(m_settings.host)
                            .arg(m_settings.port));
            m_saidUnreachable = true;
        }
        m_retry.start(m_retryDelay);
        m_retryDelay = std::min(m_retryDelay * 2, m_settings.longestRetry);
    }

    ReplyMatcher::Ticket send(const std::string& address, std::vector<Argument> arguments,
                              Gathered done, bool gather = false) {
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            done({{Reply::Status::noConnection, {}}});
            return nullptr;
        }
        auto ticket = m_matcher.expect(address, std::move(done), gather);
        m_queue.push({bytesOf(encode({address, std::move(arguments)})), ticket->key, ticket});
        QTimer::singleShot(m_settings.timeout, this,
                           [this, weak = std::weak_ptr<ReplyMatcher::Waiter>(ticket)] {
                               if (const auto expired = weak.lock())
                                   m_matcher.expire(expired);
                           });
        pump();
        return ticket;
    }

    // Writes what may go now, in order, and looks again when the rest may.
    void pump() {
        auto due = m_queue.take(m_matcher);
        for (const auto& entry : due.entries) {
            writeFramed(*m_socket, entry.bytes);
            if (entry.waiter) {
                ReplyMatcher::written(entry.waiter);
            } else {
                m_thumpQueued = false; // heard from now on answers this thump
                m_heard = false;
            }
        }
        if (due.retryIn)
            m_pump.start(*due.retryIn);
    }

    void failAll(Reply::Status status) {
        m_queue.clear();
        m_matcher.failAll(status);
    }

    void onReadyRead() {
        m_heard = true;
        const std::size_t droppedBefore = m_reader->droppedPackets();
        const auto packets = m_reader->read(*m_socket).packets;
        if (m_reader->droppedPackets() != droppedBefore && !m_saidTooLarge) {
            consoleLine(QStringLiteral(
                            "QLab sent a message larger than Carvo's limit of %1; it was dropped")
                            .arg(sizeText(m_settings.maxPacket)));
            m_saidTooLarge = true;
        }
        bool freed = false;
        for (const std::string& packet : packets) {
            const auto message = decode(packet);
            if (!message || !message->address.starts_with("/reply/"))
                continue; // updates and anything else unasked for
            std::string key = withoutWorkspace(std::string_view(message->address).substr(6));
            QJsonObject json;
            if (!message->arguments.empty())
                if (const auto* text = std::get_if<std::string>(&message->arguments.front()))
                    json = QJsonDocument::fromJson(QByteArray::fromStdString(*text)).object();
            const QString echoed = json.value(QStringLiteral("address")).toString();
            if (!echoed.isEmpty())
                key = withoutWorkspace(echoed.toStdString());
            freed = m_matcher.take(key, replyOf(json)) || freed;
        }
        if (freed)
            pump();
    }

    ClientSettings m_settings;
    std::shared_ptr<Client::Session> m_session;
    std::function<void(bool)> m_connectionChanged;
    QTcpSocket* m_socket = nullptr;
    // Children, so that they move to the client's thread with the worker.
    QTimer m_retry{this};
    QTimer m_thump{this};
    QTimer m_pump{this};
    QTimer m_connectTimeout{this};
    std::chrono::milliseconds m_retryDelay;
    // Made anew for each connection: no part of a packet carries over.
    std::unique_ptr<SlipStreamReader> m_reader;
    ReplyMatcher m_matcher;
    RepeatQueue m_queue;
    std::string m_workspaceID;
    bool m_up = false;
    bool m_down = false;
    bool m_stopping = false;
    bool m_heard = false;
    bool m_thumpQueued = false;
    int m_missed = 0;
    bool m_saidUnreachable = false;
    bool m_saidBadPasscode = false;
    bool m_saidNoWorkspace = false;
    bool m_saidNoControl = false;
    bool m_saidTooLarge = false;
};

Client::Client(ClientSettings settings, QObject* parent)
    : QObject(parent), m_settings(std::move(settings)), m_session(std::make_shared<Session>()),
      m_thread(std::make_unique<QThread>()) {
    m_thread->setObjectName(QStringLiteral("QLab OSC"));
    m_worker = new ClientWorker(m_settings, m_session, [this](bool connected) {
        QMetaObject::invokeMethod(
            this, [this, connected] { emit connectionChanged(connected); }, Qt::QueuedConnection);
    });
    m_worker->moveToThread(m_thread.get());
    QObject::connect(m_thread.get(), &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread->start();
}

Client::~Client() {
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { worker->stop(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
}

void Client::start() {
    QMetaObject::invokeMethod(
        m_worker, [worker = m_worker] { worker->start(); }, Qt::QueuedConnection);
}

namespace {

// Waits for answer until deadline; a quit signal abandons the wait at once, so a QLab that does
// not answer never holds the process's end.
template <typename T>
bool waitUnlessQuitting(const std::future<T>& answer, SteadyClock::time_point deadline) {
    for (;;) {
        const auto slice = std::min(deadline, SteadyClock::now() + std::chrono::milliseconds(50));
        if (answer.wait_until(slice) == std::future_status::ready)
            return true;
        if (quitRequested() || SteadyClock::now() >= deadline)
            return false;
    }
}

} // namespace

Reply Client::request(const std::string& address, std::vector<Argument> arguments) {
    return requestAll({{address, std::move(arguments)}}).front();
}

std::vector<Reply> Client::requestAll(std::vector<Request> requests) {
    // Nothing goes to QLab once the process is ending.
    if (quitRequested())
        return std::vector<Reply>(requests.size(), Reply{Reply::Status::timeout, {}});
    std::vector<std::shared_ptr<std::promise<Reply>>> promises;
    std::vector<std::future<Reply>> answers;
    std::vector<Done> done;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        promises.push_back(std::make_shared<std::promise<Reply>>());
        answers.push_back(promises.back()->get_future());
        done.push_back(
            [promise = promises.back()](Reply reply) { promise->set_value(std::move(reply)); });
    }
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, requests = std::move(requests), done = std::move(done)]() mutable {
            worker->sendInWorkspace(std::move(requests), std::move(done));
        },
        Qt::QueuedConnection);
    // The worker answers every request by its timeout; the margin covers a busy thread.
    const auto deadline = SteadyClock::now() + m_settings.timeout + std::chrono::seconds(1);
    std::vector<Reply> replies;
    for (auto& answer : answers)
        replies.push_back(waitUnlessQuitting(answer, deadline) ? answer.get()
                                                               : Reply{Reply::Status::timeout, {}});
    return replies;
}

std::vector<Reply> Client::requestEach(const std::string& address,
                                       std::vector<Argument> arguments) {
    if (quitRequested())
        return {{Reply::Status::timeout, {}}};
    auto promise = std::make_shared<std::promise<std::vector<Reply>>>();
    auto answer = promise->get_future();
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, address, arguments = std::move(arguments), promise]() mutable {
            worker->gatherInWorkspace(
                address, std::move(arguments),
                [promise](std::vector<Reply> replies) { promise->set_value(std::move(replies)); });
        },
        Qt::QueuedConnection);
    if (!waitUnlessQuitting(answer,
                            SteadyClock::now() + m_settings.timeout + std::chrono::seconds(1)))
        return {{Reply::Status::timeout, {}}};
    return answer.get();
}

bool Client::isConnected() const {
    std::lock_guard lock(m_session->mutex);
    return m_session->connected;
}

bool Client::hasControl() const {
    std::lock_guard lock(m_session->mutex);
    return m_session->connected && m_session->control;
}

bool Client::isReachable() const {
    std::lock_guard lock(m_session->mutex);
    return m_session->reachable;
}

QString Client::workspaceName() const {
    std::lock_guard lock(m_session->mutex);
    return m_session->workspaceName;
}

} // namespace carvo::osc
