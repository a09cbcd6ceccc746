#pragma once
// The views' models filled from the engine objects: each model follows its object through typed
// connections, so the views depend on no subsystem and no subsystem on the views.

#include "engine/show_state.h"
#include "qlab/qlab_state.h"
#include "ui/view_models.h"

namespace carvo {

class BarCounterManager;
class BeatProgressModel;
class QLabIntegration;
class TCPServer;

ui::ShowStateModel::Value showStateValue(const ShowState& state);
ui::QLabModel::Status qlabStatus(QLabState state);

// Main thread. The models start with the objects' current values.
class ViewAdapter {
public:
    ViewAdapter(const BarCounterManager& counter, const BeatProgressModel& progress,
                const QLabIntegration& qlab, const TCPServer& server);
    ViewAdapter(const ViewAdapter&) = delete;
    ViewAdapter& operator=(const ViewAdapter&) = delete;

    ui::CounterModel counter;
    ui::ShowStateModel showState;
    ui::QLabModel qlab;
    ui::ServerModel server;
};

} // namespace carvo
