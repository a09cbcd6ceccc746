#include "qlab/osc/osc_client.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <future>
#include <map>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include "base/diagnostics.h"

namespace carvo::osc {
namespace {

using SteadyClock = std::chrono::steady_clock;
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

QString Reply::description() const {
    switch (status) {
    case Status::ok:
        return QStringLiteral("ok");
    case Status::error:
        return QStringLiteral("QLab answered with an error");
    case Status::denied:
        return QStringLiteral("QLab denied the request (passcode)");
    case Status::timeout:
        return QStringLiteral("QLab did not answer in time");
    case Status::noConnection:
        return QStringLiteral("no connection to QLab");
    }
    return {};
}

std::string withoutWorkspace(std::string_view address) {
    constexpr std::string_view prefix = "/workspace/";
    if (!address.starts_with(prefix))
        return std::string(address);
    const auto slash = address.find('/', prefix.size());
    return slash == std::string_view::npos ? std::string() : std::string(address.substr(slash));
}

// Everything that touches the socket, on the client's thread.
class ClientWorker : public QObject {
public:
    ClientWorker(ClientSettings settings, std::shared_ptr<Client::Session> session,
                 std::function<void(bool)> connectionChanged)
        : m_settings(std::move(settings)), m_session(std::move(session)),
          m_connectionChanged(std::move(connectionChanged)), m_retryDelay(m_settings.firstRetry) {}

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
        QObject::connect(&m_pump, &QTimer::timeout, this, [this] { pump(); });
        m_connectTimeout.setSingleShot(true);
        QObject::connect(&m_connectTimeout, &QTimer::timeout, this, [this] { lost(); });
        connectNow();
    }

    // A request from outside: in the workspace session, or refused at once without one.
    void sendInWorkspace(const std::string& address, std::vector<Argument> arguments, Done done) {
        if (!m_up) {
            done({Reply::Status::noConnection, {}});
            return;
        }
        send("/workspace/" + m_workspaceID + address, std::move(arguments), std::move(done));
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
    struct Pending {
        std::string key;
        Done done;
        bool finished = false;
    };
    struct Outgoing {
        std::string bytes;
        std::shared_ptr<Pending> pending;
    };

    void connectNow() {
        if (m_stopping)
            return;
        m_down = false;
        m_decoder = SlipDecoder();
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
        send("/alwaysReply", {std::int32_t{1}}, [](const Reply&) {});
        askWorkspaces();
    }

    void askWorkspaces() {
        send("/workspaces", {}, [this](const Reply& reply) {
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
        std::vector<Argument> arguments;
        if (!m_settings.passcode.isEmpty())
            arguments.emplace_back(m_settings.passcode.toStdString());
        const std::string address = "/workspace/" + id.toStdString() + "/connect";
        send(address, std::move(arguments), [this, id, name](const Reply& reply) {
            const QString answer = reply.data.toString();
            if (reply.ok() && answer.startsWith(QStringLiteral("ok"))) {
                up(id, name);
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

    void up(const QString& id, const QString& name) {
        m_up = true;
        m_workspaceID = id.toStdString();
        m_saidBadPasscode = false;
        m_saidUnreachable = false;
        m_retryDelay = m_settings.firstRetry;
        {
            std::lock_guard lock(m_session->mutex);
            m_session->connected = true;
            m_session->workspaceID = id;
            m_session->workspaceName = name;
        }
        consoleLine(QStringLiteral("QLab connected: ") + name);
        m_thump.start(m_settings.thumpInterval);
        m_connectionChanged(true);
    }

    void thump() {
        sendInWorkspace("/thump", {}, [this](const Reply& reply) {
            if (reply.status == Reply::Status::timeout)
                end(SessionEnd::retry); // QLab has stopped answering: start again
        });
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

    void send(const std::string& address, std::vector<Argument> arguments, Done done) {
        if (m_socket->state() != QAbstractSocket::ConnectedState) {
            done({Reply::Status::noConnection, {}});
            return;
        }
        auto pending =
            std::make_shared<Pending>(Pending{withoutWorkspace(address), std::move(done)});
        m_waiting[pending->key].push_back(pending);
        m_outgoing.push_back({bytesOf(encode({address, std::move(arguments)})), pending});
        QTimer::singleShot(m_settings.timeout, this,
                           [this, weak = std::weak_ptr<Pending>(pending)] { expire(weak); });
        pump();
    }

    // Writes what may go now, in order; a message whose twin went out within the repeat window
    // holds the queue until the window has passed, so QLab never drops it.
    void pump() {
        const auto now = SteadyClock::now();
        std::erase_if(m_lastSent, [&](const auto& entry) {
            return now - entry.second >= m_settings.repeatWindow;
        });
        while (!m_outgoing.empty()) {
            Outgoing& next = m_outgoing.front();
            if (next.pending->finished) {
                m_outgoing.pop_front();
                continue;
            }
            const auto twin = m_lastSent.find(next.bytes);
            if (twin != m_lastSent.end()) {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
                    m_settings.repeatWindow - (now - twin->second));
                m_pump.start(std::max(wait, std::chrono::milliseconds{1}));
                return;
            }
            const auto frame = slipFrame(next.bytes);
            m_socket->write(reinterpret_cast<const char*>(frame.data()),
                            static_cast<qint64>(frame.size()));
            m_lastSent[next.bytes] = now;
            m_outgoing.pop_front();
        }
    }

    void expire(const std::weak_ptr<Pending>& weak) {
        const auto pending = weak.lock();
        if (!pending || pending->finished)
            return;
        forget(pending);
        finish(pending, {Reply::Status::timeout, {}});
    }

    void forget(const std::shared_ptr<Pending>& pending) {
        const auto found = m_waiting.find(pending->key);
        if (found == m_waiting.end())
            return;
        std::erase(found->second, pending);
        if (found->second.empty())
            m_waiting.erase(found);
    }

    void finish(const std::shared_ptr<Pending>& pending, Reply reply) {
        pending->finished = true;
        Done done = std::move(pending->done);
        if (done)
            done(std::move(reply));
    }

    void failAll(Reply::Status status) {
        auto waiting = std::move(m_waiting);
        m_waiting.clear();
        m_outgoing.clear();
        for (auto& [key, queue] : waiting)
            for (const auto& pending : queue)
                if (!pending->finished)
                    finish(pending, {status, {}});
    }

    void onReadyRead() {
        const QByteArray bytes = m_socket->readAll();
        for (const std::string& packet : m_decoder.feed(
                 std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
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
            const auto found = m_waiting.find(key);
            if (found == m_waiting.end() || found->second.empty())
                continue; // a late reply to a request that has timed out
            const auto pending = found->second.front();
            found->second.pop_front();
            if (found->second.empty())
                m_waiting.erase(found);
            finish(pending, replyOf(json));
        }
    }

    ClientSettings m_settings;
    std::shared_ptr<Client::Session> m_session;
    std::function<void(bool)> m_connectionChanged;
    QTcpSocket* m_socket = nullptr;
    SlipDecoder m_decoder;
    // Children, so that they move to the client's thread with the worker.
    QTimer m_retry{this};
    QTimer m_thump{this};
    QTimer m_pump{this};
    QTimer m_connectTimeout{this};
    std::chrono::milliseconds m_retryDelay;
    std::map<std::string, std::deque<std::shared_ptr<Pending>>> m_waiting;
    std::deque<Outgoing> m_outgoing;
    std::map<std::string, SteadyClock::time_point> m_lastSent;
    std::string m_workspaceID;
    bool m_up = false;
    bool m_down = false;
    bool m_stopping = false;
    bool m_saidUnreachable = false;
    bool m_saidBadPasscode = false;
    bool m_saidNoWorkspace = false;
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

Reply Client::request(const std::string& address, std::vector<Argument> arguments) {
    auto promise = std::make_shared<std::promise<Reply>>();
    auto answer = promise->get_future();
    QMetaObject::invokeMethod(
        m_worker,
        [worker = m_worker, address, arguments = std::move(arguments), promise]() mutable {
            worker->sendInWorkspace(address, std::move(arguments), [promise](Reply reply) {
                promise->set_value(std::move(reply));
            });
        },
        Qt::QueuedConnection);
    // The worker answers every request by its timeout; the margin covers a busy thread.
    if (answer.wait_for(m_settings.timeout + std::chrono::seconds(1)) != std::future_status::ready)
        return {Reply::Status::timeout, {}};
    return answer.get();
}

bool Client::isConnected() const {
    std::lock_guard lock(m_session->mutex);
    return m_session->connected;
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
