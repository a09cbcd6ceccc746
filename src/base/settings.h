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

// Where QLab's Network cues send Carvo's OSC commands: the port (0: not listened on) and QLab's
// machine, whose messages are taken besides this machine's. The default port is none of QLab's
// own (OSC on 53000, plain text on UDP 53535), which are taken when Carvo runs beside QLab.
inline constexpr char oscCommandPortKey[] = "oscCommandPort";
inline constexpr quint16 defaultOscCommandPort = 53536;

quint16 oscCommandPort(); // defaultOscCommandPort when absent or not a port number
QString qlabHost();       // empty when absent: QLab runs on this machine

// How many remote clients the server keeps at once; a newcomer beyond them is closed at once.
inline constexpr char maxRemoteClientsKey[] = "maxRemoteClients";
inline constexpr int defaultMaxRemoteClients = 256;

int maxRemoteClients(); // defaultMaxRemoteClients when absent or not a number of 1 or more
void setMaxRemoteClients(int value);

// Bars a jump counts in before the bar asked for: 0 (none, when absent) to 4.
inline constexpr char preRollBarsKey[] = "preRollBars";
// Where the musical position goes as OSC over UDP: "host:port" entries, none when absent.
inline constexpr char oscPositionTargetsKey[] = "oscPositionTargets";

// Keeps the store in folder (for tests and the simulated demo), never the user's own settings.
void useFolder(const QString& folder);

} // namespace carvo::settings
