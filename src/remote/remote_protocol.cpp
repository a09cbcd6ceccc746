#include "remote/remote_protocol.h"

#include <string_view>
#include <utility>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaObject>

#include "base/diagnostics.h"
#include "base/text.h"
#include "remote/protocol.h"
#include "remote/tcp_server.h"

namespace carvo {

namespace {

// Runs work on the main event loop after the current handler has returned.
void postToMainLoop(QObject* context, std::function<void()> work) {
    QMetaObject::invokeMethod(context ? context : QCoreApplication::instance(), std::move(work),
                              Qt::QueuedConnection);
}

} // namespace

QString marksMessage(const QList<std::pair<qint64, QString>>& marks) {
    QJsonArray array;
    for (const auto& [bar, name] : marks)
        array.append(QJsonObject{{QStringLiteral("bar"), bar}, {QStringLiteral("name"), name}});
    return fromUtf8(protocol::marksPrefix) +
           QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

void handleMessage(const ProtocolActions& actions, const QByteArray& data,
                   const std::function<void(const QString&)>& reply, QObject* context) {
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
        postToMainLoop(context, [jump = actions.jumpToBar, bar] {
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
        // The echo goes out byte for byte before the selection takes effect.
        actions.broadcast(QString::fromUtf8(data));
        postToMainLoop(context, [select = actions.selectCue, cueID = fromUtf8(request.text)] {
            select(cueID);
        });
        break;
    case RequestKind::refusedSelection:
        // Not echoed: the other clients would read it as server messages.
        writeLine(QStringLiteral("Selection refused: ") + fromUtf8(request.text));
        break;
    case RequestKind::markRequest: {
        const QString mark = fromUtf8(request.text);
        postToMainLoop(context, [jump = actions.jumpToMark, mark] {
            jump(mark);
            writeLine(QStringLiteral("Received Mark: ") + mark);
        });
        break;
    }
    case RequestKind::badMark:
        writeLine(std::string_view("A mark request without a name"));
        break;
    case RequestKind::requestMarks:
        // To the asking client alone: clients written before marks never see the message.
        reply(marksMessage(actions.marks ? actions.marks() : QList<std::pair<qint64, QString>>{}));
        break;
    case RequestKind::ignored:
        break;
    }
}

void serveRemoteProtocol(TCPServer& server, ProtocolActions actions) {
    server.setMessageHandler([&server, actions = std::move(actions)](ClientConnection& connection,
                                                                     const QByteArray& data) {
        // The connection stays valid until this read's handling has returned to the event loop.
        handleMessage(
            actions, data,
            [&server, &connection](const QString& message) { server.send(connection, message); },
            &server);
    });
}

} // namespace carvo
