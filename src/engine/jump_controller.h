#pragma once
// The one operation through which every request to start the music at a bar runs, and the jump
// state it leaves behind.

#include <functional>
#include <optional>

#include <QObject>
#include <QString>

#include "engine/clock.h"
#include "engine/followed_music.h"
#include "engine/request_source.h"

namespace carvo {

class BarCounterManager;
class Broadcaster;
class QLabOperations;

// The state of the last jump that went through: its cue and the music the counter follows
// (with the bar the counter has reached since).
struct JumpState {
    QString currentCueID;
    FollowedMusic music;
};

class JumpController : public QObject {
    Q_OBJECT

public:
    struct Options {
        // For a chase: the moment QLab started the group. Like the rest of the jump state it is
        // committed only when the jump goes through.
        std::optional<double> chaseStartTime;
        // For remote and chase requests: the cue the request addressed when it arrived. It
        // becomes the addressed cue as the jump begins, as the selection before it would have.
        std::optional<QString> cueID;
        // Runs once the request's own jump has ended, whatever its outcome.
        std::function<void()> whenDone;
        // A jump to the bar of this rehearsal mark instead of a bar; the bar passed along is only
        // what QLab is asked with.
        std::optional<QString> mark;
    };

    // Main thread only. The counter is started by every jump that goes through.
    JumpController(BarCounterManager& counter, QLabOperations& qlab, Broadcaster& broadcaster,
                   QObject* parent = nullptr);
    ~JumpController() override;

    // Asks QLab for the group cue and bar, builds the bar tables, refuses a playing cue or a
    // missing bar, loads and starts the cue (not for a chase), tells remote clients and starts
    // the counter. Blocks for as long as QLab takes to answer. bar is the one a remote client
    // asked for; the other sources pass the counter's lastBarTriggered. Requests from outside
    // come through the RequestQueue, which never calls this while a jump runs.
    void jumpToBar(RequestSource source, qint64 bar, const Options& options = {});

    QString currentCueID() const { return m_currentCueID; }
    JumpState state() const;

    void setWallClock(WallClock clock);
    // Whether a jump only loads its cue ("standby"), asked at each jump; never by default.
    void setStandby(std::function<bool()> standby) { m_standby = std::move(standby); }
    // How many bars a jump counts in before the bar asked for, asked at each jump; none by
    // default. Values outside 0 to maxPreRollBars are held to that range.
    void setPreRollBars(std::function<int()> bars) { m_preRollBars = std::move(bars); }
    static constexpr int maxPreRollBars = 4;

private:
    void run(RequestSource source, qint64 bar, const Options& options);

    BarCounterManager& m_counter;
    QLabOperations& m_qlab;
    Broadcaster& m_broadcaster;
    WallClock m_clock;
    QString m_currentCueID;
    std::function<bool()> m_standby;
    std::function<int()> m_preRollBars;
};

} // namespace carvo
