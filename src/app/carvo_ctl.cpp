// carvo-ctl: sends Carvo's scripting commands over the D-Bus session bus, as QLab's Script cues
// do with Apple events on macOS.
//
//   carvo-ctl run            the go command; prints Carvo's answer ("Carvo!")
//   carvo-ctl chase CUE_ID   the chase command for the group cue with that unique ID

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "base/diagnostics.h"
#include "base/text.h"
#include "qlab/dbus_service.h"

namespace {

// A go command waits for the operator's bar dialog in QLab (up to 1000 s) and the pre-wait.
constexpr int callTimeoutMs = 1'100'000;

int usage() {
    carvo::writeText(carvo::Stream::error, "usage: carvo-ctl run\n"
                                           "       carvo-ctl chase CUE_ID\n");
    return 2;
}

int fail(const QString& message) {
    carvo::writeText(carvo::Stream::error,
                     carvo::toUtf8(QStringLiteral("carvo-ctl: ") + message + QLatin1Char('\n')));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);

    QDBusMessage call;
    const auto method = [](const char* name) {
        return QDBusMessage::createMethodCall(
            QString::fromLatin1(carvo::dbusServiceName), QString::fromLatin1(carvo::dbusObjectPath),
            QString::fromLatin1(carvo::dbusInterfaceName), QString::fromLatin1(name));
    };
    if (args.size() == 1 && args[0] == QLatin1String("run")) {
        call = method("Run");
    } else if (args.size() == 2 && args[0] == QLatin1String("chase")) {
        call = method("Chase");
        call << QVariantMap{{QStringLiteral("cueId"), args[1]}};
    } else {
        return usage();
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail(QStringLiteral("no D-Bus session bus: ") + bus.lastError().message());

    const QDBusMessage reply = bus.call(call, QDBus::Block, callTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage)
        return fail(QStringLiteral("Carvo did not answer (is it running?): ") + reply.errorName() +
                    QStringLiteral(": ") + reply.errorMessage());
    if (call.member() == QLatin1String("Run")) {
        if (reply.arguments().isEmpty())
            return fail(QStringLiteral("Carvo gave no answer"));
        carvo::writeLine(reply.arguments().constFirst().toString());
    }
    return 0;
}
