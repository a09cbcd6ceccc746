#pragma once
// The settings, the only persisted state of Carvo. Each is read fresh from the store at the
// moment a caller asks, and written the moment the operator changes it.

#include <optional>

#include <QString>

namespace carvo::settings {

inline constexpr char floatingKey[] = "floating";
inline constexpr char standbyKey[] = "standby";
inline constexpr char preWaitKey[] = "preWait";
inline constexpr char storedInterfaceNameKey[] = "storedInterfaceName";
// The road to QLab over its OSC interface, read at start-up.
inline constexpr char qlabBackendKey[] = "qlabBackend"; // "applescript" or "osc"
inline constexpr char qlabHostKey[] = "qlabHost";
inline constexpr char qlabPortKey[] = "qlabPort"; // 53000 when absent
inline constexpr char qlabPasscodeKey[] = "qlabPasscode";
inline constexpr char qlabWorkspaceKey[] = "qlabWorkspace"; // by name; absent: the front one
inline constexpr char mediaPathMapKey[] = "mediaPathMap";   // "FROM=TO"

bool floating();                              // false when absent
bool standby();                               // false when absent
double preWait();                             // 0 when absent
std::optional<QString> storedInterfaceName(); // none when absent

void setFloating(bool value);
void setStandby(bool value);
void setPreWait(double value);
void setStoredInterfaceName(const QString& value);
void remove(const char* key);

// A setting kept as text: empty when absent; setting it empty removes it.
QString text(const char* key);
void setText(const char* key, const QString& value);

// Keeps the store in folder (for tests and the simulated demo), never the user's own settings.
void useFolder(const QString& folder);

} // namespace carvo::settings
