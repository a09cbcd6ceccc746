#include "qlab/dbus_service.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

#include "base/diagnostics.h"
#include "qlab/scripting_commands.h"

namespace carvo {

QString CarvoDBusService::Run() {
    if (!calledFromDBus()) {
        QString answer;
        goCommand([&answer](const QString& text) { answer = text; });
        return answer;
    }
    // The caller hears back when the jump has run, which for a command queued behind QLab's bar
    // dialog is after this slot has returned.
    setDelayedReply(true);
    goCommand([call = message(), bus = connection()](const QString& text) mutable {
        bus.send(call.createReply(text));
    });
    return {};
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
