#pragma once
// Which road to QLab a Carvo process takes, from the settings and the command line: AppleScript
// (beside QLab on its Mac, or the simulated QLab elsewhere) or QLab's OSC interface on a host.

#include <optional>

#include <QString>

#include "base/settings.h"
#include "qlab/osc/osc_backend.h"
#include "qlab/osc/osc_client.h"

namespace carvo::osc {

inline constexpr const char* backendKey = settings::qlabBackendKey; // "applescript" or "osc"
inline constexpr const char* hostKey = settings::qlabHostKey;
inline constexpr const char* portKey = settings::qlabPortKey;
inline constexpr const char* passcodeKey = settings::qlabPasscodeKey;
inline constexpr const char* workspaceKey = settings::qlabWorkspaceKey;
inline constexpr const char* mediaPathMapKey = settings::mediaPathMapKey;
// QLab's duplicate-message window in milliseconds, as set in QLab (0: its filter is off); 250
// when absent.
inline constexpr const char* duplicateWindowKey = "qlabDuplicateWindowMs";

struct OscRoad {
    ClientSettings client;
    MediaPathMap media;
};

// The OSC road, or none for AppleScript. url is --qlab's "osc://HOST[:PORT]" (empty: none given),
// which wins over the settings. Without "qlabBackend" the road is AppleScript on macOS, and
// elsewhere OSC once "qlabHost" is set. A url or setting that cannot be used leaves problem set.
std::optional<OscRoad> chooseRoad(const QString& url, QString* problem);

} // namespace carvo::osc
