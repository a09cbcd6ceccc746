#pragma once
// Which road to QLab a Carvo process takes, from the settings and the command line: AppleScript
// (beside QLab on its Mac, or the simulated QLab elsewhere) or QLab's OSC interface on a host.

#include <optional>

#include <QString>

#include "base/settings.h"
#include "qlab/osc/osc_backend.h"
#include "qlab/osc/osc_client.h"

namespace carvo::osc {

// The road's settings, read at start-up.
inline constexpr char backendKey[] = "qlabBackend"; // "applescript" or "osc"
inline constexpr char hostKey[] = "qlabHost";
inline constexpr char portKey[] = "qlabPort"; // 53000 when absent
inline constexpr char passcodeKey[] = "qlabPasscode";
inline constexpr char workspaceKey[] = "qlabWorkspace";   // by name; absent: the front one
inline constexpr char mediaPathMapKey[] = "mediaPathMap"; // "FROM=TO"
// QLab's duplicate-message window in milliseconds, as set in QLab (0: its filter is off); 250
// when absent.
inline constexpr char duplicateWindowKey[] = "qlabDuplicateWindowMs";

// Where QLab's Network cues send Carvo's OSC commands: the port (0: not listened on). The default
// port is none of QLab's own (OSC on 53000, plain text on UDP 53535), which are taken when Carvo
// runs beside QLab.
inline constexpr char commandPortKey[] = "oscCommandPort";
inline constexpr quint16 defaultCommandPort = 53536;

// The settings the settings sheet's QLab rows may touch, and no other.
inline constexpr const char* sheetKeys[] = {hostKey, portKey, passcodeKey, mediaPathMapKey};

QString qlabHost(const Settings& settings);    // empty when absent: QLab runs on this machine
quint16 commandPort(const Settings& settings); // the default when absent or not a port number

struct OSCRoad {
    ClientSettings client;
    MediaPathMap media;
};

// The OSC road, or none for AppleScript. url is --qlab's "osc://HOST[:PORT]" (empty: none given),
// which wins over the settings. Without "qlabBackend" the road is AppleScript on macOS, and
// elsewhere OSC once "qlabHost" is set. A url or setting that cannot be used leaves problem set.
std::optional<OSCRoad> chooseRoad(const Settings& settings, const QString& url, QString* problem);

} // namespace carvo::osc
