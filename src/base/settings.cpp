#include "base/settings.h"

#include <QSettings>

namespace carvo::settings {
namespace {

// Organization and application "Carvo": native user defaults on macOS, an ini file under the
// XDG config folder elsewhere.
QSettings store() {
    return QSettings(QStringLiteral("Carvo"), QStringLiteral("Carvo"));
}

} // namespace

bool floating() {
    return store().value(floatingKey, false).toBool();
}
bool standby() {
    return store().value(standbyKey, false).toBool();
}
double preWait() {
    return store().value(preWaitKey, 0.0).toDouble();
}

std::optional<QString> storedInterfaceName() {
    auto s = store();
    if (!s.contains(storedInterfaceNameKey))
        return std::nullopt;
    return s.value(storedInterfaceNameKey).toString();
}

void setFloating(bool value) {
    store().setValue(floatingKey, value);
}
void setStandby(bool value) {
    store().setValue(standbyKey, value);
}
void setPreWait(double value) {
    store().setValue(preWaitKey, value);
}
void setStoredInterfaceName(const QString& value) {
    store().setValue(storedInterfaceNameKey, value);
}
void remove(const char* key) {
    store().remove(key);
}

QString text(const char* key) {
    return store().value(key).toString();
}

void setText(const char* key, const QString& value) {
    if (value.isEmpty())
        store().remove(key);
    else
        store().setValue(key, value);
}

quint16 oscCommandPort() {
    bool ok = false;
    const int port = store().value(oscCommandPortKey).toInt(&ok);
    return ok && port >= 0 && port <= 0xFFFF ? static_cast<quint16>(port) : defaultOscCommandPort;
}
QString qlabHost() {
    return store().value(qlabHostKey).toString().trimmed();
}

int maxRemoteClients() {
    bool ok = false;
    const int count = store().value(maxRemoteClientsKey).toInt(&ok);
    return ok && count >= 1 ? count : defaultMaxRemoteClients;
}
void setMaxRemoteClients(int value) {
    store().setValue(maxRemoteClientsKey, value);
}

void useFolder(const QString& folder) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

} // namespace carvo::settings
