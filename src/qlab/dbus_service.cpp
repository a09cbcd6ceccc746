#include "qlab/dbus_service.h"

#include <QDBusConnection>
#include <QDBusError>

#include "app/diagnostics.h"
#include "qlab/scripting_commands.h"

namespace carvo {

QString CarvoDBusService::Run() {
    return goCommand();
}

void CarvoDBusService::Chase(const QVariantMap& arguments) {
    chaseCommand(arguments);
}

bool registerDBusService() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        writeLine(QStringLiteral("D-Bus session bus not available, scripting commands are off: ") +
                  bus.lastError().message());
        return false;
    }
    static auto* service = new CarvoDBusService; // lives until the process ends
    if (!bus.registerObject(QString::fromLatin1(dbusObjectPath), service,
                            QDBusConnection::ExportScriptableSlots)) {
        writeLine(QStringLiteral("D-Bus object /Carvo could not be registered, scripting commands "
                                 "are off"));
        return false;
    }
    if (!bus.registerService(QString::fromLatin1(dbusServiceName))) {
        bus.unregisterObject(QString::fromLatin1(dbusObjectPath));
        writeLine(QStringLiteral("D-Bus name io.carvo.Carvo not registered, scripting commands are "
                                 "off: ") +
                  bus.lastError().message());
        return false;
    }
    return true;
}

} // namespace carvo
