#pragma once
// The windowed application over the shared objects: the main window, QLab's dialogs as windows
// of the application, and quitting when the main window closes.

#include <memory>
#include <optional>

#include <QPointer>

#include "qlab/sim/simulated_qlab.h"

namespace carvo {

class SharedObjects;
struct RunnerChoice;

namespace ui {
class Views;
}

// The simulated QLab's dialogs appear as dialogs of this application, so an operator can
// answer "Enter bar number." from the window. Once the views are gone, the default answer.
class WindowDialogResponder : public sim::DialogResponder {
public:
    explicit WindowDialogResponder(ui::Views& views);
    std::optional<QString> respond(const sim::DialogRequest& request) override;

private:
    QPointer<ui::Views> m_views;
};

// Shows the main window and runs the event loop until it is closed, which writes
// "view dissapeared" and quits. Needs a QGuiApplication and the objects already started; a
// simulated QLab, if one answers, shows its dialogs in the window meanwhile, and so does the OSC
// road (QLab has no OSC dialog). Returns the event loop's status.
int runWindow(SharedObjects& objects, const RunnerChoice& qlab);

} // namespace carvo
