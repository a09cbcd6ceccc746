#pragma once
// What the jump engine needs of QLab, behind an interface the engine owns: the QLab bridge
// implements it with AppleScript; tests put their own in its place.

#include <optional>

#include <QString>

#include "engine/request_source.h"

namespace carvo {

// The get-files operation's outcome: QLab's answer text, or which of the fixed failures ended it.
struct FilesAnswer {
    enum class Failure {
        scriptFailed, // no script object, or an "ERROR: " answer QLab has already shown
        error,        // the run failed (the operator cancelled QLab's bar dialog, say)
        noResult,     // the script answered nothing
    };
    std::optional<Failure> failure;
    QString text; // the answer; empty with a failure

    static FilesAnswer answer(QString text) { return {std::nullopt, std::move(text)}; }
    static FilesAnswer failed(Failure failure) { return {failure, {}}; }
    bool operator==(const FilesAnswer&) const = default;
};

// "Script failed", "Error" or "No Result": the fixed answers as QLab's bridge names them.
QString failureText(FilesAnswer::Failure failure);

class QLabOperations {
public:
    virtual ~QLabOperations() = default;

    // The group cue, its tempo description and the bar to start (for source qlab this waits for
    // the operator's answer in QLab's bar dialog).
    virtual FilesAnswer getFilesAndStartBar(qint64 lastBar, RequestSource source, qint64 barNumber,
                                            const QString& uniqueID) = 0;
    // Callable from any thread; every failure answers false.
    virtual bool isCueRunning(const QString& uniqueID) = 0;
    virtual bool isCueElapsedOverOneSecond(const QString& uniqueID) = 0;
    // Loads the cue at barTime and, unless the "standby" setting is on, starts it.
    virtual void sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime) = 0;
    // Console, every remote client and a dialog in QLab; returns at once.
    virtual void displayQLabMessage(const QString& message) = 0;

    // The group cue that remote and chase requests address.
    virtual QString uniqueID() const = 0;
    virtual void setUniqueID(const QString& uniqueID) = 0;
};

} // namespace carvo
