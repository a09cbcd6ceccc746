#include "fakes.h"

#include "base/app_console.h"

namespace carvo::ui::testing {

UiServices Recorder::services() {
    UiServices s;
    s.counterManager = &counter;
    s.progressModel = &progress;
    s.qlab = &qlab;
    s.server = &server;
    s.console = &AppConsole::shared();
    s.checkQLabStatus = [this] {
        const int index = std::min<int>(statusChecks++, int(statusAnswers.size()) - 1);
        return index < 0 ? QString() : statusAnswers.at(index);
    };
    s.getValidGroupCues = [this](const QString& source) { calls << "getValidGroupCues " + source; };
    s.cueInfos = [this] { return catalogue; };
    s.resetCarvoCue = [this] { calls << QStringLiteral("resetCarvoCue"); };
    s.makeChaseCue = [this] { calls << QStringLiteral("makeChaseCue"); };
    s.jumpToBar = [this](const QString& source) {
        calls << "jumpToBar " + source + " " + QString::number(counter.lastBarTriggered);
    };
    s.refreshInterfaces = [this] { calls << QStringLiteral("refreshInterfaces"); };
    s.stopServer = [this] { calls << QStringLiteral("stopServer"); };
    s.startServer = [this] { calls << QStringLiteral("startServer"); };
    s.schedule = [this](std::chrono::milliseconds delay, std::function<void()> work) {
        scheduledDelay = delay;
        scheduled = std::move(work);
    };
    return s;
}

} // namespace carvo::ui::testing
