#include "engine/jump_controller.h"

#include <filesystem>
#include <string>
#include <variant>

#include "base/broadcaster.h"
#include "base/diagnostics.h"
#include "base/quit_signals.h"
#include "base/text.h"
#include "engine/bar_counter_manager.h"
#include "engine/beat_progress_model.h"
#include "engine/jump_answer.h"
#include "engine/qlab_operations.h"
#include "engine/tempo_map.h"

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

BarTables tablesOf(const JumpAnswer& answer) {
    if (const auto* memo = std::get_if<MemoAnswer>(&answer))
        return makeFixedTempoMap(memo->numerator, memo->denominator, memo->tempo);
    const auto& midi = std::get<MIDIAnswer>(answer);
    // A relative path reads from the working folder, as a file URL made from it would.
    std::error_code error;
    std::filesystem::path file = std::filesystem::absolute(midi.filePath, error);
    if (error)
        file = midi.filePath;
    return loadTempoMap(file);
}

bool inRange(const Candidate& candidate) {
    // Index 0 is the tables' placeholder, not a bar of the score.
    const auto& tables = candidate.tables;
    return candidate.barIndex && *candidate.barIndex >= 1 &&
           static_cast<std::size_t>(*candidate.barIndex) < tables.barStartTimes.size() &&
           static_cast<std::size_t>(*candidate.barIndex) < tables.barBeatCounts.size();
}

} // namespace

JumpController::JumpController(BarCounterManager& counter, QLabOperations& qlab,
                               Broadcaster& broadcaster, QObject* parent)
    : QObject(parent), m_counter(counter), m_qlab(qlab), m_broadcaster(broadcaster),
      m_clock(systemWallClock) {}

JumpController::~JumpController() = default;

void JumpController::setWallClock(WallClock clock) {
    m_clock = clock ? std::move(clock) : WallClock(systemWallClock);
}

JumpState JumpController::state() const {
    return {m_currentCueID, m_counter.followed()};
}

void JumpController::jumpToBar(RequestSource source, qint64 bar, const Options& options) {
    run(source, bar, options);
    if (options.whenDone)
        options.whenDone();
}

void JumpController::run(RequestSource source, qint64 bar, const Options& options) {
    if (options.cueID)
        m_qlab.setUniqueID(*options.cueID);
    const FilesAnswer files =
        m_qlab.getFilesAndStartBar(m_counter.lastBarTriggered(), source, bar, m_qlab.uniqueID());

    // An answer that is not taken ends the jump here; it never acts on an earlier request's cue.
    const std::string text = files.failure ? std::string() : toUtf8(files.text);
    const auto answer = files.failure ? std::nullopt : parseJumpAnswer(text);
    if (!answer) {
        writeLine(std::string_view("no valid message from qlab"));
        return;
    }

    Candidate candidate;
    BarNumber barNumber = 0;
    std::visit(
        [&](const auto& form) {
            candidate.cueID = fromUtf8(form.uniqueID);
            candidate.firstBarNumber = form.offset;
            barNumber = form.barNumber;
        },
        *answer);
    candidate.barIndex = barIndexOf(barNumber, candidate.firstBarNumber);
    // The addressed cue and the dialog's default answer follow every taken answer.
    m_qlab.setUniqueID(candidate.cueID);
    m_counter.setLastBarTriggered(barNumber);
    candidate.tables = tablesOf(*answer);

    const bool chase = source == RequestSource::chase;
    if (m_qlab.isCueRunning(candidate.cueID) && !chase &&
        m_qlab.isCueElapsedOverOneSecond(candidate.cueID)) {
        m_qlab.displayQLabMessage(
            QStringLiteral("The cue is already running. Please stop the cue and try again"));
        return;
    }
    if (!inRange(candidate)) {
        writeLine(std::string_view("Bar number out of range"));
        m_qlab.displayQLabMessage(QStringLiteral("The bar number is out of range"));
        return;
    }

    // The process is ending (a signal came while QLab was answering): nothing more goes to QLab.
    if (quitRequested()) {
        writeLine(std::string_view("Jump dropped: Carvo is quitting"));
        return;
    }

    FollowedMusic music;
    music.firstBarNumber = candidate.firstBarNumber;
    music.currentBarIndex = *candidate.barIndex;
    const auto index = static_cast<std::size_t>(music.currentBarIndex);
    const float barTime = candidate.tables.barStartTimes[index];
    const std::int64_t beats = candidate.tables.barBeatCounts[index];
    music.tables = std::make_shared<const BarTables>(std::move(candidate.tables));
    m_currentCueID = candidate.cueID;

    if (!chase) {
        m_qlab.sendLoadTimeAndStartQLab(m_currentCueID, barTime);
        music.jumpStartTime = m_clock();
    } else {
        music.jumpStartTime = options.chaseStartTime.value_or(m_counter.followed().jumpStartTime);
    }
    music.jumpBarTime = barTime;

    writeLine(m_currentCueID);
    m_broadcaster.broadcast(QStringLiteral("QLAB_SELECTED: ") + m_currentCueID);

    m_counter.progressModel().setBeatsPerBar(beats);
    m_broadcaster.broadcast(QStringLiteral("BPB: ") + QString::number(beats));

    const bool loadedOnly = !chase && m_standby && m_standby();
    m_counter.startBarCounter(m_currentCueID, std::move(music),
                              loadedOnly ? BarCounterManager::CueStart::loadedOnly
                                         : BarCounterManager::CueStart::playing);
}

} // namespace carvo
