#pragma once
// The shared objects of a Carvo process, built and wired in one place: each exists once, in the
// order the application needs them, and is handed to those who use it. Tests and tools build
// their own set the same way.

#include <memory>

#include "base/settings.h"
#include "engine/bar_counter_manager.h"
#include "engine/beat_progress_model.h"
#include "engine/jump_controller.h"
#include "engine/request_queue.h"
#include "qlab/qlab_integration.h"
#include "qlab/scripting_commands.h"
#include "remote/remote_protocol.h"
#include "remote/service_browser.h"
#include "remote/tcp_server.h"
#include "ui/ui_services.h"

namespace carvo {

class DisplayAdapter;
class ViewAdapter;

class SharedObjects {
public:
    // Main thread. Scripts for QLab go to runner; remote clients' messages are served at once
    // (the server itself starts when startServer is called). settings outlives these objects.
    SharedObjects(std::shared_ptr<ScriptRunner> runner, Settings& settings);
    // The same over another road to QLab (its OSC interface).
    SharedObjects(std::shared_ptr<QLabBackend> backend, Settings& settings);
    ~SharedObjects();
    SharedObjects(const SharedObjects&) = delete;
    SharedObjects& operator=(const SharedObjects&) = delete;

    Settings& settings() { return m_settings; }
    TCPServer& server() { return m_server; }
    QLabIntegration& qlab() { return m_qlab; }
    BeatProgressModel& progress() { return m_progress; }
    BarCounterManager& counter() { return m_counter; }
    JumpController& jumps() { return m_jumps; }
    RequestQueue& requests() { return m_requests; }
    // QLab's Script cues (D-Bus, or Apple events on macOS).
    ScriptingCommands& commands() { return m_commands; }
    // QLab's Network cues (the OSC command receiver).
    ScriptingCommands& oscCommands() { return m_oscCommands; }

    // The stage display: from now on it listens on the address the server takes each time its
    // listener starts (port 0: never), with the control page's pin (empty: no control page).
    void startDisplay(quint16 port, const QString& pin);
    void stopDisplay();
    DisplayAdapter& display() { return *m_display; }

    // A stop from origin: panics what Carvo started and the catalogued group cues now, and once
    // more after a jump in progress, which may still start its cue.
    void stopShow(RequestOrigin origin);

    // What a client's message sets off, bound to these objects.
    ProtocolActions protocolActions();
    // What the views call and read, bound to these objects. The views' models are made at the
    // first call and live as long as these objects.
    ui::UIServices uiServices();

private:
    Settings& m_settings;
    TCPServer m_server;
    QLabIntegration m_qlab;
    BeatProgressModel m_progress;
    BarCounterManager m_counter;
    JumpController m_jumps;
    RequestQueue m_requests;
    ScriptingCommands m_commands;
    ScriptingCommands m_oscCommands;
    // QLab machines announcing their OSC interface; browsing starts when the views first ask.
    std::unique_ptr<ServiceBrowser> m_qlabBrowser;
    std::unique_ptr<DisplayAdapter> m_display;
    std::unique_ptr<ViewAdapter> m_viewModels;
};

} // namespace carvo
