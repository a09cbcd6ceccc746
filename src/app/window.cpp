#include "app/window.h"

#include <QCoreApplication>

#include "app/runner_setup.h"
#include "app/shared_objects.h"
#include "base/diagnostics.h"
#include "ui/views.h"

namespace carvo {

WindowDialogResponder::WindowDialogResponder(ui::Views& views) : m_views(&views) {}

std::optional<QString> WindowDialogResponder::respond(const sim::DialogRequest& request) {
    if (!m_views)
        return request.defaultAnswer.value_or(QString());
    return m_views->askInDialog(request.title.isEmpty() ? QStringLiteral("QLab") : request.title,
                                request.text, request.defaultAnswer);
}

int runWindow(SharedObjects& objects, const RunnerChoice& qlab) {
    ui::Views views(objects.uiServices());
    qlab.setDialogResponder(std::make_shared<WindowDialogResponder>(views));

    // Closing the one main window ends the application, whatever else is open.
    QObject::connect(&views, &ui::Views::mainWindowClosed, &views, [] {
        QCoreApplication::quit();
        writeLine(std::string_view("view dissapeared"));
    });
    if (!views.showMainWindow())
        return 1;
    const int status = QCoreApplication::exec();
    qlab.setDialogResponder(std::make_shared<sim::DefaultAnswerResponder>());
    return status;
}

} // namespace carvo
