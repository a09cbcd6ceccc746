// The bridge's tests need an event loop (console appends and clients' messages are queued to the
// main thread) and a settings folder of their own, never the user's.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "base/settings.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir settingsDir;
    if (!settingsDir.isValid())
        return 1;
    carvo::settings::useFolder(settingsDir.path());
    return RUN_ALL_TESTS();
}
