#include "ui/ui_bridge.h"

#include <QTimer>
#include <QVariantMap>

#include "base/app_console.h"
#include "base/diagnostics.h"
#include "base/settings.h"
#include "platform/window_level.h"

namespace carvo::ui {

QString interfaceLabel(const QVariantMap& interfaceInfo) {
    static const QString separator = QStringLiteral(" \u2013 ");
    return interfaceInfo.value(QStringLiteral("type")).toString() + separator +
           interfaceInfo.value(QStringLiteral("name")).toString() + separator +
           interfaceInfo.value(QStringLiteral("ipAddress")).toString();
}

UIBridge::UIBridge(UIServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)), m_settings(*m_services.settings) {
    if (!m_services.schedule) {
        m_services.schedule = [this](std::chrono::milliseconds delay, std::function<void()> work) {
            QTimer::singleShot(delay, this, std::move(work));
        };
    }
    if (!m_services.counter)
        m_services.counter = &m_ownCounter;
    if (!m_services.showState)
        m_services.showState = &m_ownShowState;
    if (!m_services.qlab)
        m_services.qlab = &m_ownQLab;
    if (!m_services.server)
        m_services.server = &m_ownServer;
    connect(m_services.server, &ServerModel::interfacesChanged, this,
            &UIBridge::readInterfaceChoices);
    connect(m_services.qlab, &QLabModel::selectedCueChanged, this, &UIBridge::rebuildCueList);
    if (m_services.console)
        connect(m_services.console, &AppConsole::logTextChanged, this, &UIBridge::logTextChanged);
    readInterfaceChoices();
}

QString UIBridge::logText() const {
    return m_services.console ? m_services.console->logText() : QString();
}

bool UIBridge::floating() const {
    return m_settings.floating();
}

void UIBridge::setFloating(bool value) {
    if (value == m_settings.floating())
        return;
    m_settings.setFloating(value);
    emit floatingChanged();
    applyWindowLevel();
}

const char* UIBridge::qlabRoadKey(const QString& key) const {
    for (const QByteArray& known : m_services.qlabRoadKeys)
        if (key == QLatin1StringView(known))
            return known.constData();
    return nullptr;
}

QString UIBridge::qlabRoadSetting(const QString& key) const {
    const char* known = qlabRoadKey(key);
    return known ? m_settings.text(known) : QString();
}

void UIBridge::setQLabRoadSetting(const QString& key, const QString& value) {
    if (const char* known = qlabRoadKey(key))
        m_settings.setText(known, value.trimmed());
}

QVariantList UIBridge::qlabMachines() const {
    QVariantList machines;
    if (!m_services.qlabMachines)
        return machines;
    for (const QLabMachine& machine : m_services.qlabMachines())
        machines.append(QVariantMap{
            {QStringLiteral("label"),
             QStringLiteral("%1 \u2013 %2:%3").arg(machine.name, machine.host).arg(machine.port)},
            {QStringLiteral("host"), machine.host},
            {QStringLiteral("port"), QString::number(machine.port)}});
    return machines;
}

bool UIBridge::standby() const {
    return m_settings.standby();
}

void UIBridge::setStandby(bool value) {
    if (value == m_settings.standby())
        return;
    m_settings.setStandby(value);
    emit standbyChanged();
}

QString UIBridge::storedInterfaceName() const {
    return m_settings.storedInterfaceName().value_or(QString());
}

void UIBridge::setStoredInterfaceName(const QString& name) {
    if (name == storedInterfaceName())
        return;
    m_settings.setStoredInterfaceName(name);
    emit storedInterfaceNameChanged();

    const QVariantList interfaces = m_services.server->interfaces();
    const bool listed = std::any_of(interfaces.begin(), interfaces.end(), [&](const QVariant& v) {
        return v.toMap().value(QStringLiteral("name")).toString() == name;
    });
    if (!listed)
        return;
    // Two steps: clients lose the old address at once, the listener opens on the new one a
    // second later (it reads the new setting when it starts). A later pick supersedes a restart
    // still waiting: the last choice wins, and the server starts once.
    if (m_services.stopServer)
        m_services.stopServer();
    if (!m_services.startServer)
        return;
    const quint64 restart = ++m_restarts;
    m_services.schedule(std::chrono::milliseconds(1000), [this, restart] {
        if (restart == m_restarts)
            m_services.startServer();
    });
}

void UIBridge::setMainWindow(QWindow* window) {
    m_mainWindow = window;
}

void UIBridge::go() {
    // Two separate checks, as QLab may change its state between them.
    const bool notRunning = checkQLabStatus() == QLabModel::Status::NotRunning;
    if (notRunning || checkQLabStatus() == QLabModel::Status::RunningNoWorkspace) {
        writeLine(std::string_view("QLab not open"));
        emit alertRequested(QStringLiteral("QLab not open or workspace not found"));
        return;
    }
    if (m_services.jumpToBar)
        m_services.jumpToBar();
}

void UIBridge::openCueList() {
    if (m_services.refreshCatalogue)
        m_services.refreshCatalogue();
    emit cueListWindowRequested();
}

QLabModel::Status UIBridge::checkQLabStatus() {
    return m_services.checkQLabStatus ? m_services.checkQLabStatus()
                                      : QLabModel::Status::WaitingToCheck;
}

QString UIBridge::qlabStatusText(QLabModel::Status status) {
    return ui::qlabStatusText(status);
}

void UIBridge::resetCarvoCue() {
    if (m_services.resetCarvoCue)
        m_services.resetCarvoCue();
}

void UIBridge::makeChaseCue() {
    if (m_services.makeChaseCue)
        m_services.makeChaseCue();
}

void UIBridge::resendCues() {
    if (m_services.resendCatalogue)
        m_services.resendCatalogue();
}

void UIBridge::refreshInterfaces() {
    if (m_services.refreshInterfaces)
        m_services.refreshInterfaces();
}

void UIBridge::applyWindowLevel() {
    if (!m_mainWindow)
        return;
    const bool onTop = m_settings.floating();
    if (platform::hasNativeWindowLevels()) {
        platform::setFloatingLevel(*m_mainWindow, onTop);
        return;
    }
    if (m_mainWindow->flags().testFlag(Qt::WindowStaysOnTopHint) != onTop)
        m_mainWindow->setFlag(Qt::WindowStaysOnTopHint, onTop);
}

void UIBridge::rebuildCueList() {
    const QString current = m_services.qlab->selectedCue();
    QVariantList rows;
    if (m_services.cueInfos) {
        for (const CueRow& cue : m_services.cueInfos()) {
            rows.append(QVariantMap{{QStringLiteral("id"), cue.id},
                                    {QStringLiteral("name"), cue.name},
                                    {QStringLiteral("current"), cue.id == current}});
        }
    }
    m_cueListRows = rows;
    emit cueListRowsChanged();
}

void UIBridge::readInterfaceChoices() {
    QVariantList choices;
    const QVariantList interfaces = m_services.server->interfaces();
    for (const QVariant& entry : interfaces) {
        const QVariantMap info = entry.toMap();
        choices.append(QVariantMap{{QStringLiteral("id"), info.value(QStringLiteral("id"))},
                                   {QStringLiteral("label"), interfaceLabel(info)},
                                   {QStringLiteral("value"), info.value(QStringLiteral("name"))}});
    }
    m_interfaceChoices = choices;
    emit interfaceChoicesChanged();
}

} // namespace carvo::ui
