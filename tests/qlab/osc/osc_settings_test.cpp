// Which road to QLab the settings and --qlab choose, and where a MIDI file QLab names is read.

#include "qlab/osc/osc_settings.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <utility>

namespace carvo::testing {
namespace {

class OSCRoadChoice : public ::testing::Test {
protected:
    void set(const char* key, const QVariant& value) { settings.setText(key, value.toString()); }

    QTemporaryDir folder;
    Settings settings{folder.path()};
};

TEST_F(OSCRoadChoice, TheCommandLineWinsAndKeepsTheStoredPasscodeAndMap) {
    set(osc::hostKey, QStringLiteral("10.0.0.9"));
    set(osc::passcodeKey, QStringLiteral("4321"));
    set(osc::mediaPathMapKey, QStringLiteral("/Volumes/Show=/srv/show"));
    set(osc::backendKey, QStringLiteral("applescript"));
    QString problem;
    const auto road = osc::chooseRoad(settings, QStringLiteral("osc://127.0.0.1:53123"), &problem);
    ASSERT_TRUE(road) << problem.toStdString();
    EXPECT_EQ(road->client.host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(road->client.port, 53123);
    EXPECT_EQ(road->client.passcode, QStringLiteral("4321"));
    EXPECT_EQ(road->media.apply(QStringLiteral("/Volumes/Show/a.mid")),
              QStringLiteral("/srv/show/a.mid"));

    const auto defaultPort =
        osc::chooseRoad(settings, QStringLiteral("osc://qlab.local"), &problem);
    ASSERT_TRUE(defaultPort);
    EXPECT_EQ(defaultPort->client.port, 53000);
}

TEST_F(OSCRoadChoice, QLabsDuplicateWindowIsASettingOf250ByDefault) {
    QString problem;
    const auto url = QStringLiteral("osc://127.0.0.1");
    ASSERT_TRUE(osc::chooseRoad(settings, url, &problem));
    EXPECT_EQ(osc::chooseRoad(settings, url, &problem)->client.repeatWindow.count(), 250);
    for (const auto& [text, window] : {std::pair{"400", 400}, std::pair{" 0 ", 0}}) {
        set(osc::duplicateWindowKey, QString::fromLatin1(text));
        const auto road = osc::chooseRoad(settings, url, &problem);
        ASSERT_TRUE(road) << problem.toStdString();
        EXPECT_EQ(road->client.repeatWindow.count(), window);
    }
    for (const char* bad : {"-1", "soon", "2.5", "600000"}) {
        set(osc::duplicateWindowKey, QString::fromLatin1(bad));
        problem.clear();
        EXPECT_FALSE(osc::chooseRoad(settings, url, &problem)) << bad;
        EXPECT_TRUE(problem.contains(QStringLiteral("qlabDuplicateWindowMs"))) << bad;
    }
}

TEST_F(OSCRoadChoice, UnusableUrlsAndSettingsAreRefusedWithAReason) {
    for (const char* url : {"http://127.0.0.1", "osc://", "osc://host:0", "osc://host:99999",
                            "osc://host/path", "127.0.0.1"}) {
        QString problem;
        EXPECT_FALSE(osc::chooseRoad(settings, QString::fromLatin1(url), &problem)) << url;
        EXPECT_FALSE(problem.isEmpty()) << url;
    }
    QString problem;
    set(osc::backendKey, QStringLiteral("osc"));
    EXPECT_FALSE(osc::chooseRoad(settings, {}, &problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("qlabHost")));
    problem.clear();
    set(osc::backendKey, QStringLiteral("midi"));
    EXPECT_FALSE(osc::chooseRoad(settings, {}, &problem));
    EXPECT_FALSE(problem.isEmpty());
    problem.clear();
    set(osc::backendKey, QStringLiteral("osc"));
    set(osc::hostKey, QStringLiteral("10.0.0.9"));
    set(osc::portKey, QStringLiteral("port"));
    EXPECT_FALSE(osc::chooseRoad(settings, {}, &problem));
    EXPECT_TRUE(problem.contains(QStringLiteral("qlabPort")));
}

TEST_F(OSCRoadChoice, WithoutABackendSettingAHostChoosesOSCOffTheMac) {
    QString problem;
    EXPECT_FALSE(osc::chooseRoad(settings, {}, &problem))
        << "nothing set: AppleScript or the simulation";
    EXPECT_TRUE(problem.isEmpty());
    set(osc::hostKey, QStringLiteral("10.0.0.9"));
    set(osc::portKey, 53100);
    const auto road = osc::chooseRoad(settings, {}, &problem);
#ifdef Q_OS_MACOS
    EXPECT_FALSE(road);
#else
    ASSERT_TRUE(road);
    EXPECT_EQ(road->client.host, QStringLiteral("10.0.0.9"));
    EXPECT_EQ(road->client.port, 53100);
#endif
    set(osc::backendKey, QStringLiteral("applescript"));
    EXPECT_FALSE(osc::chooseRoad(settings, {}, &problem));
    EXPECT_TRUE(problem.isEmpty());
}

TEST(MediaPathMap, ReplacesOnlyALeadingPrefix) {
    const auto map = osc::MediaPathMap::parse(QStringLiteral("/Users/sm/Show=/home/op/Show"));
    EXPECT_EQ(map.apply(QStringLiteral("/Users/sm/Show/Act 1/overture.mid")),
              QStringLiteral("/home/op/Show/Act 1/overture.mid"));
    EXPECT_EQ(map.apply(QStringLiteral("/Other/Users/sm/Show/x.mid")),
              QStringLiteral("/Other/Users/sm/Show/x.mid"));
    for (const char* unusable : {"", "=/home/op", "no equals sign"})
        EXPECT_EQ(
            osc::MediaPathMap::parse(QString::fromLatin1(unusable)).apply(QStringLiteral("/a/b")),
            QStringLiteral("/a/b"));
    // Only the first '=' separates: the rest belongs to the local path.
    EXPECT_EQ(osc::MediaPathMap::parse(QStringLiteral("/a=/b=c")).apply(QStringLiteral("/a/x")),
              QStringLiteral("/b=c/x"));
}

} // namespace
} // namespace carvo::testing
