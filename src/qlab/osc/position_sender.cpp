#include "qlab/osc/position_sender.h"

#include <algorithm>
#include <limits>

#include <QHostInfo>
#include <QRegularExpression>

#include "base/diagnostics.h"
#include "base/numbers.h"
#include "base/text.h"
#include "engine/bar_counter_manager.h"
#include "qlab/osc/osc.h"

namespace carvo::osc {

PositionTargets parsePositionTargets(const QString& text) {
    PositionTargets parsed;
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (const QString& entry : text.split(separators, Qt::SkipEmptyParts)) {
        const qsizetype colon = entry.lastIndexOf(u':');
        QString host = colon > 0 ? entry.left(colon) : QString();
        const auto port = colon > 0 ? parsePort(toUtf8(entry.mid(colon + 1))) : std::nullopt;
        if (host.startsWith(u'[') && host.endsWith(u']'))
            host = host.mid(1, host.size() - 2);
        else if (host.contains(u':'))
            host.clear(); // an IPv6 address needs its brackets to be told from the port
        if (host.isEmpty() || !port) {
            parsed.refused.append(entry);
            continue;
        }
        parsed.targets.push_back({host, *port});
    }
    return parsed;
}

namespace {

// OSC's integers are 32-bit; bar numbers are far smaller, but a score's first bar may be anything.
std::int32_t toInt32(std::int64_t value) {
    using Limits = std::numeric_limits<std::int32_t>;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, Limits::min(), Limits::max()));
}

} // namespace

PositionSender::PositionSender(BarCounterManager& counter,
                               const std::vector<PositionTarget>& targets, QObject* parent)
    : QObject(parent), m_counter(counter) {
    m_destinations.reserve(targets.size());
    for (const PositionTarget& target : targets) {
        const QHostAddress address(target.host);
        m_destinations.push_back({address, target.port});
        if (!address.isNull())
            continue;
        const std::size_t index = m_destinations.size() - 1;
        m_lookups.push_back(QHostInfo::lookupHost(
            target.host, this, [this, index, host = target.host](const QHostInfo& info) {
                if (info.addresses().isEmpty()) {
                    consoleLine(QStringLiteral("❌ Cannot send the position to ") + host +
                                QStringLiteral(": ") + info.errorString());
                    return;
                }
                m_destinations[index].address = info.addresses().constFirst();
            }));
    }

    connect(&counter, &BarCounterManager::ticked, this, [this] {
        const ShowState& show = m_counter.showState().state();
        send(encode({"/carvo/position",
                     {toInt32(show.bar), toInt32(show.beat), static_cast<float>(show.progress)}}));
    });
    connect(&counter, &BarCounterManager::followingStarted, this, [this](const QString& cueID) {
        const ShowState& show = m_counter.showState().state();
        send(encode({"/carvo/cue", {toUtf8(cueID), toUtf8(show.cueName)}}));
    });
    connect(&counter, &BarCounterManager::stoppedWithNotice, this, [this] {
        send(encode({"/carvo/stopped", {}}));
    });
}

PositionSender::~PositionSender() {
    for (const int lookup : m_lookups)
        QHostInfo::abortHostLookup(lookup);
}

void PositionSender::send(const std::vector<std::uint8_t>& packet) {
    const QByteArray datagram(reinterpret_cast<const char*>(packet.data()),
                              static_cast<qsizetype>(packet.size()));
    for (const Destination& destination : m_destinations)
        if (!destination.address.isNull())
            m_socket.writeDatagram(datagram, destination.address, destination.port);
}

} // namespace carvo::osc
