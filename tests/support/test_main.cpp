// The one entry of every Qt test suite: an application object for the event loop and, before any
// test runs, the default settings store moved into a folder of the run's own. A test hands its
// objects a Settings of its own; whatever is still built on the default store (a child process
// included, through XDG_CONFIG_HOME) never reads or writes the user's own settings.
#include <gtest/gtest.h>

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#ifdef CARVO_TEST_GUI
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
#ifdef CARVO_TEST_GUI
    // The views run offscreen with the software scene graph.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
#endif
    QTemporaryDir settingsDir;
    if (!settingsDir.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settingsDir.path()));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    QStandardPaths::setTestModeEnabled(true);

    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
