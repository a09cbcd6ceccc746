#include <memory>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSignalSpy>

#include "line_recorder.h"
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

// Without a daemon: see the headless application's tests, which control its environment
// (the D-Bus library reads the bus address once per process).

} // namespace
} // namespace carvo
