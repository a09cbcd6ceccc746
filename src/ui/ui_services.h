#pragma once
// The operations of the other subsystems that the views call. The application fills them with
// the shared objects; tests fill them with their own doubles. Kept as plain functions so the
// views depend on no subsystem's headers.

#include <chrono>
#include <functional>

#include <QList>
#include <QObject>
#include <QString>

#include "ui/view_models.h"

namespace carvo {
class AppConsole;
class Settings;
} // namespace carvo

namespace carvo::ui {

struct CueRow {
    QString id;
    QString name;
};

// A QLab that announces its OSC interface on the network.
struct QLabMachine {
    QString name;
    QString host;
    quint16 port = 0;
};

struct UIServices {
    // The models the views bind to, owned by the caller; the bridge makes an empty one for any
    // left out.
    CounterModel* counter = nullptr;
    ShowStateModel* showState = nullptr;
    QLabModel* qlab = nullptr;
    ServerModel* server = nullptr;
    AppConsole* console = nullptr;
    // The settings the sheet shows and writes; required.
    Settings* settings = nullptr;
    // The keys the settings sheet's QLab rows may touch, and no other.
    QList<QByteArray> qlabRoadKeys;

    // The application's version, as the build names it ("1.8.3").
    QString version;

    std::function<QLabModel::Status()> checkQLabStatus;
    // Refreshes the catalogue for the cue list window; nothing goes to remote clients.
    std::function<void()> refreshCatalogue;
    // Refreshes the catalogue and sends it to every remote client ("Resend Cues").
    std::function<void()> resendCatalogue;
    std::function<QList<CueRow>()> cueInfos; // the stored catalogue
    std::function<void()> resetCarvoCue;
    std::function<void()> makeChaseCue;
    std::function<void()> jumpToBar; // a jump from the window: QLab's dialog, lastBarTriggered
    std::function<void()> refreshInterfaces; // server.interfaces = list
    std::function<void()> stopServer;
    std::function<void()> startServer;
    // The QLab machines found on the network so far (browsing starts at the first call).
    std::function<QList<QLabMachine>()> qlabMachines;
    // Runs work on the main thread after delay; a QTimer unless a test steps time itself.
    std::function<void(std::chrono::milliseconds delay, std::function<void()> work)> schedule;
};

} // namespace carvo::ui
