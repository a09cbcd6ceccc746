#pragma once
// QLab through its OSC interface, for a Carvo that does not run beside QLab (or where
// AppleScript does not exist). Each question is a few requests over the client's connection, and
// each answer is built in the very form the AppleScript road's scripts give, so the bridge, the
// jump controller, the counter and the protocol cannot tell the two roads apart. QLab has no OSC
// dialog: the bar dialog and refusals are Carvo's own.

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

#include <QHash>
#include <QJsonObject>
#include <QString>

#include "qlab/dialogs.h"
#include "qlab/osc/osc_client.h"
#include "qlab/qlab_backend.h"

namespace carvo::osc {

// "FROM=TO": a file path QLab reports that starts with FROM is read at TO instead, for a Carvo
// that reaches QLab's media through another mount point or a copy.
struct MediaPathMap {
    QString from;
    QString to;

    static MediaPathMap parse(const QString& setting); // empty (no mapping) when not FROM=TO
    QString apply(const QString& path) const;
};

class OSCBackend : public QLabBackend {
public:
    OSCBackend(std::shared_ptr<Client> client, MediaPathMap media = {});

    // Who answers the bar dialog and shows refusals: the window, or the default answer.
    void setDialogResponder(std::shared_ptr<DialogResponder> responder);

    FilesAnswer getFilesAndStartBar(qint64 lastBar, RequestSource source, qint64 barNumber,
                                    const QString& uniqueID) override;
    bool isCueRunning(const QString& uniqueID) override;
    bool isCueElapsedOverOneSecond(const QString& uniqueID) override;
    // None when QLab gave no answer (a timeout, no connection): the counter then counts on.
    std::function<std::optional<bool>(const QString& uniqueID)> runningCheck() const override;
    void sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime, bool standby,
                                  double preWait) override;
    void displayQLabMessage(const QString& message, std::function<void()> closed = {}) override;
    void panic(const QList<QString>& uniqueIDs) override;
    bool isQLabRunning() override;
    QLabState workspaceState() override;
    std::optional<QList<CueInfo>> usableGroupCues() override;
    void makeScriptCue(ScriptCueKind kind) override;

    Client& client() { return *m_client; }

private:
    // The group's running state as the get-files question found it, for the jump's check that
    // follows at once; older than recentFor, it is asked again.
    struct Recent {
        QString cueID;
        bool running = false;
        double elapsed = 0.0;
        std::chrono::steady_clock::time_point at;
    };
    static constexpr std::chrono::milliseconds recentFor{250};
    void remember(const QString& groupID, const QJsonObject& values);
    std::optional<Recent> recent(const QString& uniqueID, bool last);

    std::shared_ptr<DialogResponder> responder() const;

    std::shared_ptr<Client> m_client;
    MediaPathMap m_media;
    mutable std::mutex m_responderMutex;
    std::shared_ptr<DialogResponder> m_responder;
    std::mutex m_recentMutex;
    std::optional<Recent> m_recent;
    // Which way each cue's running check was asked last.
    struct Turns {
        std::mutex mutex;
        QHash<QString, bool> plainLast;
    };
    std::shared_ptr<Turns> m_turns = std::make_shared<Turns>();
};

} // namespace carvo::osc
