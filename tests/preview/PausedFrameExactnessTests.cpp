// One frame grid for the paused monitor and the export: at every playhead position reached by
// frame steps, seeks and scrubs, the player's picture, the graded still decoded from the source
// and the exported movie show the same source frame, and the playhead names it.

#include <random>

#include "PlaybackTestSupport.h"
#include "editing/PreviewFrameTiming.h"
#include "export/TimelineExport.h"
#include "platform/media/AssetReader.h"
#include "preview/GradedStillJob.h"

namespace velmora::test {
namespace {

struct Rate {
    int num = 25;
    int den = 1;
    double projectFps = 25;
    const char* name = "at25";
    // False: the project states no rate, and projectFps is the one its render job gives the export.
    bool stated = true;
};

constexpr double kClipSeconds = 2.5;

// The frame stamps of every frame of a movie, in order.
std::vector<int> exportedStamps(const std::filesystem::path& movie)
{
    auto asset = Asset::open(movie);
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::bgra);
    reader.add(output);
    if (!reader.startReading()) {
        throw std::runtime_error("cannot read " + movie.string());
    }
    std::vector<int> stamps;
    while (auto sample = output->copyNextSampleBuffer()) {
        if (sample->hasImageBuffer()) {
            const PixelBuffer& buffer = sample->imageBuffer;
            stamps.push_back(readFrameStamp(
                [&](int x, int y) { return (buffer.baseAddress(0) + buffer.bytesPerRow(0) * y)[4 * x + 1] / 255.0; },
                buffer.width(), buffer.height()));
        }
    }
    return stamps;
}

// The same timeline as the engine's session, as the export reads it.
EditorJobV2 exportJobOf(const Rate& rate)
{
    EditorJobV2 job;
    job.tool = "velmora-editor-desktop-export";
    job.version = 2;
    job.grade.lutCube = "None";
    EditorJobV2::Project project;
    project.width = 160;
    project.height = 96;
    project.fps = rate.projectFps;
    project.activeTimelineId = "t1";
    job.project = project;
    EditorJobV2::Source source;
    source.id = "s1";
    source.fileName = "stamp.mp4";
    job.sources.push_back(source);
    EditorJobV2::Clip clip;
    clip.id = "c1";
    clip.type = "video";
    clip.sourceId = "s1";
    clip.track = 1;
    clip.startTime = 0;
    clip.duration = kClipSeconds;
    clip.inPoint = 0;
    EditorJobV2::Timeline timeline;
    timeline.id = "t1";
    timeline.clips.push_back(clip);
    job.timelines.push_back(timeline);
    return job;
}

class PausedFrameExactness : public ::testing::TestWithParam<Rate> {};

TEST_P(PausedFrameExactness, PlayerStillAndExportShowTheFrameThePlayheadNames)
{
    const Rate rate = GetParam();
    TempDir sources;
    ClipSettings settings;
    settings.fpsNum = rate.num;
    settings.fpsDen = rate.den;
    settings.frameCount = static_cast<int>(std::ceil(kClipSeconds * rate.num / rate.den)) + 2;
    settings.videoArgs = "-preset ultrafast -g 12 -bf 2";
    makeClip(sources.path() / "stamp.mp4", settings);

    PlaybackHarness h;
    EditSession::Clip clip = sourceClip("c1", "video", "s1", 0, kClipSeconds);
    auto session = sessionOf({EditSession::Source("s1", "stamp.mp4", "video")}, {clip}, 160, 96, rate.projectFps);
    EditorJobV2 exportJob = exportJobOf(rate);
    if (!rate.stated) {
        session->project->fps.reset();
        // The export gets what the Edit workspace hands it: the session's render job.
        session->writeRenderJob(sources.path() / "job.json");
        exportJob = EditorJobV2::fromJSON(readTextFile(sources.path() / "job.json"));
    }
    ASSERT_TRUE(h.adoptAndWait(session, {sources.path() / "stamp.mp4"}));
    const FrameGrid grid = h.engine.frameGrid();
    EXPECT_EQ(grid, FrameGrid::ofRate(rate.projectFps));

    const std::filesystem::path movie = sources.path() / "export.mp4";
    Exporter::exportEditorTimeline(exportJob, std::nullopt, h.media.path(), movie, 2000000,
                                   Exporter::EditorVideoCodec::h264, "rec709", 1, 1, 0, 0, std::nullopt, nullptr,
                                   nullptr);
    const std::vector<int> exported = exportedStamps(movie);
    ASSERT_GE(exported.size(), static_cast<std::size_t>(grid.index(2.0)));

    int stillNumber = 0;
    const auto stillStamp = [&] {
        GradedStillJob job;
        job.source = h.engine.visualGradeSource(grid.snap(h.engine.playheadSeconds()), "c1");
        job.width = 160;
        job.height = 96;
        job.lutBaseKey = std::string("exactness|") + rate.name + "|" + std::to_string(++stillNumber);
        const GradedStillJob::Result result = job.run();
        const QImage& still = result.still;
        return still.isNull() ? -2
                              : readFrameStamp([&](int x, int y) { return qGray(still.pixel(x, y)) / 255.0; },
                                               still.width(), still.height());
    };
    // Landed, the playhead names frame n, and the picture, the still and the export's frame n
    // show it. False on the first disagreement: one is enough to tell.
    const auto agreeAt = [&](const std::string& how, std::int64_t n) {
        SCOPED_TRACE(how + " to frame " + std::to_string(n));
        h.queue->runUntilIdle();
        const int shown = h.stamp();
        const int written = exported.at(static_cast<std::size_t>(n));
        EXPECT_EQ(grid.index(h.engine.playheadSeconds()), n);
        // Footage at the project's rate shows its own frame n; other footage the one the export
        // takes there.
        if (std::abs(static_cast<double>(rate.num) / rate.den - rate.projectFps) < 0.01) {
            EXPECT_EQ(written, n);
        }
        EXPECT_EQ(shown, written);
        EXPECT_EQ(stillStamp(), written);
        return !::testing::Test::HasFailure();
    };
    const auto step = [&](int direction) {
        const std::uint64_t scrolls = h.engine.timelineScrollRequest();
        h.engine.stepPlayheadFrame(direction, false);
        return h.waitFor([&] { return h.engine.timelineScrollRequest() > scrolls; });
    };

    // Every frame of the first two seconds by steps, each on its frame's start.
    const std::int64_t frames = grid.index(2.0);
    for (std::int64_t n = 1; n <= frames; ++n) {
        ASSERT_TRUE(step(1));
        EXPECT_EQ(h.engine.playheadSeconds(), grid.start(n));
        ASSERT_TRUE(agreeAt("a step", n));
    }
    for (std::int64_t n = frames - 1; n >= frames - 3; --n) {
        ASSERT_TRUE(step(-1));
        ASSERT_TRUE(agreeAt("a step back", n));
    }

    // Seeks to k / fps as a script computes it, seeks to random times, exact or not, and scrubs.
    const auto seek = [&](double t, bool exact) {
        bool landed = false;
        h.engine.seek(t, exact, [&](bool) { landed = true; });
        return h.waitFor([&] { return landed; });
    };
    for (int k : {1, 2, 13, 24, 25, 26, 51}) {
        ASSERT_TRUE(seek(k / rate.projectFps, false));
        ASSERT_TRUE(agreeAt("a seek to k / fps", k));
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<double> anywhere(0.0, kClipSeconds - 0.1);
    for (int i = 0; i < 6; ++i) {
        const double t = anywhere(random);
        ASSERT_TRUE(seek(t, i % 2 == 0));
        ASSERT_TRUE(agreeAt(i % 2 == 0 ? "an exact seek" : "a seek", grid.index(t)));
        const double u = anywhere(random);
        const std::uint64_t scrolls = h.engine.timelineScrollRequest();
        h.engine.scrub(u);
        ASSERT_TRUE(h.waitFor([&] { return h.engine.timelineScrollRequest() > scrolls; }));
        ASSERT_TRUE(agreeAt("a scrub", grid.index(u)));
    }
}

// Project Settings turning a 25 fps project into a 29.97 one: from the playhead the 25 fps grid
// left (0.48 s) and at every frame stepped to after it, the player's picture shows the frame the
// export of the project's render job writes there, and the grid the read-out counts on names it.
TEST(PausedFrameExactnessAfterARateChange, PictureReadOutAndExportKeepToTheNewGrid)
{
    TempDir sources;
    ClipSettings settings;
    settings.frameCount = 70;
    settings.videoArgs = "-preset ultrafast -g 12 -bf 2";
    makeClip(sources.path() / "stamp.mp4", settings);
    PlaybackHarness h;
    auto session = sessionOf({EditSession::Source("s1", "stamp.mp4", "video")},
                             {sourceClip("c1", "video", "s1", 0, kClipSeconds)}, 160, 96, 25);
    ASSERT_TRUE(h.adoptAndWait(session, {sources.path() / "stamp.mp4"}));
    bool landed = false;
    h.engine.seek(0.48, true, [&](bool) { landed = true; });
    ASSERT_TRUE(h.waitFor([&] { return landed; }));

    const std::shared_ptr<PreviewPlayer> shownBefore = h.engine.avPlayer(); // held: no address reused
    h.engine.applyProjectSettings("Project", 160, 96, 29.97, "None");
    ASSERT_TRUE(h.waitFor([&] { return h.engine.avPlayer() && h.engine.avPlayer() != shownBefore; }));
    h.queue->runUntilIdle();
    const FrameGrid grid = h.engine.frameGrid();
    ASSERT_EQ(grid, FrameGrid::ofRate(29.97));

    h.engine.session()->writeRenderJob(sources.path() / "job.json");
    const std::filesystem::path movie = sources.path() / "export.mp4";
    Exporter::exportEditorTimeline(EditorJobV2::fromJSON(readTextFile(sources.path() / "job.json")), std::nullopt,
                                   h.media.path(), movie, 2000000, Exporter::EditorVideoCodec::h264, "rec709", 1, 1,
                                   0, 0, std::nullopt, nullptr, nullptr);
    const std::vector<int> exported = exportedStamps(movie);

    for (std::int64_t n = 14; n <= 20; ++n) {
        SCOPED_TRACE("frame " + std::to_string(n));
        if (n > 14) {
            const std::uint64_t scrolls = h.engine.timelineScrollRequest();
            h.engine.stepPlayheadFrame(1, false);
            ASSERT_TRUE(h.waitFor([&] { return h.engine.timelineScrollRequest() > scrolls; }));
        } else {
            // The new player's first picture comes from the seek its installation asked for.
            h.waitFor([&] { return h.stamp() == exported.at(14); });
        }
        h.queue->runUntilIdle();
        EXPECT_EQ(grid.index(h.engine.playheadSeconds()), n);
        EXPECT_EQ(h.stamp(), exported.at(static_cast<std::size_t>(n)));
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, PausedFrameExactness,
                         ::testing::Values(Rate{24000, 1001, 23.976, "at23_976"}, Rate{24, 1, 24, "at24"},
                                           Rate{25, 1, 25, "at25"}, Rate{30000, 1001, 29.97, "at29_97"},
                                           Rate{30, 1, 30, "at30"}, Rate{60000, 1001, 59.94, "at59_94"},
                                           Rate{25, 1, 30, "clip25_in30"}, Rate{30, 1, 25, "clip30_in25"},
                                           Rate{24000, 1001, 29.97, "clip23_976_in29_97"},
                                           Rate{25, 1, 59.94, "clip25_without_a_rate", false}),
                         [](const ::testing::TestParamInfo<Rate>& info) { return std::string(info.param.name); });

} // namespace
} // namespace velmora::test
