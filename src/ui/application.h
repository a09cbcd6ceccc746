#pragma once
// The windowed application over the shared objects: the main window, QLab's dialogs as windows
// of the application, and quitting when the main window closes.

#include <optional>

#include <QPointer>

#include "qlab/sim/simulated_qlab.h"
#include "ui/ui_services.h"

namespace carvo::ui {

// The views' operations bound to the shared objects (this creates the shared bar counter and
// beat progress model, which the main window is the first to use).
UiServices sharedServices();

class Views;

// The simulated QLab's dialogs appear as dialogs of this application, so an operator can
// answer "Enter bar number." from the window. Once the views are gone, the default answer.
class WindowDialogResponder : public sim::DialogResponder {
public:
    explicit WindowDialogResponder(Views& views);
    std::optional<QString> respond(const sim::DialogRequest& request) override;

private:
    QPointer<Views> m_views;
};

// Whether the command line asks for no window.
bool headlessRequested(int argc, char** argv);

// Shows the main window and runs the event loop until it is closed, which writes
// "view dissapeared" and quits. Needs a QGuiApplication and the shared objects already started.
// Returns the event loop's status.
int runWindow();

} // namespace carvo::ui
