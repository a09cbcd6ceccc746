#pragma once
// The views' models filled by hand, and a UIServices whose operations record their calls.

#include <chrono>
#include <functional>

#include <QStringList>
#include <QTemporaryDir>

#include "base/settings.h"

#include "ui/ui_services.h"
#include "ui/view_models.h"

namespace carvo::ui::testing {

// Everything the views can call, recorded; the QLab status answers in turn from a script.
struct Recorder {
    CounterModel counter;
    ShowStateModel showState;
    QLabModel qlab;
    ServerModel server;
    qint64 lastBarTriggered = 1;            // what a jump from the window starts from
    QList<QLabModel::Status> statusAnswers; // one per check; the last one repeats
    int statusChecks = 0;
    QStringList calls;
    QList<CueRow> catalogue;
    QList<QLabMachine> qlabMachines; // what a DNS-SD browse has found
    std::chrono::milliseconds scheduledDelay{-1};
    std::function<void()> scheduled;
    // The settings the sheet shows and writes, in a folder of this recorder's own.
    QTemporaryDir settingsFolder;
    Settings settings{settingsFolder.path()};

    UIServices services();
    // A bar of beats beats, progress of it played, as the show state has it.
    void setProgress(int beats, double progress);
};

} // namespace carvo::ui::testing
