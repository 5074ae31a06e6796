// The source viewer's two pictures: the graded still (its key, framing, size, the requests it
// makes and drops) and the audio waveform (peaks of real files, the placeholder, the bitmap).

#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include "InspectorTestSupport.h"
#include "inspectors/SourceAudioWaveform.h"
#include "inspectors/SourceAudioWaveformView.h"
#include "inspectors/SourceGradedPreviewView.h"
#include "support/AudioFixtures.h"
#include "support/MediaFixtures.h"

namespace velmora::test {
namespace {

using View = SourceGradedPreviewView;

TEST(SourceGradedPreview, KeyGradeAndFramingNumbers)
{
    EXPECT_EQ(View::stillKey("/m/a.mov", 12.3456, "Film.cube"), "/m/a.mov|12.346|Film.cube");
    EXPECT_EQ(View::stillKey("/m/a.mov", 5.0001, "x"), View::stillKey("/m/a.mov", 5.0004, "x"));

    EXPECT_FALSE(View::syntheticClipGrade("None"));
    EXPECT_FALSE(View::syntheticClipGrade("  None \n"));
    EXPECT_FALSE(View::syntheticClipGrade("   "));
    const auto grade = View::syntheticClipGrade(" looks/Film.cube ");
    ASSERT_TRUE(grade);
    EXPECT_EQ(grade->hasLut, true);
    EXPECT_EQ(grade->lutFile, "looks/Film.cube");
    EXPECT_EQ(grade->lutName, "Film.cube");
    EXPECT_EQ(grade->lutStrength, 1.0);
    EXPECT_FALSE(grade->lutData);
    EXPECT_FALSE(grade->gradeParams);

    // Landscape, portrait, empty and oversized canvases.
    EXPECT_EQ(View::stillSize(1920, 1080), (PreviewFrameGrader::PixelSize{1920, 1080}));
    EXPECT_EQ(View::stillSize(1080, 1920), (PreviewFrameGrader::PixelSize{1080, 1920}));
    EXPECT_EQ(View::stillSize(0, 0), (PreviewFrameGrader::PixelSize{1, 1}));
    EXPECT_EQ(View::stillSize(8192, 4320), (PreviewFrameGrader::PixelSize{4096, 2160}));
    EXPECT_EQ(View::frameRect({0, 0, 1000, 1000}, 1920, 1080), QRectF(0, 218.75, 1000, 562.5));
    EXPECT_EQ(View::frameRect({0, 0, 1000, 1000}, 1080, 1920), QRectF(218.75, 0, 562.5, 1000));
    EXPECT_EQ(View::frameRect({0, 0, 800, 400}, 0, 0), QRectF(200, 0, 400, 400));
    EXPECT_EQ(View::frameRect({0, 0, 1, 500}, 1920, 1080), QRectF(0, 0, 1, 500));
    EXPECT_EQ(View::frameRect({0, 0, 1600, 900}, 1920, 1080), QRectF(0, 0, 1600, 900));
}

struct StillFixture {
    StillFixture()
    {
        makeClip(dir / "clip.mp4", ClipSettings{});
        writeTextFile(dir / "invert.cube", invertingCubeText());
        inputs.fileURL = dir / "clip.mp4";
        inputs.hasPlayer = true;
        inputs.gradeEnabled = true;
        inputs.lutReference = "invert.cube";
        inputs.mediaFolder = dir.path();
        inputs.currentTime = 0.5;
        inputs.outW = 320;
        inputs.outH = 180;
        view.resize(320, 180);
    }
    ~StillFixture() { finishBackgroundWork(); }

    // Syncs and waits for the answer (a still or none) to the request made, if any.
    void syncAndSettle()
    {
        const std::uint64_t before = view.gradeRequestId();
        view.sync(inputs);
        const std::uint64_t id = view.gradeRequestId();
        if (id != before) {
            EXPECT_TRUE(queue->runUntil([&] { return view.answeredRequestId() == id; }, 60));
        }
    }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    TempDir dir;
    View view{queue};
    SourceGradedPreviewInputs inputs;
};

TEST(SourceGradedPreview, PausedGradeWithALutShowsTheGradedFrame)
{
    StillFixture f;
    // LUT "None": nothing is graded and the live picture shows.
    f.inputs.lutReference = "None";
    f.view.sync(f.inputs);
    EXPECT_FALSE(f.view.lastGradeKey());
    EXPECT_EQ(f.queue->pendingCount(), 0);

    f.inputs.lutReference = "invert.cube";
    f.syncAndSettle();
    ASSERT_TRUE(f.view.isShowingStill());
    EXPECT_EQ(f.view.lastGradeKey(), View::stillKey(f.dir / "clip.mp4", 0.5, "invert.cube"));
    EXPECT_EQ(f.view.still().size(), QSize(320, 180));
    const double inverted = meanLevel(f.view.still());

    // The same key again asks for nothing; only the canvas changing reframes.
    const std::uint64_t id = f.view.gradeRequestId();
    f.inputs.currentTime = 0.5004;
    f.inputs.outW = 1080;
    f.inputs.outH = 1920;
    f.view.sync(f.inputs);
    EXPECT_EQ(f.view.gradeRequestId(), id);
    EXPECT_EQ(f.view.pictureFrame(), QRectF(109.375, 0, 101.25, 180));

    // A reference no file answers to still gives a still: the plain frame, far from the
    // inverted one.
    f.inputs.outW = 320;
    f.inputs.outH = 180;
    f.inputs.lutReference = " (Embedded LUT) ";
    f.syncAndSettle();
    ASSERT_TRUE(f.view.isShowingStill());
    EXPECT_EQ(*f.view.lastGradeKey(), View::stillKey(f.dir / "clip.mp4", 0.5004, " (Embedded LUT) "));
    const double plain = meanLevel(f.view.still());
    EXPECT_GT(std::abs(inverted - plain), 60) << inverted << " vs " << plain;
}

// The graded still has the frame's levels, as an export of it has: a LUT that keeps greys, or
// one that cannot be used, leaves a grey frame at its grey.
TEST(SourceGradedPreview, AGreyFrameKeepsItsLevelsThroughALutThatKeepsGrey)
{
    StillFixture f;
    ClipSettings grey;
    grey.pattern = ClipPattern::flatGrey;
    makeClip(f.dir / "grey.mp4", grey);
    writeTextFile(f.dir / "swap.cube", swappingRedBlueCubeText());
    f.inputs.fileURL = f.dir / "grey.mp4";
    for (const char* lut : {"swap.cube", "missing.cube"}) {
        f.inputs.lutReference = lut;
        f.syncAndSettle();
        ASSERT_TRUE(f.view.isShowingStill()) << lut;
        EXPECT_NEAR(meanLevel(f.view.still()), 47, 2) << lut;
    }
}

TEST(SourceGradedPreview, PlayingDropsTheStillInFlightAndPausingGradesAfresh)
{
    StillFixture f;
    f.view.sync(f.inputs);
    ASSERT_TRUE(f.view.lastGradeKey());
    f.inputs.isPlaying = true;
    f.view.sync(f.inputs);
    EXPECT_FALSE(f.view.lastGradeKey());
    // Once the grade queue has run the request and its hand-back has run, the late result
    // has come and gone: dropped.
    finishBackgroundWork();
    f.queue->runUntilIdle();
    EXPECT_FALSE(f.view.isShowingStill());
    EXPECT_EQ(f.view.answeredRequestId(), 0u);

    f.inputs.isPlaying = false;
    f.syncAndSettle();
    EXPECT_TRUE(f.view.isShowingStill());

    // A frame that cannot be decoded shows the live picture and is not asked for again.
    f.inputs.currentTime = 99;
    f.syncAndSettle();
    EXPECT_FALSE(f.view.isShowingStill());
    const std::uint64_t id = f.view.gradeRequestId();
    f.view.sync(f.inputs);
    EXPECT_EQ(f.view.gradeRequestId(), id);
}

TEST(SourceGradedPreview, APlayerlessSourceAlwaysShowsItsStill)
{
    StillFixture f;
    makeStillImage(f.dir / "photo.png", 160, 96, 5);
    f.inputs.fileURL = f.dir / "photo.png";
    f.inputs.hasPlayer = false;
    f.inputs.currentTime = 0;
    f.inputs.gradeEnabled = false;
    f.syncAndSettle();
    ASSERT_TRUE(f.view.isShowingStill());
    EXPECT_EQ(f.view.lastGradeKey(), View::stillKey(f.dir / "photo.png", 0, "None"));
    const QImage plain = f.view.still();
    // Frame 5 in frame-stamp bars: the picture is the photo, not black.
    const int stamp = readFrameStamp(
        [&](int x, int y) { return qGray(plain.pixel(x, y)) / 255.0; }, plain.width(), plain.height());
    EXPECT_EQ(stamp, 5);

    // Playing has nothing to show instead; Grade on with a LUT inverts it.
    f.inputs.isPlaying = true;
    f.view.sync(f.inputs);
    EXPECT_TRUE(f.view.lastGradeKey());
    f.inputs.isPlaying = false;
    f.inputs.gradeEnabled = true;
    f.syncAndSettle();
    EXPECT_EQ(f.view.lastGradeKey(), View::stillKey(f.dir / "photo.png", 0, "invert.cube"));
    EXPECT_GT(std::abs(meanLevel(f.view.still()) - meanLevel(plain)), 60);
}

// ---- waveform ----

TEST(SourceAudioWaveform, BlocksBecomeColumnsAndTheBitmapFollowsTheView)
{
    using namespace SourceAudioWaveform;
    const std::vector<float> ten = {0.1f, 0.5f, 0.2f, 0.3f, 0.9f, 0.1f, 0.0f, 0.4f, 0.2f, 1.0f};
    EXPECT_EQ(columnsFromBlocks(ten, 3), (std::vector<float>{0.5f, 0.9f, 0.4f})); // the tenth is left out
    const std::vector<float> hundred(100, 0.5f);
    const std::vector<float> columns = columnsFromBlocks(hundred, 800);
    ASSERT_EQ(columns.size(), 800u);
    EXPECT_EQ(columns[99], 0.5f);
    EXPECT_EQ(columns[100], 0.0f);

    EXPECT_EQ(bitmapSize({400, 100}, 2), (BitmapSize{800, 200}));
    EXPECT_EQ(bitmapSize({20, 10}, 1), (BitmapSize{64, 64}));
    const VerticalScale scale = verticalScale(200);
    EXPECT_EQ(scale.margin, 16);
    EXPECT_EQ(scale.amplitude, 84);
    EXPECT_EQ(verticalScale(80).margin, 8);

    // Silent columns are 2-pixel ticks at mid-height; a full one spans the amplitude.
    std::vector<float> values(64, 0.0f);
    values[10] = 1.0f;
    const QImage bitmap = renderBitmap(values, 64, 200);
    ASSERT_EQ(bitmap.size(), QSize(64, 200));
    EXPECT_GT(qGray(bitmap.pixel(3, 99)), 100);
    EXPECT_GT(qGray(bitmap.pixel(3, 100)), 100);
    EXPECT_EQ(qGray(bitmap.pixel(3, 98)), 0);
    EXPECT_EQ(qGray(bitmap.pixel(3, 101)), 0);
    EXPECT_GT(qGray(bitmap.pixel(10, 16)), 100);
    EXPECT_GT(qGray(bitmap.pixel(10, 183)), 100);
    EXPECT_EQ(qGray(bitmap.pixel(10, 15)), 0);
    EXPECT_EQ(qGray(bitmap.pixel(10, 184)), 0);
    EXPECT_TRUE(renderBitmap({}, 64, 64).isNull());
}

TEST(SourceAudioWaveform, PlaceholderDependsOnlyOnThePath)
{
    using SourceAudioWaveform::syntheticPeaks;
    const std::vector<float> a = syntheticPeaks("/media/a.wav", 800);
    EXPECT_EQ(a, syntheticPeaks("/media/a.wav", 800));
    EXPECT_NE(a, syntheticPeaks("/media/b.wav", 800));
    ASSERT_EQ(a.size(), 800u);
    for (const float value : a) {
        ASSERT_GE(value, 0.05f);
        ASSERT_LE(value, 1.0f);
    }
    EXPECT_EQ(syntheticPeaks("", 10).size(), 64u);
    // An empty path hashes to 0 and a one-byte path of 1 to 1: both seed the generator with 1.
    EXPECT_EQ(syntheticPeaks("", 64), syntheticPeaks("\x01", 64));
    EXPECT_NE(syntheticPeaks("", 64), syntheticPeaks("\x02", 64));
}

TEST(SourceAudioWaveform, PeaksOfRealFilesAndThePlaceholderForTheRest)
{
    TempDir dir;
    const auto full = dir / "full.wav";
    runFFmpeg("-f lavfi -i " + shellQuote("aevalsrc=sin(2*PI*441*t):s=44100:d=1") + " -c:a pcm_s16le " +
              shellQuote(full.string()));
    const std::vector<float> loud = SourceAudioWaveform::waveformValues(full, 40);
    ASSERT_EQ(loud.size(), 40u);
    // Full scale: every column holds a crest of +32767 or −32768.
    for (const float value : loud) {
        EXPECT_GE(value, 32767.0f / 32768.0f);
        EXPECT_LE(value, 1.0f);
    }

    const auto tone = dir / "tone.m4a";
    makeToneFile(tone, {{440, 1}}, 48000, 2);
    const std::vector<float> eighth = SourceAudioWaveform::waveformValues(tone, 20);
    EXPECT_NEAR(*std::max_element(eighth.begin(), eighth.end()), 0.125, 0.01);
    EXPECT_NEAR(eighth[5], 0.125, 0.01);

    const auto silence = dir / "silence.wav";
    makeToneFile(silence, {{0, 1}});
    EXPECT_EQ(SourceAudioWaveform::waveformValues(silence, 100),
              SourceAudioWaveform::syntheticPeaks(silence.string(), 100));
    const auto picture = dir / "video.mp4";
    makeClip(picture, ClipSettings{});
    EXPECT_EQ(SourceAudioWaveform::waveformValues(picture, 100),
              SourceAudioWaveform::syntheticPeaks(picture.string(), 100));
    EXPECT_EQ(SourceAudioWaveform::waveformValues(dir / "missing.wav", 100),
              SourceAudioWaveform::syntheticPeaks((dir / "missing.wav").string(), 100));
}

TEST(SourceAudioWaveform, TheViewLoadsOncePerFileAndSize)
{
    TempDir dir;
    makeToneFile(dir / "tone.wav", {{440, 1}});
    auto queue = std::make_shared<ManualMainQueue>();
    SourceAudioWaveformView view(queue);
    view.resize(400, 100);
    view.sync(dir / "tone.wav", 0, 1, 0.2, 0.8);
    EXPECT_FALSE(view.isWaveformReady());
    ASSERT_TRUE(queue->runUntil([&] { return view.isWaveformReady(); }, 30));
    // Not in a window: two pixels per point.
    EXPECT_EQ(view.waveformBitmap().size(), QSize(800, 200));

    // Shown at the size it was loaded for: no reload.
    const std::uint64_t token = view.loadToken();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    EXPECT_EQ(view.loadToken(), token);
    view.sync(dir / "tone.wav", 0.5, 1, 0.2, 0.8); // the playhead moved
    view.resize(402, 98);                         // within 2 points
    EXPECT_EQ(view.loadToken(), token);
    EXPECT_TRUE(view.isWaveformReady());
    view.resize(410, 100);
    EXPECT_EQ(view.loadToken(), token + 1);
    EXPECT_TRUE(view.isWaveformReady()); // the old bitmap stays until the new one comes
    const double scale = view.windowHandle()->devicePixelRatio();

    // Another file starts over.
    view.sync(dir / "other.wav", 0, 1, 0, 1);
    EXPECT_FALSE(view.isWaveformReady());
    ASSERT_TRUE(queue->runUntil([&] { return view.isWaveformReady(); }, 30));
    EXPECT_EQ(view.waveformBitmap().width(), std::max(64, static_cast<int>(410 * scale)));
}

TEST(SourceAudioWaveform, DestroyingTheViewStopsItsLoadAndWaitsForIt)
{
    TempDir dir;
    // Ten minutes of sound: still being read when the view goes.
    makeToneFile(dir / "long.wav", {{440, 600}}, 8000);
    auto queue = std::make_shared<ManualMainQueue>();
    {
        SourceAudioWaveformView view(queue);
        view.resize(400, 100);
        view.sync(dir / "long.wav", 0, 600, 0, 600);
        EXPECT_EQ(view.loadToken(), 1u);
    }
    // The load has ended and let go of what it held (the queue among it), and posted nothing.
    EXPECT_EQ(queue.use_count(), 1);
    EXPECT_EQ(queue->runUntilIdle(), 0);
}

} // namespace
} // namespace velmora::test
