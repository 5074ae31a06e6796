#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "workspace/program/PreviewArea.h"
#include "workspace/program/PreviewPlaceholderView.h"
#include "workspace/timeline/TimelineHeaderView.h"

namespace velmora {
namespace {

using test::WorkspaceHarness;
using Views = WorkspaceHarness::Views;

// The workspace's area at the window's default size and at its smallest (the window less the
// Mode picker's strip).
const QSize defaultSize{1280, 856};
const QSize smallestSize{1120, 520};

void showAt(WorkspaceHarness& h, QSize size)
{
    h.view().resize(size);
    h.view().show();
    QTest::qWait(20);
    QCoreApplication::processEvents();
}

// The label shows `text` whole, lies inside `view`, and nothing is drawn over it.
::testing::AssertionResult wholeInside(const QLabel& label, const QString& text, const QWidget& view)
{
    const QRect inView(label.mapTo(&view, QPoint(0, 0)), label.size());
    if (label.isHidden() || label.text() != text)
        return ::testing::AssertionFailure() << "shows \"" << label.text().toStdString() << "\"";
    if (label.width() < label.sizeHint().width() || label.height() < label.minimumSizeHint().height())
        return ::testing::AssertionFailure() << label.width() << " × " << label.height() << " is cut off";
    if (!view.rect().contains(inView))
        return ::testing::AssertionFailure() << "lies outside the view";
    for (const QPoint at : {QPoint(inView.left(), inView.center().y()), inView.center(),
                            QPoint(inView.right(), inView.center().y())}) {
        const QWidget* top = view.childAt(at);
        if (top != &label)
            return ::testing::AssertionFailure() << "is covered by " << (top ? top->objectName().toStdString() : "nothing");
    }
    return ::testing::AssertionSuccess();
}

// Every shown child widget of `row` is at least as large as it asks to be, and none overlaps another.
::testing::AssertionResult nothingCutOrOverlapping(const QWidget& row)
{
    std::vector<const QWidget*> shown;
    for (const QWidget* child : row.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isHidden())
            continue;
        const QSize least = child->minimumSizeHint();
        if (child->width() < least.width() || child->height() < least.height())
            return ::testing::AssertionFailure() << child->objectName().toStdString() << " is cut off";
        for (const QWidget* other : shown) {
            if (other->geometry().intersects(child->geometry()))
                return ::testing::AssertionFailure()
                       << child->objectName().toStdString() << " overlaps " << other->objectName().toStdString();
        }
        shown.push_back(child);
    }
    return ::testing::AssertionSuccess();
}

TEST(SmallWindowLayout, TheCanvasReadOutIsWholeAboveThePicture)
{
    WorkspaceHarness h({Views::workspace, true});
    h.open(test::writeProject(h.folders.scratch()));
    // A wide canvas: the picture reaches the corner the read-out sits in.
    h.engine().applyProjectSettings("Trip", 3840, 1608, 25, "None");
    h.settle();
    PreviewArea& area = *h.view().previewArea();
    for (QSize size : {defaultSize, smallestSize}) {
        showAt(h, size);
        EXPECT_TRUE(wholeInside(*area.canvasLabel(), "3840×1608 · 25 fps", area)) << size.width();
        EXPECT_TRUE(wholeInside(*area.linkedSourceLabel(), "Source: DJI_0001.MP4 · V1", area)) << size.width();
    }
}

TEST(SmallWindowLayout, TimelineHeaderControlsStayWhole)
{
    WorkspaceHarness h({Views::workspace});
    h.open(test::writeProject(h.folders.scratch()));
    showAt(h, smallestSize);
    TimelineHeaderView& header = *h.view().findChild<TimelineHeaderView*>();
    EXPECT_EQ(header.addVideoLaneButton()->text(), "Video");
    EXPECT_TRUE(nothingCutOrOverlapping(header));
    EXPECT_TRUE(wholeInside(*header.zoomReadout(), "100 px/s", header));
    EXPECT_TRUE(wholeInside(*header.laneHeightReadout(), "44px", header));
}

TEST(SmallWindowLayout, AFailedPreviewBehindTheRelinkAlertStaysReadable)
{
    WorkspaceHarness h({Views::workspace, true});
    h.open(test::writeProject(h.folders.scratch()));
    showAt(h, smallestSize);
    h.engine().reloadComposition(std::nullopt);
    h.queue->advance(0.5);
    h.builder->fail(Error("preview", 3, "Could not open DJI_0001.MP4"));
    h.queue->advance(0.5);
    h.workspace().setShowRelinkMedia(true);
    QTest::qWait(20);
    ASSERT_NE(h.view().relinkAlert(), nullptr);

    PreviewArea& area = *h.view().previewArea();
    PreviewPlaceholderView& placeholder = *area.placeholder();
    EXPECT_TRUE(wholeInside(*placeholder.projectReadyLabel(), "Project ready", area));
    EXPECT_TRUE(wholeInside(*placeholder.headingLabel(), "Preview failed", area));
    ASSERT_EQ(placeholder.buttons().size(), 1u);
    const QAbstractButton& retry = *placeholder.buttons()[0];
    EXPECT_GE(retry.height(), retry.minimumSizeHint().height());
    EXPECT_FALSE(placeholder.headingLabel()->geometry().intersects(placeholder.projectReadyLabel()->parentWidget()->geometry()));
    h.view().relinkAlert()->close();
}

} // namespace
} // namespace velmora
