#pragma once
// QLab through AppleScript: every question is one of the fixed scripts of qlab/scripts.h, run
// synchronously on the calling thread by a runner (osascript, in process, or the simulated QLab),
// except the dialog of a refusal, which runs on a pool of its own.

#include <memory>

#include "qlab/qlab_backend.h"
#include "qlab/script_runner.h"

namespace carvo {

class AppleScriptBackend : public QLabBackend {
public:
    // Without a runner every script counts as one that cannot be created.
    explicit AppleScriptBackend(std::shared_ptr<ScriptRunner> runner);

    FilesAnswer getFilesAndStartBar(qint64 lastBar, RequestSource source, qint64 barNumber,
                                    const QString& uniqueID) override;
    bool isCueRunning(const QString& uniqueID) override;
    bool isCueElapsedOverOneSecond(const QString& uniqueID) override;
    std::function<std::optional<bool>(const QString& uniqueID)> runningCheck() const override;
    void sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime, bool standby,
                                  double preWait) override;
    void displayQLabMessage(const QString& message, std::function<void()> closed = {}) override;
    void panic(const QList<QString>& uniqueIDs) override;
    bool isQLabRunning() override;
    QLabState workspaceState() override;
    std::optional<QList<CueInfo>> usableGroupCues() override;
    void makeScriptCue(ScriptCueKind kind) override;

    const std::shared_ptr<ScriptRunner>& runner() const { return m_runner; }

    // Waits until every message dialog of the process has been dismissed; false when time ran
    // out.
    static bool waitForMessageDialogs(int timeoutMilliseconds);

private:
    std::shared_ptr<ScriptRunner> m_runner;
};

} // namespace carvo
