#include "remote/remote_protocol.h"

#include <string_view>
#include <utility>

#include <QCoreApplication>
#include <QMetaObject>

#include "app/broadcast.h"
#include "base/diagnostics.h"
#include "engine/bar_counter_manager.h"
#include "engine/jump_controller.h"
#include "engine/jump_state.h"
#include "qlab/qlab_integration.h"
#include "remote/protocol.h"
#include "remote/tcp_server.h"

namespace carvo {

namespace {

// Runs work on the main event loop after the current handler has returned.
void postToMainLoop(std::function<void()> work) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void handleMessage(const ProtocolActions& actions, const QByteArray& data,
                   const std::function<void(const QString&)>& reply) {
    using protocol::RequestKind;
    const std::string_view bytes(data.constData(), static_cast<std::size_t>(data.size()));
    protocol::Request request = protocol::parseRequest(bytes);
    switch (request.kind) {
    case RequestKind::invalidText:
        writeLine(std::string_view("Received unknown data format or invalid UTF-8 string"));
        break;
    case RequestKind::stop:
        actions.panicGroupCues();
        break;
    case RequestKind::barRequest: {
        const qint64 bar = request.bar;
        postToMainLoop([jump = actions.jumpToBar, bar] {
            jump(bar);
            writeLine(QStringLiteral("Received Bar: ") + QString::number(bar));
        });
        break;
    }
    case RequestKind::badBarNumber:
        writeLine(QStringLiteral("Could not convert '") + fromUtf8(request.text) +
                  QStringLiteral("' to Int"));
        break;
    case RequestKind::requestCues:
        actions.requestCues();
        break;
    case RequestKind::handshake:
        actions.stopBarCounterQuietly();
        reply(
            QString::fromLatin1(protocol::handshakeResponseMessage.data(),
                                static_cast<qsizetype>(protocol::handshakeResponseMessage.size())));
        actions.restartBarCounter();
        break;
    case RequestKind::remoteSelected:
        // The echo goes out unchanged before the selection takes effect.
        actions.broadcast(QString::fromUtf8(data));
        postToMainLoop(
            [select = actions.selectCue, cueID = fromUtf8(request.text)] { select(cueID); });
        break;
    case RequestKind::ignored:
        break;
    }
}

ProtocolActions ProtocolActions::live() {
    ProtocolActions actions;
    actions.panicGroupCues = [] { QLabIntegration::panicGroupCues(); };
    actions.requestCues = [] { QLabIntegration::getValidGroupCues(QStringLiteral("Network")); };
    actions.jumpToBar = [](qint64 bar) {
        carvo::jumpToBar(BarCounterManager::shared(), QStringLiteral("Remote"), bar);
    };
    actions.stopBarCounterQuietly = [] { BarCounterManager::shared().stopBarCounter(false); };
    actions.restartBarCounter = [] {
        BarCounterManager::shared().startBarCounter(jumpState().currentCueID);
    };
    actions.broadcast = [](const QString& message) { carvo::broadcast(message); };
    actions.selectCue = [](const QString& cueID) { QLabIntegration::shared().setUniqueID(cueID); };
    return actions;
}

void handleMessage(ClientConnection& connection, const QByteArray& data) {
    static const ProtocolActions actions = ProtocolActions::live();
    // The connection stays valid until this read's handling has returned to the event loop.
    handleMessage(actions, data, [&connection](const QString& message) {
        TCPServer::shared().send(connection, message);
    });
}

void installRemoteProtocol() {
    TCPServer::shared().setMessageHandler([](ClientConnection& connection, const QByteArray& data) {
        handleMessage(connection, data);
    });
}

} // namespace carvo
