#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QSettings>
#include <QTemporaryDir>

#include "base/settings.h"

namespace carvo {
namespace {

// Every test keeps the store in a folder of its own, never the user's settings.
class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    // Another writer of the same file, as a second Carvo or the settings sheet of one is.
    QSettings sameFile() const {
        return QSettings(folder.filePath(QStringLiteral("Carvo/Carvo.conf")), QSettings::IniFormat);
    }

    QTemporaryDir folder;
    Settings settings{folder.path()};
};

TEST_F(SettingsStore, KeysNeverWrittenReadAsTheirDefaults) {
    EXPECT_FALSE(settings.floating());
    EXPECT_FALSE(settings.standby());
    EXPECT_EQ(settings.preWait(), 0.0);
    EXPECT_FALSE(settings.storedInterfaceName().has_value());
    EXPECT_TRUE(settings.text("qlabHost").isEmpty());
    EXPECT_FALSE(settings.integer("maxRemoteClients").has_value());
}

TEST_F(SettingsStore, WrittenValuesReadBack) {
    settings.setFloating(true);
    settings.setStandby(true);
    settings.setPreWait(1.25);
    settings.setStoredInterfaceName(QStringLiteral("en0"));
    EXPECT_TRUE(settings.floating());
    EXPECT_TRUE(settings.standby());
    EXPECT_EQ(settings.preWait(), 1.25);
    EXPECT_EQ(settings.storedInterfaceName(), QStringLiteral("en0"));

    settings.setStandby(false);
    EXPECT_FALSE(settings.standby());
}

TEST_F(SettingsStore, AnEmptyStoredInterfaceNameIsNotAnAbsentOne) {
    settings.setStoredInterfaceName(QString());
    ASSERT_TRUE(settings.storedInterfaceName().has_value());
    EXPECT_TRUE(settings.storedInterfaceName()->isEmpty());
    settings.remove(Settings::storedInterfaceNameKey);
    EXPECT_FALSE(settings.storedInterfaceName().has_value());
}

TEST_F(SettingsStore, TextsAndNumbersKeptByTheLayersThatOwnThem) {
    settings.setText("qlabHost", QStringLiteral("10.0.0.9"));
    EXPECT_TRUE(settings.contains("qlabHost"));
    settings.setText("qlabHost", QString()); // empty removes
    EXPECT_FALSE(settings.contains("qlabHost"));

    settings.setInteger("maxRemoteClients", 12);
    EXPECT_EQ(settings.integer("maxRemoteClients"), 12);
    sameFile().setValue(QStringLiteral("maxRemoteClients"), QStringLiteral("many"));
    EXPECT_FALSE(settings.integer("maxRemoteClients").has_value());
}

TEST_F(SettingsStore, ReadsAreFreshFromTheStore) {
    ASSERT_FALSE(settings.standby());
    sameFile().setValue(QStringLiteral("standby"), true);
    EXPECT_TRUE(settings.standby());
    sameFile().setValue(QStringLiteral("preWait"), 0.5);
    EXPECT_EQ(settings.preWait(), 0.5);
    // Two objects over one folder are one store.
    Settings(folder.path()).setFloating(true);
    EXPECT_TRUE(settings.floating());
}

TEST_F(SettingsStore, TheStoreLivesInTheChosenFolderAndNowhereElse) {
    settings.setFloating(true);
    settings.setStoredInterfaceName(QStringLiteral("eth0"));

    QStringList files;
    QDirIterator it(folder.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    ASSERT_EQ(files.size(), 1);
    QSettings file(files.first(), QSettings::IniFormat);
    EXPECT_EQ(file.value(QStringLiteral("storedInterfaceName")).toString(), QStringLiteral("eth0"));

    QTemporaryDir other;
    const Settings elsewhere(other.path());
    EXPECT_FALSE(elsewhere.floating());
    EXPECT_FALSE(elsewhere.storedInterfaceName().has_value());
    // Nor does the user's own store see it (the test main moved it into a folder of the run).
    EXPECT_FALSE(Settings().storedInterfaceName().has_value());
    EXPECT_TRUE(settings.floating());
}

} // namespace
} // namespace carvo
