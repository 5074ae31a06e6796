// A reel of ten clips on the real window: edits made while the media pool's poster frames are
// still being made undo as one step each after they land, a still and every stepped frame show
// on the paused monitor as the export writes them, and saving, exporting and quitting lose
// nothing and ask nothing.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTest>

#include "AppScenario.h"
#include "export_workspaces/EditorExportSheet.h"
#include "inspectors/SourceViewer.h"
#include "media/MediaTestHelpers.h"
#include "preview/GradedPreviewView.h"
#include "support/MediaFixtures.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/pool/MediaPoolGrid.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

constexpr double fps = 25;
constexpr int stillStamp = 0x5A5A;

// "Reel.tavlek" at 25 fps on a 320 × 180 canvas, V1 only: nine frame-stamp movies
// "C01.mp4" … "C09.mp4" (60 frames each) two seconds apiece from 0 s, C03 from 0.4 s into its
// file (its frames 10–59), then the still "Card.png" at 18–19 s.
fs::path writeReel(const fs::path& folder)
{
    const fs::path media = folder / "Reel_media";
    fs::create_directories(media);
    EditSession session = EditSession::blankProject("Reel", 320, 180, fps);
    EditSession::Timeline& timeline = session.timelines.front();
    for (int k = 1; k <= 10; ++k) {
        const bool still = k == 10;
        char movieName[16];
        std::snprintf(movieName, sizeof movieName, "C%02d.mp4", k);
        const std::string name = still ? "Card.png" : movieName;
        const std::string sourceId = "src-" + std::to_string(k);
        if (still) {
            makeStillImage(media / name, 320, 180, stillStamp);
        } else {
            ClipSettings settings;
            settings.width = 320;
            settings.height = 180;
            settings.frameCount = 60;
            settings.videoArgs = "-preset ultrafast";
            makeClip(media / name, settings);
        }
        EditSession::Clip clip("c" + std::to_string(k));
        clip.type = still ? "image" : "video";
        session.sources.emplace_back(sourceId, name, clip.type);
        clip.sourceId = sourceId;
        clip.name = name;
        clip.track = 1;
        clip.startTime = 2.0 * (k - 1);
        clip.duration = still ? 1.0 : 2.0;
        clip.inPoint = k == 3 ? 0.4 : 0.0;
        if (!still)
            clip.outPoint = *clip.inPoint + 2.0;
        timeline.clips.push_back(clip);
    }
    const fs::path file = folder / "Reel.tavlek";
    session.saveProject(file, media.string());
    return file;
}

// The frame number a decoded frame of a frame-stamp movie shows; -1 when unreadable.
// The reel, opened in the window; the scenario starts as soon as the project is open, while its
// poster frames are still being made.
class ReelScenario : public AppScenario {
protected:
    void SetUp() override
    {
        reel = writeReel(folders.scratch());
        openInWindow(reel);
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(waitFor([this] { return workspace().sessionURL() == reel; }, "the reel to open"));
    }

    fs::path reel;
};

// Opened with ten clips, C01 is split at 1 s before the poster frames land and undone after:
// the timeline is as opened. A range of C05 placed from its source viewer is one undo step.
// Paused on the still, the monitor shows it; stepping frame by frame over C03, the monitor and
// the read-out show each frame the export then writes at that time. Saved, exported, the
// project stays saved: Open… asks nothing, nor does Ctrl+Q, which closes the window.
TEST_F(ReelScenario, EditsUndoAcrossPosterFramesAndThePausedMonitorShowsTheExportedFrames)
{
    const auto clips = [this] { return engine().session()->activeTimeline()->clips; };
    const auto posterFrames = [this] {
        const std::vector<EditSession::Source>& sources = engine().session()->sources;
        return std::count_if(sources.begin(), sources.end(), [](const auto& source) { return !!source.thumbnailData; });
    };
    const auto pressKey = [this](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 60000));
        QTest::keyClick(&window(), key, modifiers);
    };
    // The frame the monitor shows, read off the screen.
    const auto shownFrame = [this] {
        const QRect monitor = programFrame(programView());
        const QImage now =
            window().screen()->grabWindow(0, monitor.x(), monitor.y(), monitor.width(), monitor.height()).toImage();
        return stampIn(now, now.rect());
    };
    const std::vector<EditSession::Clip> opened = clips();
    ASSERT_EQ(opened.size(), 10u);

    // The split, at once, before the poster frames land.
    ASSERT_NEAR(seekWithRuler(1.0), 1.0, 0.05);
    QTest::keyClick(&window(), Qt::Key_S);
    ASSERT_EQ(clips().size(), 11u) << engine().status();
    ASSERT_EQ(posterFrames(), 0) << "the poster frames landed before the split";
    // Nine movies and the still each get a picture.
    ASSERT_TRUE(waitFor([&] { return posterFrames() == 10 && previewReady(); }, "the poster frames and the preview"))
        << engine().status();
    ASSERT_TRUE(waitFor([&] { return shownFrame() == 25; }, "C01's frame 25 on the monitor")) << shownFrame();
    screenshot("reel-1-split.png", globalRect(window()));
    pressKey(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(clips(), opened);
    EXPECT_FALSE(engine().canUndo());
    EXPECT_EQ(posterFrames(), 10);

    // C05 from 0.4 s to 1.2 s, marked in its source viewer and added at the timeline's end, which
    // closes the viewer.
    auto* pool = edit().findChild<MediaPoolGrid*>();
    const auto card = std::find_if(pool->cards().begin(), pool->cards().end(),
                                   [](const auto& c) { return c.fileName == "C05.mp4"; });
    ASSERT_NE(card, pool->cards().end());
    QTest::mouseDClick(pool, Qt::LeftButton, {}, pool->cardRect(int(card - pool->cards().begin())).center());
    SourceViewer* viewer = nullptr;
    ASSERT_TRUE(waitFor(
        [&] {
            QWidget* window = edit().sourceViewerWindow();
            viewer = window && window->isVisible() ? window->findChild<SourceViewer*>() : nullptr;
            return viewer && viewer->controller().didApplyInitialMarks();
        },
        "the source viewer of C05"));
    const SourceViewerController& marks = viewer->controller();
    auto* scrub = viewer->findChild<QSlider*>(QStringLiteral("scrubSlider"));
    for (const std::pair<double, const char*>& mark : {std::pair{0.4, "inButton"}, std::pair{1.2, "outButton"}}) {
        const double seconds = mark.first;
        scrub->setValue(int(std::lround(seconds / marks.scrubMaximum() * scrub->maximum())));
        ASSERT_TRUE(waitFor([&] { return std::abs(marks.currentTime() - seconds) < 0.02; }, "the viewer's scrub"));
        QTest::mouseClick(viewer->findChild<QPushButton*>(QString::fromLatin1(mark.second)), Qt::LeftButton);
    }
    const double in = marks.inPoint(), out = marks.outPoint();
    QTest::mouseClick(viewer->findChild<QPushButton*>(QStringLiteral("addButton")), Qt::LeftButton);
    // The movie comes with its linked sound clip.
    ASSERT_EQ(clips().size(), 12u);
    const std::vector<EditSession::Clip> placed = clips();
    const auto added = std::find_if(placed.begin(), placed.end(),
                                    [](const auto& clip) { return clip.type == "video" && *clip.startTime > 18; });
    ASSERT_NE(added, placed.end());
    EXPECT_EQ(std::make_tuple(added->sourceId, *added->startTime, *added->duration, *added->inPoint),
              std::make_tuple(std::string("src-5"), 19.0, out - in, in));
    EXPECT_TRUE(waitFor([&] { return !edit().sourceViewerWindow(); }, "the viewer to close"));
    pressKey(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(clips(), opened);
    EXPECT_FALSE(engine().canUndo());

    // Down and Up jump from cut to cut.
    const auto parkOnCut = [&](double seconds) {
        while (std::abs(engine().playheadSeconds() - seconds) > 1e-6) {
            const double before = engine().playheadSeconds();
            QTest::keyClick(&window(), before < seconds ? Qt::Key_Down : Qt::Key_Up);
            ASSERT_TRUE(waitFor([&] { return engine().playheadSeconds() != before; }, "the next cut"));
        }
    };
    ASSERT_NO_FATAL_FAILURE(parkOnCut(18.0));
    ASSERT_TRUE(waitFor([&] { return shownFrame() == stillStamp; }, "the still on the monitor")) << shownFrame();
    screenshot("reel-2-still.png", globalRect(window()));

    // C03 frame by frame from its start, which is its file's frame 10.
    const auto* readOut =
        edit().findChild<QWidget*>(QStringLiteral("playbackBar"))->findChild<QLabel*>(QStringLiteral("timeLabel"));
    ASSERT_NO_FATAL_FAILURE(parkOnCut(4.0));
    std::vector<double> steps;
    for (int k = 0; k < 8; ++k) {
        if (k > 0)
            QTest::keyClick(&window(), Qt::Key_Right);
        const double expected = 4.0 + k / fps;
        ASSERT_TRUE(waitFor([&] { return std::abs(engine().playheadSeconds() - expected) < 1e-6; }, "a frame step"))
            << engine().playheadSeconds();
        steps.push_back(engine().playheadSeconds());
        ASSERT_TRUE(waitFor([&] { return shownFrame() == 10 + k; }, "frame " + std::to_string(10 + k))) << shownFrame();
        EXPECT_EQ(readOut->text().toStdString(), "00:04:0" + std::to_string(k));
    }
    screenshot("reel-3-stepped.png", globalRect(window()));

    // Ctrl+S, then the export sheet's H.264 movie.
    ASSERT_TRUE(workspace().projectDirty());
    pressKey(Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return !workspace().projectDirty(); }, "the save"));
    EditorExportSheet& sheet = openExportSheet();
    ASSERT_FALSE(HasFatalFailure());
    QTest::mouseClick(sheet.findChild<QPushButton*>(QStringLiteral("exportButton")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the save panel"));
    const fs::path movie = folders.scratch() / "Reel_export.mp4";
    choose(*panel, movie);
    const ExportSheetController& run = sheet.controller();
    ASSERT_TRUE(waitFor([&] { return !run.isExporting() && run.status().starts_with("Done"); }, "the export", 1200))
        << run.status();
    // A desktop without a file manager adds that it cannot show the movie.
    EXPECT_TRUE(run.status().starts_with("Done \u2014 320\u00D7180 @ 25.00 fps")) << run.status();
    screenshot("reel-4-exported.png", globalRect(window()).united(sheet.frameGeometry()));
    QTest::mouseClick(sheet.findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    for (std::size_t k = 0; k < steps.size(); ++k)
        EXPECT_EQ(stampOf(decodedFrame(movie, steps[k])), 10 + int(k)) << "exported at " << steps[k] << " s";

    // Still saved: the name has no mark, and Open… goes straight to its panel.
    EXPECT_FALSE(workspace().projectDirty());
    EXPECT_EQ(edit().topBar()->findChild<QLabel*>(QStringLiteral("projectNameLabel"))->text(), QStringLiteral("Reel"));
    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("Open…")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the open panel"));
    EXPECT_EQ(edit().discardDialog(), nullptr);
    panel->reject();

    bool closed = false;
    const QObject listening;
    QObject::connect(&window(), &VelmoraDesktopShellView::closed, &listening, [&] { closed = true; });
    pressKey(Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([&] { return closed; }, "the window to close"));
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(edit().discardDialog(), nullptr);
}

} // namespace
} // namespace velmora::test
