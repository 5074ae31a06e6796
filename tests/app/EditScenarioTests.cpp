// The Edit workspace of the real application: the timeline lanes, the program monitor,
// playback, and the source viewer and grade inspector windows.
#include <cmath>

#include <QPushButton>
#include <QTest>

#include "AppScenario.h"
#include "grading/ClipGradeEditState.h"
#include "inspectors/ContinuousGradeSlider.h"
#include "inspectors/SourceAudioWaveformView.h"
#include "inspectors/SourceViewer.h"
#include "preview/GradedPreviewController.h"
#include "preview/GradedPreviewView.h"
#include "workspace/EditorContentView.h"
#include "workspace/pool/MediaPoolGrid.h"
#include "workspace/shell/VelmoraDesktopShellView.h"
#include "controls/VelmoraPalette.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::test {
namespace {

constexpr QRgb red = qRgb(255, 0, 0);
constexpr QRgb blue = qRgb(0, 0, 255);
// Compression blurs the stamp's bars a little; their middles stay close to the pure colours.
constexpr int pictureTolerance = 40;

// The colour of bar `bar` (0 to 15) of a frame-stamp picture shown in `frame` of `image`.
QRgb barColour(const QImage& image, const QRect& frame, int bar)
{
    return image.pixel(frame.left() + static_cast<int>((bar + 0.5) * frame.width() / 16.0), frame.center().y());
}

// The frame a file shows at timeline time `t` of the scenes project (V1 only).
int sourceFrameAt(double t)
{
    const double intoFile = t < 3 ? t : t - 3 + 1;
    return static_cast<int>(std::lround(intoFile * ScenesProject::fps));
}

// The lanes show V1 with its two clips, V2 with the card and A1 with the music, each block in
// its lane's colour, the headers' labels, the three markers on the ruler, and the playhead where
// a click on the ruler put it.
TEST_F(AppScenario, TheTimelineShowsItsLanesBlocksMarkersAndPlayhead)
{
    const double playhead = seekWithRuler(2.0);
    TimelineStripView& strip = timeline();
    const TimelineStripModel& model = strip.model();
    // A click on A002's block selects it: drawn opaque, with its trim handles.
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, blockOf(model, "v2").center().toPoint());
    ASSERT_EQ(engine().selectedClipId(), "v2");

    std::vector<std::string> labels;
    for (const TimelineLane& lane : model.buildLanes())
        labels.push_back(lane.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"V1", "V2", "A1"}));

    const QImage shot = screenshot("timeline-app.png", globalRect(window()));
    const QWidget& canvas = *strip.viewport();
    const auto at = [&](QPointF point) { return shot.pixel(canvas.mapToGlobal(point.toPoint())); };
    namespace Colors = VelmoraPalette;
    // Unselected blocks lie at 0.82 over the lane's grey 0.1; the selected one is opaque.
    const auto blockColour = [](const QColor& lane, bool selected) {
        const double a = selected ? 1.0 : 0.82;
        return QColor::fromRgbF(float(a * lane.redF() + (1 - a) * 0.1), float(a * lane.greenF() + (1 - a) * 0.1),
                                float(a * lane.blueF() + (1 - a) * 0.1))
            .rgb();
    };
    const std::vector<std::tuple<std::string, QColor, bool>> blocks = {{"v1", Colors::videoLane(1), false},
                                                                       {"v2", Colors::videoLane(1), true},
                                                                       {"card", Colors::videoLane(2), false},
                                                                       {"music", Colors::audioLane(), false}};
    for (const auto& [id, lane, selected] : blocks) {
        // Right of the title, below the outline.
        const QRectF block = blockOf(model, id);
        EXPECT_TRUE(near(at({block.right() - 24, block.top() + 5}), blockColour(lane, selected), 4)) << id;
    }
    // Each header shows its label in light grey on black.
    for (int row = 0; row < 3; ++row) {
        const QRect label = globalRect(canvas, model.laneLabelRect(row));
        int lit = 0;
        for (int y = label.top(); y <= label.bottom(); ++y) {
            for (int x = label.left(); x <= label.right(); ++x)
                lit += qGray(shot.pixel(x, y)) > 80 ? 1 : 0;
        }
        EXPECT_GT(lit, 10) << labels[static_cast<std::size_t>(row)];
    }
    // The markers: orange ticks on the ruler at their times.
    ASSERT_EQ(model.markers().size(), 3u);
    for (const EditSession::Marker& marker : model.markers())
        EXPECT_TRUE(near(at({model.markerX(marker) + 1, 13}), Colors::laneMarker().rgb(), 8)) << marker.time;
    // The playhead: a red line over the lanes at the ruler's time.
    EXPECT_NEAR(model.playheadRect().left(), model.viewportX(model.xForTime(playhead)), 1.5);
    const QColor playheadOverLane = QColor::fromRgbF(0.9f + 0.1f * 0.1f, 0.9f * 0.271f + 0.01f, 0.9f * 0.227f + 0.01f);
    EXPECT_TRUE(near(at({model.playheadRect().center().x(), model.rowTop(1) + 4}), playheadOverLane.rgb(), 12));
}

// Paused on A001, which carries the Split LUT, the program view shows the graded still of the
// frame under the playhead: every bar the frame stamp has white is red on screen and every black
// bar blue.
TEST_F(AppScenario, APausedClipShowsItsGradedStillInTheProgramView)
{
    const int frame = sourceFrameAt(seekWithRuler(1.5));
    ASSERT_TRUE(waitForGradedStill(frame));

    const QImage shot = screenshot("program-app.png", globalRect(window()));
    const QRect onScreen = programFrame(programView());
    EXPECT_EQ(stampIn(shot, onScreen), frame);
    for (int bar = 0; bar < 16; ++bar) {
        const bool white = (frame >> bar) & 1;
        EXPECT_TRUE(near(barColour(shot, onScreen, bar), white ? red : blue, pictureTolerance)) << "bar " << bar;
    }
}

// Space plays the timeline; after about a second the button pauses it. The playhead has moved
// on, the lanes draw it there, and the program view shows the (graded) frame of the new time.
TEST_F(AppScenario, PlayingMovesThePlayheadAndTheProgramViewFollows)
{
    ASSERT_EQ(engine().playheadSeconds(), 0.0);
    QTest::keyClick(&window(), Qt::Key_Space);
    ASSERT_TRUE(waitFor([&] { return engine().isPlaying(); }, "playback to start"));
    ASSERT_TRUE(waitFor([&] { return engine().playheadSeconds() >= 1.0; }, "a second of playback"));
    QTest::mouseClick(edit().findChild<QPushButton*>(QStringLiteral("playPauseButton")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return !engine().isPlaying(); }, "playback to pause"));

    const double playhead = engine().playheadSeconds();
    ASSERT_GE(playhead, 1.0);
    ASSERT_LT(playhead, 3.0) << "paused past A001";
    const int frame = sourceFrameAt(playhead);
    ASSERT_TRUE(waitForGradedStill(frame));

    const QImage shot = screenshot("playback-app.png", globalRect(window()));
    EXPECT_EQ(stampIn(shot, programFrame(programView())), frame);
    const TimelineStripModel& model = timeline().model();
    EXPECT_NEAR(model.playheadRect().left(), model.viewportX(model.xForTime(playhead)), 1.5);
    const QPoint line = timeline().viewport()->mapToGlobal(
        QPointF(model.playheadRect().center().x(), model.rowTop(2) + 4).toPoint());
    EXPECT_GT(qRed(shot.pixel(line)), 200);
}

// A double click on A001's block opens it in the source viewer for re-trimming; a double click
// on the music's card in the media pool opens that sound's viewer with its waveform instead; the
// Grade button opens the inspector on A001, and lowering its Exposure darkens the paused
// program still. The screenshot shows the whole screen with the windows.
TEST_F(AppScenario, TheSourceViewerAndTheGradeInspectorOpenInWindowsOfTheirOwn)
{
    const int frame = sourceFrameAt(seekWithRuler(1.5));
    ASSERT_TRUE(waitForGradedStill(frame));

    TimelineStripView& strip = timeline();
    const QPoint onA001 = blockOf(strip.model(), "v1").center().toPoint();
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, onA001);
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, onA001);
    ASSERT_TRUE(waitFor([&] { return edit().sourceViewerWindow() && edit().sourceViewerWindow()->isVisible(); },
                        "the source viewer of A001"));
    EXPECT_EQ(edit().sourceViewerWindow()->windowTitle(), QStringLiteral("Source Viewer — A001.mp4 (Timeline)"));
    const SourceViewerController& clipViewer = edit().sourceViewerWindow()->findChild<SourceViewer*>()->controller();
    ASSERT_TRUE(waitFor([&] { return clipViewer.didApplyInitialMarks(); }, "A001 to load in the viewer"));
    EXPECT_EQ(clipViewer.inPoint(), 0.0);
    EXPECT_EQ(clipViewer.outPoint(), 3.0);
    EXPECT_EQ(clipViewer.sourceLutReference(), "Split.cube");
    EXPECT_EQ(clipViewer.picture(), SourceViewerController::Picture::gradedPreview);

    auto* pool = edit().findChild<MediaPoolGrid*>();
    int music = 0;
    while (music < static_cast<int>(pool->cards().size()) && pool->cards()[std::size_t(music)].sourceId != "src-music")
        ++music;
    ASSERT_LT(music, static_cast<int>(pool->cards().size()));
    QTest::mouseDClick(pool, Qt::LeftButton, {}, pool->cardRect(music).center());
    ASSERT_TRUE(waitFor(
        [&] {
            return edit().sourceViewerWindow() && edit().sourceViewerWindow()->isVisible() &&
                   edit().sourceViewerWindow()->windowTitle() == QStringLiteral("Source Viewer - Music.wav");
        },
        "the source viewer of Music.wav"));
    SourceViewer& soundViewer = *edit().sourceViewerWindow()->findChild<SourceViewer*>();
    EXPECT_EQ(soundViewer.controller().picture(), SourceViewerController::Picture::waveform);
    ASSERT_TRUE(waitFor([&] { return soundViewer.waveform()->isWaveformReady(); }, "the waveform"));

    // The card took the selection; a click gives it back to A001, and Grade opens the inspector.
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, onA001);
    ASSERT_EQ(engine().selectedClipId(), "v1");
    QTest::mouseClick(edit().findChild<QPushButton*>(QStringLiteral("gradeInspectorButton")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return edit().gradeInspectorWindow() && edit().gradeInspectorWindow()->isVisible(); },
                        "the grade inspector"));
    QWidget& inspector = *edit().gradeInspectorWindow();
    EXPECT_EQ(inspector.windowTitle(), QStringLiteral("Mood & Basic Grade"));
    EXPECT_EQ(workspace().gradeInspectorClipId(), "v1");

    // Four pages down on Exposure: the white bars, red under the LUT, darken.
    GradedPreviewController& program = programView().controller();
    int whiteBar = 0;
    while (!((frame >> whiteBar) & 1))
        ++whiteBar;
    const auto redOfWhiteBar = [&] { return qRed(barColour(program.still(), program.still().rect(), whiteBar)); };
    const int redBefore = redOfWhiteBar();
    auto* exposure = inspector.findChild<QWidget*>(QStringLiteral("row_exposure"))->findChild<ContinuousGradeSlider*>();
    for (int page = 0; page < 4; ++page)
        QTest::keyClick(exposure, Qt::Key_PageDown);
    EXPECT_LT(ClipGradeEditState::from(engine().session()->clip("v1")).exposure, 0);
    ASSERT_TRUE(waitFor(
        [&] { return program.isStillShown() && !program.isGradingInFlight() && redOfWhiteBar() < redBefore - 40; },
        "the darker still"))
        << redBefore << " → " << redOfWhiteBar();

    const QImage shot = screenshot("inspector-app.png");
    // The waveform: light strokes of the tone across the middle of the viewer's picture, clear
    // of the inspector's window.
    const QRect wave = globalRect(*soundViewer.waveform())
                           .intersected(QRect(QPoint(inspector.frameGeometry().right() + 1, 0), shot.size()));
    int stroked = 0;
    for (int x = wave.left(); x <= wave.right(); ++x)
        stroked += qGray(shot.pixel(x, wave.center().y())) > 100 ? 1 : 0;
    EXPECT_GT(stroked, wave.width() / 2);
    EXPECT_LT(qGray(shot.pixel(wave.center().x(), wave.top() + 2)), 60);
}

} // namespace
} // namespace velmora::test
