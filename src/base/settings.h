#pragma once
// The four settings, the only persisted state of Carvo. Each is read fresh from the store at the
// moment a caller asks, and written the moment the operator changes it.

#include <optional>

#include <QString>

namespace carvo::settings {

inline constexpr char floatingKey[] = "floating";
inline constexpr char standbyKey[] = "standby";
inline constexpr char preWaitKey[] = "preWait";
inline constexpr char storedInterfaceNameKey[] = "storedInterfaceName";

bool floating();                              // false when absent
bool standby();                               // false when absent
double preWait();                             // 0 when absent
std::optional<QString> storedInterfaceName(); // none when absent

void setFloating(bool value);
void setStandby(bool value);
void setPreWait(double value);
void setStoredInterfaceName(const QString& value);
void remove(const char* key);

// Keeps the store in folder (for tests and the simulated demo), never the user's own settings.
void useFolder(const QString& folder);

} // namespace carvo::settings
