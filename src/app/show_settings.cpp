#include "app/show_settings.h"

#include <algorithm>

#include "base/settings.h"
#include "ui/ui_bridge.h"

namespace carvo {

ShowSettings readShowSettings(const Settings& settings) {
    using ui::UiBridge;
    ShowSettings read;
    read.preRollBars = std::clamp(settings.integer(UiBridge::preRollBarsKey).value_or(0), 0,
                                  UiBridge::maxPreRollBars);
    read.oscPositionTargets = settings.text(UiBridge::oscPositionTargetsKey);
    return read;
}

} // namespace carvo
