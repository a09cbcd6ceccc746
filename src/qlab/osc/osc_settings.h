#pragma once
// Which road to QLab a Carvo process takes, from the settings and the command line: AppleScript
// (beside QLab on its Mac, or the simulated QLab elsewhere) or QLab's OSC interface on a host.

#include <optional>

#include <QString>

#include "qlab/osc/osc_backend.h"
#include "qlab/osc/osc_client.h"

namespace carvo::osc {

inline constexpr char backendKey[] = "qlabBackend"; // "applescript" or "osc"
inline constexpr char hostKey[] = "qlabHost";
inline constexpr char portKey[] = "qlabPort"; // 53000 when absent
inline constexpr char passcodeKey[] = "qlabPasscode";
inline constexpr char workspaceKey[] = "qlabWorkspace";   // by name; absent: the front one
inline constexpr char mediaPathMapKey[] = "mediaPathMap"; // "FROM=TO"

struct OscRoad {
    ClientSettings client;
    MediaPathMap media;
};

// The OSC road, or none for AppleScript. url is --qlab's "osc://HOST[:PORT]" (empty: none given),
// which wins over the settings. Without "qlabBackend" the road is AppleScript on macOS, and
// elsewhere OSC once "qlabHost" is set. A url or setting that cannot be used leaves problem set.
std::optional<OscRoad> chooseRoad(const QString& url, QString* problem);

} // namespace carvo::osc
