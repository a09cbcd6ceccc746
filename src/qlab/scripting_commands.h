#pragma once
// The commands QLab's cues send to Carvo: go ("run Carvo") and chase ("chase Carvo cue ID …")
// from Script cues, and over OSC from Network cues also go to a bar and stop. One entry for every
// receiver: Apple events on macOS, D-Bus elsewhere, OSC anywhere; each turns an incoming request
// into one call here, on the main thread. Jumps go through the request queue, so a command that
// arrives while a jump waits for the operator runs after it, with what it named on arrival.

#include <functional>

#include <QString>
#include <QVariantMap>

#include "engine/clock.h"
#include "engine/request_queue.h"

namespace carvo {

class BarCounterManager;
class QLabOperations;
class Settings;

class ScriptingCommands {
public:
    // origin: where this receiver's requests come from (the bound on waiting requests is per
    // origin). stop: what "/carvo/stop" sets off.
    ScriptingCommands(RequestQueue& requests, BarCounterManager& counter, QLabOperations& qlab,
                      const Settings& settings, RequestOrigin origin,
                      std::function<void()> stop = {});

    // Jumps with the bar the operator types into QLab's dialog; always answers "Carvo!", even
    // when the jump was refused (refusals reach the operator in QLab) or never ran because a
    // newer request took its place. The answer comes once the command's own jump has ended.
    void go(std::function<void(const QString& answer)> answer);

    // Follows a group cue QLab has just fired. arguments carries the group's uniqueID as text
    // under "cueId"; the "standby" setting is read afresh for each command.
    void chase(const QVariantMap& arguments);

    // "/carvo/go BAR": QLab's selected group from that bar, without asking.
    void goToBar(qint64 bar);
    // "/carvo/stop": stops what Carvo started and every catalogued group cue.
    void stop();

    void setWallClock(WallClock clock);

private:
    RequestQueue& m_requests;
    BarCounterManager& m_counter;
    QLabOperations& m_qlab;
    const Settings& m_settings;
    RequestOrigin m_origin;
    std::function<void()> m_stop;
    WallClock m_clock;
};

} // namespace carvo
