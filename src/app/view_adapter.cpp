#include "app/view_adapter.h"

#include "engine/bar_counter_manager.h"
#include "engine/beat_progress_model.h"
#include "qlab/qlab_integration.h"
#include "remote/tcp_server.h"

namespace carvo {

ui::ShowStateModel::Value showStateValue(const ShowState& state) {
    using Phase = ui::ShowStateModel::Phase;
    Phase phase = Phase::Idle;
    switch (state.phase) {
    case ShowPhase::idle:
        phase = Phase::Idle;
        break;
    case ShowPhase::running:
        phase = Phase::Running;
        break;
    case ShowPhase::standby:
        phase = Phase::Standby;
        break;
    case ShowPhase::stopped:
        phase = Phase::Stopped;
        break;
    case ShowPhase::qlabNotAnswering:
        phase = Phase::QLabNotAnswering;
        break;
    }
    return {state.cueID, state.cueName,  state.bar,
            state.beat,  state.progress, static_cast<int>(state.beatsPerBar),
            phase};
}

ui::QLabModel::Status qlabStatus(QLabState state) {
    using Status = ui::QLabModel::Status;
    switch (state) {
    case QLabState::notRunning:
        return Status::NotRunning;
    case QLabState::runningNoWorkspace:
        return Status::RunningNoWorkspace;
    case QLabState::runningWithWorkspace:
        return Status::RunningWithWorkspace;
    case QLabState::runningWithCarvoCue:
        return Status::RunningWithCarvoCue;
    case QLabState::waitingToCheck:
        return Status::WaitingToCheck;
    }
    return Status::WaitingToCheck;
}

ViewAdapter::ViewAdapter(const BarCounterManager& counterManager, const BeatProgressModel& progress,
                         const QLabIntegration& qlabObject, const TCPServer& serverObject) {
    const auto followText = [this, &counterManager] {
        counter.setBarText(counterManager.barCounter());
    };
    const auto followColours = [this, &progress] {
        counter.setColours(progress.backColour(), progress.frontColor());
    };
    const ShowStatePublisher& publisher = counterManager.showState();
    const auto followShow = [this, &publisher] {
        showState.setValue(showStateValue(publisher.state()));
    };
    const auto followSelection = [this, &qlabObject] {
        qlab.setSelectedCue(qlabObject.uniqueID());
    };
    const auto followInterfaces = [this, &serverObject] {
        server.setInterfaces(serverObject.interfaces());
    };
    QObject::connect(&counterManager, &BarCounterManager::barCounterChanged, &counter, followText);
    QObject::connect(&progress, &BeatProgressModel::backColourChanged, &counter, followColours);
    QObject::connect(&progress, &BeatProgressModel::frontColorChanged, &counter, followColours);
    QObject::connect(&publisher, &ShowStatePublisher::changed, &showState, followShow);
    QObject::connect(&qlabObject, &QLabIntegration::uniqueIDChanged, &qlab, followSelection);
    QObject::connect(&serverObject, &TCPServer::interfacesChanged, &server, followInterfaces);
    followText();
    followColours();
    followShow();
    followSelection();
    followInterfaces();
}

} // namespace carvo
