// The program view: the canvas frame, which picture is up while playing and paused, stale
// stills, the paused player's re-seek, the fade, the clean feed, and stills asked of an engine
// or a player that goes away before they are made.

#include <QSignalSpy>

#include "ProgramMonitorTestSupport.h"
#include "grading/PreviewFrameGrader.h"
#include "platform/media/VideoOutput.h"

namespace velmora::test {
namespace {

const QColor red(255, 0, 0);
const QColor blue(0, 0, 255);
const QColor black(0, 0, 0);

EditSession::Clip blueLutClip(std::string id, double start, double duration)
{
    return gradedClip(std::move(id), start, duration, inlineLut(constantCubeText(0, 0, 1)));
}

TEST(ProgramViewFraming, TheCanvasIsFittedWholeAndCentred)
{
    using Controller = GradedPreviewController;
    EXPECT_EQ(Controller::contentFrameForProjectCanvas({0, 0, 1000, 1000}, 1920, 1080), QRectF(0, 218.75, 1000, 562.5));
    EXPECT_EQ(Controller::contentFrameForProjectCanvas({0, 0, 1000, 1000}, 1080, 1920), QRectF(218.75, 0, 562.5, 1000));
    EXPECT_EQ(Controller::contentFrameForProjectCanvas({0, 0, 1, 500}, 1920, 1080), QRectF(0, 0, 1, 500));
    EXPECT_EQ(Controller::contentFrameForProjectCanvas({0, 0, 300, 300}, 0, -5), QRectF(0, 0, 300, 300));
    GradedPreviewController unbound(nullptr, std::make_shared<ManualMainQueue>(), false);
    EXPECT_EQ(unbound.contentFrameForProjectCanvas(QRectF(0, 0, 400, 100)), QRectF(0, 0, 400, 100));
}

TEST(ProgramViewFraming, ThePictureFillsTheCanvasFrameOnBlack)
{
    for (const auto& [canvas, viewSize] : {std::pair{QSize(1920, 1080), QSize(400, 400)},
                                           std::pair{QSize(1080, 1920), QSize(400, 400)},
                                           std::pair{QSize(1001, 333), QSize(301, 203)},
                                           std::pair{QSize(333, 1001), QSize(203, 301)}}) {
        SCOPED_TRACE(testing::Message() << canvas.width() << "x" << canvas.height());
        ProgramHarness p({gradedClip("c1", 0, 4, std::nullopt)}, {canvas, viewSize});
        const QImage shot = p.view->grab().toImage();
        const QRect frame = GradedPreviewController::contentFrameForProjectCanvas(QRectF(QPoint(), viewSize),
                                                                                 canvas.width(), canvas.height())
                                .toAlignedRect();
        const QPoint mid = frame.center();
        // Just inside every edge the picture (a 16:9 frame covers any canvas); outside, black.
        for (const QPoint inside : {QPoint(frame.left() + 2, mid.y()), QPoint(frame.right() - 2, mid.y()),
                                    QPoint(mid.x(), frame.top() + 2), QPoint(mid.x(), frame.bottom() - 2)}) {
            EXPECT_TRUE(colourNear(shot.pixelColor(inside), red));
        }
        const bool barsAtSides = frame.left() >= 3;
        EXPECT_TRUE(colourNear(shot.pixelColor(barsAtSides ? QPoint(frame.left() - 3, mid.y())
                                                           : QPoint(mid.x(), frame.top() - 3)),
                               black));
    }
}

TEST(ProgramViewPicture, PausedOnALutClipTheGradedStillReplacesTheRawFrame)
{
    GradingQueueHold hold;
    ProgramHarness p({blueLutClip("c1", 0, 4)});
    // Until the still is made the raw frame stands in for it.
    EXPECT_TRUE(p.controller().isGradingInFlight());
    EXPECT_TRUE(colourNear(p.centre(), red));
    hold.release();
    finishGrading(p.queue());
    EXPECT_TRUE(p.controller().isStillShown());
    EXPECT_EQ(p.controller().still().size(), QSize(320, 180));
    EXPECT_TRUE(colourNear(p.centre(), blue));

    // Playing shows the player at once; pausing grades the frame again (held until it has been
    // looked at: the grading queue's thread could otherwise beat the look).
    p.togglePlay();
    EXPECT_FALSE(p.controller().isStillShown());
    EXPECT_TRUE(colourNear(p.centre(), red));
    GradingQueueHold regrade;
    p.togglePlay();
    EXPECT_TRUE(colourNear(p.centre(), red));
    regrade.release();
    finishGrading(p.queue());
    EXPECT_TRUE(colourNear(p.centre(), blue));
}

// A seek that lands shows the frame it landed on at once, before the work the landing releases,
// rather than at the view's next look at the player.
TEST(ProgramViewPicture, ALandedSeekShowsItsFrameWithoutWaitingForTheNextLook)
{
    ProgramHarness p({gradedClip("c1", 0, 4, std::nullopt)});
    EXPECT_TRUE(colourNear(p.centre(), red));
    QSignalSpy landed(&p.controller(), &GradedPreviewController::pictureLanded);
    showFrame(*p.player->output, solidFrame(blue), 2, 0.04);
    p.seek(2);
    EXPECT_EQ(landed.count(), 1);
    EXPECT_TRUE(colourNear(p.centre(), blue));
}

TEST(ProgramViewPicture, AGradeWithoutLutIsStillOnlyWithTheGradePreviewOn)
{
    EditorJobV2::ClipGrade grade;
    grade.gradeParams = EditorJobV2::ClipGrade::GradeParams{};
    grade.gradeParams->exposure = 0.5;
    ProgramHarness p({gradedClip("c1", 0, 4, grade), gradedClip("c2", 4, 4, std::nullopt)});
    finishGrading(p.queue());
    EXPECT_FALSE(p.controller().isStillShown());
    EXPECT_TRUE(colourNear(p.centre(), red));
    p.engine().setGradePreviewEnabled(true);
    finishGrading(p.queue());
    EXPECT_TRUE(p.controller().isStillShown());
    p.seek(5);
    finishGrading(p.queue());
    EXPECT_FALSE(p.controller().isStillShown());
}

TEST(ProgramViewStaleStills, AStillForAnEarlierPlayheadIsDropped)
{
    GradingQueueHold first;
    ProgramHarness p({blueLutClip("c1", 0, 2), gradedClip("c2", 2, 2, inlineLut(constantCubeText(0, 1, 0)))});
    // The still of c1 is made; its hand-back waits on the main queue while the playhead moves.
    first.release();
    PreviewFrameGrader::pauseGradeQueue().sync([] {});
    GradingQueueHold hold;
    p.seek(3.0);
    EXPECT_FALSE(p.controller().isStillShown());
    hold.release();
    finishGrading(p.queue());
    EXPECT_TRUE(colourNear(p.centre(), QColor(0, 255, 0)));
}

TEST(ProgramViewStaleStills, AStillArrivingAfterPlaybackStartedIsDropped)
{
    GradingQueueHold hold;
    ProgramHarness p({blueLutClip("c1", 0, 4)});
    p.togglePlay();
    hold.release();
    finishGrading(p.queue());
    EXPECT_FALSE(p.controller().isStillShown());
    EXPECT_FALSE(p.controller().isGradingInFlight());
}

TEST(ProgramViewStaleStills, RequestsDuringAJobWaitForItAndOnlyTheNewestIsGraded)
{
    GradingQueueHold hold;
    ProgramHarness p({blueLutClip("c1", 0, 4)});
    const std::uint64_t first = p.controller().gradeRequestID();
    // Three more requests while the first job waits: none is queued, each outdates the last.
    for (double t : {0.5, 1.0, 1.5}) {
        p.seek(t);
    }
    EXPECT_TRUE(p.controller().needsAnotherGradePass());
    EXPECT_EQ(p.controller().gradeRequestID(), first + 3);

    // The first job hands back outdated and one job is made for the playhead as it is now.
    hold.release();
    finishGrading(p.queue());
    EXPECT_EQ(p.controller().gradeRequestID(), first + 4);
    EXPECT_FALSE(p.controller().needsAnotherGradePass());
    EXPECT_NE(p.controller().lastGradeSyncKey().value_or("").find("|1.5|c1|"), std::string::npos);
    EXPECT_TRUE(colourNear(p.centre(), blue));
}

TEST(ProgramViewReseek, ThePausedPlayerIsMovedOntoThePlayheadOnlyWhenItStrayed)
{
    ProgramHarness p({gradedClip("c1", 0, 4, std::nullopt)});
    p.seek(1.0);
    p.player->seeks.clear();
    for (double stray : {0.99, 0.981}) {
        p.player->setCurrentSeconds(stray);
        p.controller().syncPlayer();
    }
    EXPECT_TRUE(p.player->seeks.empty());
    p.player->setCurrentSeconds(0.98);
    p.controller().syncPlayer();
    ASSERT_EQ(p.player->seeks.size(), 1u);
    EXPECT_DOUBLE_EQ(p.player->seeks[0].seconds, 1.0);
    EXPECT_DOUBLE_EQ(p.player->seeks[0].toleranceSeconds, 0.03);

    // Playing, the player leads.
    p.togglePlay();
    p.player->setCurrentSeconds(2.0);
    p.controller().syncPlayer();
    EXPECT_EQ(p.player->seeks.size(), 1u);
}

TEST(ProgramViewFade, ThePictureCarriesTheFadeAtThePlayhead)
{
    EditSession::Clip graded = blueLutClip("c1", 0, 4);
    EditSession::Clip plain = gradedClip("c2", 4, 4, std::nullopt);
    graded.fadeIn = plain.fadeIn = 2.0;
    GradingQueueHold hold;
    ProgramHarness p({graded, plain});
    p.seek(1.0);
    ASSERT_DOUBLE_EQ(p.engine().previewFadeOpacity(), 0.5);
    // The raw frame standing in for the coming still is at full strength; the still fades.
    EXPECT_TRUE(colourNear(p.centre(), red));
    hold.release();
    finishGrading(p.queue());
    EXPECT_TRUE(colourNear(p.centre(), QColor(0, 0, 128)));
    // Without a still the raw frame fades, paused or playing.
    p.seek(5.0);
    finishGrading(p.queue());
    EXPECT_TRUE(colourNear(p.centre(), QColor(128, 0, 0)));
    p.togglePlay();
    EXPECT_TRUE(colourNear(p.centre(), QColor(128, 0, 0)));
}

TEST(ProgramViewFade, PlaybackRepaintsForTheFadeOnlyWhenItChanges)
{
    EditSession::Clip plain = gradedClip("c1", 0, 4, std::nullopt);
    plain.fadeIn = 2.0;
    ProgramHarness p({plain});
    p.seek(3.0);
    p.togglePlay();
    QSignalSpy painted(&p.controller(), &GradedPreviewController::pictureChanged);
    // Past the fade every tick of the time observer reports the same full opacity.
    for (double t : {3.01, 3.02, 3.03}) {
        p.player->reportTime(t);
        p.queue().runUntilIdle();
    }
    EXPECT_EQ(painted.count(), 0);
    p.player->reportTime(1.0);
    p.queue().runUntilIdle();
    EXPECT_EQ(painted.count(), 1);
    EXPECT_DOUBLE_EQ(p.controller().playerOpacity(), 0.5);
}

TEST(ProgramViewCleanFeed, TheCleanFeedShowsTheRawPictureOnlyWithItsFade)
{
    EditSession::Clip graded = blueLutClip("c1", 0, 4);
    graded.fadeIn = 2.0;
    ProgramOptions options;
    options.cleanFeed = true;
    ProgramHarness p({graded}, options);
    p.togglePlay();
    p.togglePlay();
    p.seek(1.0);
    finishGrading(p.queue());
    EXPECT_FALSE(p.controller().isStillShown());
    // No still is coming, so the paused picture carries the fade.
    EXPECT_TRUE(colourNear(p.centre(), QColor(128, 0, 0)));
}

// A still job takes what it needs of the engine and the player when it is asked for: one still
// waiting when they are gone neither reaches back into them nor hands anything back.
TEST(ProgramViewFaults, AJobOutlivingItsEngineEndsWithoutAHandBack)
{
    auto queue = std::make_shared<ManualMainQueue>();
    auto builder = std::make_shared<FakeCompositionBuilder>(queue);
    TempDir media;
    auto engine = std::make_unique<TimelinePreviewEngine>(
        TimelinePreviewEngine::Services{queue, std::make_shared<ManualClock>(), builder});
    engine->adoptSession(sessionWith({blueLutClip("c1", 0, 4)}), media.path(), std::nullopt, true);
    std::shared_ptr<FakePreviewPlayer> player = builder->finish(4.0);
    queue->runUntilIdle();
    showFrame(*player->output, solidFrame(red), 0, 4);
    GradingQueueHold hold;
    GradedPreviewView view(*engine, queue, false, false);
    view.resize(320, 180);
    view.show();
    queue->runUntilIdle();
    ASSERT_TRUE(view.controller().isGradingInFlight());

    engine.reset();
    player.reset();
    queue->runUntilIdle();
    hold.release();
    PreviewFrameGrader::pauseGradeQueue().sync([] {});
    EXPECT_EQ(queue->pendingCount(), 0);
    EXPECT_TRUE(colourNear(view.grab().toImage().pixelColor(160, 90), black));
}

TEST(ProgramViewFaults, AJobOutlivingItsPlayerGradesItsOwnCopyOfTheFrame)
{
    GradingQueueHold hold;
    ProgramHarness p({blueLutClip("c1", 0, 4)});
    const std::weak_ptr<FakePreviewPlayer> old = p.player;
    // A rebuild drops the player while the job waits; nothing holds it any more.
    p.engine().reloadComposition(std::nullopt);
    p.player.reset();
    p.queue().runUntilIdle();
    EXPECT_TRUE(old.expired());
    hold.release();
    finishGrading(p.queue());
    // The outdated job cut the LUT base from the frame it was given; the request after it, with
    // no player and no source file, could only show that.
    EXPECT_TRUE(colourNear(p.centre(), blue));

    std::shared_ptr<FakePreviewPlayer> rebuilt = p.h.builder->finish(4.0);
    finishGrading(p.queue());
    EXPECT_EQ(p.controller().player(), rebuilt);
}

// After an edit while paused the monitor shows the new timeline: a still cut from the player of
// the old one, or kept from before, would show what is no longer there.
TEST(ProgramViewAfterAnEdit, AnEditAsksAtOnceForTheStillOfTheNewTimeline)
{
    GradingQueueHold hold;
    ProgramHarness p({blueLutClip("a", 0, 10), gradedClip("b", 10, 4, std::nullopt)});
    p.seek(5.0);
    hold.release();
    finishGrading(p.queue());
    ASSERT_TRUE(p.controller().isStillShown());
    const std::uint64_t revision = p.engine().timelineRevision();

    GradingQueueHold held;
    p.engine().commitClipDrop("b", 2.0, 2);
    p.queue().runUntilIdle();
    EXPECT_FALSE(p.controller().isStillShown());
    EXPECT_NE(p.controller().lastGradeSyncKey().value_or("").find("|" + std::to_string(revision + 1) + "|5.0|a|"),
              std::string::npos);
}

TEST(ProgramViewAfterAnEdit, TheStillIsCutFromTheRebuiltPlayerNotTheOldOne)
{
    // The old player shows red everywhere; b shows its picture through an identity LUT.
    ProgramHarness p({gradedClip("a", 0, 5, std::nullopt), gradedClip("b", 10, 4, inlineLut(identityCubeText()))});
    p.seek(6.0);
    finishGrading(p.queue());
    ASSERT_FALSE(p.controller().isStillShown());

    p.engine().commitClipDrop("b", 6.0, 2);
    p.seek(6.0); // the paused playhead is set again before the rebuild comes back
    finishGrading(p.queue());
    EXPECT_FALSE(p.controller().isStillShown());
    p.queue().advance(TimelinePreviewEngine::rebuildDebounceSeconds);
    std::shared_ptr<FakePreviewPlayer> rebuilt = p.h.builder->finish(10.0);
    showFrame(*rebuilt->output, solidFrame(QColor(0, 255, 0)), 0, 10);
    finishGrading(p.queue());
    EXPECT_EQ(p.controller().player(), rebuilt);
    EXPECT_TRUE(p.controller().isStillShown());
    EXPECT_TRUE(colourNear(p.centre(), QColor(0, 255, 0)));
}

} // namespace
} // namespace velmora::test
