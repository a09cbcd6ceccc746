#include "app/show_settings.h"

#include <algorithm>

#include "base/settings.h"
#include "ui/ui_bridge.h"

namespace carvo {

ShowSettings readShowSettings(const Settings& settings) {
    using ui::UIBridge;
    ShowSettings read;
    read.preRollBars = std::clamp(settings.integer(UIBridge::preRollBarsKey).value_or(0), 0,
                                  UIBridge::maxPreRollBars);
    read.oscPositionTargets = settings.text(UIBridge::oscPositionTargetsKey);
    return read;
}

} // namespace carvo
