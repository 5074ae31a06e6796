#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "controls/ElidedLabel.h"
#include "controls/ToolbarEdgeScrollView.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/bars/EditorTopBar.h"
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
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&h.view(), 60000));
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
    QCoreApplication::processEvents();
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

TEST(SmallWindowLayout, EveryTopBarCommandKeepsItsLabelAndCanBeReached)
{
    WorkspaceHarness h({Views::workspace});
    h.open(test::writeProject(h.folders.scratch()));
    const QString longName = QStringLiteral("Summer trip along the coast, second cut with the harbour drone shots");
    h.engine().applyProjectSettings(longName.toStdString(), 1920, 1080, 25, "None");
    h.settle();
    EditorTopBar& bar = *h.view().topBar();
    ToolbarEdgeScrollView& strip = *bar.commandStrip();
    const std::vector<QPushButton*>& buttons = bar.commandButtons();
    QStringList titles;
    for (const QPushButton* button : buttons)
        titles << button->text();
    EXPECT_EQ(titles.join(" | "), QString::fromUtf8("New | Open… | Import Web Job JSON… | Save | Save As… | Project… | "
                                                    "Media Folder… | Clean Feed F | Export Return… | "
                                                    "10-bit Export Tab → | Export Video…"));
    const auto right = [&bar](const QWidget* w) { return w->mapTo(&bar, QPoint(w->width(), 0)).x(); };
    const auto left = [&bar](const QWidget* w) { return w->mapTo(&bar, QPoint(0, 0)).x(); };

    // With room, the whole row shows: no arrows.
    showAt(h, {1700, 856});
    EXPECT_FALSE(strip.edgesVisible());

    showAt(h, smallestSize);
    const QLabel& title = *bar.findChild<QLabel*>(QStringLiteral("titleLabel"));
    EXPECT_TRUE(wholeInside(title, "Velmora Desktop", bar));
    // A long project name is cut in the middle; the controls after it stay whole.
    const QLabel& name = *bar.projectNameLabel();
    EXPECT_EQ(name.text().toStdString(), (longName + QString::fromUtf8(" •")).toStdString());
    EXPECT_LT(name.width(), name.sizeHint().width());
    EXPECT_GE(bar.clipLutPicker()->width(), bar.clipLutPicker()->minimumWidth());
    EXPECT_GE(bar.gradeToggle()->width(), bar.gradeToggle()->sizeHint().width());
    EXPECT_LE(right(bar.gradeToggle()), bar.width());

    EXPECT_TRUE(strip.edgesVisible());
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const QPushButton& button = *buttons[i];
        EXPECT_GE(button.width(), button.sizeHint().width()) << button.text().toStdString();
        if (i > 0 && buttons[i - 1]->parentWidget() == button.parentWidget()) {
            EXPECT_LT(right(buttons[i - 1]), left(&button)) << button.text().toStdString();
        }
        // Scrolled into view when it lies in the strip; otherwise always in view.
        QWidget* visible = &bar;
        if (strip.isAncestorOf(&button)) {
            visible = strip.clipView();
            const QRect in(button.mapTo(visible, QPoint(0, 0)), button.size());
            strip.scrollByPixels(in.left() < 0 ? in.left() : std::max(in.right() - visible->rect().right(), 0));
        }
        const QRect shown(button.mapTo(visible, QPoint(0, 0)), button.size());
        EXPECT_TRUE(visible->rect().contains(shown)) << button.text().toStdString();
    }
    EXPECT_LT(right(&strip), left(buttons[8]));
}

TEST(SmallWindowLayout, TheStatusLineShowsAtTheEndOfTheEditToolsBar)
{
    WorkspaceHarness h({Views::workspace});
    h.open(test::writeProject(h.folders.scratch()));
    const QString status = QString::fromUtf8("LUT Two.cube cannot be used: its LUT_3D_SIZE is 2 and a LUT needs at "
                                             "least 3 points \u2014 picture left without it");
    h.engine().setStatus(status.toStdString());
    EditToolsBar& bar = *h.view().findChild<EditToolsBar*>();
    const QLabel& label = *bar.statusLabel();
    // The least a long status is cut to at either size: what went wrong and with which file,
    // before the ellipsis; 700 px of the bar stay the commands' at the default size.
    const QString readable = QStringLiteral("LUT Two.cube cannot be used: its LUT_3D");
    for (QSize size : {defaultSize, smallestSize}) {
        showAt(h, size);
        const QRect inView(label.mapTo(&h.view(), QPoint(0, 0)), label.size());
        EXPECT_TRUE(h.view().rect().contains(inView)) << size.width();
        EXPECT_EQ(h.view().childAt(inView.center()), &label) << size.width();
        // Cut short to its share of the bar, after the commands, which scroll instead.
        EXPECT_TRUE(dynamic_cast<const ElidedLabel&>(label).shownText().startsWith(readable))
            << size.width() << " " << dynamic_cast<const ElidedLabel&>(label).shownText().toStdString();
        EXPECT_LE(bar.strip()->mapTo(&bar, QPoint(bar.strip()->width(), 0)).x(), label.mapTo(&bar, QPoint(0, 0)).x());
        EXPECT_EQ(label.text(), status);
        EXPECT_EQ(label.toolTip(), status);
    }
    h.engine().setStatus("Split OK");
    QCoreApplication::processEvents();
    EXPECT_GE(label.width(), label.fontMetrics().horizontalAdvance(QStringLiteral("Split OK")));
}

} // namespace
} // namespace velmora
