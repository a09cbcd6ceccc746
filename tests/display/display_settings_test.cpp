#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "base/settings.h"
#include "display/display_settings.h"

namespace carvo::display {
namespace {

TEST(DisplaySettingsTest, ThePortAndPINAsStoredWithTheDefaultForAnythingElse) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    Settings settings(folder.path());
    EXPECT_EQ(readDisplaySettings(settings).port, 54380);
    EXPECT_TRUE(readDisplaySettings(settings).pin.isEmpty()) << "no PIN: no control page";

    settings.setInteger(displayPortKey, 0);
    EXPECT_EQ(readDisplaySettings(settings).port, 0) << "0 turns the display off";
    settings.setInteger(displayPortKey, 8080);
    EXPECT_EQ(readDisplaySettings(settings).port, 8080);
    for (const char* bad : {"70000", "-1", "web", ""}) {
        settings.setText(displayPortKey, QString::fromLatin1(bad));
        EXPECT_EQ(readDisplaySettings(settings).port, 54380) << bad;
    }
    settings.setText(displayPINKey, QStringLiteral("4711"));
    EXPECT_EQ(readDisplaySettings(settings).pin, "4711");
}

} // namespace
} // namespace carvo::display
