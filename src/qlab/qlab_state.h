#pragma once
// QLab's state as Carvo sees it, and the catalogue entry of one usable group cue.

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>

namespace carvo {

enum class QLabState {
    notRunning,
    runningNoWorkspace,
    runningWithWorkspace,
    runningWithCarvoCue,
    waitingToCheck,
};

// The display text of each state; parsing accepts exactly these texts and nothing else.
QString qlabStateText(QLabState state);
std::optional<QLabState> qlabStateFromText(const QString& text);

// One usable group cue: its QLab uniqueID and its name.
struct CueInfo {
    QString id;
    QString name;
    friend bool operator==(const CueInfo&, const CueInfo&) = default;
};

// A JSON array of objects with exactly the keys "id" and "name", compact UTF-8.
QByteArray encodeCueInfos(const QList<CueInfo>& cueInfos);
// None unless the text is such an array whose entries carry both keys as strings.
std::optional<QList<CueInfo>> decodeCueInfos(const QByteArray& json);

} // namespace carvo
