#include "display/display_settings.h"

#include "base/settings.h"

namespace carvo::display {

DisplaySettings readDisplaySettings() {
    DisplaySettings read;
    bool ok = false;
    const int port = settings::text(displayPortKey).trimmed().toInt(&ok);
    if (ok && port >= 0 && port <= 65535)
        read.port = static_cast<quint16>(port);
    read.pin = settings::text(displayPinKey);
    return read;
}

} // namespace carvo::display
