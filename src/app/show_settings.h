#pragma once
// The settings of the pre-roll and of the position for lighting desks, read in one place.

#include <QString>

namespace carvo {

class Settings;

struct ShowSettings {
    int preRollBars = 0;        // 0 to 4; anything else in the store reads as the nearest
    QString oscPositionTargets; // "host:port" entries; empty: the position goes nowhere
};

ShowSettings readShowSettings(const Settings& settings);

} // namespace carvo
