#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QSettings>
#include <QTemporaryDir>

#include "base/settings.h"

namespace carvo {
namespace {

// Every test keeps the store in a folder of its own, never the user's settings.
class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        settings::useFolder(folder.path());
    }
    QTemporaryDir folder;
};

TEST_F(Settings, KeysNeverWrittenReadAsTheirDefaults) {
    EXPECT_FALSE(settings::floating());
    EXPECT_FALSE(settings::standby());
    EXPECT_EQ(settings::preWait(), 0.0);
    EXPECT_FALSE(settings::storedInterfaceName().has_value());
}

TEST_F(Settings, WrittenValuesReadBack) {
    settings::setFloating(true);
    settings::setStandby(true);
    settings::setPreWait(1.25);
    settings::setStoredInterfaceName(QStringLiteral("en0"));
    EXPECT_TRUE(settings::floating());
    EXPECT_TRUE(settings::standby());
    EXPECT_EQ(settings::preWait(), 1.25);
    EXPECT_EQ(settings::storedInterfaceName(), QStringLiteral("en0"));

    settings::setStandby(false);
    EXPECT_FALSE(settings::standby());
}

TEST_F(Settings, AnEmptyStoredInterfaceNameIsNotAnAbsentOne) {
    settings::setStoredInterfaceName(QString());
    ASSERT_TRUE(settings::storedInterfaceName().has_value());
    EXPECT_TRUE(settings::storedInterfaceName()->isEmpty());
    settings::remove(settings::storedInterfaceNameKey);
    EXPECT_FALSE(settings::storedInterfaceName().has_value());
}

TEST_F(Settings, ReadsAreFreshFromTheStore) {
    ASSERT_FALSE(settings::standby());
    // Another writer of the same store, as the settings sheet is.
    QSettings(QStringLiteral("Carvo"), QStringLiteral("Carvo"))
        .setValue(QStringLiteral("standby"), true);
    EXPECT_TRUE(settings::standby());
    QSettings(QStringLiteral("Carvo"), QStringLiteral("Carvo"))
        .setValue(QStringLiteral("preWait"), 0.5);
    EXPECT_EQ(settings::preWait(), 0.5);
}

TEST_F(Settings, TheStoreLivesInTheChosenFolderAndNowhereElse) {
    settings::setFloating(true);
    settings::setStoredInterfaceName(QStringLiteral("eth0"));

    QStringList files;
    QDirIterator it(folder.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    ASSERT_EQ(files.size(), 1);
    QSettings file(files.first(), QSettings::IniFormat);
    EXPECT_EQ(file.value(QStringLiteral("storedInterfaceName")).toString(), QStringLiteral("eth0"));

    QTemporaryDir other;
    settings::useFolder(other.path());
    EXPECT_FALSE(settings::floating());
    EXPECT_FALSE(settings::storedInterfaceName().has_value());

    settings::useFolder(folder.path());
    EXPECT_TRUE(settings::floating());
}

} // namespace
} // namespace carvo
