// The jump engine's Qt tests need an event loop for queued work and a settings folder of their
// own, never the user's.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "base/settings.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    QTemporaryDir settingsDir;
    if (!settingsDir.isValid())
        return 1;
    carvo::settings::useFolder(settingsDir.path());
    return RUN_ALL_TESTS();
}
