#include "remote/interfaces.h"

#include <array>
#include <utility>

#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>

#include <QStringList>

#include "base/diagnostics.h"

namespace carvo {

QString interfaceType(const QString& name) {
    auto begins = [&name](const char* prefix) { return name.startsWith(QLatin1String(prefix)); };

    if (begins("en"))
        return name == QLatin1String("en0") ? QStringLiteral("Wi-Fi") : QStringLiteral("Ethernet");
    if (begins("bridge"))
        return QStringLiteral("Bridge");
    if (begins("p2p"))
        return QStringLiteral("Peer-to-Peer");
    if (begins("awdl"))
        return QStringLiteral("AirDrop/Continuity");
    if (begins("lo"))
        return QStringLiteral("Loopback");
    if (begins("utun"))
        return QStringLiteral("VPN");
    if (begins("ap"))
        return QStringLiteral("Thunderbolt Bridge");

    // Linux names, which none of the rules above claims.
    static const std::array<std::pair<const char*, const char*>, 8> linuxNames{{
        {"eth", "Ethernet"},
        {"wl", "Wi-Fi"},
        {"br-", "Bridge"},
        {"docker", "Bridge"},
        {"virbr", "Bridge"},
        {"tun", "VPN"},
        {"tap", "VPN"},
        {"wg", "VPN"},
    }};
    for (const auto& [prefix, label] : linuxNames) {
        if (begins(prefix))
            return QString::fromLatin1(label);
    }
    return QStringLiteral("Unknown");
}

QString describe(const InterfaceInfo& info) {
    return QStringLiteral("InterfaceInfo(id: %1, name: %2, ipAddress: %3, type: %4)")
        .arg(info.id.toString(QUuid::WithoutBraces).toUpper(), info.name, info.ipAddress,
             info.type);
}

QList<InterfaceInfo> getNetworkInterfaces() {
    QList<InterfaceInfo> result;
    ifaddrs* first = nullptr;
    if (getifaddrs(&first) != 0 || first == nullptr) {
        writeLine(QStringLiteral("[]"));
        return result;
    }

    for (const ifaddrs* entry = first; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET)
            continue;
        std::array<char, 1025> host{};
        if (getnameinfo(entry->ifa_addr, sizeof(sockaddr_in), host.data(),
                        static_cast<socklen_t>(host.size()), nullptr, 0, NI_NUMERICHOST) != 0)
            continue; // an address that cannot be printed cannot be bound either
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        result.append(InterfaceInfo{QUuid::createUuid(), name, QString::fromLatin1(host.data()),
                                    interfaceType(name)});
    }
    freeifaddrs(first);

    QStringList lines;
    for (const auto& info : result)
        lines.append(describe(info));
    writeLine(QLatin1Char('[') + lines.join(QStringLiteral(", ")) + QLatin1Char(']'));
    return result;
}

} // namespace carvo
