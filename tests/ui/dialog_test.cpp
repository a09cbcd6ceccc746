// QLab's dialogs shown as windows of the application: the script waits for the operator.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QGuiApplication>
#include <QTimer>

#include "fakes.h"
#include "ui/views.h"
#include "ui_test_support.h"

namespace carvo::ui::testing {
namespace {

QQuickWindow* openDialog() {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (window->objectName() == QStringLiteral("qlabDialog") && window->isVisible())
            return qobject_cast<QQuickWindow*>(window);
    }
    return nullptr;
}

class QLabDialogTest : public ::testing::Test {
protected:
    // Once the dialog is up, the operator reads it, types (if anything) and presses a button.
    void operatorWill(std::function<void(QQuickWindow*)> answer) {
        auto* poll = new QTimer(&views);
        QObject::connect(poll, &QTimer::timeout, poll, [this, poll, answer] {
            if (QQuickWindow* dialog = openDialog(); dialog && dialog->isExposed()) {
                poll->stop();
                seenText = find<QObject>(dialog, "qlabDialogText")->property("text").toString();
                seenTitle = dialog->title();
                fieldShown = find(dialog, "qlabDialogField")->isVisible();
                seenAnswer = find<QObject>(dialog, "qlabDialogField")->property("text").toString();
                answer(dialog);
                poll->deleteLater();
            }
        });
        poll->start(5);
    }

    Recorder recorder;
    Views views{recorder.services()};
    QString seenText, seenTitle, seenAnswer;
    bool fieldShown = false;
};

TEST_F(QLabDialogTest, BarDialogShowsTheDefaultAnswerAndReturnsWhatIsTyped) {
    operatorWill([](QQuickWindow* dialog) {
        find<QObject>(dialog, "qlabDialogField")->setProperty("text", QStringLiteral("23"));
        click(find(dialog, "qlabDialogOk"));
    });
    const auto answer = views.askInDialog(
        QStringLiteral("QLab"), QStringLiteral("Enter bar number."), QStringLiteral("17"));
    EXPECT_EQ(answer, QStringLiteral("23"));
    EXPECT_EQ(seenText, QStringLiteral("Enter bar number."));
    EXPECT_EQ(seenTitle, QStringLiteral("QLab"));
    EXPECT_TRUE(fieldShown);
    EXPECT_EQ(seenAnswer, QStringLiteral("17"));
    EXPECT_TRUE(waitFor([] { return openDialog() == nullptr; }));
}

TEST_F(QLabDialogTest, CancelAndClosingAnswerNothing) {
    operatorWill([](QQuickWindow* dialog) { click(find(dialog, "qlabDialogCancel")); });
    EXPECT_EQ(views.askInDialog(QStringLiteral("QLab"), QStringLiteral("Enter bar number."),
                                QStringLiteral("1")),
              std::nullopt);

    operatorWill([](QQuickWindow* dialog) { dialog->close(); });
    EXPECT_EQ(views.askInDialog(QStringLiteral("Carvo"), QStringLiteral("Bar out of range"),
                                std::nullopt),
              std::nullopt);
    EXPECT_FALSE(fieldShown);
}

TEST_F(QLabDialogTest, AMessageFromAnotherThreadIsShownOnTheMainThread) {
    operatorWill([](QQuickWindow* dialog) { click(find(dialog, "qlabDialogOk")); });
    std::optional<QString> answer;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        answer = views.askInDialog(QStringLiteral("Carvo"), QStringLiteral("No cue selected"),
                                   std::nullopt);
        finished = true;
    });
    const bool done = waitFor([&] { return finished.load(); });
    worker.join();
    ASSERT_TRUE(done);
    EXPECT_EQ(answer, QString()); // OK on a dialog without a field
    EXPECT_EQ(seenText, QStringLiteral("No cue selected"));
}

} // namespace
} // namespace carvo::ui::testing
