#include "base/settings.h"

#include <QDir>

namespace carvo {

Settings::Settings() = default;

Settings::Settings(const QString& folder) : m_folder(folder) {}

// Organization and application "Carvo". A folder of its own keeps the same layout the user's
// store has under the XDG config folder, so --settings-dir holds a file a user would recognise.
QSettings Settings::store() const {
    if (m_folder.isEmpty())
        return QSettings(QStringLiteral("Carvo"), QStringLiteral("Carvo"));
    return QSettings(QDir(m_folder).filePath(QStringLiteral("Carvo/Carvo.conf")),
                     QSettings::IniFormat);
}

bool Settings::floating() const {
    return store().value(floatingKey, false).toBool();
}
bool Settings::standby() const {
    return store().value(standbyKey, false).toBool();
}
double Settings::preWait() const {
    return store().value(preWaitKey, 0.0).toDouble();
}

std::optional<QString> Settings::storedInterfaceName() const {
    auto s = store();
    if (!s.contains(storedInterfaceNameKey))
        return std::nullopt;
    return s.value(storedInterfaceNameKey).toString();
}

void Settings::setFloating(bool value) {
    store().setValue(floatingKey, value);
}
void Settings::setStandby(bool value) {
    store().setValue(standbyKey, value);
}
void Settings::setPreWait(double value) {
    store().setValue(preWaitKey, value);
}
void Settings::setStoredInterfaceName(const QString& value) {
    store().setValue(storedInterfaceNameKey, value);
}

QString Settings::text(const char* key) const {
    return store().value(key).toString();
}

void Settings::setText(const char* key, const QString& value) {
    if (value.isEmpty())
        store().remove(key);
    else
        store().setValue(key, value);
}

std::optional<int> Settings::integer(const char* key) const {
    bool ok = false;
    const int value = store().value(key).toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

void Settings::setInteger(const char* key, int value) {
    store().setValue(key, value);
}

bool Settings::contains(const char* key) const {
    return store().contains(key);
}

void Settings::remove(const char* key) {
    store().remove(key);
}

} // namespace carvo
