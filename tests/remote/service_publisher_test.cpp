#include <algorithm>
#include <memory>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include "line_recorder.h"
#include "remote/service_browser.h"
#include "remote/service_publisher.h"

namespace carvo {
namespace {

using testing::LineRecorder;

// A name of this test run's own, so other runs on the host do not collide with it.
QString uniqueName() {
    return QStringLiteral("Carvo Publisher Test %1").arg(QCoreApplication::applicationPid());
}

const QString type = QStringLiteral("_Carvo._tcp");
const QString domain = QStringLiteral("local.");

TEST(ServicePublisher, ASecondServiceOfTheSameNameIsRenamedNotRefused) {
    LineRecorder lines;
    ServicePublisher first;
    if (!first.publish(uniqueName(), type, domain, 40001))
        GTEST_SKIP() << "no DNS-SD daemon reachable: " << lines.lines().back().toStdString();
    QSignalSpy registered(&first, &ServicePublisher::registered);

    ServicePublisher second;
    ASSERT_TRUE(second.publish(uniqueName(), type, domain, 40002));
    EXPECT_TRUE(second.isPublished());
    EXPECT_TRUE(
        lines.has(QStringLiteral("DNS-SD name %1 is taken on this host; announced as %1 (2)")
                      .arg(uniqueName())));

    // The daemon confirms the first under its own name, through the event loop.
    ASSERT_TRUE(registered.wait(5000));
    EXPECT_EQ(registered[0][0].toString(), uniqueName());

    first.stop();
    EXPECT_FALSE(first.isPublished());
    first.stop(); // twice is harmless
    // With the name free again, it is taken as it is.
    ServicePublisher third;
    ASSERT_TRUE(third.publish(uniqueName(), type, domain, 40003));
    EXPECT_EQ(lines.count(QStringLiteral("DNS-SD name ")), 1);
}

TEST(ServiceBrowser, FindsAPublishedServiceWithItsPortAndLosesNothingTwice) {
    LineRecorder lines;
    ServicePublisher publisher;
    if (!publisher.publish(uniqueName(), type, domain, 40011))
        GTEST_SKIP() << "no DNS-SD daemon reachable: " << lines.lines().back().toStdString();
    ServiceBrowser browser;
    ASSERT_EQ(browser.browse(type, domain), 0);
    const auto ours = [&] {
        return std::count_if(browser.found().begin(), browser.found().end(), [](const auto& f) {
            return f.name == uniqueName() && f.port == 40011 && !f.host.isEmpty();
        });
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return ours() > 0; }, 10000));
    QTest::qWait(200); // later answers for the same service add nothing
    EXPECT_EQ(ours(), 1);
}

// Without a daemon: see the headless application's tests, which control its environment
// (the D-Bus library reads the bus address once per process).

} // namespace
} // namespace carvo
