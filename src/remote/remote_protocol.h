#pragma once
// The server side of the remote protocol: what one received read sets off.

#include <functional>
#include <utility>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

namespace carvo {

class TCPServer;

// The actions a message can set off. Start-up binds them to the application's QLab bridge, bar
// counter, jump controller and server; tests put recorders in their place.
struct ProtocolActions {
    std::function<void()> panicGroupCues;
    std::function<void()> requestCues;
    std::function<void(qint64 bar)> jumpToBar;
    std::function<void()> stopBarCounterQuietly;
    std::function<void()> restartBarCounter; // with the cue of the last accepted jump
    std::function<void(const QString& message)> broadcast;
    std::function<void(const QString& cueID)> selectCue;
    // A jump to the bar of the named rehearsal mark.
    std::function<void(const QString& mark)> jumpToMark;
    // The marks of the music, as (bar number, name) in bar order; none before any music.
    std::function<QList<std::pair<qint64, QString>>()> marks;
};

// "MARKS: " and the marks as a JSON array of {"bar": …, "name": …}.
QString marksMessage(const QList<std::pair<qint64, QString>>& marks);

// Interprets one received read of a client. `reply` sends a message to that client alone.
// Rows that defer their work (a bar request, the selection of a cue) post it to the main
// event loop, so it runs after this call has returned and the next read has been asked for;
// work still waiting when `context` is destroyed is dropped (none: the application object).
void handleMessage(const ProtocolActions& actions, const QByteArray& data,
                   const std::function<void(const QString&)>& reply, QObject* context = nullptr);

// Makes the protocol the server's message handler: each read of a connection is handled with
// these actions, and replies go to that connection.
void serveRemoteProtocol(TCPServer& server, ProtocolActions actions);

} // namespace carvo
