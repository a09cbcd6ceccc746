#pragma once
// The stage display's settings: its port and the control page's PIN, read at start-up.

#include <QString>

namespace carvo {
class Settings;
}

namespace carvo::display {

inline constexpr char displayPortKey[] = "displayPort"; // 0 turns the display off
inline constexpr char displayPINKey[] = "displayPin";   // empty: no control page
inline constexpr quint16 defaultDisplayPort = 54380;

struct DisplaySettings {
    quint16 port = defaultDisplayPort;
    QString pin;
};

// The stored values; the default port where none is stored or it is not 0 to 65535.
DisplaySettings readDisplaySettings(const Settings& settings);

} // namespace carvo::display
