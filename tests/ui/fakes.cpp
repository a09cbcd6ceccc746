#include "fakes.h"

#include "base/app_console.h"

namespace carvo::ui::testing {

UIServices Recorder::services() {
    UIServices s;
    s.counter = &counter;
    s.showState = &showState;
    s.qlab = &qlab;
    s.server = &server;
    s.console = &AppConsole::shared();
    s.settings = &settings;
    s.qlabRoadKeys = {"qlabHost", "qlabPort", "qlabPasscode", "mediaPathMap"};
    s.checkQLabStatus = [this] {
        const int index = std::min<int>(statusChecks++, int(statusAnswers.size()) - 1);
        return index < 0 ? QLabModel::Status::WaitingToCheck : statusAnswers.at(index);
    };
    s.version = QStringLiteral("1.8.3");
    // Recorded as the bridge's operation with the catalogue source it stands for.
    s.refreshCatalogue = [this] { calls << QStringLiteral("getValidGroupCues CueLst"); };
    s.resendCatalogue = [this] { calls << QStringLiteral("getValidGroupCues Network"); };
    s.cueInfos = [this] { return catalogue; };
    s.resetCarvoCue = [this] { calls << QStringLiteral("resetCarvoCue"); };
    s.makeChaseCue = [this] { calls << QStringLiteral("makeChaseCue"); };
    s.jumpToBar = [this] { calls << "jumpToBar QLab " + QString::number(lastBarTriggered); };
    s.refreshInterfaces = [this] { calls << QStringLiteral("refreshInterfaces"); };
    s.stopServer = [this] { calls << QStringLiteral("stopServer"); };
    s.startServer = [this] { calls << QStringLiteral("startServer"); };
    s.qlabMachines = [this] { return qlabMachines; };
    s.schedule = [this](std::chrono::milliseconds delay, std::function<void()> work) {
        scheduledDelay = delay;
        scheduled = std::move(work);
    };
    return s;
}

void Recorder::setProgress(int beats, double progress) {
    ShowStateModel::Value value = showState.value();
    value.beatsPerBar = beats;
    value.progress = progress;
    showState.setValue(value);
}

} // namespace carvo::ui::testing
