// The player's composition on the timeline's frame rule: on every frame the piece the player
// plays reads the source frame the rule names, at the clip's speed up to the end of its file,
// and leaves black after it, on every lane.

#include "PlaybackTestSupport.h"
#include "editing/PreviewFrameTiming.h"
#include "platform/media/PlayerItem.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// What the installed player's picture track plays on a frame: the file's name and the source
// frame read there (as every reader picks it, on the file's rate), or nothing where the track
// has no picture, which the player shows black.
struct Played {
    std::string file;
    std::optional<std::int64_t> sourceFrame;
    bool operator==(const Played&) const = default;
};

void PrintTo(const Played& played, std::ostream* out)
{
    *out << played.file << " frame ";
    if (played.sourceFrame) {
        *out << *played.sourceFrame;
    } else {
        *out << "?";
    }
}

std::optional<Played> playedAt(const TimelinePreviewEngine& engine, const PlayerItem& item, std::int64_t frame)
{
    const FrameGrid grid = engine.frameGrid();
    const MediaTime time = MediaTime(grid.frame.value, grid.frame.timescale).multipliedBy(frame);
    const CompositionTrack& track = *item.composition().tracks(MediaType::video).front();
    const std::optional<std::size_t> index = track.segmentIndex(time);
    if (!index || track.segments()[*index].isEmpty()) {
        return std::nullopt;
    }
    const CompositionTrackSegment& segment = track.segments()[*index];
    const std::shared_ptr<const Asset>& asset = engine.sourceHeaders().at(segment.source->url.get().string());
    const TimelineFrameMap::SourcePick pick =
        TimelineFrameMap::pickSourceFrame(SourceVideo::of(*asset), segment.sourceTime(time).seconds());
    // Past the end of the file the player holds the last frame: a played frame is never there.
    EXPECT_FALSE(pick.pastEnd) << "frame " << frame << " plays past the end of " << segment.source->url.get();
    return Played{segment.source->url.get().filename().string(), pick.frame};
}

// The frame rule's answer in the same terms.
std::optional<Played> ruledAt(const TimelinePreviewEngine& engine, std::int64_t frame)
{
    const ShownFrame shown = engine.frameMap().frame(frame);
    if (shown.gap()) {
        return std::nullopt;
    }
    for (const EditSession::Source& source : engine.session()->sources) {
        if (source.id == shown.sourceId) {
            return Played{source.fileName, shown.sourceFrame};
        }
    }
    return Played{"?", shown.sourceFrame};
}

class PlayerFrameRule : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder_ = std::make_unique<TempDir>();
        ClipSettings settings;
        settings.pattern = ClipPattern::flatGrey;
        settings.videoArgs = "-preset ultrafast -g 10";
        settings.frameCount = 50; // 2 s at 25 fps
        makeClip(*folder_ / "two.mp4", settings);
        settings.frameCount = 100; // 4 s
        makeClip(*folder_ / "four.mp4", settings);
    }
    static void TearDownTestSuite() { folder_.reset(); }

    // On lane 1: "stretch" 0–3 s of the 2 s file at 1.5×, "fast" 4–6.5 s of the 4 s file from
    // 0.5 s at 2×, "top" 7–9.5 s; under "top" on lane 2 "under" 7–10 s of the 2 s file at 0.75×,
    // seen from 9.5 s and past its file's end from 9.67 s; "inside" 10.5–11.7 s at 1.5×, within
    // its file.
    static std::shared_ptr<EditSession> timeline(double fps)
    {
        EditSession::Clip stretch = sourceClip("stretch", "video", "two", 0, 3);
        stretch.speed = 1.5;
        EditSession::Clip fast = sourceClip("fast", "video", "four", 4, 2.5, 0.5);
        fast.speed = 2;
        EditSession::Clip under = sourceClip("under", "video", "two", 7, 3, 0, 2);
        under.speed = 0.75;
        EditSession::Clip inside = sourceClip("inside", "video", "two", 10.5, 1.2);
        inside.speed = 1.5;
        return sessionOf(
            {EditSession::Source("two", "two.mp4", "video"), EditSession::Source("four", "four.mp4", "video")},
            {stretch, fast, sourceClip("top", "video", "four", 7, 2.5), under, inside}, 160, 96, fps);
    }

    static bool adopt(PlaybackHarness& h, double fps)
    {
        return h.adoptAndWait(timeline(fps), {*folder_ / "two.mp4", *folder_ / "four.mp4"});
    }

    static inline std::unique_ptr<TempDir> folder_;
};

TEST_F(PlayerFrameRule, EveryFrameOfTheCompositionIsTheRulesFrame)
{
    for (const double fps : {25.0, 30000.0 / 1001}) {
        SCOPED_TRACE(fps);
        PlaybackHarness h;
        ASSERT_TRUE(adopt(h, fps));
        const PlayerItem& item = *h.player().item();
        const std::int64_t end = h.engine.frameGrid().index(11.7);
        int black = 0;
        for (std::int64_t frame = 0; frame < end; ++frame) {
            const std::optional<Played> ruled = ruledAt(h.engine, frame);
            ASSERT_EQ(playedAt(h.engine, item, frame), ruled) << "frame " << frame;
            black += ruled ? 0 : 1;
        }
        // The gaps between the clips, and each clip past its file's end.
        EXPECT_GT(black, 3 * fps);
    }
}

TEST_F(PlayerFrameRule, TheStretchedClipKeepsItsSpeedAndIsBlackPastItsFile)
{
    PlaybackHarness h;
    ASSERT_TRUE(adopt(h, 25));
    const FrameGrid grid = h.engine.frameGrid();
    const auto pausedAt = [&](std::int64_t frame) {
        bool landed = false;
        h.engine.seek(grid.start(frame), true, [&](bool) { landed = true; });
        EXPECT_TRUE(h.waitFor([&] { return landed; })) << frame;
        const std::optional<VideoOutput::Frame> shown = h.player().videoOutput()->latestFrame();
        if (!shown) {
            return -2;
        }
        const PixelBuffer& buffer = shown->buffer;
        const auto luma = [&](int x, int y) {
            return (buffer.baseAddress(0) + buffer.bytesPerRow(0) * y)[4 * x + 1] / 255.0;
        };
        // Black has no grey under its stamp.
        if (luma(buffer.width() / 2, buffer.height() / 2) < 0.05) {
            return -3;
        }
        return readFrameStamp(luma, buffer.width(), buffer.height(), buffer.height() / 8);
    };
    // 1.5 source frames a frame: 15 and 30, then black from frame 33 (source 1.98 s) on.
    EXPECT_EQ(pausedAt(10), 15);
    EXPECT_EQ(pausedAt(20), 30);
    EXPECT_EQ(pausedAt(32), 48);
    EXPECT_EQ(pausedAt(33), -3);
    EXPECT_EQ(pausedAt(50), -3);
    // The lane-2 clip where lane 1 has ended: 0.75 source frames a frame, black past its file.
    EXPECT_EQ(pausedAt(238), 48);
    EXPECT_EQ(pausedAt(240), 49);
    EXPECT_EQ(pausedAt(241), -3);
}

// The player of one clip of a second of 23.976 fps film on a timeline of `fps`.
bool adoptFilm(PlaybackHarness& h, const TempDir& folder, const EditSession::Clip& clip, double fps)
{
    ClipSettings settings;
    settings.pattern = ClipPattern::flatGrey;
    settings.videoArgs = "-preset ultrafast -g 10";
    settings.fpsNum = 24000;
    settings.fpsDen = 1001;
    settings.frameCount = 24;
    makeClip(folder / "film.mp4", settings);
    return h.adoptAndWait(sessionOf({EditSession::Source("film", "film.mp4", "video")}, {clip}, 160, 96, fps),
                          {folder / "film.mp4"});
}

// At speed 0.5 on a 23.976 fps timeline every other frame falls on a source frame's start. A
// piece of an odd number of frames has a source length of half ticks: rounded on its own, it
// read a hair late there and showed the next source frame.
TEST_F(PlayerFrameRule, AScaledPieceReadsTheRulesFrameWhereTimesFallOnFrameStarts)
{
    TempDir folder;
    EditSession::Clip slow = sourceClip("slow", "video", "film", 0, 9 * 1001.0 / 24000);
    slow.speed = 0.5;
    PlaybackHarness h;
    ASSERT_TRUE(adoptFilm(h, folder, slow, 24000.0 / 1001));
    const PlayerItem& item = *h.player().item();
    EXPECT_EQ(ruledAt(h.engine, 8), (Played{"film.mp4", 4}));
    for (std::int64_t frame = 0; frame < 9; ++frame) {
        ASSERT_EQ(playedAt(h.engine, item, frame), ruledAt(h.engine, frame)) << "frame " << frame;
    }
}

// At 12.5 fps and speed 0.5 the piece from frame 2 (0.16 s) reads source 0.335378 s, 3 µs past a
// tick of the composition: started on that tick, it read 0.375375 s at frame 3, the very start of
// source frame 9, where the rule reads 3 µs later and shows frame 10.
TEST_F(PlayerFrameRule, AScaledPieceStartsWhereTheRuleReadsNotOnTheTickBefore)
{
    TempDir folder;
    EditSession::Clip slow = sourceClip("slow", "video", "film", 0.1, 0.6, 0.305378);
    slow.speed = 0.5;
    PlaybackHarness h;
    ASSERT_TRUE(adoptFilm(h, folder, slow, 12.5));
    const PlayerItem& item = *h.player().item();
    EXPECT_EQ(ruledAt(h.engine, 3), (Played{"film.mp4", 10}));
    for (std::int64_t frame = 2; frame < 9; ++frame) {
        ASSERT_EQ(playedAt(h.engine, item, frame), ruledAt(h.engine, frame)) << "frame " << frame;
    }
}

// At 100.04 % a clip from 0.0398 s reads 1.0402 s a second in, past the start of frame 26 (1.04 s),
// and shows frame 27 there; played as if at 1× it read 1.0398 s and showed frame 26.
TEST_F(PlayerFrameRule, APieceAHairOffOneXIsScaledAsTheRuleReadsIt)
{
    EditSession::Clip hair = sourceClip("hair", "video", "four", 0, 2, 0.0398);
    hair.speed = 1.0004;
    PlaybackHarness h;
    ASSERT_TRUE(h.adoptAndWait(sessionOf({EditSession::Source("four", "four.mp4", "video")}, {hair}, 160, 96, 25),
                               {*folder_ / "four.mp4"}));
    const PlayerItem& item = *h.player().item();
    EXPECT_EQ(ruledAt(h.engine, 25), (Played{"four.mp4", 27}));
    for (std::int64_t frame = 0; frame < 50; ++frame) {
        ASSERT_EQ(playedAt(h.engine, item, frame), ruledAt(h.engine, frame)) << "frame " << frame;
    }
}

// A stored speed of -0.5 plays at the slowest rate, as the rule reads it (16 frames a source
// frame at 25 fps), never at 0.5×, which showed source frame 10 on frame 20 where the rule shows 2.
TEST_F(PlayerFrameRule, ANegativeSpeedPlaysAtTheSlowestRateAsTheRuleReadsIt)
{
    EditSession::Clip backwards = sourceClip("backwards", "video", "four", 0, 2);
    backwards.speed = -0.5;
    PlaybackHarness h;
    ASSERT_TRUE(h.adoptAndWait(sessionOf({EditSession::Source("four", "four.mp4", "video")}, {backwards}, 160, 96, 25),
                               {*folder_ / "four.mp4"}));
    const PlayerItem& item = *h.player().item();
    EXPECT_EQ(ruledAt(h.engine, 20), (Played{"four.mp4", 2}));
    for (std::int64_t frame = 0; frame < 50; ++frame) {
        ASSERT_EQ(playedAt(h.engine, item, frame), ruledAt(h.engine, frame)) << "frame " << frame;
    }
}

// At 1× an in point a hair (under a microsecond) past a source frame's start reads that frame, in
// the rule as in the player: rounded onto the piece's ticks, the start reached a microsecond past
// it, and the frames read later (each on another frame's start) showed the frame after.
TEST_F(PlayerFrameRule, AnInPointAHairPastAFramesStartReadsThatFrameAtOneX)
{
    TempDir folder;
    const double frame = 1001.0 / 24000;
    PlaybackHarness h;
    ASSERT_TRUE(adoptFilm(h, folder, sourceClip("hair", "video", "film", 0, 12 * frame, 5 * frame + 0.998e-6),
                          24000.0 / 1001));
    const PlayerItem& item = *h.player().item();
    EXPECT_EQ(ruledAt(h.engine, 3), (Played{"film.mp4", 8}));
    for (std::int64_t n = 0; n < 12; ++n) {
        ASSERT_EQ(playedAt(h.engine, item, n), ruledAt(h.engine, n)) << "frame " << n;
    }
}

// A piece of a file moved right behind another piece of it continues where that piece's range
// ended, in the player as in the rule: the piece from 1 s shows source 1.5 s on, not its own 0.2 s.
TEST_F(PlayerFrameRule, APieceMovedBehindAPieceOfItsFileContinuesInThePlayer)
{
    PlaybackHarness h;
    auto session = sessionOf({EditSession::Source("four", "four.mp4", "video")},
                             {sourceClip("first", "video", "four", 0, 1, 0.5),
                              sourceClip("second", "video", "four", 3, 1, 0.2)},
                             160, 96, 25);
    ASSERT_TRUE(h.adoptAndWait(session, {*folder_ / "four.mp4"}));
    const std::shared_ptr<PreviewPlayer> before = h.engine.avPlayer();
    ASSERT_TRUE(h.engine.session()->moveClip("second", 1.0, 1, false, false, false));
    h.engine.reloadComposition(std::nullopt);
    ASSERT_TRUE(h.waitFor([&] { return h.engine.avPlayer() && h.engine.avPlayer() != before; }));
    ASSERT_EQ(h.engine.session()->timelines[0].clips[1].inPoint, 0.2); // the clip keeps its own in point
    const PlayerItem& item = *h.player().item();
    EXPECT_EQ(ruledAt(h.engine, 25), (Played{"four.mp4", 38}));
    for (std::int64_t frame = 0; frame < 50; ++frame) {
        ASSERT_EQ(playedAt(h.engine, item, frame), ruledAt(h.engine, frame)) << "frame " << frame;
    }
}

} // namespace
} // namespace velmora::test
