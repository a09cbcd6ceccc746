#include "qlab/applescript_backend.h"

#include <QThreadPool>

#include "base/diagnostics.h"
#include "base/text.h"
#include "qlab/scripts.h"

namespace carvo {
namespace {

const QString qlabBundleIdentifier = QStringLiteral("com.figure53.QLab.5");

void writeErrorLine(const char* prefix, const ScriptError& error) {
    writeLine(QString::fromUtf8(prefix) + error.description);
}

std::optional<ScriptOutcome> run(ScriptRunner* runner, const QString& source) {
    if (!runner || !runner->canCreate(source))
        return std::nullopt;
    return runner->run(source);
}

bool answersTrue(ScriptRunner* runner, const QString& source) {
    const auto outcome = run(runner, source);
    return outcome && !outcome->error && outcome->resultText() == QStringLiteral("true");
}

} // namespace

// Dialogs that wait for OK hold a thread each. They get a pool of their own that grows like a
// dispatch queue, so open dialogs never starve the bar counter's running checks of the global
// pool's threads (two on a two-core machine). Never destroyed: a dialog still open at exit must
// not hold the process up.
QThreadPool& messageDialogPool() {
    static auto* pool = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(64);
        return created;
    }();
    return *pool;
}

AppleScriptBackend::AppleScriptBackend(std::shared_ptr<ScriptRunner> runner)
    : m_runner(std::move(runner)) {}

FilesAnswer AppleScriptBackend::getFilesAndStartBar(qint64 lastBar, RequestSource source,
                                                    qint64 barNumber, const QString& uniqueID) {
    using Failure = FilesAnswer::Failure;
    if (source == RequestSource::selectedAtBar) {
        writeLine(std::string_view(
            "❌ /carvo/go with a bar needs Carvo's OSC connection to QLab; send /carvo/go alone"));
        return FilesAnswer::failed(Failure::error);
    }
    const auto outcome =
        run(m_runner.get(), fromUtf8(scripts::getFilesAndStartBar(
                                lastBar, requestSourceText(source), barNumber, toUtf8(uniqueID))));
    if (!outcome)
        return FilesAnswer::failed(Failure::scriptFailed);
    if (outcome->error) {
        writeErrorLine("AppleScript error from Get Files and Start Bar: ", *outcome->error);
        return FilesAnswer::failed(Failure::error);
    }
    auto text = outcome->resultText();
    if (!text)
        return FilesAnswer::failed(Failure::noResult);
    return FilesAnswer::answer(std::move(*text));
}

bool AppleScriptBackend::isCueRunning(const QString& uniqueID) {
    return answersTrue(m_runner.get(), fromUtf8(scripts::isCueRunning(toUtf8(uniqueID))));
}

bool AppleScriptBackend::isCueElapsedOverOneSecond(const QString& uniqueID) {
    return answersTrue(m_runner.get(),
                       fromUtf8(scripts::isCueElapsedOverOneSecond(toUtf8(uniqueID))));
}

std::function<std::optional<bool>(const QString& uniqueID)>
AppleScriptBackend::runningCheck() const {
    return [runner = m_runner](const QString& uniqueID) {
        return answersTrue(runner.get(), fromUtf8(scripts::isCueRunning(toUtf8(uniqueID))));
    };
}

void AppleScriptBackend::sendLoadTimeAndStartQLab(const QString& uniqueID, float barTime,
                                                  bool standby, double preWait) {
    const auto outcome =
        run(m_runner.get(),
            fromUtf8(scripts::loadTimeAndStart(toUtf8(uniqueID), barTime, standby, preWait)));
    if (outcome && outcome->error)
        writeErrorLine("AppleScript error from Send Load Time and Start Qlab: ", *outcome->error);
}

void AppleScriptBackend::displayQLabMessage(const QString& message, std::function<void()> closed) {
    const auto source = fromUtf8(scripts::displayMessage(toUtf8(message)));
    if (!m_runner || !m_runner->canCreate(source)) {
        if (closed)
            closed();
        return;
    }
    // The dialog waits for the operator; the caller never does.
    messageDialogPool().start([runner = m_runner, source, closed = std::move(closed)] {
        const auto outcome = runner->run(source);
        if (outcome.error)
            writeErrorLine("AppleScript error from display qlab message: ", *outcome.error);
        if (closed)
            closed();
    });
}

bool AppleScriptBackend::waitForMessageDialogs(int timeoutMilliseconds) {
    return messageDialogPool().waitForDone(timeoutMilliseconds);
}

void AppleScriptBackend::panic(const QList<QString>& uniqueIDs) {
    std::vector<std::string> ids;
    for (const QString& id : uniqueIDs)
        ids.push_back(toUtf8(id));
    run(m_runner.get(), fromUtf8(scripts::panic(ids))); // QLab's answer and errors are of no use
}

bool AppleScriptBackend::isQLabRunning() {
    return m_runner && m_runner->isApplicationRunning(qlabBundleIdentifier);
}

QLabState AppleScriptBackend::workspaceState() {
    const auto outcome = run(m_runner.get(), fromUtf8(scripts::checkStatus()));
    if (!outcome || outcome->error)
        return QLabState::runningNoWorkspace;
    const auto text = outcome->resultText();
    if (text == QStringLiteral("workspace no cue"))
        return QLabState::runningWithWorkspace;
    if (text == QStringLiteral("workspace and cue found"))
        return QLabState::runningWithCarvoCue;
    return QLabState::runningNoWorkspace;
}

std::optional<QList<CueInfo>> AppleScriptBackend::usableGroupCues() {
    const auto outcome = run(m_runner.get(), fromUtf8(scripts::validGroupCues()));
    if (!outcome)
        return std::nullopt;
    if (outcome->error)
        writeErrorLine("AppleScript error from get list of valid group cues: ", *outcome->error);
    if (!outcome->result || outcome->result->items.isEmpty())
        return std::nullopt;

    QList<CueInfo> fresh;
    if (outcome->result->isList) {
        const auto textAt = [](const ScriptDescriptor& pair, qsizetype index) {
            return index < pair.items.size() ? pair.items[index].text.value_or(QString())
                                             : QString();
        };
        for (const auto& pair : outcome->result->items)
            fresh.append({textAt(pair, 0), textAt(pair, 1)});
    }
    return fresh;
}

void AppleScriptBackend::makeScriptCue(ScriptCueKind kind) {
    const auto script =
        kind == ScriptCueKind::carvo ? scripts::resetCarvoCue() : scripts::makeChaseCue();
    const auto outcome = run(m_runner.get(), fromUtf8(script));
    if (outcome && outcome->error)
        writeErrorLine("AppleScript error from Make Carvo Cue: ", *outcome->error);
}

} // namespace carvo
