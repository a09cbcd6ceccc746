#pragma once
// Send-to-all: one UTF-8 text message to every connected remote client. The shared TCPServer
// installs itself here when it is created, so the QLab bridge, the jump controller and the bar
// counter reach the clients without depending on the server's code.

#include <functional>

#include <QString>

namespace carvo {

using Broadcaster = std::function<void(const QString& message)>;

// Main thread only. Replaces the installed broadcaster (none removes it).
void setBroadcaster(Broadcaster broadcaster);

// Main thread only. Does nothing while no broadcaster is installed.
void broadcast(const QString& message);

} // namespace carvo
