#include "qlab/qlab_state.h"

#include <array>
#include <utility>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace carvo {
namespace {

constexpr std::array<std::pair<QLabState, const char*>, 5> stateTexts{{
    {QLabState::notRunning, "QLab is not running"},
    {QLabState::runningNoWorkspace, "QLab is running (no workspace open)"},
    {QLabState::runningWithWorkspace, "QLab is running (workspace found but no Carvo cue)"},
    {QLabState::runningWithCarvoCue, "QLab is running (Carvo cue found)"},
    {QLabState::waitingToCheck, "Click above to check the connection with QLab"},
}};

} // namespace

QString qlabStateText(QLabState state) {
    for (const auto& [candidate, text] : stateTexts)
        if (candidate == state)
            return QString::fromUtf8(text);
    return {};
}

std::optional<QLabState> qlabStateFromText(const QString& text) {
    for (const auto& [state, candidate] : stateTexts)
        if (text == QLatin1String(candidate))
            return state;
    return std::nullopt;
}

QByteArray encodeCueInfos(const QList<CueInfo>& cueInfos) {
    QJsonArray array;
    for (const auto& info : cueInfos)
        array.append(
            QJsonObject{{QStringLiteral("id"), info.id}, {QStringLiteral("name"), info.name}});
    return QJsonDocument(array).toJson(QJsonDocument::Compact);
}

std::optional<QList<CueInfo>> decodeCueInfos(const QByteArray& json) {
    QJsonParseError error{};
    const auto document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<CueInfo> cueInfos;
    for (const auto& entry : document.array()) {
        const auto object = entry.toObject();
        const auto id = object.value(QStringLiteral("id"));
        const auto name = object.value(QStringLiteral("name"));
        if (!entry.isObject() || !id.isString() || !name.isString())
            return std::nullopt;
        cueInfos.append({id.toString(), name.toString()});
    }
    return cueInfos;
}

} // namespace carvo
