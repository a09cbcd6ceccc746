#pragma once
// The two commands QLab's Script cues send to Carvo: go ("run Carvo") and chase ("chase Carvo
// cue ID …"). Plain operations on the main thread; a receiver (Apple events on macOS, D-Bus
// elsewhere) turns each incoming request into one call.

#include <functional>

#include <QString>
#include <QVariantMap>

namespace carvo {

// Jumps with the bar the operator types into QLab's dialog; always answers "Carvo!", even when
// the jump was refused (refusals reach the operator in QLab). The answer comes once the
// command's own jump has run: at once, or later when it waited behind a jump in progress.
void goCommand(std::function<void(const QString& answer)> answer);

// Follows a group cue QLab has just fired. arguments carries the group's uniqueID as text under
// "cueId"; the "standby" setting is read afresh for each command.
void chaseCommand(const QVariantMap& arguments);

} // namespace carvo
