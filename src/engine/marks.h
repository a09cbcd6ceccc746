#pragma once
// Rehearsal marks asked for by name, wherever a bar can be asked for.

#include <cstdint>
#include <vector>

#include <QList>
#include <QString>

#include "engine/tempo_map.h"

namespace carvo {

// The mark a request names: the first of exactly that name, else the first that matches it
// ignoring case; none when no mark matches.
const Mark* findMark(const std::vector<Mark>& marks, const QString& name);

// The refusal of a name that no mark of the music has.
QString noMarkMessage(const QString& name);

// A mark with the bar number the score gives it.
struct NumberedMark {
    std::int64_t bar = 0;
    QString name;
    bool operator==(const NumberedMark&) const = default;
};

// The marks of music whose first bar has the number firstBarNumber.
QList<NumberedMark> numberedMarks(const std::vector<Mark>& marks, std::int64_t firstBarNumber);

// The latest mark at or before the bar of index barIndex; empty when none.
QString markAtOrBefore(const std::vector<Mark>& marks, std::int64_t barIndex);

} // namespace carvo
