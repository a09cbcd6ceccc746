#pragma once
// The musical position for lighting and video desks: OSC over UDP to the hosts of the setting
// "oscPositionTargets", from the bar counter as it runs.
//
//   /carvo/position  bar (int32), beat (int32), progress through the bar (float32)  each tick
//   /carvo/cue       the cue's unique ID, its name (strings)                        each jump
//   /carvo/stopped                                                                  each stop

#include <cstdint>
#include <vector>

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUdpSocket>

namespace carvo {
class BarCounterManager;
}

namespace carvo::osc {

struct PositionTarget {
    QString host;
    quint16 port = 0;
    bool operator==(const PositionTarget&) const = default;
};

struct PositionTargets {
    std::vector<PositionTarget> targets;
    QStringList refused; // entries that name no host and port, as written
};

// "host:port" entries separated by commas or blanks; an IPv6 address in brackets ("[::1]:9000").
PositionTargets parsePositionTargets(const QString& text);

class PositionSender : public QObject {
    Q_OBJECT

public:
    // Sends what counter does to every target; host names are looked up once, here.
    PositionSender(BarCounterManager& counter, const std::vector<PositionTarget>& targets,
                   QObject* parent = nullptr);
    ~PositionSender() override;

private:
    struct Destination {
        QHostAddress address; // null until a host name's lookup has answered
        quint16 port = 0;
    };

    void send(const std::vector<std::uint8_t>& packet);

    BarCounterManager& m_counter;
    std::vector<Destination> m_destinations;
    QUdpSocket m_socket;
    std::vector<int> m_lookups;
};

} // namespace carvo::osc
