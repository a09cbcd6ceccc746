#pragma once
// Send-to-all: one UTF-8 text message to every connected remote client. The remote control
// server implements it; the QLab bridge, the jump controller and the bar counter are handed one
// when they are made, so they reach the clients without knowing the server.

#include <QString>

namespace carvo {

class Broadcaster {
public:
    virtual ~Broadcaster() = default;
    // Main thread only.
    virtual void broadcast(const QString& message) = 0;
};

} // namespace carvo
