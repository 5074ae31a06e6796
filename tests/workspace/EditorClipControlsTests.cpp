#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QKeySequence>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "controls/VelmoraToolbarSlider.h"
#include "support/CubeTexts.h"
#include "workspace/bars/ClipFadeBar.h"
#include "workspace/bars/ClipGainBar.h"
#include "workspace/bars/ClipPickerBar.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/bars/EditorTopBar.h"

namespace velmora {
namespace {

using test::WorkspaceHarness;
using Views = WorkspaceHarness::Views;

std::vector<std::string> titles(const std::vector<EditorWorkspaceController::PickerClip>& clips)
{
    std::vector<std::string> result;
    for (const auto& clip : clips)
        result.push_back(clip.id + ":" + clip.title);
    return result;
}

TEST(EditorClipControls, TheLinkButtonNamesTheSelectionsAudio)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    EXPECT_EQ(w.linkLabel(), "Link Audio"); // no project
    h.open(test::writeProject(h.folders.scratch()));
    EXPECT_EQ(w.linkLabel(), "Link Audio"); // nothing selected

    h.engine().selectClip("v1", false);
    EXPECT_EQ(w.linkLabel(), "Audio Linked");
    h.engine().toggleAudioLinkForSelection();
    EXPECT_EQ(w.linkLabel(), "Audio Unlinked");
    h.engine().selectClip("a1", false); // audio with its video partner
    EXPECT_EQ(w.linkLabel(), "Audio Unlinked");
    h.engine().selectClip("music", false); // a lone audio clip
    EXPECT_EQ(w.linkLabel(), "Link Audio");
    h.engine().selectClip("still", false);
    EXPECT_EQ(w.linkLabel(), "Link Audio");
    h.engine().selectClip("gone", false);
    EXPECT_EQ(w.linkLabel(), "Link Audio");
}

TEST(EditorClipControls, ToolsBarEnablesUndoAndRedoAndShowsTheSelectionsControls)
{
    WorkspaceHarness h({Views::workspace});
    EditToolsBar& bar = *h.view().editToolsBar();
    using C = EditorWorkspaceController::EditCommand;
    EXPECT_FALSE(bar.button(C::undo)->isEnabled());
    EXPECT_FALSE(bar.button(C::redo)->isEnabled());
    EXPECT_TRUE(bar.button(C::split)->isEnabled()); // refused by the engine, never disabled
    EXPECT_TRUE(bar.gradeButton()->isHidden());
    EXPECT_TRUE(bar.fadeBar()->isHidden());
    EXPECT_TRUE(bar.gainBar()->isHidden());

    h.open(test::writeProject(h.folders.scratch()));
    h.engine().addMarkerAtPlayhead();
    EXPECT_TRUE(bar.button(C::undo)->isEnabled());
    EXPECT_FALSE(bar.button(C::redo)->isEnabled());
    QTest::mouseClick(bar.button(C::undo), Qt::LeftButton);
    EXPECT_FALSE(bar.button(C::undo)->isEnabled());
    EXPECT_TRUE(bar.button(C::redo)->isEnabled());

    h.engine().selectClip("v1", false);
    EXPECT_EQ(bar.button(C::toggleAudioLink)->text(), "Audio Linked L");
    EXPECT_FALSE(bar.gradeButton()->isHidden());
    EXPECT_FALSE(bar.sourceViewerButton()->isHidden());
    EXPECT_FALSE(bar.fadeBar()->isHidden());
    EXPECT_FALSE(bar.gainBar()->isHidden());
    h.engine().selectClip("still", false); // a still: graded, no source viewer, fades or gain
    EXPECT_FALSE(bar.gradeButton()->isHidden());
    EXPECT_TRUE(bar.sourceViewerButton()->isHidden());
    EXPECT_TRUE(bar.fadeBar()->isHidden());
    EXPECT_TRUE(bar.gainBar()->isHidden());
    h.engine().selectClip("music", false);
    EXPECT_TRUE(bar.gradeButton()->isHidden());
    EXPECT_FALSE(bar.gainBar()->isHidden());

    // The switches are bound both ways; the status line is the engine's.
    QTest::mouseClick(bar.rippleToggle(), Qt::LeftButton);
    EXPECT_TRUE(h.engine().rippleEditEnabled());
    h.engine().setMagneticSnapEnabled(false);
    EXPECT_FALSE(bar.snapToggle()->isChecked());
    h.engine().setStatus("Split OK — test");
    EXPECT_EQ(bar.statusLabel()->text(), "Split OK — test");
}

TEST(EditorClipControls, TopBarCommandsNeedAProjectAndTheHandOffAMediaFolder)
{
    WorkspaceHarness h({Views::workspace});
    EditorTopBar& bar = *h.view().topBar();
    const QStringList needProject = {"Save", "Save As…", "Project…", "Export Return…"};
    const QStringList needFolder = {"10-bit Export Tab →", "Export Video…"};
    const QStringList always = {"New", "Open…", "Import Web Job JSON…", "Media Folder…", "Clean Feed F"};
    for (const QString& title : needProject + needFolder)
        EXPECT_FALSE(bar.commandButton(title)->isEnabled()) << title.toStdString();
    for (const QString& title : always)
        EXPECT_TRUE(bar.commandButton(title)->isEnabled()) << title.toStdString();
    EXPECT_TRUE(bar.projectNameLabel()->isHidden());
    EXPECT_EQ(bar.versionBadge()->text(), "v2.1 (57)");
    EXPECT_FALSE(bar.clipLutPicker()->isEnabled());

    h.engine().adoptSession(std::make_shared<EditSession>(EditSession::blankProject()), std::nullopt, std::nullopt);
    for (const QString& title : needProject)
        EXPECT_TRUE(bar.commandButton(title)->isEnabled()) << title.toStdString();
    for (const QString& title : needFolder)
        EXPECT_FALSE(bar.commandButton(title)->isEnabled()) << title.toStdString();
    h.workspace().setMediaFolderURL(h.folders.scratch());
    for (const QString& title : needFolder)
        EXPECT_TRUE(bar.commandButton(title)->isEnabled()) << title.toStdString();

    // The name and its unsaved mark.
    h.workspace().setProjectDirty(false);
    EXPECT_EQ(bar.projectNameLabel()->text(), "Untitled Project");
    h.workspace().setSessionURL(h.folders.scratch() / "Trip.tavlek");
    h.workspace().setProjectDirty(true);
    EXPECT_EQ(bar.projectNameLabel()->text(), "Trip •");
    EXPECT_TRUE(bar.projectNameLabel()->property("dirty").toBool());

    QTest::mouseClick(bar.commandButton("Export Video…"), Qt::LeftButton);
    EXPECT_TRUE(h.workspace().showExportSheet());
    QTest::mouseClick(bar.commandButton("Project…"), Qt::LeftButton);
    EXPECT_TRUE(h.workspace().showProjectSettings());
    QTest::mouseClick(bar.gradeToggle(), Qt::LeftButton);
    EXPECT_TRUE(h.engine().gradePreviewEnabled());
    EXPECT_EQ(h.engine().status(), "Grade ON — LUT + mood/basic when paused · Play = smooth raw");
}

TEST(EditorClipControls, ClipPickerListsPictureClipsByStartAndCollapsesWithoutThem)
{
    WorkspaceHarness h({Views::workspace});
    ClipPickerBar& bar = *h.view().clipPickerBar();
    EXPECT_EQ(bar.height(), 0);

    auto session = std::make_shared<EditSession>(EditSession::blankProject());
    const auto add = [&](std::string id, std::string type, std::optional<std::string> name, double start, int lane) {
        EditSession::Clip clip(std::move(id));
        clip.type = std::move(type);
        clip.name = std::move(name);
        clip.startTime = start;
        clip.duration = 1;
        clip.track = lane;
        session->timelines.front().clips.push_back(clip);
    };
    add("music", "audio", "Music.wav", 0, 1);
    add("title", "text", "Title", 0, 3);
    h.engine().adoptSession(session, std::nullopt, std::nullopt);
    EXPECT_EQ(bar.height(), 0);
    EXPECT_TRUE(h.workspace().pickerClips().empty());

    add("late", "video", "Late & Live.mp4", 5, 1);
    add("upper", "video", std::nullopt, 2, 2); // stored before "lower" at the same start
    add("lower", "Image", std::nullopt, 2, 1);
    h.engine().adoptSession(session, std::nullopt, std::nullopt);
    EXPECT_EQ(titles(h.workspace().pickerClips()),
              (std::vector<std::string>{"upper:Clip", "lower:Clip", "late:Late & Live.mp4"}));
    EXPECT_EQ(bar.height(), 36);
    ASSERT_EQ(bar.chipCount(), 3);

    QTest::mouseClick(&bar, Qt::LeftButton, {}, bar.chipRect(1).center());
    EXPECT_EQ(h.engine().selectedClipId(), "lower");
    EXPECT_EQ(h.engine().playheadSeconds(), 0); // the playhead stays
    EXPECT_TRUE(bar.isChipSelected(1));
    EXPECT_FALSE(bar.isChipSelected(0));
    h.engine().selectClip("music", false);
    for (int i = 0; i < bar.chipCount(); ++i)
        EXPECT_FALSE(bar.isChipSelected(i));
}

TEST(EditorClipControls, ClipPickerScrollsToChipsPastItsWidthAndPicksThem)
{
    WorkspaceHarness h({Views::workspace});
    ClipPickerBar& bar = *h.view().clipPickerBar();
    auto session = std::make_shared<EditSession>(EditSession::blankProject());
    for (int i = 0; i < 400; ++i) {
        EditSession::Clip clip("c" + std::to_string(i));
        clip.type = "video";
        clip.name = "Shot " + std::to_string(i) + ".mp4";
        clip.startTime = i;
        clip.duration = 1;
        session->timelines.front().clips.push_back(clip);
    }
    h.engine().adoptSession(session, std::nullopt, std::nullopt);
    bar.resize(600, bar.height());
    ASSERT_EQ(bar.chipCount(), 400);
    EXPECT_EQ(bar.chipAt(QPoint(2, 18)), -1); // the margin before the first chip
    EXPECT_EQ(bar.chipAt(bar.chipRect(0).center()), 0);
    EXPECT_FALSE(bar.rect().intersects(bar.chipRect(399)));

    // The wheel scrolls sideways, never past the row's end.
    for (int notch = 0; notch < 2000; ++notch) {
        QWheelEvent wheel(QPointF(300, 18), bar.mapToGlobal(QPointF(300, 18)), {}, QPoint(0, -120), Qt::NoButton, {},
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&bar, &wheel);
    }
    const QRect last = bar.chipRect(399);
    EXPECT_EQ(last.right() + 1 + 12, bar.width());
    QTest::mouseClick(&bar, Qt::LeftButton, {}, last.center());
    EXPECT_EQ(h.engine().selectedClipId(), "c399");
    EXPECT_TRUE(bar.isChipSelected(399));
    bar.scrollTo(0);
    EXPECT_EQ(bar.chipAt(bar.chipRect(0).center()), 0);
}

TEST(EditorClipControls, GainAppliesAtOnceWithoutAnUndoStep)
{
    WorkspaceHarness h({Views::workspace});
    h.open(test::writeProject(h.folders.scratch()));
    ClipGainBar& gain = *h.view().editToolsBar()->gainBar();
    h.engine().selectClip("music", false);
    ASSERT_FALSE(gain.isHidden());
    EXPECT_EQ(gain.valueLabel()->text(), "100%");

    gain.slider()->applyUserValue(149.6); // a drag lands between steps
    EXPECT_EQ(h.workspace().clipGainUI(), 150);
    EXPECT_EQ(gain.valueLabel()->text(), "150%");
    EXPECT_EQ(h.session().clip("music")->audioLevel, 1.5);
    EXPECT_EQ(h.engine().status(), "Clip gain 150%");
    EXPECT_FALSE(h.engine().canUndo());
    EXPECT_TRUE(h.workspace().projectDirty());

    gain.slider()->applyUserValue(0);
    EXPECT_EQ(h.session().clip("music")->audioLevel, 0.0);
    EXPECT_EQ(gain.valueLabel()->text(), "0%");
    gain.slider()->applyUserValue(300);
    EXPECT_EQ(h.session().clip("music")->audioLevel, 3.0);

    // A selected video clip's gain goes to its paired audio.
    h.engine().selectClip("v1", false);
    gain.slider()->applyUserValue(50);
    EXPECT_EQ(h.session().clip("a1")->audioLevel, 0.5);
}

TEST(EditorClipControls, FadesApplyAndClearAsUndoSteps)
{
    WorkspaceHarness h({Views::workspace});
    h.open(test::writeProject(h.folders.scratch()));
    ClipFadeBar& fades = *h.view().editToolsBar()->fadeBar();
    h.view().show();
    QApplication::setActiveWindow(&h.view());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&h.view()));
    h.engine().selectClip("v1", false);
    ASSERT_FALSE(fades.isHidden());
    EXPECT_EQ(fades.fadeInField()->text(), "0.0");

    // Typed with a full stop, applied with Return, which also ends the field's editing.
    fades.fadeInField()->setFocus();
    fades.fadeInField()->selectAll();
    QTest::keyClicks(fades.fadeInField(), QStringLiteral("0.5"));
    fades.fadeOutField()->setText(QString());
    QTest::keyClicks(fades.fadeOutField(), QStringLiteral("10"));
    fades.fadeInField()->setFocus();
    QTest::keyClick(fades.fadeInField(), Qt::Key_Return);
    EXPECT_FALSE(fades.fadeInField()->hasFocus());
    EXPECT_EQ(h.session().clip("v1")->fadeIn, 0.5);
    EXPECT_EQ(h.session().clip("v1")->fadeOut, 2.0); // at most half of the 4 s clip
    EXPECT_EQ(h.session().clip("a1")->fadeIn, 0.5); // the linked audio shares the group
    EXPECT_EQ(h.engine().status(), "Fade in 0.5s · fade out 10.0s"); // as asked for
    EXPECT_TRUE(h.workspace().projectDirty());

    // A negative fade is stored as none.
    h.workspace().setClipFadeInUI(-2);
    fades.applyButton()->click(); // the group may lie beyond the strip's visible part
    EXPECT_EQ(h.session().clip("v1")->fadeIn.value_or(0), 0);

    fades.clearButton()->click();
    EXPECT_EQ(h.session().clip("v1")->fadeOut.value_or(0), 0);
    EXPECT_EQ(fades.fadeOutField()->text(), "0.0");

    // Each of the three was one step.
    h.engine().undo();
    EXPECT_EQ(h.session().clip("v1")->fadeOut, 2.0);
    EXPECT_EQ(h.session().clip("v1")->fadeIn.value_or(0), 0);
    h.engine().undo();
    EXPECT_EQ(h.session().clip("v1")->fadeIn, 0.5);
    h.engine().undo();
    EXPECT_EQ(h.session().clip("v1")->fadeIn.value_or(0), 0);
    EXPECT_FALSE(h.engine().canUndo());
}

TEST(EditorClipControls, LutPickerOffersNoneTheProjectsCubesAndTheClipsOwnReference)
{
    WorkspaceHarness h({Views::workspace});
    const test::GeneratedProject project = test::writeProject(h.folders.scratch());
    const std::string cube = test::twoPointCubeText();
    test::writeTextFile(project.media / "Warm.cube", cube);
    test::writeTextFile(project.media / "Cool.cube", cube);
    h.open(project);
    VelmoraDarkPopUpPicker& picker = *h.view().topBar()->clipLutPicker();
    EXPECT_FALSE(picker.isEnabled());
    EXPECT_EQ(picker.currentText(), "None");

    h.session().timelines.front().clips[0].grade = EditSession::clipGrade("Lost.cube");
    h.engine().selectClip("v1", false);
    EXPECT_TRUE(picker.isEnabled());
    EXPECT_EQ(picker.selectableTags(), (std::vector<std::string>{"None", "Cool.cube", "Warm.cube", "Lost.cube"}));
    EXPECT_EQ(picker.currentText(), "Lost.cube");

    // Choosing the shown entry again changes nothing.
    h.workspace().setProjectDirty(false);
    picker.pickIndex(3);
    EXPECT_FALSE(h.workspace().projectDirty());

    picker.pickIndex(2);
    EXPECT_EQ(h.session().clip("v1")->grade->lutFile, "Warm.cube");
    EXPECT_FALSE(h.session().clip("a1")->grade.has_value()); // the linked audio keeps its grade
    EXPECT_TRUE(h.workspace().projectDirty());
    EXPECT_FALSE(h.engine().canUndo());
    // Its two points grade nothing, which the engine's worker has found by now.
    EXPECT_EQ(picker.currentText(), "Warm.cube (unusable)");

    // The grade inspector's Reset takes the LUT away: the picker names the state that is.
    h.engine().finalizeClipGradeLivePreview("v1", ClipGradeEditState{});
    EXPECT_EQ(picker.currentText(), "None");
    picker.pickIndex(2);
    EXPECT_EQ(picker.currentText(), "Warm.cube (unusable)");
    ASSERT_TRUE(h.session().clip("v1")->grade.has_value());
    EXPECT_EQ(h.session().clip("v1")->grade->lutFile, "Warm.cube");

    // A remembered name that is no longer offered shows the clip's own value.
    h.workspace().setLutPickerSelection("Gone.cube");
    EXPECT_EQ(h.workspace().lutPickerShownValue(), "Warm.cube");

    picker.pickIndex(0);
    EXPECT_EQ(h.workspace().lutPickerSelection(), "None");
    EXPECT_EQ(h.session().clipLutReference("v1"), "None");
    h.engine().clearClipSelection();
    EXPECT_FALSE(picker.isEnabled());
    EXPECT_EQ(picker.currentText(), "None");
}

TEST(EditorClipControls, LutPickerReadsTheFilesAgainWhenItOpens)
{
    WorkspaceHarness h({Views::workspace});
    const test::GeneratedProject project = test::writeProject(h.folders.scratch());
    h.open(project);
    h.engine().selectClip("v1", false);
    VelmoraDarkPopUpPicker& picker = *h.view().topBar()->clipLutPicker();
    EXPECT_EQ(picker.selectableTags(), std::vector<std::string>{"None"});

    // A file copied into the media folder while the same clip stays selected.
    test::writeTextFile(project.media / "Warm.cube",
                        "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n");
    picker.showPopup();
    EXPECT_EQ(picker.selectableTags(), (std::vector<std::string>{"None", "Warm.cube"}));
    EXPECT_EQ(picker.currentText(), "None");
    picker.hidePopup();
}

} // namespace
} // namespace velmora
