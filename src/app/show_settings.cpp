#include "app/show_settings.h"

#include <algorithm>

#include "base/settings.h"
#include "engine/jump_controller.h"

namespace carvo {

ShowSettings readShowSettings() {
    ShowSettings read;
    bool ok = false;
    const int bars = settings::text(settings::preRollBarsKey).trimmed().toInt(&ok);
    read.preRollBars = ok ? std::clamp(bars, 0, JumpController::maxPreRollBars) : 0;
    read.oscPositionTargets = settings::text(settings::oscPositionTargetsKey);
    return read;
}

} // namespace carvo
