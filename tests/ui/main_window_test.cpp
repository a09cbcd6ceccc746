// The main window over stand-in objects: layout, the counter, the beat progress bar, the go
// action and the cue list window.
#include <gtest/gtest.h>

#include <QImage>
#include <QQuickWindow>

#include "base/diagnostics.h"
#include "base/settings.h"
#include "fakes.h"
#include "ui/beat_progress_bar.h"
#include "ui/views.h"
#include "ui_test_support.h"

namespace carvo::ui::testing {
namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { recorder.statusAnswers = {QLabModel::Status::RunningWithCarvoCue}; }

    QQuickWindow* show() {
        views = std::make_unique<Views>(recorder.services());
        QQuickWindow* window = views->showMainWindow();
        if (window) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        }
        return window;
    }

    Recorder recorder;
    std::unique_ptr<Views> views;
};

// --- layout and texts ---

TEST_F(MainWindowTest, ShowsTitleButtonsAndMinimumSizes) {
    QQuickWindow* window = show();
    ASSERT_NE(window, nullptr);

    auto* title = find(window, "titleText");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->property("text").toString(), QStringLiteral("Carvo v1.8.3"));

    auto* cog = find(window, "cogButton");
    ASSERT_NE(cog, nullptr);
    EXPECT_EQ(cog->width(), 30);
    EXPECT_EQ(cog->height(), 30);

    auto* cueList = find(window, "cueListButton");
    ASSERT_NE(cueList, nullptr);
    EXPECT_EQ(cueList->property("text").toString(), QStringLiteral("Cue List"));

    auto* progress = find(window, "beatProgressView");
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->height(), 24);

    auto* counter = find(window, "barCounterButton");
    ASSERT_NE(counter, nullptr);
    EXPECT_GE(counter->width(), 250);
    EXPECT_GE(counter->height(), 170);

    // Content of 250 by 250 at least, and the counter and progress bar inside it.
    EXPECT_GE(window->width(), 250);
    EXPECT_GE(window->height(), 250);
    const QRectF counterArea = counter->mapRectToScene(counter->boundingRect());
    EXPECT_LE(counterArea.right(), window->width());
    EXPECT_LE(counterArea.bottom(), window->height());
}

TEST_F(MainWindowTest, CogIconIsAnImageThatLoads) {
    QQuickWindow* window = show();
    auto* cog = find(window, "cogButton");
    ASSERT_NE(cog, nullptr);
    auto* image = cog->property("contentItem").value<QQuickItem*>();
    ASSERT_NE(image, nullptr);
    // Image.Ready; an unreadable or missing icon ends in Error.
    EXPECT_TRUE(waitFor([&] { return image->property("status").toInt() == 1; }));
    EXPECT_GT(image->property("paintedWidth").toReal(), 0);
}

// --- the bar counter ---

TEST_F(MainWindowTest, CounterTextFollowsBarCounterAndFitsTheFace) {
    QQuickWindow* window = show();
    auto* text = find(window, "barCounterText");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->property("text").toString(), QStringLiteral("1.1"));

    recorder.counter.setBarText(QStringLiteral("17.3"));
    EXPECT_EQ(text->property("text").toString(), QStringLiteral("17.3"));

    // Short text at the full size: 0.4 of the face's smaller side.
    auto* counter = find(window, "barCounterButton");
    const qreal fullSize = 0.4 * std::min(counter->width(), counter->height());
    EXPECT_NEAR(text->property("font").value<QFont>().pixelSize(), fullSize, 1);

    // A long position shrinks until it fits the face on one line.
    recorder.counter.setBarText(QStringLiteral("123456789.12"));
    EXPECT_TRUE(waitFor([&] {
        return text->property("contentWidth").toReal() <= counter->width() &&
               text->property("lineCount").toInt() == 1;
    }));
    EXPECT_LT(text->property("contentHeight").toReal(), fullSize);
}

// --- the beat progress bar ---

class BeatProgressTest : public MainWindowTest {
protected:
    // The colour along the bar's middle line at a fraction of its width.
    QColor colourAt(qreal fraction) {
        const QRectF area = bar->mapRectToScene(bar->boundingRect());
        return image.pixelColor(
            QPoint(int(area.left() + fraction * area.width()), int(area.center().y())));
    }
    void grab() {
        QTest::qWait(0);
        image = bar->window()->grabWindow();
    }
    static bool near(const QColor& a, const QColor& b) {
        return std::abs(a.red() - b.red()) <= 8 && std::abs(a.green() - b.green()) <= 8 &&
               std::abs(a.blue() - b.blue()) <= 8;
    }

    QQuickItem* bar = nullptr;
    QImage image;
};

TEST_F(BeatProgressTest, FourBeatsHalfwayFillsTheFirstTwoCapsules) {
    recorder.setProgress(4, 0.5);
    bar = find(show(), "beatProgressView");
    ASSERT_NE(bar, nullptr);
    grab();
    const QColor front = recorder.counter.frontColor();
    const QColor back = recorder.counter.backColour();
    // Capsule centres at 1/8, 3/8, 5/8 and 7/8 of the width.
    EXPECT_TRUE(near(colourAt(0.125), front)) << colourAt(0.125).name().toStdString();
    EXPECT_TRUE(near(colourAt(0.375), front)) << colourAt(0.375).name().toStdString();
    EXPECT_TRUE(near(colourAt(0.625), back)) << colourAt(0.625).name().toStdString();
    EXPECT_TRUE(near(colourAt(0.875), back)) << colourAt(0.875).name().toStdString();
    // The gap between capsules shows neither colour: the fill is masked by the capsules.
    const QColor gap = colourAt(0.25);
    EXPECT_FALSE(near(gap, front)) << gap.name().toStdString();
    EXPECT_FALSE(near(gap, back)) << gap.name().toStdString();
}

TEST_F(BeatProgressTest, FollowsTheModelsColoursAndBeats) {
    bar = find(show(), "beatProgressView");
    ASSERT_NE(bar, nullptr);
    // A new bar: three beats, colours swapped, a third played.
    recorder.setProgress(3, 0.34);
    recorder.counter.setColours(recorder.counter.frontColor(), recorder.counter.backColour());
    grab();
    EXPECT_TRUE(near(colourAt(1.0 / 6), recorder.counter.frontColor()));
    EXPECT_TRUE(near(colourAt(0.5), recorder.counter.backColour()));
    EXPECT_TRUE(near(colourAt(5.0 / 6), recorder.counter.backColour()));
}

TEST_F(BeatProgressTest, NoBeatsShowsNoCapsulesAndNoFill) {
    recorder.setProgress(0, 0.5);
    bar = find(show(), "beatProgressView");
    ASSERT_NE(bar, nullptr);
    grab();
    for (qreal f = 0.02; f < 1; f += 0.05) {
        EXPECT_FALSE(near(colourAt(f), recorder.counter.frontColor())) << f;
        EXPECT_FALSE(near(colourAt(f), recorder.counter.backColour())) << f;
    }
}

TEST(CapsuleLayout, EqualWidthsFourApartFillingTheRow) {
    const auto rects = capsuleRects(QSizeF(100, 24), 4, 4);
    ASSERT_EQ(rects.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(rects[i].width(), rects[0].width());
        EXPECT_DOUBLE_EQ(rects[i].height(), 24);
    }
    for (int i = 1; i < 4; ++i)
        EXPECT_DOUBLE_EQ(rects[i].left() - rects[i - 1].right(), 4);
    EXPECT_DOUBLE_EQ(rects.front().left(), 0);
    EXPECT_DOUBLE_EQ(rects.back().right(), 100);
}

// --- the go action ---

TEST_F(MainWindowTest, GoWithQLabNotRunningAlertsAndDoesNotJump) {
    recorder.statusAnswers = {QLabModel::Status::NotRunning};
    QQuickWindow* window = show();
    QStringList lines;
    ScopedLineObserver observer(
        [&](const std::string& line) { lines << QString::fromStdString(line); });

    click(find(window, "barCounterButton"));

    auto* alert = find<QObject>(window, "qlabAlert");
    ASSERT_NE(alert, nullptr);
    EXPECT_TRUE(waitFor([&] { return alert->property("opened").toBool(); }));
    EXPECT_EQ(find<QObject>(window, "qlabAlertText")->property("text").toString(),
              QStringLiteral("QLab not open or workspace not found"));
    EXPECT_TRUE(lines.contains(QStringLiteral("QLab not open")));
    EXPECT_EQ(recorder.statusChecks, 1); // not running: no second check
    EXPECT_TRUE(recorder.calls.filter(QStringLiteral("jumpToBar")).isEmpty());

    // "OK" closes it and nothing follows.
    QMetaObject::invokeMethod(alert, "accept");
    EXPECT_TRUE(waitFor([&] { return !alert->property("visible").toBool(); }));
    EXPECT_TRUE(recorder.calls.isEmpty());
}

TEST_F(MainWindowTest, GoRefusesWhenTheSecondCheckFindsNoWorkspace) {
    recorder.statusAnswers = {QLabModel::Status::RunningWithCarvoCue,
                              QLabModel::Status::RunningNoWorkspace};
    QQuickWindow* window = show();
    click(find(window, "barCounterButton"));
    EXPECT_EQ(recorder.statusChecks, 2);
    EXPECT_TRUE(
        waitFor([&] { return find<QObject>(window, "qlabAlert")->property("opened").toBool(); }));
    EXPECT_TRUE(recorder.calls.filter(QStringLiteral("jumpToBar")).isEmpty());
}

TEST_F(MainWindowTest, GoWithAWorkspaceJumpsFromTheLastTriggeredBar) {
    // A workspace without the Carvo cue is enough.
    recorder.statusAnswers = {QLabModel::Status::RunningWithWorkspace};
    recorder.lastBarTriggered = 17;
    QQuickWindow* window = show();
    click(find(window, "barCounterButton"));
    EXPECT_EQ(recorder.calls, QStringList{QStringLiteral("jumpToBar QLab 17")});
    QTest::qWait(0);
    EXPECT_FALSE(find<QObject>(window, "qlabAlert")->property("visible").toBool());
}

// --- floating ---

TEST_F(MainWindowTest, FloatingSettingAppliesWhenTheWindowIsBuilt) {
    recorder.settings.setFloating(true);
    QQuickWindow* window = show();
    EXPECT_TRUE(window->flags().testFlag(Qt::WindowStaysOnTopHint));
}

// --- the cue list window ---

class CueListTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        recorder.catalogue = {{QStringLiteral("A1"), QStringLiteral("Overture")},
                              {QStringLiteral("B2"), QStringLiteral("Finale")}};
        recorder.qlab.setSelectedCue(QStringLiteral("B2"));
        window = show();
    }
    void clickCueList() { click(find(window, "cueListButton")); }
    QColor rowColour(const char* name) {
        auto* row = find(views->cueListWindow(), name);
        return row ? row->property("color").value<QColor>() : QColor();
    }

    QQuickWindow* window = nullptr;
};

TEST_F(CueListTest, TwoClicksOpenOneWindowAndRefreshTwice) {
    clickCueList();
    QQuickWindow* first = views->cueListWindow();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->title(), QStringLiteral("Cue List"));
    EXPECT_EQ(first->width(), 400);
    EXPECT_EQ(first->height(), 500);

    clickCueList();
    EXPECT_EQ(views->cueListWindow(), first);
    int cueListWindows = 0;
    for (QWindow* w : QGuiApplication::topLevelWindows())
        cueListWindows += w->isVisible() && w->title() == QStringLiteral("Cue List");
    EXPECT_EQ(cueListWindows, 1);
    EXPECT_EQ(recorder.calls, QStringList(2, QStringLiteral("getValidGroupCues CueLst")));
}

TEST_F(CueListTest, ClosingForgetsTheWindowAndTheNextClickMakesANewOne) {
    clickCueList();
    QPointer<QQuickWindow> first = views->cueListWindow();
    ASSERT_TRUE(first);
    first->close();
    EXPECT_EQ(views->cueListWindow(), nullptr);
    EXPECT_TRUE(waitFor([&] { return first.isNull(); }));

    clickCueList();
    ASSERT_NE(views->cueListWindow(), nullptr);
    EXPECT_TRUE(views->cueListWindow()->isVisible());
    // The main window stays open.
    EXPECT_TRUE(window->isVisible());
}

TEST_F(CueListTest, SelectedCueIsGreenOthersGrey) {
    clickCueList();
    ASSERT_TRUE(waitFor([&] { return find(views->cueListWindow(), "cueRow_A1") != nullptr; }));
    EXPECT_EQ(rowColour("cueRow_A1"), QColor("grey"));
    EXPECT_EQ(rowColour("cueRow_B2"), QColor("green"));
}

TEST_F(CueListTest, RebuiltWhenTheSelectedCueChangesNotWhenOnlyTheCatalogueDoes) {
    clickCueList();
    recorder.catalogue.append({QStringLiteral("C3"), QStringLiteral("Encore")});
    QTest::qWait(0);
    EXPECT_EQ(find(views->cueListWindow(), "cueRow_C3"), nullptr);

    recorder.qlab.setSelectedCue(QStringLiteral("A1"));
    ASSERT_TRUE(waitFor([&] { return find(views->cueListWindow(), "cueRow_C3") != nullptr; }));
    EXPECT_EQ(rowColour("cueRow_A1"), QColor("green"));
    EXPECT_EQ(rowColour("cueRow_B2"), QColor("grey"));
    EXPECT_EQ(rowColour("cueRow_C3"), QColor("grey"));
}

} // namespace
} // namespace carvo::ui::testing
