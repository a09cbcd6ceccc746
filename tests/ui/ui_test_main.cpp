// The views need a GUI application; the tests run offscreen with the software scene graph.
#include <gtest/gtest.h>

#include <QGuiApplication>

#include "base/settings.h"
#include "ui_test_support.h"

namespace carvo::ui::testing {
SettingsFolder::SettingsFolder() {
    settings::useFolder(m_dir.path());
}
} // namespace carvo::ui::testing

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
