#pragma once
// The commands QLab's cues send to Carvo: go ("run Carvo") and chase ("chase Carvo cue ID …")
// from Script cues, and over OSC from Network cues also go to a bar and stop. One entry for every
// receiver: Apple events on macOS, D-Bus elsewhere, OSC anywhere; each turns an incoming request
// into one call here, on the main thread.

#include <functional>

#include <QString>
#include <QVariantMap>

#include "engine/clock.h"

namespace carvo {

class BarCounterManager;
class JumpController;
class QLabOperations;

class ScriptingCommands {
public:
    ScriptingCommands(JumpController& jumps, BarCounterManager& counter, QLabOperations& qlab,
                      std::function<void()> panicGroupCues = {});

    // Jumps with the bar the operator types into QLab's dialog; always answers "Carvo!", even
    // when the jump was refused (refusals reach the operator in QLab). The answer comes once the
    // command's own jump has run: at once, or later when it waited behind a jump in progress.
    void go(std::function<void(const QString& answer)> answer);

    // Follows a group cue QLab has just fired. arguments carries the group's uniqueID as text
    // under "cueId"; the "standby" setting is read afresh for each command.
    void chase(const QVariantMap& arguments);

    // "/carvo/go BAR": QLab's selected group from that bar, without asking.
    void goToBar(qint64 bar);
    // "/carvo/stop": panics every catalogued group cue, as a remote client's stop does.
    void stop();

    void setWallClock(WallClock clock);

private:
    JumpController& m_jumps;
    BarCounterManager& m_counter;
    QLabOperations& m_qlab;
    std::function<void()> m_panicGroupCues;
    WallClock m_clock;
};

} // namespace carvo
