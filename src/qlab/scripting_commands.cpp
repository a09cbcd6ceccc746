#include "qlab/scripting_commands.h"

#include <string_view>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "engine/bar_counter_manager.h"
#include "engine/qlab_operations.h"

namespace carvo {
namespace {

// QLab has been playing the group for a moment when its chase cue fires.
constexpr double chaseLeadSeconds = 0.12;

} // namespace

ScriptingCommands::ScriptingCommands(RequestQueue& requests, BarCounterManager& counter,
                                     QLabOperations& qlab, const Settings& settings,
                                     RequestOrigin origin, std::function<void()> stop)
    : m_requests(requests), m_counter(counter), m_qlab(qlab), m_settings(settings),
      m_origin(origin), m_stop(std::move(stop)), m_clock(systemWallClock) {}

void ScriptingCommands::setWallClock(WallClock clock) {
    m_clock = clock ? std::move(clock) : WallClock(systemWallClock);
}

void ScriptingCommands::go(std::function<void(const QString& answer)> answer) {
    JumpController::Options options;
    options.whenDone = [answer = std::move(answer)] {
        if (answer)
            answer(QStringLiteral("Carvo!"));
    };
    m_requests.jump(m_origin, RequestSource::qlab, m_counter.lastBarTriggered(),
                    std::move(options));
}

void ScriptingCommands::chase(const QVariantMap& arguments) {
    const bool standby = m_settings.standby();
    const auto found = arguments.constFind(QStringLiteral("cueId"));
    if (found == arguments.constEnd() || found->typeId() != QMetaType::QString) {
        writeLine(std::string_view("❌ No cue ID passed from AppleScript"));
        return;
    }
    const QString cueID = found->toString();

    // Asked now, while the moment QLab fired the group is now: a chase that waits its turn
    // behind a jump in progress keeps this answer and this start time.
    if (!m_qlab.isCueElapsedOverOneSecond(cueID)) {
        JumpController::Options options;
        options.chaseStartTime = m_clock() - chaseLeadSeconds;
        options.cueID = cueID;
        m_requests.jump(m_origin, RequestSource::chase, m_counter.lastBarTriggered(),
                        std::move(options));
        return;
    }
    if (!standby)
        return;
    // The operator started the loaded group by hand: follow it from now on.
    const double startedAt = m_clock();
    m_requests.follow(m_origin, cueID, [this, cueID, startedAt] {
        FollowedMusic music = m_counter.followed();
        music.jumpStartTime = startedAt;
        m_qlab.setUniqueID(cueID);
        m_counter.startBarCounter(cueID, std::move(music));
    });
}

void ScriptingCommands::goToBar(qint64 bar) {
    m_requests.jump(m_origin, RequestSource::selectedAtBar, bar);
}

void ScriptingCommands::stop() {
    if (m_stop)
        m_stop();
}

} // namespace carvo
