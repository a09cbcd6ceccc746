#include "qlab/scripting_commands.h"

#include <string_view>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "engine/bar_counter_manager.h"
#include "engine/jump_controller.h"
#include "engine/qlab_operations.h"

namespace carvo {
namespace {

// QLab has been playing the group for a moment when its chase cue fires.
constexpr double chaseLeadSeconds = 0.12;

} // namespace

ScriptingCommands::ScriptingCommands(JumpController& jumps, BarCounterManager& counter,
                                     QLabOperations& qlab, std::function<void()> panicGroupCues)
    : m_jumps(jumps), m_counter(counter), m_qlab(qlab), m_panicGroupCues(std::move(panicGroupCues)),
      m_clock(systemWallClock) {}

void ScriptingCommands::setWallClock(WallClock clock) {
    m_clock = clock ? std::move(clock) : WallClock(systemWallClock);
}

void ScriptingCommands::go(std::function<void(const QString& answer)> answer) {
    JumpController::Options options;
    options.whenDone = [answer = std::move(answer)] {
        if (answer)
            answer(QStringLiteral("Carvo!"));
    };
    m_jumps.jumpToBar(RequestSource::qlab, m_counter.lastBarTriggered(), std::move(options));
}

void ScriptingCommands::chase(const QVariantMap& arguments) {
    const bool standby = settings::standby();
    const auto found = arguments.constFind(QStringLiteral("cueId"));
    if (found == arguments.constEnd() || found->typeId() != QMetaType::QString) {
        writeLine(std::string_view("❌ No cue ID passed from AppleScript"));
        return;
    }
    const QString cueID = found->toString();

    if (!m_qlab.isCueElapsedOverOneSecond(cueID)) {
        m_qlab.setUniqueID(cueID);
        JumpController::Options options;
        options.chaseStartTime = m_clock() - chaseLeadSeconds;
        m_jumps.jumpToBar(RequestSource::chase, m_counter.lastBarTriggered(), std::move(options));
        return;
    }
    if (!standby)
        return;
    // The operator started the loaded group by hand: follow it from now on.
    FollowedMusic music = m_counter.followed();
    music.jumpStartTime = m_clock();
    m_qlab.setUniqueID(cueID);
    m_counter.startBarCounter(cueID, std::move(music));
}

void ScriptingCommands::goToBar(qint64 bar) {
    m_jumps.jumpToBar(RequestSource::selectedAtBar, bar);
}

void ScriptingCommands::stop() {
    if (m_panicGroupCues)
        m_panicGroupCues();
}

} // namespace carvo
