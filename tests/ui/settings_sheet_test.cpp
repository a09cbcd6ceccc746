// The settings sheet over stand-in objects: its status line, the options, the interface
// picker's restart of the server, the QLab buttons and the console box.
#include <gtest/gtest.h>

#include <QQuickWindow>

#include "base/app_console.h"
#include "base/settings.h"
#include "fakes.h"
#include "ui/views.h"
#include "ui_test_support.h"

namespace carvo::ui::testing {
namespace {

QVariantMap interfaceInfo(const char* id, const char* name, const char* ip, const char* type) {
    return {{QStringLiteral("id"), QString::fromUtf8(id)},
            {QStringLiteral("name"), QString::fromUtf8(name)},
            {QStringLiteral("ipAddress"), QString::fromUtf8(ip)},
            {QStringLiteral("type"), QString::fromUtf8(type)}};
}

class SettingsSheetTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder.statusAnswers = {QLabModel::Status::RunningWithCarvoCue};
        recorder.server.setInterfaces({
            interfaceInfo("lo-127.0.0.1", "lo", "127.0.0.1", "Loopback"),
            interfaceInfo("eth0-10.0.0.2", "eth0", "10.0.0.2", "Ethernet"),
            interfaceInfo("eth0-10.0.0.3", "eth0", "10.0.0.3", "Ethernet"),
        });
    }

    void showMain() {
        if (views)
            return;
        views = std::make_unique<Views>(recorder.services());
        main = views->showMainWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(main));
    }
    // The cog button's action, without running the event loop: the sheet is built at once.
    QQuickWindow* presentSheet() {
        showMain();
        main->setProperty("showSettings", true);
        return find<QQuickWindow>(main, "settingsSheet");
    }
    // Clicks the cog button, as the operator does.
    QQuickWindow* clickCog() {
        showMain();
        click(find(main, "cogButton"));
        return find<QQuickWindow>(main, "settingsSheet");
    }
    QQuickWindow* openSheet() {
        QQuickWindow* sheet = clickCog();
        EXPECT_TRUE(sheet && QTest::qWaitForWindowExposed(sheet));
        return sheet;
    }

    // Chooses an entry of the interface menu as a click on it would.
    void choose(QQuickWindow* sheet, int index) {
        auto* menu = find<QObject>(sheet, "interfaceMenu");
        ASSERT_NE(menu, nullptr);
        menu->setProperty("currentIndex", index);
        QMetaObject::invokeMethod(menu, "activated", Q_ARG(int, index));
    }

    Recorder recorder;
    std::unique_ptr<Views> views;
    QQuickWindow* main = nullptr;
};

// --- the sheet and its status line ---

TEST_F(SettingsSheetTest, OpensOverTheMainWindowAndChecksQLabAtOnce) {
    QQuickWindow* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->width(), 450);
    EXPECT_EQ(sheet->height(), 700);
    EXPECT_EQ(sheet->transientParent(), main);
    EXPECT_TRUE(main->property("showSettings").toBool());

    auto* status = find<QObject>(sheet, "qlabStatusText");
    ASSERT_TRUE(waitFor([&] { return recorder.statusChecks == 1; }));
    EXPECT_TRUE(waitFor([&] {
        return status->property("text").toString() ==
               QStringLiteral("QLab is running (Carvo cue found)");
    }));
}

TEST_F(SettingsSheetTest, StatusStartsUncheckedEachTimeTheSheetIsMade) {
    recorder.statusAnswers = {QLabModel::Status::NotRunning};
    QQuickWindow* sheet = presentSheet();
    ASSERT_NE(sheet, nullptr);
    // Until the check has answered, the waiting text stands.
    EXPECT_EQ(find<QObject>(sheet, "qlabStatusText")->property("text").toString(),
              QStringLiteral("Click above to check the connection with QLab"));
    EXPECT_TRUE(waitFor([&] {
        return find<QObject>(sheet, "qlabStatusText")->property("text").toString() ==
               QStringLiteral("QLab is not running");
    }));

    click(find(sheet, "closeButton"));
    EXPECT_TRUE(waitFor([&] { return find<QQuickWindow>(main, "settingsSheet") == nullptr; }));
    EXPECT_FALSE(main->property("showSettings").toBool());

    recorder.statusAnswers = {QLabModel::Status::RunningNoWorkspace};
    QQuickWindow* again = presentSheet();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(find<QObject>(again, "qlabStatusText")->property("text").toString(),
              QStringLiteral("Click above to check the connection with QLab"));
    EXPECT_TRUE(waitFor([&] {
        return find<QObject>(again, "qlabStatusText")->property("text").toString() ==
               QStringLiteral("QLab is running (no workspace open)");
    }));
}

TEST_F(SettingsSheetTest, CheckStatusButtonChecksAgain) {
    recorder.statusAnswers = {QLabModel::Status::NotRunning,
                              QLabModel::Status::RunningWithWorkspace};
    QQuickWindow* sheet = openSheet();
    auto* status = find<QObject>(sheet, "qlabStatusText");
    ASSERT_TRUE(waitFor([&] { return recorder.statusChecks == 1; }));
    click(find(sheet, "checkStatusButton"));
    EXPECT_EQ(recorder.statusChecks, 2);
    EXPECT_EQ(status->property("text").toString(),
              QStringLiteral("QLab is running (workspace found but no Carvo cue)"));
}

TEST_F(SettingsSheetTest, QLabButtonsCallTheirOperations) {
    QQuickWindow* sheet = openSheet();
    recorder.calls.clear();
    click(find(sheet, "resetCarvoCueButton"));
    click(find(sheet, "makeChaseCueButton"));
    click(find(sheet, "resendCuesButton"));
    EXPECT_EQ(recorder.calls,
              (QStringList{QStringLiteral("resetCarvoCue"), QStringLiteral("makeChaseCue"),
                           QStringLiteral("getValidGroupCues Network")}));
}

// --- options ---

TEST_F(SettingsSheetTest, StandbyCheckboxWritesItsKey) {
    QQuickWindow* sheet = openSheet();
    auto* box = find(sheet, "standbyCheckBox");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->property("checked").toBool());
    click(box);
    EXPECT_TRUE(recorder.settings.standby());
    click(box);
    EXPECT_FALSE(recorder.settings.standby());
    EXPECT_FALSE(recorder.settings.floating());
}

TEST_F(SettingsSheetTest, FloatingCheckboxWritesItsKeyAndSetsTheLevelAtOnce) {
    QQuickWindow* sheet = openSheet();
    auto* box = find(sheet, "floatingCheckBox");
    ASSERT_NE(box, nullptr);
    click(box);
    EXPECT_TRUE(recorder.settings.floating());
    EXPECT_TRUE(main->flags().testFlag(Qt::WindowStaysOnTopHint));
    click(box);
    EXPECT_FALSE(recorder.settings.floating());
    EXPECT_FALSE(main->flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(recorder.settings.standby());
}

TEST_F(SettingsSheetTest, CheckboxesShowTheStoredSettings) {
    recorder.settings.setStandby(true);
    recorder.settings.setFloating(true);
    QQuickWindow* sheet = openSheet();
    EXPECT_TRUE(find(sheet, "standbyCheckBox")->property("checked").toBool());
    EXPECT_TRUE(find(sheet, "floatingCheckBox")->property("checked").toBool());
}

TEST_F(SettingsSheetTest, QLabRoadFieldsShowAndWriteOnlyTheirKeys) {
    recorder.settings.setText("qlabHost", QStringLiteral("10.0.0.9"));
    QQuickWindow* sheet = openSheet();
    auto* host = find<QObject>(sheet, "qlabHostField");
    auto* port = find<QObject>(sheet, "qlabPortField");
    auto* map = find<QObject>(sheet, "mediaPathMapField");
    ASSERT_TRUE(host && port && map);
    EXPECT_EQ(host->property("text").toString(), QStringLiteral("10.0.0.9"));
    EXPECT_TRUE(port->property("text").toString().isEmpty());

    // An edit is stored when it is finished, trimmed; clearing a field removes its key.
    port->setProperty("text", QStringLiteral("53100"));
    QMetaObject::invokeMethod(port, "editingFinished");
    EXPECT_EQ(recorder.settings.text("qlabPort"), QStringLiteral("53100"));
    map->setProperty("text", QStringLiteral(" /Volumes/Show=/srv/show "));
    QMetaObject::invokeMethod(map, "editingFinished");
    EXPECT_EQ(recorder.settings.text("mediaPathMap"), QStringLiteral("/Volumes/Show=/srv/show"));
    host->setProperty("text", QString());
    QMetaObject::invokeMethod(host, "editingFinished");
    EXPECT_TRUE(recorder.settings.text("qlabHost").isEmpty());

    // The bridge never writes a key the sheet does not own.
    auto* bridge = sheet->property("bridge").value<QObject*>();
    ASSERT_NE(bridge, nullptr);
    QMetaObject::invokeMethod(bridge, "setQLabRoadSetting",
                              Q_ARG(QString, QStringLiteral("standby")),
                              Q_ARG(QString, QStringLiteral("true")));
    EXPECT_FALSE(recorder.settings.standby());
}

TEST_F(SettingsSheetTest, PickingAQLabFoundOnTheNetworkFillsAndStoresItsHostAndPort) {
    recorder.qlabMachines = {{QStringLiteral("Stage Mac"), QStringLiteral("stage.local."), 53000},
                             {QStringLiteral("Backup"), QStringLiteral("10.0.0.8"), 53100}};
    QQuickWindow* sheet = openSheet();
    auto* menu = find<QObject>(sheet, "qlabMachineMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->property("count").toInt(), 2);
    QString label;
    QMetaObject::invokeMethod(menu, "textAt", Q_RETURN_ARG(QString, label), Q_ARG(int, 1));
    EXPECT_EQ(label, QStringLiteral("Backup \u2013 10.0.0.8:53100"));

    QMetaObject::invokeMethod(menu, "activated", Q_ARG(int, 1));
    EXPECT_EQ(recorder.settings.text("qlabHost"), QStringLiteral("10.0.0.8"));
    EXPECT_EQ(recorder.settings.text("qlabPort"), QStringLiteral("53100"));
    EXPECT_EQ(find<QObject>(sheet, "qlabHostField")->property("text").toString(),
              QStringLiteral("10.0.0.8"));
    EXPECT_EQ(find<QObject>(sheet, "qlabPortField")->property("text").toString(),
              QStringLiteral("53100"));
}

// --- the interface picker ---

TEST_F(SettingsSheetTest, MenuListsInterfacesAndRefreshesThemWhenShown) {
    QQuickWindow* sheet = openSheet();
    auto* menu = find<QObject>(sheet, "interfaceMenu");
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(recorder.calls.contains(QStringLiteral("refreshInterfaces")));
    EXPECT_EQ(menu->property("count").toInt(), 3);
    QString label;
    QMetaObject::invokeMethod(menu, "textAt", Q_RETURN_ARG(QString, label), Q_ARG(int, 1));
    EXPECT_EQ(label, QStringLiteral("Ethernet \u2013 eth0 \u2013 10.0.0.2"));
    // With nothing stored, no entry is selected.
    EXPECT_EQ(menu->property("currentIndex").toInt(), -1);
}

TEST_F(SettingsSheetTest, ChoosingAnotherInterfaceStopsNowAndStartsASecondLater) {
    recorder.settings.setStoredInterfaceName(QStringLiteral("lo"));
    QQuickWindow* sheet = openSheet();
    recorder.calls.clear();
    choose(sheet, 1);
    EXPECT_EQ(recorder.settings.storedInterfaceName(), QStringLiteral("eth0"));
    EXPECT_EQ(recorder.calls, QStringList{QStringLiteral("stopServer")});
    EXPECT_EQ(recorder.scheduledDelay, std::chrono::milliseconds(1000));
    ASSERT_TRUE(recorder.scheduled);
    recorder.scheduled();
    EXPECT_EQ(recorder.calls,
              (QStringList{QStringLiteral("stopServer"), QStringLiteral("startServer")}));
    EXPECT_EQ(find<QObject>(sheet, "interfaceMenu")->property("currentIndex").toInt(), 1);
}

TEST_F(SettingsSheetTest, APickWithinTheSecondSupersedesTheRestartStillWaiting) {
    recorder.settings.setStoredInterfaceName(QStringLiteral("lo"));
    QQuickWindow* sheet = openSheet();
    recorder.calls.clear();
    choose(sheet, 1);
    const std::function<void()> firstRestart = recorder.scheduled;
    choose(sheet, 0);
    ASSERT_TRUE(firstRestart);
    firstRestart(); // its second has passed, but a later pick came meanwhile
    EXPECT_EQ(recorder.calls,
              (QStringList{QStringLiteral("stopServer"), QStringLiteral("stopServer")}));
    recorder.scheduled();
    EXPECT_EQ(recorder.calls.count(QStringLiteral("startServer")), 1);
    EXPECT_EQ(recorder.settings.storedInterfaceName(), QStringLiteral("lo"));
}

TEST_F(SettingsSheetTest, ChoosingTheStoredInterfaceChangesNothing) {
    recorder.settings.setStoredInterfaceName(QStringLiteral("eth0"));
    QQuickWindow* sheet = openSheet();
    // The first of two addresses of one interface shows the stored name.
    EXPECT_EQ(find<QObject>(sheet, "interfaceMenu")->property("currentIndex").toInt(), 1);
    recorder.calls.clear();
    choose(sheet, 2); // the same interface's second address: the same value
    choose(sheet, 1);
    EXPECT_TRUE(recorder.calls.isEmpty()) << recorder.calls.join(", ").toStdString();
    EXPECT_FALSE(recorder.scheduled);
}

TEST_F(SettingsSheetTest, AStoredNameThatNoEntryHasIsWrittenWithoutARestart) {
    views = std::make_unique<Views>(recorder.services());
    views->bridge().setStoredInterfaceName(QStringLiteral("wlan9"));
    EXPECT_EQ(recorder.settings.storedInterfaceName(), QStringLiteral("wlan9"));
    EXPECT_TRUE(recorder.calls.isEmpty());
    EXPECT_FALSE(recorder.scheduled);
}

// --- the console box ---

TEST_F(SettingsSheetTest, ConsoleBoxShowsTheLogAndFollowsItsLastLine) {
    QQuickWindow* sheet = openSheet();
    auto* text = find<QObject>(sheet, "consoleText");
    auto* box = find(sheet, "consoleBox");
    ASSERT_NE(text, nullptr);
    ASSERT_NE(box, nullptr);
    auto* flick = box->property("contentItem").value<QQuickItem*>();
    ASSERT_NE(flick, nullptr);

    for (int i = 0; i < 40; ++i)
        AppConsole::shared().log(QStringLiteral("line %1").arg(i));
    ASSERT_TRUE(waitFor(
        [&] { return text->property("text").toString().endsWith(QStringLiteral("line 39\n")); }));
    EXPECT_EQ(text->property("text").toString(), AppConsole::shared().logText());
    EXPECT_GT(flick->property("contentHeight").toReal(), flick->height());
    // The last line is in view: the box is scrolled to the end of the text.
    const auto bottomShown = [&] {
        return flick->property("contentY").toReal() + flick->height() >=
               flick->property("contentHeight").toReal() - 1;
    };
    EXPECT_TRUE(waitFor(bottomShown)) << flick->property("contentY").toReal();
    EXPECT_GE(text->property("height").toReal(), flick->property("contentHeight").toReal());
}

} // namespace
} // namespace carvo::ui::testing
