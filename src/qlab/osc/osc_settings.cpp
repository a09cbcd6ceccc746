#include "qlab/osc/osc_settings.h"

#include <QUrl>

#include "base/numbers.h"
#include "base/text.h"

namespace carvo::osc {

QString qlabHost(const Settings& settings) {
    return settings.text(hostKey).trimmed();
}

quint16 commandPort(const Settings& settings) {
    const std::optional<int> port = settings.integer(commandPortKey);
    return port && *port >= 0 && *port <= 0xFFFF ? static_cast<quint16>(*port) : defaultCommandPort;
}

std::optional<OSCRoad> chooseRoad(const Settings& settings, const QString& url, QString* problem) {
    const QString backend = settings.text(backendKey);
    OSCRoad road;
    road.client.host = qlabHost(settings);
    road.client.passcode = settings.text(passcodeKey);
    road.client.workspaceName = settings.text(workspaceKey);
    road.media = MediaPathMap::parse(settings.text(mediaPathMapKey));
    if (const QString window = settings.text(duplicateWindowKey); !window.isEmpty()) {
        bool ok = false;
        const int milliseconds = window.trimmed().toInt(&ok);
        if (!ok || milliseconds < 0 || milliseconds > 60000) {
            *problem = QStringLiteral(
                "the \"qlabDuplicateWindowMs\" setting needs milliseconds from 0 to 60000");
            return std::nullopt;
        }
        road.client.repeatWindow = std::chrono::milliseconds(milliseconds);
    }
    if (const QString port = settings.text(portKey); !port.isEmpty()) {
        const auto parsed = parsePort(toUtf8(port));
        if (!parsed) {
            *problem = QStringLiteral("the \"qlabPort\" setting needs a port from 1 to 65535");
            return std::nullopt;
        }
        road.client.port = *parsed;
    }

    if (!url.isEmpty()) {
        const QUrl parsed(url, QUrl::StrictMode);
        if (!parsed.isValid() || parsed.scheme() != QStringLiteral("osc") ||
            parsed.host().isEmpty() ||
            !(parsed.path().isEmpty() || parsed.path() == QStringLiteral("/"))) {
            *problem = QStringLiteral("--qlab needs osc://HOST or osc://HOST:PORT");
            return std::nullopt;
        }
        road.client.host = parsed.host();
        road.client.port = static_cast<quint16>(parsed.port(53000));
        if (parsed.port() == 0) {
            *problem = QStringLiteral("--qlab needs a port from 1 to 65535");
            return std::nullopt;
        }
        return road;
    }

    if (backend == QStringLiteral("applescript"))
        return std::nullopt;
    if (backend == QStringLiteral("osc")) {
        if (road.client.host.isEmpty()) {
            *problem = QStringLiteral("\"qlabBackend\" is \"osc\" but \"qlabHost\" is not set");
            return std::nullopt;
        }
        return road;
    }
    if (!backend.isEmpty()) {
        *problem = QStringLiteral("\"qlabBackend\" must be \"applescript\" or \"osc\"");
        return std::nullopt;
    }
#ifdef Q_OS_MACOS
    return std::nullopt;
#else
    if (road.client.host.isEmpty())
        return std::nullopt;
    return road;
#endif
}

} // namespace carvo::osc
