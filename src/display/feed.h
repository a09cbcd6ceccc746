#pragma once
// The feed of the show state for stage displays: each change of the state becomes one JSON
// message (a tick, a jump, a stop, or a state change), each operator message another. The
// messages are described in docs/display.md; other programs read them too, so their keys stay.

#include <QByteArray>
#include <QList>
#include <QString>

#include "display/display_state.h"

namespace carvo::display {

class Feed {
public:
    // The messages that take a client from the state held to next (none when they are equal),
    // each stamped with the server's time nowMs (milliseconds since 1970). next is held after.
    QList<QByteArray> update(const State& next, double nowMs);

    // The whole state held, as a "state" message: what a client hears first.
    QByteArray snapshot(double nowMs) const;

    const State& state() const { return m_state; }

    // An operator message ("message").
    static QByteArray message(const QString& text, double nowMs);
    // The answer to a control page: control allowed or not, why not, and the cues it offers.
    static QByteArray control(bool allowed, const QString& reason, const QList<Cue>& cues);

private:
    State m_state;
};

} // namespace carvo::display
