#pragma once
// The server side of the remote protocol: what one received read sets off.

#include <functional>

#include <QByteArray>
#include <QString>

namespace carvo {

class ClientConnection;

// The actions a message can set off. The live set reaches the shared QLab bridge, bar counter,
// jump controller and server; tests put recorders in their place.
struct ProtocolActions {
    std::function<void()> panicGroupCues;
    std::function<void()> requestCues;
    std::function<void(qint64 bar)> jumpToBar;
    std::function<void()> stopBarCounterQuietly;
    std::function<void()> restartBarCounter; // with the cue of the last accepted jump
    std::function<void(const QString& message)> broadcast;
    std::function<void(const QString& cueID)> selectCue;

    static ProtocolActions live();
};

// Interprets one received read of a client. `reply` sends a message to that client alone.
// Rows that defer their work (a bar request, the selection of a cue) post it to the main
// event loop, so it runs after this call has returned and the next read has been asked for.
void handleMessage(const ProtocolActions& actions, const QByteArray& data,
                   const std::function<void(const QString&)>& reply);

// The message handler the shared TCPServer calls for each read of a connection.
void handleMessage(ClientConnection& connection, const QByteArray& data);

// Installs handleMessage on the shared TCPServer.
void installRemoteProtocol();

} // namespace carvo
