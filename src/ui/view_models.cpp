#include "ui/view_models.h"

namespace carvo::ui {

void CounterModel::setBarText(const QString& text) {
    if (text == m_barText)
        return;
    m_barText = text;
    emit barTextChanged();
}

void CounterModel::setColours(const QColor& back, const QColor& front) {
    if (back == m_backColour && front == m_frontColor)
        return;
    m_backColour = back;
    m_frontColor = front;
    emit coloursChanged();
}

void ShowStateModel::setValue(const Value& value) {
    if (value == m_value)
        return;
    m_value = value;
    emit changed();
}

void QLabModel::setSelectedCue(const QString& cueID) {
    if (cueID == m_selectedCue)
        return;
    m_selectedCue = cueID;
    emit selectedCueChanged();
}

QString qlabStatusText(QLabModel::Status status) {
    switch (status) {
    case QLabModel::Status::NotRunning:
        return QStringLiteral("QLab is not running");
    case QLabModel::Status::RunningNoWorkspace:
        return QStringLiteral("QLab is running (no workspace open)");
    case QLabModel::Status::RunningWithWorkspace:
        return QStringLiteral("QLab is running (workspace found but no Carvo cue)");
    case QLabModel::Status::RunningWithCarvoCue:
        return QStringLiteral("QLab is running (Carvo cue found)");
    case QLabModel::Status::WaitingToCheck:
        return QStringLiteral("Click above to check the connection with QLab");
    }
    return {};
}

void ServerModel::setInterfaces(const QVariantList& interfaces) {
    if (interfaces == m_interfaces)
        return;
    m_interfaces = interfaces;
    emit interfacesChanged();
}

void ServerModel::setDisplay(const QString& address, bool control) {
    if (address == m_displayAddress && control == m_displayControl)
        return;
    m_displayAddress = address;
    m_displayControl = control;
    emit displayChanged();
}

} // namespace carvo::ui
