#pragma once
// The one operation through which every request to start the music at a bar runs.

#include <functional>
#include <optional>

#include <QString>

namespace carvo {

class BarCounterManager;

inline constexpr char requestSourceQLab[] = "QLab";
inline constexpr char requestSourceRemote[] = "Remote";
inline constexpr char requestSourceChase[] = "Chase";

// Asks QLab for the group cue and bar, builds the bar tables, refuses a playing cue or a missing
// bar, loads and starts the cue (not for a chase), tells remote clients and starts the counter.
// Main thread only; blocks for as long as QLab takes to answer.
//
// A chase names the moment QLab started the group (chaseStartTime); like the rest of the jump
// state it is committed only when the jump goes through. A request that arrives while another
// jump waits for QLab runs after it; whenDone runs once the request's own jump has ended,
// whatever its outcome.
void jumpToBar(BarCounterManager& manager, const QString& requestSource, qint64 bar,
               std::optional<double> chaseStartTime = std::nullopt,
               std::function<void()> whenDone = {});

} // namespace carvo
