#include <QSignalSpy>
#include <gtest/gtest.h>

#include "controls/LiveResizeDetector.h"
#include "controls/WindowResizeMonitor.h"
#include "platform/dispatch/ManualMainQueue.h"

namespace velmora {
namespace {

TEST(LiveResizeDetector, ABurstOfResizesIsALiveResizeUntilItGoesQuiet)
{
    auto queue = std::make_shared<ManualMainQueue>();
    LiveResizeDetector detector(queue);
    QSignalSpy changes(&detector, &LiveResizeDetector::liveResizeChanged);

    detector.noteResize();
    EXPECT_FALSE(detector.isLiveResize());
    queue->advance(0.1);
    detector.noteResize();
    EXPECT_TRUE(detector.isLiveResize());
    // Each further resize keeps it going.
    for (int i = 0; i < 5; ++i) {
        queue->advance(0.25);
        detector.noteResize();
    }
    EXPECT_TRUE(detector.isLiveResize());
    queue->advance(0.29);
    EXPECT_TRUE(detector.isLiveResize());
    queue->advance(0.02);
    EXPECT_FALSE(detector.isLiveResize());

    ASSERT_EQ(changes.count(), 2);
    EXPECT_TRUE(changes.at(0).at(0).toBool());
    EXPECT_FALSE(changes.at(1).at(0).toBool());
}

TEST(LiveResizeDetector, SingleResizesApartAreNotALiveResize)
{
    auto queue = std::make_shared<ManualMainQueue>();
    LiveResizeDetector detector(queue);
    QSignalSpy changes(&detector, &LiveResizeDetector::liveResizeChanged);
    for (int i = 0; i < 4; ++i) {
        detector.noteResize();
        queue->advance(0.16);
    }
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(queue->pendingCount(), 0);
}

class WindowResizeMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        first.resize(200, 100);
        second.resize(200, 100);
        first.show();
        second.show();
    }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    QWidget first;
    QWidget second;
};

TEST_F(WindowResizeMonitorTest, FollowsTheWindowItIsMovedTo)
{
    auto* monitor = new WindowResizeMonitor(queue, &first);
    EXPECT_EQ(monitor->observedWindow(), &first);

    monitor->setParent(&second);
    EXPECT_EQ(monitor->observedWindow(), &second);
    first.resize(300, 200);
    first.resize(310, 200);
    EXPECT_FALSE(monitor->isLiveResize());
    second.resize(300, 200);
    second.resize(310, 200);
    EXPECT_TRUE(monitor->isLiveResize());

    // Taken out of the second window during a live resize: that one ends.
    auto* inner = new QWidget(&first);
    monitor->setParent(inner);
    EXPECT_EQ(monitor->observedWindow(), &first);
    EXPECT_FALSE(monitor->isLiveResize());
}

TEST_F(WindowResizeMonitorTest, AttachingTwiceToOneWindowObservesItOnce)
{
    auto* monitor = new WindowResizeMonitor(queue, &first);
    monitor->attach();
    monitor->attach();
    // Seen twice, one resize would look like a burst.
    first.resize(300, 200);
    EXPECT_FALSE(monitor->isLiveResize());

    // A view without a parent is in no window.
    WindowResizeMonitor loose(queue);
    loose.attach();
    EXPECT_EQ(loose.observedWindow(), nullptr);
}

} // namespace
} // namespace velmora
