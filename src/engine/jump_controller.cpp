#include "engine/jump_controller.h"

#include <deque>
#include <filesystem>
#include <string>
#include <variant>

#include "app/broadcast.h"
#include "base/diagnostics.h"
#include "engine/bar_counter_manager.h"
#include "engine/beat_progress_model.h"
#include "engine/clock.h"
#include "engine/jump_answer.h"
#include "engine/jump_state.h"
#include "engine/tempo_map.h"
#include "qlab/qlab_integration.h"

namespace carvo {
namespace {

// What a taken answer would make the jump state; committed only when the jump goes through,
// so a refused request leaves a counter that follows the music undisturbed.
struct Candidate {
    QString cueID;
    std::int64_t firstBarNumber = 0;
    std::optional<BarIndex> barIndex; // none when bar − offset + 1 overflows
    BarTables tables;
};

std::optional<BarIndex> barIndexOf(BarNumber bar, BarNumber offset) {
    BarIndex index = 0;
    if (__builtin_sub_overflow(bar, offset, &index) || __builtin_add_overflow(index, 1, &index))
        return std::nullopt;
    return index;
}

void writeDiagnostic(std::string_view line) {
    writeLine(line);
}

Candidate takeAnswer(BarCounterManager& manager, const JumpAnswer& answer) {
    Candidate candidate;
    BarNumber barNumber = 0;
    std::visit(
        [&](const auto& form) {
            candidate.cueID = QString::fromStdString(form.uniqueID);
            candidate.firstBarNumber = form.offset;
            barNumber = form.barNumber;
        },
        answer);
    candidate.barIndex = barIndexOf(barNumber, candidate.firstBarNumber);
    // The selected cue and the dialog's default answer follow every taken answer.
    QLabIntegration::shared().setUniqueID(candidate.cueID);
    manager.setLastBarTriggered(barNumber);

    if (const auto* memo = std::get_if<MemoAnswer>(&answer)) {
        candidate.tables = makeFixedTempoMap(memo->numerator, memo->denominator, memo->tempo);
    } else {
        const auto& midi = std::get<MidiAnswer>(answer);
        // A relative path reads from the working folder, as a file URL made from it would.
        std::error_code error;
        std::filesystem::path file = std::filesystem::absolute(midi.filePath, error);
        if (error)
            file = midi.filePath;
        candidate.tables = loadTempoMap(file, writeDiagnostic);
    }
    return candidate;
}

bool inRange(const Candidate& candidate) {
    // Index 0 is the tables' placeholder, not a bar of the score.
    return candidate.barIndex && *candidate.barIndex >= 1 &&
           static_cast<std::size_t>(*candidate.barIndex) < candidate.tables.barStartTimes.size() &&
           static_cast<std::size_t>(*candidate.barIndex) < candidate.tables.barBeatCounts.size();
}

struct PendingJump {
    BarCounterManager* manager;
    QString requestSource;
    qint64 bar;
    std::optional<double> chaseStartTime;
    std::function<void()> whenDone;
};

// QLab's bar dialog may wait in a nested event loop (the window's own dialog), where a remote or
// D-Bus request can arrive in the middle of a jump. Such requests wait their turn, as they would
// behind a main thread held by the dialog, and run one by one after the jump in progress.
bool jumpInProgress = false;
std::deque<PendingJump> pendingJumps;

void runNextPendingJump() {
    if (jumpInProgress || pendingJumps.empty())
        return;
    PendingJump next = std::move(pendingJumps.front());
    pendingJumps.pop_front();
    jumpToBar(*next.manager, next.requestSource, next.bar, next.chaseStartTime,
              std::move(next.whenDone));
}

void runJump(BarCounterManager& manager, const QString& requestSource, qint64 bar,
             std::optional<double> chaseStartTime);

} // namespace

void jumpToBar(BarCounterManager& manager, const QString& requestSource, qint64 bar,
               std::optional<double> chaseStartTime, std::function<void()> whenDone) {
    if (jumpInProgress) {
        pendingJumps.push_back({&manager, requestSource, bar, chaseStartTime, std::move(whenDone)});
        return;
    }
    jumpInProgress = true;
    runJump(manager, requestSource, bar, chaseStartTime);
    jumpInProgress = false;
    if (whenDone)
        whenDone();
    if (!pendingJumps.empty())
        QMetaObject::invokeMethod(&manager, &runNextPendingJump, Qt::QueuedConnection);
}

namespace {

void runJump(BarCounterManager& manager, const QString& requestSource, qint64 bar,
             std::optional<double> chaseStartTime) {
    const QString answerText = QLabIntegration::getFilesAndStartBar(
        manager.lastBarTriggered(), requestSource, bar, QLabIntegration::shared().uniqueID());

    // An answer that is not taken ends the jump here; it never acts on an earlier request's cue.
    const auto answer = parseJumpAnswer(answerText.toStdString());
    if (!answer) {
        writeLine(std::string_view("no valid message from qlab"));
        return;
    }
    Candidate candidate = takeAnswer(manager, *answer);

    const bool chase = requestSource == QLatin1String(requestSourceChase);
    if (QLabIntegration::isCueRunning(candidate.cueID) && !chase &&
        QLabIntegration::isCueElapsedOverOneSecond(candidate.cueID)) {
        QLabIntegration::displayQLabMessage(
            QStringLiteral("The cue is already running. Please stop the cue and try again"));
        return;
    }

    if (!inRange(candidate)) {
        writeLine(std::string_view("Bar number out of range"));
        QLabIntegration::displayQLabMessage(QStringLiteral("The bar number is out of range"));
        return;
    }

    JumpState& state = jumpState();
    state.currentCueID = candidate.cueID;
    state.firstBarNumber = candidate.firstBarNumber;
    state.currentBarIndex = *candidate.barIndex;
    state.barStartTimes = std::move(candidate.tables.barStartTimes);
    state.barBeatCounts = std::move(candidate.tables.barBeatCounts);
    const auto index = static_cast<std::size_t>(state.currentBarIndex);

    if (!chase) {
        QLabIntegration::sendLoadTimeAndStartQLab(state.currentCueID, state.barStartTimes[index]);
        state.jumpStartTime = wallClockNow();
    } else if (chaseStartTime) {
        state.jumpStartTime = *chaseStartTime;
    }
    state.jumpBarTime = state.barStartTimes[index];

    writeLine(state.currentCueID);
    broadcast(QStringLiteral("QLAB_SELECTED: ") + state.currentCueID);

    const std::int64_t beats = state.barBeatCounts[index];
    manager.progressModel().setBeatsPerBar(beats);
    broadcast(QStringLiteral("BPB: ") + QString::number(beats));

    manager.startBarCounter(state.currentCueID);
}

} // namespace
} // namespace carvo
