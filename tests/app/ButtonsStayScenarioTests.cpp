// The edit tools bar of the real window while messages come and go, and the words the grade
// inspector's Reset leaves on the status line.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "AppScenario.h"
#include "controls/ToolbarEdgeScrollView.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "grading/ClipGradeEditState.h"
#include "inspectors/ContinuousGradeSlider.h"
#include "preview/GradedPreviewController.h"
#include "preview/GradedPreviewView.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/ClipFadeBar.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/shell/VelmoraDesktopShellView.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::test {
namespace {

const std::string stillTrim =
    "Trim Out acts on video and audio clips — drag a still's edges to shorten it, its right edge to lengthen it";

// At the window's default size, clips are selected while messages short and long arrive: "Grade"
// stays where it was drawn, a click there opens the grade inspector, and its Reset says on the
// status line that the clip's grade is cleared, at the default size and again at the smallest.
TEST_F(AppScenario, TheCommandsStayWhereTheyWereAndResetSaysTheGradeIsCleared)
{
    EditToolsBar& bar = *edit().findChild<EditToolsBar*>();
    const QLabel& status = *bar.statusLabel();
    TimelineStripView& strip = timeline();
    const auto select = [&](const std::string& id) {
        QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, blockOf(strip.model(), id).center().toPoint());
        return engine().selectedClipId() == id;
    };
    const auto says = [&](const std::string& text) {
        return waitFor([&] { return status.toolTip().toStdString() == text; }, "the status line to read " + text);
    };
    const auto onScreen = [&] { return globalRect(window()).contains(globalRect(status)) && !status.visibleRegion().isEmpty(); };

    // The card selected and the playhead inside it: Trim Out says what it acts on.
    seekWithRuler(6.75);
    ASSERT_TRUE(select("card"));
    QTest::mouseClick(bar.button(EditToolsBar::EditCommand::trimOut), Qt::LeftButton);
    EXPECT_TRUE(says(stillTrim));

    // Each selection places the commands at once; no message moves them, the strip scrolled to
    // its end (where the fade group's Apply is) or to "Grade".
    // (A click on the clip selected already would be a double click, which opens the viewer.)
    const std::vector<std::pair<std::string, std::string>> steps{
        {"v2", "OK"},
        {"v1", "Split OK — video only (playhead not inside yellow clip)"},
        {"v2", stillTrim + ", and more words than the status line has room for"},
        {"v1", ""}};
    QPushButton& apply = *bar.fadeBar()->applyButton();
    QRect grade;
    QRect applied;
    const auto messageLeavesThemThere = [&](const std::string& message) {
        engine().setStatus(message);
        ASSERT_TRUE(says(message));
        // Laid out and drawn as the message shows.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        EXPECT_EQ(globalRect(*bar.gradeButton()), grade) << message;
        EXPECT_EQ(globalRect(apply), applied) << message;
    };
    for (const auto& [id, message] : steps) {
        ASSERT_TRUE(select(id));
        bar.strip()->scrollByPixels(bar.strip()->maxOffset());
        grade = globalRect(*bar.gradeButton());
        applied = globalRect(apply);
        messageLeavesThemThere(message);
    }
    // At this size "Grade" lies before the visible part at the strip's end: scrolled back to it,
    // as the arrow or the wheel does.
    bar.strip()->scrollByPixels(bar.gradeButton()->mapTo(bar.strip()->clipView(), QPoint(0, 0)).x());
    grade = globalRect(*bar.gradeButton());
    applied = globalRect(apply);
    messageLeavesThemThere("Grade ON");
    screenshot("buttons-stay-1-commands.png", globalRect(window()));

    // A click where "Grade" was drawn before the last message opens the inspector on A001.
    QWidget* under = QApplication::widgetAt(grade.center());
    ASSERT_EQ(under, bar.gradeButton()) << (under ? under->objectName().toStdString() : "nothing");
    QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFromGlobal(grade.center()));
    ASSERT_TRUE(waitFor([&] { return edit().gradeInspectorWindow() && edit().gradeInspectorWindow()->isVisible(); },
                        "the grade inspector"));
    EXPECT_EQ(workspace().gradeInspectorClipId(), "v1");
    QWidget& inspector = *edit().gradeInspectorWindow();
    QPushButton& reset = *inspector.findChild<QPushButton*>(QStringLiteral("resetButton"));
    const GradedPreviewController& program = programView().controller();

    // Reset: the status line says so, and still does once the Clip LUT picker and the picture
    // have followed.
    QTest::mouseClick(&reset, Qt::LeftButton);
    ASSERT_TRUE(says("Clip grade cleared"));
    const VelmoraDarkPopUpPicker& picker = *edit().topBar()->clipLutPicker();
    EXPECT_TRUE(waitFor([&] { return picker.selection() == "None" && !program.isGradingInFlight(); },
                        "the picker and the picture to follow"))
        << picker.selection();
    EXPECT_EQ(status.toolTip(), QStringLiteral("Clip grade cleared"));
    EXPECT_TRUE(onScreen());
    screenshot("buttons-stay-2-grade-cleared.png");

    // The smallest window: a grade again, another message, Reset again.
    window().resize(window().minimumSizeHint().expandedTo(window().minimumSize()));
    ASSERT_TRUE(waitFor([&] { return window().size() == window().minimumSizeHint().expandedTo(window().minimumSize()); },
                        "the smallest window"));
    auto* exposure = inspector.findChild<QWidget*>(QStringLiteral("row_exposure"))->findChild<ContinuousGradeSlider*>();
    QTest::keyClick(exposure, Qt::Key_PageDown);
    ASSERT_TRUE(ClipGradeEditState::from(engine().session()->clip("v1")).hasAnyGrade());
    engine().setStatus("Ready");
    QTest::mouseClick(&reset, Qt::LeftButton);
    ASSERT_TRUE(says("Clip grade cleared"));
    EXPECT_TRUE(waitFor(onScreen, "the status line inside the smallest window"));
    screenshot("buttons-stay-3-smallest.png", globalRect(window()));
}

} // namespace
} // namespace velmora::test
