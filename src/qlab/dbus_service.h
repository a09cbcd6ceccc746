#pragma once
// The scripting commands on the D-Bus session bus, where there is no Apple-event delivery:
// service io.carvo.Carvo, object /Carvo, methods Run() → s and Chase(a{sv}). A thin receiver
// over ScriptingCommands.

#include <memory>

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace carvo {

class ScriptingCommands;

inline constexpr char dbusServiceName[] = "io.carvo.Carvo";
inline constexpr char dbusObjectPath[] = "/Carvo";
inline constexpr char dbusInterfaceName[] = "io.carvo.Carvo";

class CarvoDBusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "io.carvo.Carvo")

public:
    explicit CarvoDBusService(ScriptingCommands& commands, QObject* parent = nullptr);
    ~CarvoDBusService() override;

    // Registers the service on the session bus. Without a bus, or when the name is taken,
    // writes one diagnostic line and returns none; the application goes on without scripting
    // commands.
    static std::unique_ptr<CarvoDBusService> registerOnSessionBus(ScriptingCommands& commands);

public slots:
    // The go command; answers once its jump has run through, also when it waited behind a
    // jump in progress (a delayed reply).
    Q_SCRIPTABLE QString Run();
    // The chase command; arguments mirrors the evaluated arguments (key "cueId").
    Q_SCRIPTABLE void Chase(const QVariantMap& arguments);

private:
    ScriptingCommands& m_commands;
    bool m_registered = false;
};

} // namespace carvo
