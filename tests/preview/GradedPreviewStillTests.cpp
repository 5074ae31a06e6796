// Graded stills of the paused program picture: the key of a picture, the LUT base a still is
// cut from, slider re-grades on the cached base, and stills of real clips.

#include <filesystem>
#include <fstream>

#include <QDir>

#include "ProgramMonitorTestSupport.h"
#include "grading/ClipGradeEditState.h"
#include "grading/PreviewFrameGrader.h"
#include "support/MediaFixtures.h"

namespace velmora::test {
namespace {

std::shared_ptr<EditSession> keySession(double clipEnd)
{
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "A.cube";
    auto session = sessionWith({gradedClip("c1", 0, clipEnd, grade)});
    session->timelines.front().duration = 4.0;
    return session;
}

// The engine at grade revision 3 and timeline revision 12 with the playhead at `t`.
void standAt(EngineHarness& h, double t)
{
    while (h.engine.gradePreviewRevision() < 3) {
        h.engine.refreshPausedGradePreview();
    }
    h.engine.setTimelineRevision(12);
    h.engine.seek(t, false, nullptr);
    h.queue->runUntilIdle();
}

TEST(GradedPreviewKeys, TheKeyNamesEverythingThePausedPictureDependsOn)
{
    EngineHarness onClip;
    onClip.adopt(keySession(3.0));
    standAt(onClip, 2.0);
    EXPECT_EQ(GradedPreviewController::gradeSyncKey(onClip.engine), "3|12|2.0|c1|A.cube|A.cube||true|false|lut:true");

    EngineHarness pastClip;
    pastClip.adopt(keySession(1.0));
    pastClip.engine.setGradePreviewEnabled(true);
    standAt(pastClip, 2.0);
    EXPECT_EQ(GradedPreviewController::gradeSyncKey(pastClip.engine), "3|12|2.0|none|None||true|lut:false");

    // The playhead to the millisecond, the half going up.
    standAt(onClip, 1.2345);
    EXPECT_NE(GradedPreviewController::gradeSyncKey(onClip.engine).find("|1.235|"), std::string::npos);
}

TEST(GradedPreviewKeys, AStillFromThePlayerAloneIsCachedUnderItsFrameAndComp)
{
    ProgramHarness p({gradedClip("c1", 0, 20, inlineLut(identityCube()))});
    p.seek(10.0625);
    finishGrading(p.queue());
    ASSERT_TRUE(p.controller().isStillShown());
    const std::vector<std::string> keys = PreviewFrameGrader::inspection::lutBaseKeyOrder();
    EXPECT_NE(std::find(keys.begin(), keys.end(), "c1|comp|f302|(Embedded LUT)|320x180"), keys.end());
    ASSERT_TRUE(p.controller().lastGradeSyncKey().has_value());
    EXPECT_TRUE(p.controller().lastGradeSyncKey()->ends_with("|10.063|c1|(Embedded LUT)|||true|false|lut:true"));
}

TEST(GradedPreviewRequests, AnUnchangedKeyIsNotAskedForAgainButASliderRefreshAlwaysAsks)
{
    ProgramHarness p({gradedClip("c1", 0, 4, inlineLut(identityCube()))});
    finishGrading(p.queue());
    ASSERT_TRUE(p.controller().isStillShown());
    const std::uint64_t shown = p.controller().gradeRequestID();

    p.controller().syncPlayer();
    EXPECT_EQ(p.controller().gradeRequestID(), shown);
    EXPECT_FALSE(p.controller().isGradingInFlight());

    p.controller().refreshInteractiveGradePreview();
    EXPECT_EQ(p.controller().gradeRequestID(), shown + 1);
    EXPECT_TRUE(p.controller().isGradingInFlight());
    finishGrading(p.queue());
    EXPECT_TRUE(p.controller().isStillShown());
}

TEST(GradedPreviewRequests, ASliderDragRegradesTheCachedBaseOnTheMainThread)
{
    ProgramOptions options;
    options.canvas = {1280, 720};
    options.frame = QColor(100, 100, 100);
    ProgramHarness p({gradedClip("c1", 0, 4, inlineLut(identityCube()))}, options);
    finishGrading(p.queue());
    ASSERT_EQ(p.controller().still().size(), QSize(1280, 720));
    const auto brightness = [&p] { return p.controller().still().pixelColor(100, 100).red(); };
    const int paused = brightness();

    ClipGradeEditState state = ClipGradeEditState::from(p.engine().session()->clip("c1"));
    state.exposure = 0.5;
    GradingQueueHold hold;
    p.engine().warmGradeSliderPreview("c1", state);
    p.queue().runUntilIdle();
    // No base at the drag's size yet: it is made on the grading queue, the old still stays up.
    EXPECT_TRUE(p.controller().isGradingInFlight());
    EXPECT_TRUE(p.controller().isStillShown());
    EXPECT_EQ(p.controller().still().size(), QSize(1280, 720));
    hold.release();
    finishGrading(p.queue());
    ASSERT_EQ(p.controller().still().size(), QSize(854, 480));
    const int firstDrag = brightness();
    EXPECT_GT(firstDrag, paused);

    // From now on the base is cached: each change is graded before the main queue is idle.
    state.exposure = 1.0;
    p.engine().warmGradeSliderPreview("c1", state);
    p.queue().runUntilIdle();
    EXPECT_FALSE(p.controller().isGradingInFlight());
    EXPECT_GT(brightness(), firstDrag);

    // The drag ends: the still at full size again.
    p.engine().finalizeClipGradeLivePreview("c1", state);
    finishGrading(p.queue());
    EXPECT_EQ(p.controller().still().size(), QSize(1280, 720));
}

// A session whose clip c1 (timeline 0 to 2 s, from `inPoint` of the media file) plays
// `fileName` from the harness's media folder.
std::shared_ptr<EditSession> sessionOnFile(const std::string& fileName, double inPoint,
                                           std::optional<EditorJobV2::ClipGrade> grade)
{
    EditSession::Clip onFile = gradedClip("c1", 0, 2, std::move(grade));
    onFile.sourceId = "s1";
    onFile.name = fileName;
    onFile.inPoint = inPoint;
    auto session = sessionWith({onFile});
    session->sources.push_back(EditSession::Source("s1", fileName, "video"));
    return session;
}

TEST(GradedPreviewMedia, ThePausedStillIsTheSourceFrameUnderThePlayhead)
{
    ProgramOptions options;
    options.frame.reset(); // the player shows nothing: the still comes from the file
    ProgramHarness p({gradedClip("c1", 0, 2, std::nullopt)}, options);
    ClipSettings settings;
    settings.frameCount = 60;
    makeClip(p.h.media / "stamp.mp4", settings);
    auto session = sessionOnFile("stamp.mp4", 0.2, inlineLut(identityCube()));
    session->project->width = 320;
    session->project->height = 180;
    session->timelines.front().duration = 2.0;
    p.player = p.h.adopt(session);
    p.seek(1.0);
    finishGrading(p.queue());

    ASSERT_TRUE(p.controller().isStillShown());
    const QImage& still = p.controller().still();
    // 0.2 s into the file plus 1.0 s into the clip: frame 30 at 25 frames per second.
    EXPECT_EQ(readFrameStamp([&](int x, int y) { return qGray(still.pixel(x, y)) / 255.0; }, still.width(),
                             still.height()),
              30);
}

// A warm 17-point look, as a file in the media folder.
void writeWarmCube(const std::filesystem::path& path)
{
    std::ofstream out(path);
    out << "TITLE \"Warm\"\nLUT_3D_SIZE 17\n";
    for (int b = 0; b < 17; ++b) {
        for (int g = 0; g < 17; ++g) {
            for (int r = 0; r < 17; ++r) {
                out << std::min(1.0, r / 16.0 * 1.06 + 0.02) << ' ' << g / 16.0 * 0.98 << ' ' << b / 16.0 * 0.82
                    << '\n';
            }
        }
    }
}

// The program view of a paused generated clip with a LUT, a mood and a basic grade, saved
// where anyone can look at it: build/screenshots/program.png.
TEST(GradedPreviewMedia, APausedClipShowsItsGradedStillInTheProgramView)
{
    ProgramOptions options;
    options.canvas = {1280, 720};
    options.viewSize = {800, 500};
    options.frame.reset();
    ProgramHarness p({gradedClip("c1", 0, 2, std::nullopt)}, options);
    ClipSettings settings;
    settings.width = 640;
    settings.height = 360;
    settings.pattern = ClipPattern::testsrc2;
    makeClip(p.h.media / "A001.mp4", settings);
    writeWarmCube(p.h.media / "Warm.cube");

    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "Warm.cube";
    grade.gradeParams = EditorJobV2::ClipGrade::GradeParams{};
    grade.gradeParams->moodKey = "kodak_portra";
    grade.gradeParams->isMoodEnabled = FlexibleBool{true};
    grade.gradeParams->moodAmount = 0.8;
    grade.gradeParams->exposure = 0.1;
    grade.gradeParams->contrast = 0.15;
    auto session = sessionOnFile("A001.mp4", 0.0, grade);
    session->project->width = 1280;
    session->project->height = 720;
    session->timelines.front().duration = 2.0;
    p.player = p.h.adopt(session);
    p.engine().setGradePreviewEnabled(true);
    p.seek(1.0);
    finishGrading(p.queue());

    ASSERT_TRUE(p.controller().isStillShown());
    EXPECT_EQ(p.controller().still().size(), QSize(1280, 720));
    const QImage shot = p.view->grab().toImage();
    const std::filesystem::path folder = std::filesystem::path(VELMORA_BUILD_DIR) / "screenshots";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(shot.save(QString::fromStdString((folder / "program.png").string())));

    // The graded picture is warmer than the file's own frame.
    const std::optional<Image> raw = PreviewFrameGrader::decodeSourceStill(p.h.media / "A001.mp4", 1.0, 1280, 720);
    ASSERT_TRUE(raw.has_value());
    double rawBalance = 0;
    double gradedBalance = 0;
    for (int y = 40; y < 720; y += 80) {
        for (int x = 40; x < 1280; x += 80) {
            const Color c = raw->pixel(x, 719 - y);
            rawBalance += c.r - c.b;
            const QColor g = p.controller().still().pixelColor(x, y);
            gradedBalance += (g.red() - g.blue()) / 255.0;
        }
    }
    EXPECT_GT(gradedBalance, rawBalance + 5);
}

} // namespace
} // namespace velmora::test
