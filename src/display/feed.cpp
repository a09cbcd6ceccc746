#include "display/feed.h"

#include <utility>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace carvo::display {
namespace {

bool follows(Phase phase) {
    return phase == Phase::running || phase == Phase::standby || phase == Phase::qlabNotAnswering;
}

QJsonObject position(const char* type, const State& state, double nowMs) {
    return QJsonObject{
        {QStringLiteral("type"), QLatin1String(type)},
        {QStringLiteral("bar"), static_cast<qint64>(state.bar)},
        {QStringLiteral("beat"), static_cast<qint64>(state.beat)},
        {QStringLiteral("progress"), state.progress},
        {QStringLiteral("beatsPerBar"), static_cast<qint64>(state.beatsPerBar)},
        {QStringLiteral("barStart"), state.barStartMs},
        {QStringLiteral("barLength"), state.barLengthMs},
        {QStringLiteral("serverTime"), nowMs},
    };
}

QByteArray whole(const char* type, const State& state, double nowMs) {
    QJsonObject object = position(type, state, nowMs);
    object.insert(QStringLiteral("phase"), QLatin1String(phaseText(state.phase)));
    object.insert(QStringLiteral("cueID"), state.cueID);
    object.insert(QStringLiteral("cueName"), state.cueName);
    object.insert(QStringLiteral("countInBars"), static_cast<qint64>(state.countInBars));
    object.insert(QStringLiteral("targetBar"), static_cast<qint64>(state.targetBar));
    object.insert(QStringLiteral("mark"), state.mark);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

const char* phaseText(Phase phase) {
    switch (phase) {
    case Phase::idle:
        return "idle";
    case Phase::running:
        return "running";
    case Phase::standby:
        return "standby";
    case Phase::stopped:
        return "stopped";
    case Phase::qlabNotAnswering:
        return "qlabNotAnswering";
    }
    return "idle";
}

QList<QByteArray> Feed::update(const State& next, double nowMs) {
    const State previous = std::exchange(m_state, next);
    if (next == previous)
        return {};
    // A start of the counter on another cue, or after it stood still, is a jump; the state
    // messages carry the position too, so no tick follows them.
    const bool jump =
        follows(next.phase) && (!follows(previous.phase) || next.cueID != previous.cueID);
    if (jump)
        return {whole("jump", next, nowMs)};
    if (next.phase == Phase::stopped && previous.phase != Phase::stopped)
        return {whole("stop", next, nowMs)};
    const bool sameFrame = next.phase == previous.phase && next.cueID == previous.cueID &&
                           next.cueName == previous.cueName && next.mark == previous.mark &&
                           next.countInBars == previous.countInBars &&
                           next.targetBar == previous.targetBar;
    if (!sameFrame)
        return {whole("state", next, nowMs)};
    return {QJsonDocument(position("tick", next, nowMs)).toJson(QJsonDocument::Compact)};
}

QByteArray Feed::snapshot(double nowMs) const {
    return whole("state", m_state, nowMs);
}

QByteArray Feed::message(const QString& text, double nowMs) {
    const QJsonObject object{
        {QStringLiteral("type"), QStringLiteral("message")},
        {QStringLiteral("text"), text},
        {QStringLiteral("serverTime"), nowMs},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray Feed::control(bool allowed, const QString& reason, const QList<Cue>& cues) {
    QJsonArray list;
    for (const Cue& cue : cues)
        list.append(
            QJsonObject{{QStringLiteral("id"), cue.id}, {QStringLiteral("name"), cue.name}});
    const QJsonObject object{
        {QStringLiteral("type"), QStringLiteral("control")},
        {QStringLiteral("allowed"), allowed},
        {QStringLiteral("reason"), reason},
        {QStringLiteral("cues"), allowed ? list : QJsonArray()},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace carvo::display
