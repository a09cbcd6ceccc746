#pragma once
// Where the show stands, as one value: the cue the counter follows, its position and whether it
// plays. Published once by the bar counter; the window and any other display read it from here,
// each through an adapter of its own, so none of them depends on another.

#include <cstdint>

#include <QObject>
#include <QString>

namespace carvo {

enum class ShowPhase : std::uint8_t {
    idle,             // no jump has gone through yet
    running,          // the counter follows a playing cue
    standby,          // a jump loaded the cue without starting it ("standby" setting)
    stopped,          // the counter stopped: the cue ended or was stopped
    qlabNotAnswering, // the count goes on, but QLab has not answered the last running check
};

struct ShowState {
    QString cueID;   // empty before the first jump
    QString cueName; // the catalogue's name for cueID; empty where the catalogue has none
    std::int64_t bar = 1;
    std::int64_t beat = 1;
    double progress = 0.0; // of the current bar, 0 to 1
    std::int64_t beatsPerBar = 4;
    ShowPhase phase = ShowPhase::idle;
    // A pre-roll counts bars in before the bar that was asked for: how many bars are still to
    // come before it (0 once the music is at or past it, and without a pre-roll) and that bar.
    std::int64_t countInBars = 0;
    std::int64_t targetBar = 0;
    // The latest rehearsal mark at or before the current bar; empty where the music has none.
    QString mark;

    friend bool operator==(const ShowState&, const ShowState&) = default;
};

// Holds the current show state and says when it changes, once per change whatever changed.
// Main thread only.
class ShowStatePublisher : public QObject {
    Q_OBJECT

public:
    explicit ShowStatePublisher(QObject* parent = nullptr) : QObject(parent) {}

    const ShowState& state() const { return m_state; }
    // Replaces the state; emits changed when it differs from the one held.
    void publish(const ShowState& state);

signals:
    void changed();

private:
    ShowState m_state;
};

} // namespace carvo
