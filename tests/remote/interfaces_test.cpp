#include <set>
#include <utility>

#include <gtest/gtest.h>

#include <QNetworkInterface>

#include "line_recorder.h"
#include "remote/interfaces.h"

namespace carvo {
namespace {

struct Labelled {
    const char* name;
    const char* label;
};

void expectLabels(std::initializer_list<Labelled> cases) {
    for (const auto& [name, label] : cases)
        EXPECT_EQ(interfaceType(QString::fromLatin1(name)), QString::fromUtf8(label)) << name;
}

TEST(InterfaceType, LabelsThePlatformNamesByTheFirstMatchingPrefix) {
    expectLabels({
        {"en0", "Wi-Fi"},
        {"en5", "Ethernet"},
        {"en00", "Ethernet"}, // only exactly en0 is the Wi-Fi
        {"en", "Ethernet"},
        {"bridge0", "Bridge"},
        {"p2p0", "Peer-to-Peer"},
        {"awdl0", "AirDrop/Continuity"},
        {"lo0", "Loopback"},
        {"lo", "Loopback"},
        {"utun3", "VPN"},
        {"ap1", "Thunderbolt Bridge"},
        {"gif0", "Unknown"},
        {"stf0", "Unknown"},
        {"", "Unknown"},
    });
}

TEST(InterfaceType, PrefixesAreCaseSensitive) {
    expectLabels({{"EN0", "Unknown"}, {"Lo0", "Unknown"}, {"UTUN1", "Unknown"}});
}

TEST(InterfaceType, LabelsCommonLinuxNamesAfterThePlatformRules) {
    expectLabels({
        {"eth0", "Ethernet"},
        {"wlan0", "Wi-Fi"},
        {"wlp2s0", "Wi-Fi"},
        {"br-3f2a", "Bridge"},
        {"docker0", "Bridge"},
        {"virbr0", "Bridge"},
        {"tun0", "VPN"},
        {"tap1", "VPN"},
        {"wg0", "VPN"},
    });
}

TEST(InterfaceType, LinuxNamesNeverOverrideAPlatformRule) {
    // Each of these also begins like a Linux name further down, yet the earlier rule wins.
    expectLabels({
        {"enp3s0", "Ethernet"},          // not a Wi-Fi, though wireless cards never start "en"
        {"lo-tun", "Loopback"},          // "lo" before "tun"
        {"apwl0", "Thunderbolt Bridge"}, // "ap" before "wl"
        {"utun0", "VPN"},
        {"bridge-docker", "Bridge"},
        {"br0", "Unknown"}, // only "br-" is a Linux bridge name
    });
}

TEST(NetworkInterfaces, ListsEveryIPv4AddressOfTheMachine) {
    testing::LineRecorder lines;
    const auto listed = getNetworkInterfaces();

    // Qt's own enumeration is the independent witness.
    std::multiset<std::pair<QString, QString>> expected;
    for (const auto& interface : QNetworkInterface::allInterfaces()) {
        for (const auto& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
                expected.emplace(interface.name(), entry.ip().toString());
        }
    }
    std::multiset<std::pair<QString, QString>> actual;
    for (const auto& info : listed) {
        actual.emplace(info.name, info.ipAddress);
        EXPECT_EQ(info.type, interfaceType(info.name));
        EXPECT_FALSE(info.id.isNull());
    }
    EXPECT_EQ(actual, expected);

    // The loopback is always there, as a Loopback.
    const bool hasLoopback = std::any_of(listed.begin(), listed.end(), [](const auto& info) {
        return info.ipAddress == QLatin1String("127.0.0.1") &&
               info.type == QLatin1String("Loopback");
    });
    EXPECT_TRUE(hasLoopback);

    // The whole list goes to standard output, one line, naming every record.
    ASSERT_EQ(lines.size(), 1);
    for (const auto& info : listed) {
        EXPECT_TRUE(lines.lines()[0].contains(describe(info))) << describe(info).toStdString();
    }
}

TEST(NetworkInterfaces, EveryEnumerationMakesNewIdentities) {
    const auto first = getNetworkInterfaces();
    const auto second = getNetworkInterfaces();
    ASSERT_EQ(first.size(), second.size());
    std::set<QUuid> ids;
    for (const auto& info : first)
        ids.insert(info.id);
    for (const auto& info : second)
        ids.insert(info.id);
    EXPECT_EQ(ids.size(), static_cast<size_t>(first.size() + second.size()));
    for (qsizetype i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].name, second[i].name);
        EXPECT_EQ(first[i].ipAddress, second[i].ipAddress);
    }
}

} // namespace
} // namespace carvo
