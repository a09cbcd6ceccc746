#include "display/display_settings.h"

#include "base/settings.h"

namespace carvo::display {

DisplaySettings readDisplaySettings(const Settings& settings) {
    DisplaySettings read;
    const std::optional<int> port = settings.integer(displayPortKey);
    if (port && *port >= 0 && *port <= 65535)
        read.port = static_cast<quint16>(*port);
    read.pin = settings.text(displayPINKey);
    return read;
}

} // namespace carvo::display
