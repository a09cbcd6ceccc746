#pragma once
// A send-to-all that collects what would go to every remote client, for tests that build their
// own objects around it.

#include <QString>
#include <QStringList>

#include "base/broadcaster.h"

namespace carvo::testing {

class RecordingBroadcaster final : public Broadcaster {
public:
    explicit RecordingBroadcaster(QStringList& sent) : m_sent(sent) {}
    void broadcast(const QString& message) override { m_sent.append(message); }

private:
    QStringList& m_sent;
};

} // namespace carvo::testing
