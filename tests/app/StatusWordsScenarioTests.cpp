// What the edit tools bar's status line shows in the real window at its default size: the names
// of a missing file and a missing LUT, without hovering, and commands that stay where they are.
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "AppScenario.h"
#include "controls/ElidedLabel.h"
#include "controls/ToolbarEdgeScrollView.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"
#include "support/model/SessionBuilders.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/shell/VelmoraDesktopEditorApp.h"
#include "workspace/shell/VelmoraDesktopShellView.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

void makeMovie(const fs::path& file, int frames)
{
    ClipSettings settings;
    settings.width = 320;
    settings.height = 180;
    settings.frameCount = frames;
    settings.videoArgs = "-preset ultrafast";
    makeClip(file, settings);
}

class StatusWordsScenario : public AppScenario {
protected:
    // The scenario opens a project of its own.
    void SetUp() override {}
};

// "Gone.tavlek": its movie n25.mp4 moved away, n30.mp4 beside it in the media folder (shown in
// its place), graded with the LUT "look_gone.cube", which is nowhere.
TEST_F(StatusWordsScenario, AMissingFileAndLutAreNamedInViewAndTheCommandsStayWhereTheyWere)
{
    const fs::path file = folders.scratch() / "Gone.tavlek";
    const fs::path media = folders.scratch() / "Gone_media";
    fs::create_directories(media);
    makeMovie(media / "n30.mp4", 60);
    EditSession session = EditSession::blankProject("Gone", 320, 180, 30);
    session.sources = {EditSession::Source("src-movie", "n25.mp4", "video")};
    EditSession::Clip shot = clip("c", "video", 0.0, 2.0, 1, "n25.mp4");
    shot.sourceId = "src-movie";
    shot.outPoint = 2.0;
    shot.grade = EditSession::clipGrade("look_gone.cube");
    session.timelines.front().clips = {shot};
    session.saveProject(file, media.string());

    openInWindow(file);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(window().size(), VelmoraDesktopEditorApp::defaultWindowSize);
    EditToolsBar& bar = *edit().findChild<EditToolsBar*>();
    const auto& status = dynamic_cast<const ElidedLabel&>(*bar.statusLabel());
    const QString standIn = QStringLiteral("n25.mp4 not found \u2014 n30.mp4 shown in its place");
    const QString lut = QStringLiteral("LUT look_gone.cube not found");
    ASSERT_TRUE(waitFor([&] { return previewReady() && status.text().contains(standIn) && status.text().contains(lut); },
                        "the status line naming the file and the LUT"))
        << engine().status();

    // Short news behind them, with the clip selected: at least 700 px of commands in view, and
    // "Grade" where the strip scrolled to it shows it, as its arrows or the wheel do.
    TimelineStripView& strip = timeline();
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, blockOf(strip.model(), "c").center().toPoint());
    ASSERT_EQ(engine().selectedClipId(), "c");
    engine().setStatus("Marker added");
    QCoreApplication::processEvents();
    QWidget& commands = *bar.strip()->clipView();
    EXPECT_GE(commands.width(), 700);
    QPushButton& gradeButton = *bar.gradeButton();
    ASSERT_TRUE(gradeButton.isVisible());
    bar.strip()->scrollByPixels(gradeButton.mapTo(&commands, QPoint(0, 0)).x() + gradeButton.width() - commands.width());
    const QRect grade = globalRect(gradeButton);
    ASSERT_TRUE(globalRect(commands).contains(grade));
    screenshot("status-words-1-usual.png", globalRect(window()));

    // Long news: both names stay drawn in full in front of it, and "Grade" has not moved.
    engine().setStatus("Trim: drag less far (the clip would be too short)");
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    const std::string shown = status.shownText().toStdString();
    EXPECT_TRUE(shown.starts_with("LUT look_gone.cube not found \u00B7 n25.mp4 ")) << shown;
    EXPECT_TRUE(globalRect(window()).contains(globalRect(status)));
    EXPECT_EQ(globalRect(gradeButton), grade);
    screenshot("status-words-2-warnings.png", globalRect(window()));

    // A click where "Grade" was drawn before opens the grade inspector.
    QWidget* under = QApplication::widgetAt(grade.center());
    ASSERT_EQ(under, &gradeButton) << (under ? under->objectName().toStdString() : "nothing");
    QTest::mouseClick(under, Qt::LeftButton, {}, under->mapFromGlobal(grade.center()));
    EXPECT_TRUE(waitFor([&] { return edit().gradeInspectorWindow() && edit().gradeInspectorWindow()->isVisible(); },
                        "the grade inspector"));
}

// Two timelines: once the second is chosen, the clip selected on the first is neither shown nor
// changed: the Clip LUT picker shows nothing selected (not the first's missing LUT), a LUT chosen
// in it changes no clip, Save writes neither clip otherwise; and the first's news ("Redo") goes
// with its undo history.
TEST_F(StatusWordsScenario, AnotherTimelineLeavesTheClipOutOfSightAsItWas)
{
    const fs::path file = folders.scratch() / "Two.tavlek";
    const fs::path media = folders.scratch() / "Two_media";
    writeOneMovieProject(file, media, "Two", "n30.mp4", 60, 30, 2.0, [](EditSession& session, EditSession::Clip& shot) {
        shot.grade = EditSession::clipGrade("gone.cube");
        EditSession::Timeline second;
        second.id = "t2";
        second.name = "Second";
        EditSession::Clip other = shot;
        other.id = "c2";
        other.grade.reset();
        second.clips = {other};
        session.timelines.push_back(second);
    });
    writeTextFile(media / "invert.cube", invertingCubeText());
    openInWindow(file);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitFor([&] { return previewReady(); }, "the preview"));
    EditToolsBar& bar = *edit().findChild<EditToolsBar*>();
    const QLabel& status = *bar.statusLabel();
    VelmoraDarkPopUpPicker& picker = *edit().topBar()->clipLutPicker();

    TimelineStripView& strip = timeline();
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, blockOf(strip.model(), "c").center().toPoint());
    ASSERT_EQ(engine().selectedClipId(), "c");
    EXPECT_EQ(picker.currentText(), QStringLiteral("gone.cube (missing)"));
    QTest::mouseClick(buttonTitled(bar, QStringLiteral("Marker")), Qt::LeftButton);
    QTest::mouseClick(buttonTitled(bar, QStringLiteral("Undo Ctrl+Z")), Qt::LeftButton);
    QTest::mouseClick(buttonTitled(bar, QStringLiteral("Redo Shift+Ctrl+Z")), Qt::LeftButton);
    ASSERT_TRUE(status.text().contains(QStringLiteral("Redo"))) << status.text().toStdString();

    chooseTimeline("t2");
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitFor([&] { return previewReady(); }, "the second timeline's preview"));
    EXPECT_EQ(engine().selectedClipId(), std::nullopt);
    EXPECT_FALSE(picker.isEnabled());
    EXPECT_EQ(picker.currentText(), QStringLiteral("None"));
    EXPECT_FALSE(status.text().contains(QStringLiteral("Redo"))) << status.text().toStdString();
    EXPECT_FALSE(status.text().contains(QStringLiteral("gone.cube"))) << status.text().toStdString();

    ASSERT_TRUE(chooseClipLut("invert.cube"));
    EXPECT_EQ(picker.currentText(), QStringLiteral("None"));
    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("Save")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return !workspace().projectDirty(); }, "the saved project"));
    const EditSession saved = EditSession::load(file);
    EXPECT_EQ(saved.clipLutReference("c"), "gone.cube");
    EXPECT_EQ(saved.clipLutReference("c2"), "None");
    screenshot("another-timeline-app.png");
}

} // namespace
} // namespace velmora::test
