#pragma once
// The stage display filled from the engine: the show state and the bar the counter follows
// become the display's state, operator messages its messages, and its control page's requests
// go through the one request queue as a remote client's would. Its DNS-SD announcement too.

#include <memory>

#include "display/display_server.h"
#include "display/display_state.h"
#include "engine/followed_music.h"
#include "engine/show_state.h"

namespace carvo {

class BarCounterManager;
class QLabIntegration;
class ServicePublisher;

// The display's state for the show state; the bar's start and length come from the music the
// counter follows, while it follows one.
display::State displayState(const ShowState& show, const FollowedMusic& music);

// Main thread.
class DisplayAdapter {
public:
    DisplayAdapter(const BarCounterManager& counter, QLabIntegration& qlab,
                   display::DisplayServer::Control control);
    ~DisplayAdapter();
    DisplayAdapter(const DisplayAdapter&) = delete;
    DisplayAdapter& operator=(const DisplayAdapter&) = delete;

    display::DisplayServer& server() { return m_server; }
    // Listens on ipAddress and port (port 0: stays off) with the control page's pin, and
    // announces the page as "Carvo Display"; the address goes to standard output and the console.
    void start(const QString& ipAddress, quint16 port, const QString& pin);
    void stop();

private:
    display::DisplayServer m_server;
    std::unique_ptr<ServicePublisher> m_announcement;
};

} // namespace carvo
