#include "qlab/dbus_service.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>

#include "base/diagnostics.h"
#include "qlab/scripting_commands.h"

namespace carvo {

CarvoDBusService::CarvoDBusService(ScriptingCommands& commands, QObject* parent)
    : QObject(parent), m_commands(commands) {}

CarvoDBusService::~CarvoDBusService() {
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(QString::fromLatin1(dbusServiceName));
    bus.unregisterObject(QString::fromLatin1(dbusObjectPath));
}

QString CarvoDBusService::Run() {
    if (!calledFromDBus()) {
        QString answer;
        m_commands.go([&answer](const QString& text) { answer = text; });
        return answer;
    }
    // The caller hears back when the jump has run, which for a command queued behind QLab's bar
    // dialog is after this slot has returned.
    setDelayedReply(true);
    m_commands.go([call = message(), bus = connection()](const QString& text) mutable {
        bus.send(call.createReply(text));
    });
    return {};
}

void CarvoDBusService::Chase(const QVariantMap& arguments) {
    m_commands.chase(arguments);
}

std::unique_ptr<CarvoDBusService>
CarvoDBusService::registerOnSessionBus(ScriptingCommands& commands) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        writeLine(QStringLiteral("D-Bus session bus not available, scripting commands are off: ") +
                  bus.lastError().message());
        return nullptr;
    }
    auto service = std::make_unique<CarvoDBusService>(commands);
    if (!bus.registerObject(QString::fromLatin1(dbusObjectPath), service.get(),
                            QDBusConnection::ExportScriptableSlots)) {
        writeLine(QStringLiteral("D-Bus object /Carvo could not be registered, scripting commands "
                                 "are off"));
        return nullptr;
    }
    if (!bus.registerService(QString::fromLatin1(dbusServiceName))) {
        bus.unregisterObject(QString::fromLatin1(dbusObjectPath));
        writeLine(QStringLiteral("D-Bus name io.carvo.Carvo not registered, scripting commands are "
                                 "off: ") +
                  bus.lastError().message());
        return nullptr;
    }
    service->m_registered = true;
    return service;
}

} // namespace carvo
