#pragma once
// How the QLab bridge reaches QLab: AppleScript (the scripts of qlab/scripts.h through a runner)
// or QLab's OSC interface (qlab/osc). Each backend answers the same questions with the same
// results, so the bridge, the jump controller, the counter and the protocol do not change.

#include <functional>
#include <optional>

#include <QList>
#include <QString>

class QThreadPool;

#include "engine/qlab_operations.h"
#include "qlab/qlab_state.h"

namespace carvo {

enum class ScriptCueKind {
    carvo, // the cue numbered "Carvo" that sends the go command
    chase, // a cue for a playback group that sends the chase command
};

class QLabBackend {
public:
    virtual ~QLabBackend() = default;

    // QLab's answer to the get-files question: one of the two answer forms, an "ERROR: " text
    // (which the bridge shows), or a failure (after an error line on standard output).
    virtual FilesAnswer getFilesAndStartBar(qint64 lastBar, RequestSource source, qint64 barNumber,
                                            const QString& uniqueID) = 0;
    // Every failure answers false.
    virtual bool isCueRunning(const QString& uniqueID) = 0;
    virtual bool isCueElapsedOverOneSecond(const QString& uniqueID) = 0;
    // isCueRunning for threads other than the caller's: it may outlive the backend's owner.
    // None when QLab gave no answer (OSC: a timeout or no connection); AppleScript answers
    // every failure false, as isCueRunning does.
    virtual std::function<std::optional<bool>(const QString& uniqueID)> runningCheck() const = 0;
    virtual void sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime, bool standby,
                                          double preWait) = 0;
    // Shows a refusal in a dialog; returns at once. closed runs, on any thread, once the dialog
    // has been dismissed or could not be shown.
    virtual void displayQLabMessage(const QString& message, std::function<void()> closed = {}) = 0;
    virtual void panic(const QList<QString>& uniqueIDs) = 0;

    virtual bool isQLabRunning() = 0;
    // With QLab running: no workspace, a workspace without the Carvo cue, or with it.
    virtual QLabState workspaceState() = 0;
    // The usable group cues in QLab's order; none when the question failed to give a list of
    // them (nothing is then sent and the stored catalogue stays), an empty list when QLab's
    // answer had items but no usable form.
    virtual std::optional<QList<CueInfo>> usableGroupCues() = 0;
    virtual void makeScriptCue(ScriptCueKind kind) = 0;
};

// Message dialogs that wait for OK hold a thread each, on this pool of the process's.
QThreadPool& messageDialogPool();

} // namespace carvo
