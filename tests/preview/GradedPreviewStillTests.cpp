// Graded stills of the paused program picture: the key of a picture, the LUT base a still is
// cut from, slider re-grades on the cached base, and stills of real clips.

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "ProgramMonitorTestSupport.h"
#include "export/TimelineExport.h"
#include "grading/ClipGradeEditState.h"
#include "grading/PreviewFrameGrader.h"
#include "model/MediaFolderListing.h"
#include "media/MediaTestHelpers.h"
#include "platform/media/AssetReader.h"
#include "support/MediaFixtures.h"

namespace velmora::test {
namespace {

// The key of the engine at grade revision 3 and timeline revision 12, the playhead at `t`, over
// a clip c1 from 0 to `clipEnd` whose grade names the LUT file A.cube; the number of the
// engine's LUT answers written as N.
std::string keyAt(double t, double clipEnd, bool gradePreview)
{
    EngineHarness h;
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "A.cube";
    auto session = sessionWith({gradedClip("c1", 0, clipEnd, grade)});
    session->timelines.front().duration = 4.0;
    h.adopt(session);
    h.engine.setGradePreviewEnabled(gradePreview);
    while (h.engine.gradePreviewRevision() < 3) {
        h.engine.refreshPausedGradePreview();
    }
    h.engine.setTimelineRevision(12);
    h.engine.seek(t, false, nullptr);
    std::string key = GradedPreviewController::gradeSyncKey(h.engine);
    const std::string answers = "|answers:" + std::to_string(h.engine.lutAnswersNumber());
    if (key.ends_with(answers)) {
        key.replace(key.size() - answers.size(), answers.size(), "|answers:N");
    }
    return key;
}

TEST(GradedPreviewKeys, TheKeyNamesEverythingThePausedPictureDependsOn)
{
    EXPECT_EQ(keyAt(2.0, 3.0, false), "3|12|2.0|c1|A.cube|A.cube||true|false|lut:true|answers:N");
    EXPECT_EQ(keyAt(2.0, 1.0, true), "3|12|2.0|none|None||true|lut:false");
    EXPECT_EQ(keyAt(1.2345, 3.0, false), "3|12|1.235|c1|A.cube|A.cube||true|false|lut:true|answers:N");
}

TEST(GradedPreviewKeys, AStillFromThePlayerAloneIsCachedUnderItsFrameAndComp)
{
    ProgramHarness p({gradedClip("c1", 0, 20, inlineLut(identityCubeText()))});
    p.seek(10.0625);
    finishGrading(p.queue());
    ASSERT_TRUE(p.controller().isStillShown());
    // Under the frame and the digest of the LUT text that graded it.
    const std::vector<std::string> keys = PreviewFrameGrader::inspection::lutBaseKeyOrder();
    EXPECT_NE(std::find_if(keys.begin(), keys.end(),
                           [](const std::string& key) {
                               return key.starts_with("c1|comp|f301|(Embedded LUT)|320x180|") &&
                                      key.ends_with("@1.000000");
                           }),
              keys.end());
    EXPECT_TRUE(p.controller().lastGradeSyncKey().value_or("").ends_with("|10.063|c1|(Embedded LUT)|||true|false|lut:true"));

    // The same key is not asked for again; a slider refresh always asks.
    const std::uint64_t shown = p.controller().gradeRequestID();
    p.controller().syncPlayer();
    EXPECT_EQ(p.controller().gradeRequestID(), shown);
    p.controller().refreshInteractiveGradePreview();
    EXPECT_EQ(p.controller().gradeRequestID(), shown + 1);
    finishGrading(p.queue());
}

TEST(GradedPreviewRequests, ASliderDragRegradesTheCachedBaseOnTheMainThread)
{
    ProgramOptions options;
    options.canvas = {1280, 720};
    options.frame = QColor(100, 100, 100);
    ProgramHarness p({gradedClip("c1", 0, 4, inlineLut(identityCubeText()))}, options);
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

    p.engine().finalizeClipGradeLivePreview("c1", state);
    finishGrading(p.queue());
    EXPECT_EQ(p.controller().still().size(), QSize(1280, 720));
}

// A clip graded by the LUT file trunc2.cube, paused over the player's red frame: once the LUT
// list is looked up again (the picker opening), the still is graded by what the file holds then,
// whichever way it changed, and a frame visited again never brings back a picture of the text
// before. Looked up again with its file unchanged, the still keeps its key and is not graded
// again, even where another clip's LUT changed; with it changed, the still stays up while its
// successor is made.
TEST(GradedPreviewRequests, ThePausedStillFollowsALutFileRewrittenAndLookedUpAgain)
{
    ProgramHarness p({gradedClip("c1", 0, 2, EditSession::clipGrade("trunc2.cube")),
                      gradedClip("c2", 2, 2, EditSession::clipGrade("other.cube"))});
    writeTextFile(p.h.media / "trunc2.cube", truncatedCubeText());
    writeTextFile(p.h.media / "other.cube", constantCubeText(0, 0, 1));
    p.engine().refreshLutNames();
    p.engine().setGradePreviewEnabled(true);
    const auto shown = [&p] { return p.controller().still().pixelColor(10, 10); };
    const auto pausedAt = [&](double t) {
        p.seek(t);
        finishGrading(p.queue());
        EXPECT_TRUE(p.controller().isStillShown()) << t << " s";
        return shown();
    };
    EXPECT_TRUE(colourNear(pausedAt(0.5), QColor(255, 0, 0))); // a table cut short grades nothing

    const std::tuple<std::string, QColor, const char*> rewrites[] = {
        {constantCubeText(0, 0, 1), QColor(0, 0, 255), "a good table"},
        {constantCubeText(0, 1, 0), QColor(0, 255, 0), "another good table"},
        {truncatedCubeText(), QColor(255, 0, 0), "cut short again"},
    };
    for (const auto& [text, colour, what] : rewrites) {
        SCOPED_TRACE(what);
        writeTextFile(p.h.media / "trunc2.cube", text);
        p.engine().refreshLutNames();
        finishGrading(p.queue());
        EXPECT_TRUE(colourNear(shown(), colour));
        EXPECT_TRUE(colourNear(pausedAt(1.0), colour));
        EXPECT_TRUE(colourNear(pausedAt(0.5), colour));
    }

    const std::optional<std::string> key = p.controller().lastGradeSyncKey();
    const std::uint64_t requests = p.controller().gradeRequestID();
    const std::uint64_t answers = p.engine().lutAnswersNumber();
    p.engine().refreshLutNames();
    finishGrading(p.queue());
    EXPECT_EQ(p.engine().lutAnswersNumber(), answers);
    writeTextFile(p.h.media / "other.cube", constantCubeText(0, 1, 0));
    p.engine().refreshLutNames();
    finishGrading(p.queue());
    EXPECT_GT(p.engine().lutAnswersNumber(), answers);
    EXPECT_EQ(p.controller().lastGradeSyncKey(), key);
    EXPECT_EQ(p.controller().gradeRequestID(), requests);
    EXPECT_TRUE(colourNear(shown(), QColor(255, 0, 0)));

    GradingQueueHold hold;
    writeTextFile(p.h.media / "trunc2.cube", constantCubeText(0, 0, 1));
    p.engine().refreshLutNames();
    p.queue().runUntilIdle();
    EXPECT_TRUE(p.controller().isGradingInFlight());
    EXPECT_TRUE(p.controller().isStillShown());
    hold.release();
    finishGrading(p.queue());
    EXPECT_TRUE(colourNear(shown(), QColor(0, 0, 255)));
}

// A LUT file rewritten with nothing looked up again: the still of a frame visited again is
// graded by the text the file holds now, never cut from a picture of the text before, though
// the clip, its LUT's name and the LUT answers stayed the same.
TEST(GradedPreviewRequests, AFrameVisitedAgainIsGradedByWhatItsLutFileHoldsNow)
{
    ProgramHarness p({gradedClip("c1", 0, 2, EditSession::clipGrade("look.cube"))});
    writeTextFile(p.h.media / "look.cube", constantCubeText(0, 0, 1));
    p.engine().refreshLutNames();
    p.engine().setGradePreviewEnabled(true);
    const auto pausedAt = [&p](double t) {
        p.seek(t);
        finishGrading(p.queue());
        EXPECT_TRUE(p.controller().isStillShown()) << t << " s";
        return p.controller().still().pixelColor(10, 10);
    };
    EXPECT_TRUE(colourNear(pausedAt(0.5), QColor(0, 0, 255)));
    const std::uint64_t answers = p.engine().lutAnswersNumber();

    writeTextFile(p.h.media / "look.cube", constantCubeText(0, 1, 0));
    EXPECT_TRUE(colourNear(pausedAt(1.0), QColor(0, 255, 0)));
    EXPECT_TRUE(colourNear(pausedAt(0.5), QColor(0, 255, 0)));
    EXPECT_EQ(p.engine().lutAnswersNumber(), answers);
}

// The harness's engine over one clip c1 (0 to 2 s of the timeline, from `inPoint` of the file)
// playing `fileName` from its media folder, with a player that shows nothing: stills come from
// the file.
void adoptFile(ProgramHarness& p, const std::string& fileName, double inPoint, QSize canvas,
               EditorJobV2::ClipGrade grade, double fps = 30)
{
    EditSession::Clip onFile = gradedClip("c1", 0, 2, std::move(grade));
    onFile.sourceId = "s1";
    onFile.name = fileName;
    onFile.inPoint = inPoint;
    auto session = sessionWith({onFile});
    session->sources.push_back(EditSession::Source("s1", fileName, "video"));
    session->project->width = canvas.width();
    session->project->height = canvas.height();
    session->project->fps = fps;
    session->timelines.front().duration = 2.0;
    p.player = p.h.adopt(session);
}

// Paused over a grey clip (R'G'B' 47) whose LUT swaps red and blue, the monitor shows the grey
// the export writes at that time: with the grade preview off or on, and with an exposure. A LUT
// file that cannot be found leaves the monitor ungraded and the export refused before writing.
TEST(GradedPreviewLevels, APausedGradedStillHasTheLevelsOfTheExportedFrame)
{
    for (const auto& [num, den, fps] : {std::tuple{25, 1, 25.0}, std::tuple{24000, 1001, 23.976}}) {
        for (const auto& [gradePreview, exposure, lut] :
             {std::tuple{false, 0.0, "swap"}, std::tuple{true, 0.0, "swap"}, std::tuple{true, 0.3, "swap"},
              std::tuple{false, 0.0, "missing.cube"}}) {
            SCOPED_TRACE(std::string(lut) + (gradePreview ? ", grade on" : "") + (exposure != 0 ? ", exposure" : "") +
                         ", " + std::to_string(num) + "/" + std::to_string(den) + " fps");
            ProgramHarness p({gradedClip("c1", 0, 2, std::nullopt)});
            ClipSettings grey;
            grey.pattern = ClipPattern::flatGrey;
            grey.fpsNum = num;
            grey.fpsDen = den;
            makeClip(p.h.media / "grey.mp4", grey);
            EditorJobV2::ClipGrade grade = inlineLut(swappingRedBlueCubeText());
            if (lut != std::string("swap")) {
                grade.lutData.reset();
                grade.lutFile = lut;
            }
            if (exposure != 0) {
                grade.gradeParams = EditorJobV2::ClipGrade::GradeParams{};
                grade.gradeParams->exposure = exposure;
            }
            adoptFile(p, "grey.mp4", 0, {160, 96}, grade, fps);
            p.engine().setGradePreviewEnabled(gradePreview);
            p.seek(0.5);
            finishGrading(p.queue());
            ASSERT_TRUE(p.controller().isStillShown());

            const std::filesystem::path job = p.h.media / "job.json";
            p.engine().session()->writeRenderJob(job);
            const std::filesystem::path movie = p.h.media / "export.mp4";
            const auto exportMovie = [&] {
                Exporter::exportEditorTimeline(EditorJobV2::fromJSON(readTextFile(job)), std::nullopt,
                                               p.h.media.path(), movie, 2000000, Exporter::EditorVideoCodec::h264,
                                               "rec709", 1, 1, 0, 0, std::nullopt, nullptr, nullptr);
            };
            if (lut != std::string("swap")) {
                EXPECT_TRUE(colourNear(p.controller().still().pixelColor(80, 48), QColor(47, 47, 47), 2));
                EXPECT_THROW(exportMovie(), Error);
                EXPECT_FALSE(std::filesystem::exists(movie));
                continue;
            }
            exportMovie();
            // The frame shown at the playhead starts at or before it.
            const std::int64_t index = p.engine().frameGrid().index(p.engine().playheadSeconds());
            const Image frame = decodedFrame(movie, p.engine().frameGrid().start(index));
            const float* centre = frame.row(frame.height() / 2) + 4 * (frame.width() / 2);
            const QColor written = QColor::fromRgbF(centre[0], centre[1], centre[2]);
            EXPECT_TRUE(colourNear(p.controller().still().pixelColor(80, 48), written, 2));
            // The still is the exported frame, not a neighbour: the grey's top quarter carries
            // the frame number. The clip starts at 0 s of its file, whose rate is the project's.
            const QImage& still = p.controller().still();
            const int shownFrame = readFrameStamp([&](int x, int y) { return qGray(still.pixel(x, y)) / 255.0; },
                                                  still.width(), still.height(), still.height() / 8);
            const int writtenFrame = readFrameStamp([&](int x, int y) { return double(frame.row(y)[4 * x + 1]); },
                                                    frame.width(), frame.height(), frame.height() / 8);
            EXPECT_NE(shownFrame, -1);
            EXPECT_EQ(shownFrame, writtenFrame);
            EXPECT_EQ(shownFrame, index);
            EXPECT_TRUE(exposure != 0 || colourNear(written, QColor(47, 47, 47), 2));
        }
    }
}

// A 60-frame frame-stamped movie at 25 fps behind the clip c1 from 0.2 s, graded by an identity LUT.
void adoptStampedFile(ProgramHarness& p)
{
    ClipSettings settings;
    settings.frameCount = 60;
    makeClip(p.h.media / "stamp.mp4", settings);
    adoptFile(p, "stamp.mp4", 0.2, {320, 180}, inlineLut(identityCubeText()));
}

TEST(GradedPreviewMedia, ThePausedStillIsTheSourceFrameUnderThePlayhead)
{
    ProgramHarness p({gradedClip("c1", 0, 2, std::nullopt)});
    adoptStampedFile(p);
    p.seek(1.0);
    finishGrading(p.queue());
    ASSERT_TRUE(p.controller().isStillShown());
    const QImage& still = p.controller().still();
    // 0.2 s into the file plus 1.0 s into the clip: frame 30 at 25 frames per second.
    EXPECT_EQ(readFrameStamp([&](int x, int y) { return qGray(still.pixel(x, y)) / 255.0; }, still.width(),
                             still.height()),
              30);
}

// After a grade edit (no rebuild) the graded still finds its file in the map the build made on its
// worker: the main thread lists no folder.
TEST(GradedPreviewMedia, AGradedStillAfterAGradeEditListsNoFolder)
{
    ProgramHarness p({gradedClip("c1", 0, 2, std::nullopt)});
    adoptStampedFile(p);
    ClipGradeEditState state = ClipGradeEditState::from(p.engine().session()->clip("c1"));
    state.exposure = 0.25;
    p.engine().applyClipGradeEdit("c1", state, true);
    const std::uint64_t listings = MediaResolver::detail::folderListingCount();
    p.seek(1.0);
    finishGrading(p.queue());
    ASSERT_TRUE(p.controller().isStillShown());
    EXPECT_EQ(MediaResolver::detail::folderListingCount(), listings);
}

// A still request whose file has become unreadable names it in the status line and keeps it.
TEST(GradedPreviewMedia, AStillThatCannotReadItsFileNamesIt)
{
    ProgramOptions options;
    options.frame.reset(); // no picture from the player: the still is decoded from the file
    ProgramHarness p({gradedClip("c1", 0, 2, std::nullopt)}, options);
    EditSession::Clip onFile = gradedClip("c1", 0, 2, inlineLut(identityCubeText()));
    onFile.sourceId = "s1";
    onFile.name = "stamp.mp4";
    auto session = sessionWith({onFile});
    session->sources.push_back(EditSession::Source("s1", "stamp.mp4", "video"));
    session->timelines.front().duration = 2.0;
    p.h.engine.adoptSession(session, p.h.media.path(), std::nullopt, true);
    PreviewComposition built;
    built.sourceFiles = {{"s1", p.h.media / "stamp.mp4"}};
    p.player = p.h.builder->finish(2.0, built);
    p.h.queue->runUntilIdle();

    writeTextFile(p.h.media / "stamp.mp4", "not a movie any more");
    p.h.unreadable->insert("stamp.mp4");
    p.seek(1.0);
    finishGrading(p.queue());
    EXPECT_FALSE(p.controller().isStillShown());
    EXPECT_EQ(p.engine().status(), "Cannot read stamp.mp4 (Permission denied) · Ready — 2.00s · Grade OFF (smooth play)");
    EXPECT_EQ(p.engine().unreadableSources(), (std::map<std::string, std::string>{{"s1", "Permission denied"}}));
}

// The clean feed shows the same picture of a paused image clip: the player's leaves it out.
TEST(GradedPreviewMedia, APausedImageClipShowsItsPictureWithOrWithoutAGrade)
{
    ProgramOptions options;
    options.frame.reset(); // the player leaves the image clip out: black there
    ProgramHarness p({gradedClip("c1", 0, 2, std::nullopt)}, options);
    makeStillImage(p.h.media / "still.png", 320, 180, 77);
    EditSession::Clip picture = gradedClip("img", 2, 2, std::nullopt);
    picture.type = "image";
    picture.name = "still.png";
    picture.sourceId = "s2";
    auto session = sessionWith({gradedClip("c1", 0, 2, std::nullopt), picture});
    session->sources.push_back(EditSession::Source("s2", "still.png", "image"));
    session->timelines.front().duration = 4.0;
    p.player = p.h.adopt(session);
    GradedPreviewView cleanFeed(p.engine(), p.h.queue, true, true);
    const auto stillStamp = [](const GradedPreviewController& view) {
        const QImage& still = view.still();
        return readFrameStamp([&](int x, int y) { return qGray(still.pixel(x, y)) / 255.0; }, still.width(),
                              still.height());
    };

    for (const bool gradePreview : {false, true}) {
        p.engine().setGradePreviewEnabled(gradePreview);
        p.seek(3.0);
        finishGrading(p.queue());
        ASSERT_TRUE(p.controller().isStillShown()) << "grade preview " << gradePreview;
        EXPECT_EQ(stillStamp(p.controller()), 77);
        ASSERT_TRUE(cleanFeed.controller().isStillShown());
        EXPECT_EQ(stillStamp(cleanFeed.controller()), 77);

        // Over the ungraded video clip the player's own picture shows.
        p.seek(1.0);
        finishGrading(p.queue());
        EXPECT_FALSE(p.controller().isStillShown());
        EXPECT_FALSE(cleanFeed.controller().isStillShown());
    }

    // Playing, the still is left out as the player leaves it out.
    p.seek(3.0);
    finishGrading(p.queue());
    ASSERT_TRUE(p.controller().isStillShown());
    p.togglePlay();
    finishGrading(p.queue());
    EXPECT_TRUE(p.engine().isPlaying());
    EXPECT_FALSE(p.controller().isStillShown());
    EXPECT_FALSE(cleanFeed.controller().isStillShown());
}

// The program view of a paused generated clip with a LUT file, a mood and a basic grade, saved
// where anyone can look at it: build/screenshots/program.png.
TEST(GradedPreviewMedia, APausedClipShowsItsGradedStillInTheProgramView)
{
    ProgramOptions options;
    options.viewSize = {800, 500};
    options.frame.reset();
    ProgramHarness p({gradedClip("c1", 0, 2, std::nullopt)}, options);
    ClipSettings settings;
    settings.width = 640;
    settings.height = 360;
    settings.pattern = ClipPattern::testsrc2;
    makeClip(p.h.media / "A001.mp4", settings);
    std::ofstream cube(p.h.media / "Warm.cube");
    cube << "LUT_3D_SIZE 17\n";
    for (int i = 0; i < 17 * 17 * 17; ++i) {
        cube << std::min(1.0, i % 17 / 16.0 * 1.06 + 0.02) << ' ' << i / 17 % 17 / 16.0 * 0.98 << ' '
             << i / 289 / 16.0 * 0.82 << '\n';
    }
    cube.close();
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "Warm.cube";
    grade.gradeParams = EditorJobV2::ClipGrade::GradeParams{};
    grade.gradeParams->moodKey = "kodak_portra";
    grade.gradeParams->isMoodEnabled = FlexibleBool{true};
    grade.gradeParams->moodAmount = 0.8;
    grade.gradeParams->contrast = 0.15;
    adoptFile(p, "A001.mp4", 0.0, {1280, 720}, grade);
    p.engine().setGradePreviewEnabled(true);
    p.seek(1.0);
    finishGrading(p.queue());

    ASSERT_TRUE(p.controller().isStillShown());
    EXPECT_EQ(p.controller().still().size(), QSize(1280, 720));
    EXPECT_FALSE(colourNear(p.centre(), QColor(0, 0, 0), 20)); // the player alone shows black
    const std::filesystem::path folder = std::filesystem::path(VELMORA_BUILD_DIR) / "screenshots";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(p.view->grab().save(QString::fromStdString((folder / "program.png").string())));
}

} // namespace
} // namespace velmora::test
