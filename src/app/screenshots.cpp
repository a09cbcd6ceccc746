// Renders the application's windows offscreen into PNG files for the documentation: the main
// window while the bar counter runs after a jump, the settings sheet and the cue list window.
// Usage: carvo-ui-screenshots FOLDER   (QT_QPA_PLATFORM=offscreen)

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include "app/runner_setup.h"
#include "app/shared_objects.h"
#include "base/diagnostics.h"
#include "base/settings.h"
#include "display/display_settings.h"
#include "qlab/sim/simulated_qlab.h"
#include "ui/views.h"

namespace {

// The operator's answer to QLab's bar dialog.
class BarAnswer : public carvo::sim::DialogResponder {
public:
    std::optional<QString> respond(const carvo::sim::DialogRequest& request) override {
        return request.defaultAnswer ? QStringLiteral("12") : QString();
    }
};

bool save(QQuickWindow* window, const QDir& folder, const QString& name) {
    if (!window || !QTest::qWaitForWindowExposed(window))
        return false;
    QTest::qWait(300); // let animations and the counter's ticks settle into the picture
    const QString path = folder.filePath(name);
    if (!window->grabWindow().save(path)) {
        carvo::writeLine(QStringLiteral("cannot write ") + path);
        return false;
    }
    carvo::writeLine(QStringLiteral("wrote ") + path);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        carvo::writeLine(std::string_view("usage: carvo-ui-screenshots FOLDER"));
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path()))
        return 1;

    QTemporaryDir settingsFolder;
    carvo::Settings settings(settingsFolder.path());
    settings.setStoredInterfaceName(carvo::TCPServer::defaultInterfaceName());

    QString problem;
    auto workspace = carvo::sim::loadWorkspaceFile(
        carvo::demoFolder() + QStringLiteral("/workspace.json"), &problem);
    if (!workspace) {
        carvo::writeLine(QStringLiteral("cannot load the demo workspace: ") + problem);
        return 1;
    }
    carvo::SharedObjects objects(
        std::make_shared<carvo::sim::SimulatedQLab>(std::move(*workspace),
                                                    std::make_shared<carvo::sim::SystemClock>(),
                                                    std::make_shared<BarAnswer>()),
        settings);
    carvo::TCPServer& server = objects.server();
    // On the loopback and the real port, so the console shows what operators will see.
    server.setPort(carvo::TCPServer::defaultPort);
    // The settings sheet shows the stage display's address and QR code, with a control page.
    objects.startDisplay(carvo::display::defaultDisplayPort, QStringLiteral("4711"));
    server.startServer();

    carvo::ui::Views views(objects.uiServices());
    QQuickWindow* main = views.showMainWindow();
    if (!main || !QTest::qWaitForWindowExposed(main))
        return 1;

    // A jump to bar 12 of the overture, then a little more than a bar of music.
    views.bridge().go();
    QTest::qWait(1700);
    bool ok = save(main, folder, QStringLiteral("main-window.png"));

    views.bridge().openCueList();
    ok = save(views.cueListWindow(), folder, QStringLiteral("cue-list.png")) && ok;
    if (views.cueListWindow())
        views.cueListWindow()->close();

    main->setProperty("showSettings", true);
    QQuickWindow* sheet = main->findChild<QQuickWindow*>(QStringLiteral("settingsSheet"));
    ok = save(sheet, folder, QStringLiteral("settings-sheet.png")) && ok;

    server.stopServer();
    return ok ? 0 : 1;
}
