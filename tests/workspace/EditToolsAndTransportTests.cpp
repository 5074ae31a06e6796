#include <functional>
#include <set>

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/bars/PlaybackBar.h"
#include "workspace/bars/PlaybackScrubBar.h"
#include "workspace/program/PreviewArea.h"
#include "workspace/program/PreviewPlaceholderView.h"

namespace velmora {
namespace {

using test::WorkspaceHarness;
using Views = WorkspaceHarness::Views;
using Command = EditorWorkspaceController::EditCommand;

// What an edit leaves behind, to compare a button's outcome with its key's.
struct Outcome {
    std::vector<std::string> timeline;
    std::size_t markers = 0;
    std::string status;
    std::optional<std::string> selection;
    double playhead = 0;
    bool canUndo = false;
    bool canRedo = false;
    bool linked = false;

    bool operator==(const Outcome&) const = default;
};

Outcome outcomeOf(const WorkspaceHarness& h)
{
    const TimelinePreviewEngine& engine = h.engine();
    const std::optional<std::string>& selection = engine.selectedClipId();
    return {test::describeTimeline(h.session()), engine.activeMarkers().size(), engine.status(),
            selection ? std::optional<std::string>(test::stableClipId(*selection)) : std::nullopt,
            engine.playheadSeconds(), engine.canUndo(), engine.canRedo(), engine.isAudioLinkedForSelection()};
}

// A project with the video clip selected, the playhead at 1 s, and one edit to undo (and, for
// redo, undone).
void prepare(WorkspaceHarness& h, Command command)
{
    h.open(test::writeProject(h.folders.scratch()));
    h.engine().scrub(1.0);
    h.engine().selectClip("v1", false);
    if (command == Command::undo || command == Command::redo)
        h.engine().addMarkerAtPlayhead();
    if (command == Command::redo)
        h.engine().undo();
    h.settle();
}

struct Binding {
    Command command;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

TEST(EditToolsAndKeys, EachButtonAndItsKeyRunTheSameEngineCommand)
{
    const std::vector<Binding> bindings = {
        {Command::undo, Qt::Key_Z, Qt::ControlModifier},
        {Command::redo, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier},
        {Command::deleteSelection, Qt::Key_Backspace},
        {Command::deleteSelection, Qt::Key_Delete},
        {Command::split, Qt::Key_S},
        {Command::toggleAudioLink, Qt::Key_L},
        {Command::trimIn, Qt::Key_BracketLeft},
        {Command::trimOut, Qt::Key_BracketRight},
        {Command::closeGap, Qt::Key_G},
    };
    for (const Binding& binding : bindings) {
        SCOPED_TRACE(static_cast<int>(binding.command));
        Outcome before;
        Outcome byButton;
        {
            WorkspaceHarness h({Views::workspace});
            prepare(h, binding.command);
            before = outcomeOf(h);
            QTest::mouseClick(h.view().editToolsBar()->button(binding.command), Qt::LeftButton);
            h.settle();
            byButton = outcomeOf(h);
        }
        WorkspaceHarness h({Views::workspace});
        prepare(h, binding.command);
        QTest::keyClick(&h.view(), binding.key, binding.modifiers);
        h.settle();
        EXPECT_EQ(outcomeOf(h), byButton) << byButton.status;
        // Close Gap finds no gap at 1 s and says so: the status changes even then.
        EXPECT_NE(byButton, before) << byButton.status;
    }
}

// Selecting a clip relabels "Link Audio L": the button keeps its width (its widest title's), so
// Trim In, Trim Out and the rest stay where the pointer expects them.
TEST(EditToolsAndKeys, RelabellingTheLinkButtonMovesNoOtherButton)
{
    WorkspaceHarness h({Views::workspace});
    h.view().resize(1280, 900);
    h.view().show();
    h.open(test::writeProject(h.folders.scratch()));
    h.settle();
    EditToolsBar* bar = h.view().editToolsBar();
    QPushButton* link = bar->button(Command::toggleAudioLink);
    std::vector<QPushButton*> after;
    for (Command command : {Command::trimIn, Command::trimOut, Command::closeGap, Command::addMarker})
        after.push_back(bar->button(command));
    // Where each button sits along the row: its left edge and width (the row's height follows the
    // groups a selection shows).
    const auto places = [&] {
        std::vector<std::pair<int, int>> spans{{link->x(), link->width()}};
        for (QPushButton* button : after)
            spans.emplace_back(button->x(), button->width());
        return spans;
    };
    ASSERT_EQ(link->text(), "Link Audio L");
    const std::vector<std::pair<int, int>> before = places();


    std::set<QString> shown{link->text()};
    h.engine().selectClip("v1", false);
    h.settle();
    shown.insert(link->text());
    EXPECT_EQ(places(), before);
    h.workspace().perform(Command::toggleAudioLink);
    h.settle();
    shown.insert(link->text());
    EXPECT_EQ(places(), before);
    EXPECT_EQ(shown, (std::set<QString>{"Link Audio L", "Audio Linked L", "Audio Unlinked L"}));
    // Wide enough for each title in full.
    for (const QString& title : shown)
        EXPECT_GT(link->width(), link->fontMetrics().horizontalAdvance(title)) << title.toStdString();
}

TEST(EditToolsAndKeys, MarkerAndTheKeysWithoutButtonsReachTheEngine)
{
    WorkspaceHarness h({Views::workspace, true});
    prepare(h, Command::addMarker);
    QTest::mouseClick(h.view().editToolsBar()->button(Command::addMarker), Qt::LeftButton);
    EXPECT_EQ(h.engine().activeMarkers().size(), 1u);

    // The arrows run the engine's frame steps and cut jumps, from the playhead at 2 s.
    const auto playheadAfter = [&h](const std::function<void()>& act) {
        h.engine().scrub(2.0);
        h.settle();
        act();
        h.settle();
        return h.engine().playheadSeconds();
    };
    const auto key = [&h](Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return [&h, key, modifiers] { QTest::keyClick(&h.view(), key, modifiers); };
    };
    TimelinePreviewEngine& engine = h.engine();
    const double forward = playheadAfter([&] { engine.stepPlayheadFrame(1, false); });
    EXPECT_GT(forward, 2.0);
    EXPECT_EQ(playheadAfter(key(Qt::Key_Right)), forward);
    const double back = playheadAfter([&] { engine.stepPlayheadFrame(-1, false); });
    EXPECT_LT(back, 2.0);
    EXPECT_EQ(playheadAfter(key(Qt::Key_Left)), back);
    EXPECT_EQ(playheadAfter(key(Qt::Key_Left, Qt::ShiftModifier)),
              playheadAfter([&] { engine.stepPlayheadFrame(-1, true); }));
    // Shift and an arrow: the fine step of 0.01 s, which a frame step's snapping must not undo.
    EXPECT_NEAR(playheadAfter(key(Qt::Key_Right, Qt::ShiftModifier)), 2.01, 1e-9);
    EXPECT_NEAR(playheadAfter(key(Qt::Key_Left, Qt::ShiftModifier)), 1.99, 1e-9);
    EXPECT_EQ(playheadAfter(key(Qt::Key_Down)), 4.0); // from the video clip to the still
    EXPECT_EQ(playheadAfter(key(Qt::Key_Up)), 0.0);

    // Space plays while the source viewer is not the active window.
    QTest::keyClick(&h.view(), Qt::Key_Space);
    h.queue->runUntilIdle();
    EXPECT_TRUE(h.engine().isPlaying());
    EXPECT_EQ(h.view().playbackBar()->playPauseButton()->text(), "Pause");
}

TEST(Transport, ButtonsTimeReadOutsAndScrubBar)
{
    WorkspaceHarness h({Views::workspace, true});
    PlaybackBar& bar = *h.view().playbackBar();
    EXPECT_EQ(bar.playPauseButton()->text(), "Play");
    EXPECT_EQ(bar.timeLabel()->text(), "00:00:00");
    EXPECT_EQ(bar.durationLabel()->text(), "00:00:00");
    EXPECT_EQ(bar.canvasLabel()->text(), "1920×1080 · 59.94 fps");
    EXPECT_EQ(bar.scrubBar()->duration(), 0.01); // an empty timeline still has a bar

    // Without a project the engine refuses to play, and says why.
    QTest::mouseClick(bar.playPauseButton(), Qt::LeftButton);
    EXPECT_EQ(h.engine().status(), "Load media folder to preview timeline");

    h.open(test::writeProject(h.folders.scratch()));
    EXPECT_EQ(bar.durationLabel()->text(), "00:09:00"); // the music ends at 9 s, at 25 fps
    EXPECT_EQ(bar.canvasLabel()->text(), "1920×1080 · 25 fps");

    QTest::mouseClick(bar.nextFrameButton(), Qt::LeftButton);
    h.settle();
    EXPECT_NEAR(h.engine().playheadSeconds(), 0.04, 1e-9);
    EXPECT_EQ(bar.timeLabel()->text(), "00:00:01");
    QTest::mouseClick(bar.previousFrameButton(), Qt::LeftButton);
    h.settle();
    EXPECT_EQ(h.engine().playheadSeconds(), 0);

    // Pressing and dragging scrub to the time under the pointer, clamped to the bar.
    PlaybackScrubBar& scrub = *bar.scrubBar();
    scrub.resize(600, PlaybackScrubBar::barHeight);
    QTest::mousePress(&scrub, Qt::LeftButton, Qt::NoModifier, QPoint(200, 10));
    EXPECT_NEAR(h.engine().playheadSeconds(), 3.0, 1e-9);
    QMouseEvent drag(QEvent::MouseMove, QPointF(900, 10), scrub.mapToGlobal(QPointF(900, 10)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&scrub, &drag);
    EXPECT_NEAR(h.engine().playheadSeconds(), 9.0, 1e-9);
    QMouseEvent back(QEvent::MouseMove, QPointF(-50, 10), scrub.mapToGlobal(QPointF(-50, 10)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&scrub, &back);
    QTest::mouseRelease(&scrub, Qt::LeftButton, Qt::NoModifier, QPoint(0, 10));
    EXPECT_EQ(h.engine().playheadSeconds(), 0);
    EXPECT_EQ(scrub.seconds(), 0);

    h.clock->advance(1); // past the guard against a double toggle
    QTest::mouseClick(bar.playPauseButton(), Qt::LeftButton);
    h.queue->runUntilIdle();
    EXPECT_TRUE(h.engine().isPlaying());
    EXPECT_EQ(bar.playPauseButton()->text(), "Pause");
}

TEST(ProgramArea, PlaceholderTextsAndTheCanvasReadOut)
{
    WorkspaceHarness h({Views::workspace, true});
    EditorWorkspaceController& w = h.workspace();
    using Action = EditorWorkspaceController::PreviewPlaceholder::Action;
    using Button = EditorWorkspaceController::PreviewPlaceholder::Button;

    auto placeholder = w.previewPlaceholder();
    EXPECT_FALSE(placeholder.projectReady);
    EXPECT_EQ(placeholder.heading, "New Project or Import Web Job");
    EXPECT_EQ(placeholder.explanation,
              "Use Import Web Job JSON for desktop job JSON or browser .tavlek exports, then choose Media Folder…");
    EXPECT_EQ(placeholder.buttons, (std::vector<Button>{{"New Project", Action::newProject, true},
                                                        {"Import Web Job JSON…", Action::importWebJob, true},
                                                        {"Open Project…", Action::openProject, false}}));

    w.startNewProject();
    placeholder = w.previewPlaceholder();
    EXPECT_TRUE(placeholder.projectReady);
    EXPECT_EQ(placeholder.heading, "Import clips to get started");
    EXPECT_EQ(placeholder.buttons, (std::vector<Button>{{"Import Media…", Action::importMedia, true}}));

    // Sources without media in the folder (or without a folder).
    h.session().sources.push_back(EditSession::Source("s", "A.MP4", "video"));
    EXPECT_EQ(w.previewPlaceholder().heading, "Re-import clips for this project");
    w.setMediaFolderURL(std::nullopt);
    EXPECT_EQ(w.previewPlaceholder().heading, "Re-import clips for this project");
    // Any media file in the folder will do.
    test::writeTextFile(h.folders.scratch() / "Other.mov", "x");
    w.setMediaFolderURL(h.folders.scratch());
    EXPECT_EQ(w.previewPlaceholder().heading, "Building preview…");
    h.engine().setStatus("Failed to build: no video");
    EXPECT_EQ(w.previewPlaceholder().heading, "Failed to build: no video");

    // The widget shows the project's placeholder until a player exists, then the read-out.
    PreviewArea& area = *h.view().previewArea();
    h.open(test::writeProject(h.folders.scratch() / "project"));
    EXPECT_TRUE(area.placeholder()->isHidden());
    EXPECT_FALSE(area.canvasReadout()->isHidden());
    EXPECT_EQ(area.canvasLabel()->text(), "1920×1080 · 25 fps");
    EXPECT_EQ(area.linkedSourceLabel()->text().toStdString(),
              "Source: DJI_0001.MP4 · V1"); // the video clip under the playhead
    QTest::keyClick(&h.view(), Qt::Key_Space);
    h.queue->runUntilIdle();
    EXPECT_TRUE(area.canvasReadout()->isHidden()); // hidden while playing
}

TEST(ProgramArea, TheLinkedSourceIsTheInstalledBuildsFileUntilTheTimelineChanges)
{
    WorkspaceHarness h({Views::none, true});
    EditorWorkspaceController& w = h.workspace();
    const test::GeneratedProject project = test::writeProject(h.folders.scratch() / "project");
    w.handleOpenURL(project.file);
    h.queue->advance(0.5);
    ASSERT_GE(h.builder->buildCount(), 1u);
    PreviewComposition built;
    for (const EditSession::Source& source : h.session().sources)
        built.sourceFiles.emplace(source.id, project.media / source.fileName);
    h.builder->finish(h.engine().durationSeconds(), built);
    h.queue->advance(0.5);
    EXPECT_EQ(w.linkedSourceLabel(), "Source: DJI_0001.MP4 · V1");

    // The preview plays what it was built from: a file gone from the folder since then is
    // still the one it is linked to, without the folder being listed again.
    std::filesystem::remove(project.media / "DJI_0001.MP4");
    EXPECT_EQ(w.linkedSourceLabel(), "Source: DJI_0001.MP4 · V1");

    // An edit asks for another build; until its map arrives from the build's worker the last
    // one answers (the main thread lists no folder for it).
    h.engine().moveClipOnTimeline("music", 7.0, std::nullopt, true, true);
    EXPECT_EQ(w.linkedSourceLabel(), "Source: DJI_0001.MP4 · V1");
}

TEST(ProgramArea, AFailedBuildOffersARetry)
{
    WorkspaceHarness h({Views::workspace, true});
    h.open(test::writeProject(h.folders.scratch()));
    h.engine().reloadComposition(std::nullopt);
    h.queue->advance(0.5);
    h.builder->fail(Error("preview", 3, "Could not open DJI_0001.MP4"));
    h.queue->advance(0.5);
    auto placeholder = h.workspace().previewPlaceholder();
    EXPECT_EQ(placeholder.heading, "Preview failed");
    EXPECT_TRUE(placeholder.headingIsWarning);
    EXPECT_EQ(placeholder.explanation, "Could not open DJI_0001.MP4");
    ASSERT_EQ(placeholder.buttons.size(), 1u);
    EXPECT_EQ(placeholder.buttons[0].title, "Retry preview");
    EXPECT_FALSE(h.view().previewArea()->placeholder()->isHidden());

    const std::size_t builds = h.builder->buildCount();
    h.workspace().runPlaceholderAction(placeholder.buttons[0].action);
    h.queue->advance(0.5);
    EXPECT_GT(h.builder->buildCount(), builds);
}

} // namespace
} // namespace velmora
