#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "controls/EdgeScrollZone.h"
#include "controls/ToolbarEdgeScrollMath.h"
#include "controls/ToolbarEdgeScrollView.h"
#include "controls/VelmoraPalette.h"

namespace velmora {
namespace {

namespace math = ToolbarEdgeScrollMath;

TEST(ToolbarEdgeScrollMath, ArrowsShowOnlyBeyondSixAndTheWheelBeyondTwo)
{
    EXPECT_FALSE(math::edgesVisible(400, 400));
    EXPECT_FALSE(math::edgesVisible(406, 400));
    EXPECT_TRUE(math::edgesVisible(407, 400));

    // At most 2 wider: the parents get the wheel.
    EXPECT_FALSE(math::wheelOffset(0, 0, 5, 402, 400).has_value());
    EXPECT_EQ(math::wheelOffset(0, 0, 5, 403, 400), 3.0);
}

TEST(ToolbarEdgeScrollMath, WheelHorizontalMovesByMinusTwoDxVerticalByThreeDy)
{
    // Horizontal gesture, including both deltas 0 (taken, not moved).
    EXPECT_EQ(math::wheelOffset(100, -10, 4, 1000, 400), 120.0);
    EXPECT_EQ(math::wheelOffset(100, 10, -10, 1000, 400), 80.0);
    EXPECT_EQ(math::wheelOffset(100, 0, 0, 1000, 400), 100.0);
    // Vertical wheel.
    EXPECT_EQ(math::wheelOffset(100, 1, 20, 1000, 400), 160.0);
    EXPECT_EQ(math::wheelOffset(100, 0, -50, 1000, 400), 0.0);   // clamped at the start
    EXPECT_EQ(math::wheelOffset(590, 0, 50, 1000, 400), 600.0);  // clamped at the end
    // A vertical trickle of 0.1 or less is not a gesture.
    EXPECT_FALSE(math::wheelOffset(100, 0.05, 0.1, 1000, 400).has_value());
}

TEST(ToolbarEdgeScrollMath, PagingClampsAndAPositionWaitsForAScrollableDocument)
{
    EXPECT_EQ(math::pagedOffset(500, 1, 1000, 400), 600.0);
    using Outcome = math::Restore::Outcome;
    EXPECT_EQ(math::restoreOffset(150, 400.5, 400).outcome, Outcome::pending);
    EXPECT_EQ(math::restoreOffset(150, 401, 400).outcome, Outcome::restored);
    EXPECT_EQ(math::restoreOffset(150, 401, 400).offset, 1.0);
}

// Toolbar content of an exact preferred width.
QWidget* contentOfWidth(int width)
{
    auto* content = new QWidget;
    auto* row = new QHBoxLayout(content);
    row->setContentsMargins(0, 0, 0, 0);
    auto* block = new QWidget(content);
    block->setFixedSize(width, 20);
    row->addWidget(block);
    return content;
}

// A mouse event sent to the widget itself, at (6, 5): no enter or leave comes with it.
void send(QWidget* widget, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    const QPointF at(6, 5);
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

class ToolbarEdgeScrollViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        toolbar.resize(400, 36);
        toolbar.show();
    }

    void sendWheel(QPoint angleDelta)
    {
        QWidget* clip = toolbar.clipView();
        const QPointF at(clip->width() / 2.0, clip->height() / 2.0);
        QWheelEvent wheel(at, clip->mapToGlobal(at), QPoint(), angleDelta, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(clip, &wheel);
    }

    ToolbarEdgeScrollView toolbar;
};

TEST_F(ToolbarEdgeScrollViewTest, ArrowsAppearAtSevenOverflowAndStayOnceShown)
{
    toolbar.setHostedContent(contentOfWidth(406));
    EXPECT_FALSE(toolbar.edgesVisible());
    EXPECT_EQ(toolbar.clipView()->width(), 400);
    EXPECT_TRUE(toolbar.leftZone()->toolTip().isEmpty());

    toolbar.setHostedContent(contentOfWidth(407));
    ASSERT_TRUE(toolbar.edgesVisible());
    EXPECT_EQ(toolbar.leftZone()->geometry(), QRect(0, 0, 30, 36));
    EXPECT_EQ(toolbar.rightZone()->geometry(), QRect(370, 0, 30, 36));
    EXPECT_EQ(toolbar.clipView()->width(), 340);
    EXPECT_EQ(toolbar.leftZone()->toolTip(), "Hover or click to scroll toolbar left");
    EXPECT_EQ(toolbar.rightZone()->toolTip(), QString::fromUtf8("Hover or click to scroll toolbar right (Apply, Clear\u2026)"));
    EXPECT_EQ(toolbar.leftZone()->arrowTitle(), QString::fromUtf8("\u25C0"));
    EXPECT_EQ(toolbar.rightZone()->arrowTitle(), QString::fromUtf8("\u25B6"));

    // The window grows past the content: the content is laid out as wide as the toolbar, so it
    // still overflows the area between the arrows.
    toolbar.resize(600, 36);
    EXPECT_TRUE(toolbar.edgesVisible());
    EXPECT_EQ(toolbar.documentWidth(), 600.0);
    EXPECT_EQ(toolbar.maxOffset(), 60.0);
}

TEST_F(ToolbarEdgeScrollViewTest, HoverScrollsAtOnceAndWhileThePointerMovesToTheEnd)
{
    toolbar.setHostedContent(contentOfWidth(500));
    ASSERT_TRUE(toolbar.edgesVisible());
    EdgeScrollZone* right = toolbar.rightZone();

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), right->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(right, &enter);
    EXPECT_EQ(toolbar.offset(), 10.0);
    EXPECT_TRUE(right->isHoverScrolling());
    EXPECT_EQ(right->background(), VelmoraPalette::edgeZoneHover());

    for (int i = 0; i < 20; ++i) {
        send(right, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
        right->hoverTick();
    }
    EXPECT_EQ(toolbar.offset(), toolbar.maxOffset()); // 500 - 340 = 160
    EXPECT_EQ(toolbar.offset(), 160.0);
    EXPECT_TRUE(right->isHoverScrolling());

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(right, &leave);
    EXPECT_FALSE(right->isHoverScrolling());
    EXPECT_EQ(right->background(), VelmoraPalette::edgeZone());
}

// A pointer left still over an arrow does not move the toolbar under it: the next click lands
// where it was aimed. Moving it, or holding a button on the arrow, scrolls again.
TEST_F(ToolbarEdgeScrollViewTest, APointerAtRestOverAnArrowStopsTheScroll)
{
    toolbar.setHostedContent(contentOfWidth(1000));
    EdgeScrollZone* right = toolbar.rightZone();
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), right->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(right, &enter);
    ASSERT_EQ(toolbar.offset(), 10.0);

    // Still: the first tick stops the timer, and what ticks after moves nothing.
    for (int i = 0; i < 5; ++i)
        right->hoverTick();
    EXPECT_EQ(toolbar.offset(), 10.0);
    EXPECT_FALSE(right->isHoverScrolling());

    // A move starts it again, for one tick per move.
    send(right, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(right->isHoverScrolling());
    right->hoverTick();
    right->hoverTick();
    EXPECT_EQ(toolbar.offset(), 20.0);

    // A held button pages, then scrolls on every tick until it is let go.
    send(right, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(toolbar.offset(), 240.0);
    for (int i = 0; i < 3; ++i)
        right->hoverTick();
    EXPECT_EQ(toolbar.offset(), 270.0);
    send(right, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    right->hoverTick();
    right->hoverTick();
    EXPECT_EQ(toolbar.offset(), 270.0);
    EXPECT_FALSE(right->isHoverScrolling());
}

TEST_F(ToolbarEdgeScrollViewTest, ClicksPageAndTheWheelScrollsSideways)
{
    toolbar.setHostedContent(contentOfWidth(1000));
    toolbar.scrollByPixels(100);
    QTest::mouseClick(toolbar.leftZone(), Qt::LeftButton);
    EXPECT_EQ(toolbar.offset(), 0.0);
    QTest::mouseClick(toolbar.rightZone(), Qt::LeftButton);
    EXPECT_EQ(toolbar.offset(), 220.0);
    EXPECT_EQ(toolbar.hostedContent()->x(), -220);

    // One notch toward the user: 15 degrees, three times over, toward the end.
    sendWheel(QPoint(0, -120));
    EXPECT_EQ(toolbar.offset(), 265.0);
    // A sideways swipe to the left moves toward the start by twice its amount.
    sendWheel(QPoint(80, 0));
    EXPECT_EQ(toolbar.offset(), 245.0);
}

TEST_F(ToolbarEdgeScrollViewTest, NewContentKeepsTheScrollPosition)
{
    toolbar.setHostedContent(contentOfWidth(1000));
    toolbar.scrollByPixels(150);
    toolbar.setHostedContent(contentOfWidth(900));
    EXPECT_EQ(toolbar.offset(), 150.0);
    // Narrower: the largest possible offset.
    toolbar.setHostedContent(contentOfWidth(440));
    EXPECT_EQ(toolbar.offset(), 100.0);

    // A position of 0.4 is not restored.
    toolbar.setHostedContent(contentOfWidth(1000));
    toolbar.pageByStep(-1);
    toolbar.scrollByPixels(0.4);
    toolbar.setHostedContent(contentOfWidth(900));
    EXPECT_EQ(toolbar.offset(), 0.0);

    // The content growing by itself keeps the position too.
    toolbar.scrollByPixels(150);
    auto* grown = new QWidget(toolbar.hostedContent());
    grown->setFixedSize(50, 20);
    toolbar.hostedContent()->layout()->addWidget(grown);
    // The new control is shown, the content lays out again, then asks its parent (no timers
    // run, so no hover can move the toolbar meanwhile).
    for (int round = 0; round < 3; ++round)
        QApplication::sendPostedEvents();
    EXPECT_EQ(toolbar.documentWidth(), 900.0 + 50.0 + toolbar.hostedContent()->layout()->spacing());
    EXPECT_EQ(toolbar.offset(), 150.0);
}

TEST(ToolbarEdgeScrollViewBeforeShowing, ArrowsAreDecidedAtTheShownSize)
{
    // Content is given while the toolbar is hidden at its default geometry, narrower than the
    // content: the arrows wait for the size it is shown at.
    QWidget window;
    auto* toolbar = new ToolbarEdgeScrollView(&window);
    toolbar->setHostedContent(contentOfWidth(300));
    EXPECT_FALSE(toolbar->edgesVisible());
    window.resize(400, 36);
    toolbar->setGeometry(0, 0, 400, 36);
    window.show();
    EXPECT_FALSE(toolbar->edgesVisible());
    EXPECT_EQ(toolbar->clipView()->width(), 400);

    toolbar->setHostedContent(contentOfWidth(500));
    EXPECT_TRUE(toolbar->edgesVisible());
}

TEST_F(ToolbarEdgeScrollViewTest, WithoutOverflowTheWheelGoesToTheParent)
{
    toolbar.setHostedContent(contentOfWidth(300));
    EXPECT_FALSE(toolbar.edgesVisible());
    EXPECT_FALSE(toolbar.scrollByWheel(0, 5));
    EXPECT_EQ(toolbar.offset(), 0.0);
}

} // namespace
} // namespace velmora
