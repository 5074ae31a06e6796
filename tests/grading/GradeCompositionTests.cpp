#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "GradingTestSupport.h"
#include "StillsTestSupport.h"
#include "grading/GradeCompositionBlueprint.h"
#include "grading/GradeCompositionContext.h"
#include "grading/PreviewFrameGrader.h"
#include "editing/PreviewFrameTiming.h"
#include "platform/foundation/Error.h"
#include "platform/image/Resample.h"

namespace velmora {
namespace {

using ClipGrade = EditorJobV2::ClipGrade;
using GradeParams = EditorJobV2::ClipGrade::GradeParams;
using Segment = GradeCompositionBlueprint::Segment;

EditSession::Clip clip(const std::string& id, const std::string& type, double start, double duration, int track = 1)
{
    EditSession::Clip c(id);
    c.type = type;
    c.name = id + (type == "audio" ? ".wav" : type == "image" ? ".png" : ".mov");
    c.startTime = start;
    c.duration = duration;
    c.track = track;
    return c;
}

ClipGrade exposureGrade(double exposure)
{
    ClipGrade grade;
    grade.gradeParams = GradeParams{};
    grade.gradeParams->exposure = exposure;
    return grade;
}

EditSession sessionWith(std::vector<EditSession::Clip> clips, std::optional<double> duration = std::nullopt)
{
    EditSession session;
    session.project = EditSession::Project();
    session.project->width = 1280;
    session.project->height = 720;
    session.project->activeTimelineId = "main";
    EditSession::Timeline other;
    other.id = "other";
    other.clips = {clip("elsewhere", "video", 0, 10)};
    EditSession::Timeline main;
    main.id = "main";
    main.duration = duration;
    main.clips = std::move(clips);
    session.timelines = {other, main};
    return session;
}

// ---- the blueprint ----

TEST(GradeCompositionBlueprint, VisibleRunsOfTheActiveTimelineWithTheirGrades)
{
    EditSession::Clip a = clip("A", "video", 0, 2);
    a.grade = exposureGrade(0.1);
    EditSession::Clip b = clip("B", "video", 2, 2);
    b.grade = exposureGrade(-0.2);
    EditSession session = sessionWith({a, b, clip("voice", "audio", 0, 4)});
    session.grade = EditSession::ProjectGrade{"Project.cube"};

    const GradeCompositionBlueprint blueprint = GradeCompositionBlueprint::make(session);
    EXPECT_EQ(blueprint.projectLutCube, "Project.cube");
    EXPECT_EQ(blueprint.outW, 1280);
    EXPECT_EQ(blueprint.outH, 720);
    ASSERT_EQ(blueprint.segments.size(), 2u);
    EXPECT_EQ(blueprint.segments[0].clipId, "A");
    EXPECT_EQ(blueprint.segments[0].start, 0.0);
    EXPECT_NEAR(blueprint.segments[0].end, 2.0, 1.0 / 120);
    EXPECT_EQ(blueprint.segments[0].grade, a.grade);
    EXPECT_EQ(blueprint.segments[1].clipId, "B");
    EXPECT_EQ(blueprint.segments[1].start, blueprint.segments[0].end);
    // The last run closes at the first sample at or after the clips' end.
    EXPECT_GE(blueprint.segments[1].end, 4.0);
    EXPECT_LE(blueprint.segments[1].end, 4.0 + 1.0 / 120);
    EXPECT_EQ(blueprint.segments[1].grade, b.grade);

    EXPECT_EQ(blueprint.clipId(1.0), "A");
    EXPECT_EQ(blueprint.grade(1.0), a.grade);
    EXPECT_EQ(blueprint.clipId(3.0), "B");
    EXPECT_EQ(blueprint.clipId(blueprint.segments[0].end), "B"); // at the cut the later one
    EXPECT_FALSE(blueprint.clipId(blueprint.segments[1].end).has_value()); // at the last end: none
    EXPECT_FALSE(blueprint.clipId(-0.5).has_value());
    EXPECT_FALSE(blueprint.clipId(std::nan("")).has_value());
    EXPECT_FALSE(blueprint.grade(std::nan("")).has_value());
}

// Each frame is graded with the grade of the clip it shows: a cut between two frame starts
// changes the grade on the first frame starting after it, as the picture changes there.
TEST(GradeCompositionBlueprint, EachFrameTakesTheGradeOfTheClipItShows)
{
    for (const auto& [fps, cut, firstOfB] : {std::tuple{25.0, 1.035, 26}, std::tuple{30000.0 / 1001, 1.0005, 30}}) {
        SCOPED_TRACE(fps);
        EditSession session = sessionWith({clip("A", "video", 0, cut), clip("B", "video", cut, 2 - cut)});
        session.project->fps = fps;
        const GradeCompositionBlueprint blueprint = GradeCompositionBlueprint::make(session);
        const FrameGrid grid = PreviewFrameTiming::pictureGrid(fps);
        EXPECT_EQ(blueprint.clipId(grid.start(firstOfB - 1)), "A");
        EXPECT_EQ(blueprint.clipId(grid.start(firstOfB)), "B");
        EXPECT_EQ(blueprint.clipId(grid.start(firstOfB + 1)), "B");
    }
}

TEST(GradeCompositionBlueprint, ASnapshotThatLaterEditsDoNotReach)
{
    EditSession::Clip a = clip("A", "video", 0, 2);
    a.grade = exposureGrade(0.1);
    EditSession session = sessionWith({a});
    const GradeCompositionBlueprint blueprint = GradeCompositionBlueprint::make(session);
    session.timelines[1].clips[0].grade = exposureGrade(0.4);
    EXPECT_EQ(blueprint.grade(1.0), a.grade);
}

TEST(GradeCompositionBlueprint, NoVideoClipsNoSegments)
{
    const EditSession session = sessionWith(
        {clip("voice", "audio", 0, 4), clip("title", "text", 0, 4), clip("card", "image", 1, 2)});
    const GradeCompositionBlueprint blueprint = GradeCompositionBlueprint::make(session);
    EXPECT_TRUE(blueprint.segments.empty());
    EXPECT_FALSE(blueprint.grade(1.5).has_value());
}

TEST(GradeCompositionBlueprint, ImageClipsYieldNoRunButVideoUnderThemDoes)
{
    const EditSession session = sessionWith({clip("card", "image", 0, 4, 2), clip("A", "video", 0, 4, 1)});
    const GradeCompositionBlueprint blueprint = GradeCompositionBlueprint::make(session);
    ASSERT_EQ(blueprint.segments.size(), 1u);
    EXPECT_EQ(blueprint.segments[0].clipId, "A");
}

TEST(GradeCompositionBlueprint, CanvasDefaults)
{
    EditSession noProject;
    EditSession::Timeline t;
    t.id = "t";
    t.clips = {clip("A", "video", 0, 1)};
    noProject.timelines = {t};
    const GradeCompositionBlueprint a = GradeCompositionBlueprint::make(noProject);
    EXPECT_EQ(a.outW, 1920);
    EXPECT_EQ(a.outH, 1080);
    EXPECT_EQ(a.projectLutCube, "");
    EXPECT_EQ(a.segments.size(), 1u);

    EditSession noHeight = sessionWith({});
    noHeight.project->height.reset();
    noHeight.grade = EditSession::ProjectGrade{};
    const GradeCompositionBlueprint b = GradeCompositionBlueprint::make(noHeight);
    EXPECT_EQ(b.outW, 1280);
    EXPECT_EQ(b.outH, 1080);
    EXPECT_EQ(b.projectLutCube, "");

    EditSession empty;
    const GradeCompositionBlueprint c = GradeCompositionBlueprint::make(empty);
    EXPECT_TRUE(c.segments.empty());
}

TEST(GradeCompositionBlueprint, TimelineDurationEndsTheLastRun)
{
    const GradeCompositionBlueprint cut = GradeCompositionBlueprint::make(sessionWith({clip("A", "video", 0, 4)}, 3.0));
    ASSERT_EQ(cut.segments.size(), 1u);
    EXPECT_EQ(cut.segments[0].end, 3.0);

    // A duration far beyond the clips gives the runs a moderately longer one gives, at once.
    const auto started = std::chrono::steady_clock::now();
    const GradeCompositionBlueprint huge =
        GradeCompositionBlueprint::make(sessionWith({clip("A", "video", 0, 4), clip("B", "video", 6, 1)}, 1e12));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    const GradeCompositionBlueprint longer =
        GradeCompositionBlueprint::make(sessionWith({clip("A", "video", 0, 4), clip("B", "video", 6, 1)}, 60.0));
    EXPECT_EQ(huge.segments, longer.segments);
    ASSERT_EQ(huge.segments.size(), 2u);
    EXPECT_FALSE(huge.clipId(5.0).has_value()); // the gap
    EXPECT_EQ(huge.clipId(6.5), "B");

    const GradeCompositionBlueprint notANumber =
        GradeCompositionBlueprint::make(sessionWith({clip("A", "video", 0, 4)}, std::nan("")));
    ASSERT_EQ(notANumber.segments.size(), 1u);
    EXPECT_NEAR(notANumber.segments[0].end, 4.0, 1.0 / 120);
}

// ---- render size ----

TEST(GradeCompositionRenderSize, LongerSideAtMost1920)
{
    const GradeCompositionBlueprint canvas;
    const AffineTransform identity;
    const AffineTransform quarterTurn{0, 1, -1, 0, 1080, 0};
    using Size = PreviewFrameGrader::PixelSize;
    EXPECT_EQ(GradeCompositionContext::renderSize(3840, 2160, identity, canvas), (Size{1920, 1080}));
    EXPECT_EQ(GradeCompositionContext::renderSize(1920, 1080, quarterTurn, canvas), (Size{1080, 1920}));
    EXPECT_EQ(GradeCompositionContext::renderSize(1280, 720, identity, canvas), (Size{1280, 720}));
    EXPECT_EQ(GradeCompositionContext::renderSize(4000, 3000, identity, canvas), (Size{1920, 1440}));
    EXPECT_EQ(GradeCompositionContext::renderSize(1, 0, identity, canvas), (Size{2, 2}));
    EXPECT_EQ(GradeCompositionContext::renderSize(1920, 1080, AffineTransform::scale(-1, 1), canvas),
              (Size{1920, 1080}));
    EXPECT_EQ(GradeCompositionContext::renderSize(100000, 10, identity, canvas), (Size{1920, 2}));
}

TEST(GradeCompositionRenderSize, NotFiniteFallsBackToTheCanvas)
{
    GradeCompositionBlueprint canvas;
    canvas.outW = 1280;
    canvas.outH = 720;
    EXPECT_EQ(GradeCompositionContext::renderSize(std::nan(""), 1080, {}, canvas),
              (PreviewFrameGrader::PixelSize{1280, 720}));
    canvas.outW = 3840;
    canvas.outH = 2160;
    EXPECT_EQ(GradeCompositionContext::renderSize(INFINITY, 1080, {}, canvas),
              (PreviewFrameGrader::PixelSize{1920, 1080}));
}

// ---- grading frames ----

Image quadrants(int w, int h)
{
    // Bottom-left red, bottom-right green, top-left blue, top-right grey.
    return stills::patternImage(w, h, [w, h](int x, int y) {
        const bool right = x >= w / 2;
        const bool top = y >= h / 2;
        if (!top) {
            return right ? Color{0, 0.8f, 0, 1} : Color{0.8f, 0, 0, 1};
        }
        return right ? Color{0.5f, 0.5f, 0.5f, 1} : Color{0, 0, 0.8f, 1};
    });
}

TEST(GradeCompositionFrames, PictureWithoutExtentIsAnError)
{
    const GradeCompositionBlueprint blueprint;
    for (const Image& bad : {Image(), Image::constant(Color{1, 1, 1, 1})}) {
        try {
            GradeCompositionContext::gradeFrame(bad, 0, 64, 36, blueprint);
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_EQ(error.domain(), "grade");
            EXPECT_EQ(error.code(), 1);
            EXPECT_EQ(error.message(), "The frame to grade has no picture.");
        }
    }
}

TEST(GradeCompositionFrames, LargerPictureIsShownWholeAtTheRenderSize)
{
    // A 4K picture on a 1920 x 1080 canvas rendered at 480 x 270: the whole frame, scaled down,
    // not its corner.
    GradeCompositionBlueprint blueprint;
    const Image out = GradeCompositionContext::gradeFrame(quadrants(384, 216), 0, 96, 54, blueprint);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 96, 54}));
    EXPECT_COLOR_NEAR(out.pixel(10, 10), 0.8f, 0, 0, 1e-5);
    EXPECT_COLOR_NEAR(out.pixel(85, 10), 0, 0.8f, 0, 1e-5);
    EXPECT_COLOR_NEAR(out.pixel(10, 45), 0, 0, 0.8f, 1e-5);
    EXPECT_COLOR_NEAR(out.pixel(85, 45), 0.5f, 0.5f, 0.5f, 1e-5);
}

TEST(GradeCompositionFrames, PictureOfAnotherShapeCoversTheCanvas)
{
    // A square picture on a 16:9 canvas: scaled to the width, top and bottom cut, then squeezed
    // into a square render size.
    GradeCompositionBlueprint blueprint;
    blueprint.outW = 160;
    blueprint.outH = 90;
    const Image rows = stills::patternImage(100, 100, [](int, int y) { return Color{y / 100.0f, 0, 0, 1}; });
    const Image out = GradeCompositionContext::gradeFrame(rows, 0, 50, 50, blueprint);
    EXPECT_EQ(out.extent(), (Rect{0, 0, 50, 50}));
    // Canvas rows span source rows 21.875 … 78.125.
    EXPECT_NEAR(out.pixel(25, 0).r, 0.22f, 0.01f);
    EXPECT_NEAR(out.pixel(25, 49).r, 0.775f, 0.01f);
}

TEST(GradeCompositionFrames, EachTimeTakesItsClipsGrade)
{
    EditSession::Clip a = clip("A", "video", 0, 2);
    a.grade = exposureGrade(0.3);
    a.grade->hasLut = true;
    a.grade->lutData = stills::warmCubeText();
    EditSession::Clip b = clip("B", "video", 3, 2);
    EditSession session = sessionWith({a, b});
    session.grade = EditSession::ProjectGrade{stills::warmCubeText()}; // never applied here
    const GradeCompositionContext context(session, AffineTransform::scale(1, 1));
    const Image source = quadrants(128, 72);

    const Image fitted = affineTransformCropped(source, AffineTransform::scale(0.5, 0.5), IntRect{0, 0, 64, 36});
    const Image graded = GradeCompositionContext::gradeFrame(source, 1.0, 64, 36, context.blueprint);
    const Image expected = PreviewFrameGrader::grade(fitted, a.grade, std::nullopt, 64, 36, std::nullopt, std::nullopt);
    EXPECT_LT(stills::maxDifference(graded.rendered(), expected.rendered()), 1e-6);
    EXPECT_GT(stills::maxDifference(graded.rendered(), fitted.rendered()), 0.05);

    // In the gap and on an ungraded clip: the picture as it is (no project LUT either).
    for (const double t : {2.5, 4.0, 9.0}) {
        const Image plain = GradeCompositionContext::gradeFrame(source, t, 64, 36, context.blueprint);
        EXPECT_LT(stills::maxDifference(plain.rendered(), fitted.rendered()), 1e-6) << t;
    }
}

// ---- attaching ----

TEST(GradeCompositionAttach, InstallsAGradingVideoComposition)
{
    EditSession::Clip a = clip("A", "video", 0, 2);
    a.grade = exposureGrade(0.3);
    const EditSession session = sessionWith({a});
    auto context = std::make_shared<GradeCompositionContext>(session, AffineTransform{0, 1, -1, 0, 720, 0});
    EXPECT_EQ(context->preferredTransform, (AffineTransform{0, 1, -1, 0, 720, 0}));

    Composition composition;
    CompositionTrack* track = composition.addMutableTrack(MediaType::video);
    ASSERT_NE(track, nullptr);
    track->insertTimeRange(MediaTimeRange(MediaTime::zero(), MediaTime(5, 1)),
                           CompositionSourceTrack{SharedPath("/media/A.mov"), 0, MediaType::video}, MediaTime::zero());

    std::optional<GradeVideoComposition> playerItemVideoComposition;
    GradeCompositionContext::attachGradeComposition(playerItemVideoComposition, composition,
                                                    GradeCompositionVideoTrack{track->trackID(), 3840, 2160},
                                                    AffineTransform::identity(), MediaTime(1, 25), *context);
    ASSERT_TRUE(playerItemVideoComposition.has_value());
    const GradeVideoComposition& video = *playerItemVideoComposition;
    EXPECT_EQ(video.renderWidth, 1920);
    EXPECT_EQ(video.renderHeight, 1080);
    EXPECT_EQ(video.frameDuration, MediaTime(1, 25));
    ASSERT_EQ(video.instructions.size(), 1u);
    EXPECT_EQ(video.instructions[0].timeRange.start, MediaTime::zero());
    EXPECT_EQ(video.instructions[0].timeRange.duration, MediaTime(5, 1));
    ASSERT_EQ(video.instructions[0].layerInstructions.size(), 1u);
    EXPECT_EQ(video.instructions[0].layerInstructions[0].trackID, track->trackID());
    EXPECT_EQ(video.instructions[0].layerInstructions[0].transform, AffineTransform::identity());

    // The handler keeps its own copy of the blueprint.
    const GradeCompositionBlueprint blueprint = context->blueprint;
    context.reset();
    const Image source = quadrants(192, 108);
    const Image frame = video.handler(source, MediaTime(1, 1));
    EXPECT_EQ(frame.extent(), (Rect{0, 0, 1920, 1080}));
    const Image expected = GradeCompositionContext::gradeFrame(source, 1.0, 1920, 1080, blueprint);
    EXPECT_EQ(stills::maxDifference(frame.rendered(), expected.rendered()), 0.0);
    EXPECT_THROW(video.handler(Image(), MediaTime(1, 1)), Error);
}

} // namespace
} // namespace velmora
