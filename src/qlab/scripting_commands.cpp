#include "qlab/scripting_commands.h"

#include <string_view>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "engine/bar_counter_manager.h"
#include "engine/clock.h"
#include "engine/jump_controller.h"
#include "engine/jump_state.h"
#include "qlab/qlab_integration.h"

namespace carvo {
namespace {

// QLab has been playing the group for a moment when its chase cue fires.
constexpr double chaseLeadSeconds = 0.12;

} // namespace

void goCommand(std::function<void(const QString& answer)> answer) {
    BarCounterManager& manager = BarCounterManager::shared();
    jumpToBar(manager, QString::fromLatin1(requestSourceQLab), manager.lastBarTriggered(),
              std::nullopt, [answer = std::move(answer)] {
                  if (answer)
                      answer(QStringLiteral("Carvo!"));
              });
}

void chaseCommand(const QVariantMap& arguments) {
    const bool standby = settings::standby();
    const auto found = arguments.constFind(QStringLiteral("cueId"));
    if (found == arguments.constEnd() || found->typeId() != QMetaType::QString) {
        writeLine(std::string_view("❌ No cue ID passed from AppleScript"));
        return;
    }
    const QString cueID = found->toString();
    BarCounterManager& manager = BarCounterManager::shared();

    if (!QLabIntegration::isCueElapsedOverOneSecond(cueID)) {
        // Committed with the rest of the jump state, only if the chase goes through.
        const double startTime = wallClockNow() - chaseLeadSeconds;
        QLabIntegration::shared().setUniqueID(cueID);
        jumpToBar(manager, QString::fromLatin1(requestSourceChase), manager.lastBarTriggered(),
                  startTime);
        return;
    }
    if (!standby)
        return;
    // The operator started the loaded group by hand: follow it from now on.
    jumpState().jumpStartTime = wallClockNow();
    QLabIntegration::shared().setUniqueID(cueID);
    manager.startBarCounter(cueID);
}

} // namespace carvo
