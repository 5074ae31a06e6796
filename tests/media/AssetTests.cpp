#include <gtest/gtest.h>

#include <fstream>

#include "platform/media/Asset.h"
#include "platform/media/MediaError.h"
#include "support/MediaFixtures.h"
#include "support/NamedPipe.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::ClipSettings;
using test::TempDir;

TEST(AssetProbe, ReadsDurationTracksSizeAndRateOfAMovie)
{
    TempDir dir;
    ClipSettings clip;
    clip.width = 160;
    clip.height = 96;
    clip.fpsNum = 25;
    clip.frameCount = 50;
    clip.audio = true;
    clip.sampleRate = 44100;
    test::makeClip(dir / "clip.mp4", clip);

    const auto asset = Asset::open(dir / "clip.mp4");
    EXPECT_FALSE(asset->isStillImage());
    EXPECT_NEAR(asset->durationSeconds(), 2.0, 0.03);
    ASSERT_EQ(asset->tracks(MediaType::video).size(), 1u);
    ASSERT_EQ(asset->tracks(MediaType::audio).size(), 1u);

    const AssetTrack* video = asset->firstTrack(MediaType::video);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->width, 160);
    EXPECT_EQ(video->height, 96);
    EXPECT_DOUBLE_EQ(video->nominalFrameRate, 25.0);
    EXPECT_EQ(video->minFrameDuration, MediaTime(1, 25));
    EXPECT_EQ(video->rotationDegrees, 0);
    EXPECT_EQ(video->preferredTransform, AffineTransform::identity());
    EXPECT_EQ(video->bitDepth, 8);
    EXPECT_EQ(video->codecName, "h264");
    EXPECT_EQ(video->timeRange.start, MediaTime::zero());
    EXPECT_EQ(video->timeRange.duration, MediaTime(2, 1));

    const AssetTrack* audio = asset->firstTrack(MediaType::audio);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->sampleRate, 44100);
    EXPECT_EQ(audio->channelCount, 2);
    EXPECT_EQ(asset->track(audio->trackID), audio);
    EXPECT_EQ(asset->track(99), nullptr);
}

void expectSameTracks(const Asset& header, const Asset& probed, const std::string& name)
{
    SCOPED_TRACE(name);
    EXPECT_EQ(header.duration(), probed.duration());
    EXPECT_EQ(header.startOffsetMicroseconds(), probed.startOffsetMicroseconds());
    EXPECT_EQ(header.formatName(), probed.formatName());
    EXPECT_EQ(header.isStillImage(), probed.isStillImage());
    ASSERT_EQ(header.tracks().size(), probed.tracks().size());
    for (std::size_t i = 0; i < probed.tracks().size(); ++i) {
        const AssetTrack& a = header.tracks()[i];
        const AssetTrack& b = probed.tracks()[i];
        EXPECT_EQ(a.trackID, b.trackID);
        EXPECT_EQ(a.mediaType, b.mediaType);
        EXPECT_EQ(a.codecName, b.codecName);
        EXPECT_EQ(a.timeRange, b.timeRange);
        EXPECT_EQ(a.width, b.width);
        EXPECT_EQ(a.height, b.height);
        EXPECT_DOUBLE_EQ(a.nominalFrameRate, b.nominalFrameRate);
        EXPECT_EQ(a.minFrameDuration, b.minFrameDuration);
        EXPECT_EQ(a.rotationDegrees, b.rotationDegrees);
        EXPECT_EQ(a.preferredTransform, b.preferredTransform);
        // The range of a picture is learnt from decoding it (and nothing reads it from here).
        EXPECT_EQ(a.colorTags.colorPrimaries, b.colorTags.colorPrimaries);
        EXPECT_EQ(a.colorTags.transferFunction, b.colorTags.transferFunction);
        EXPECT_EQ(a.colorTags.yCbCrMatrix, b.colorTags.yCbCrMatrix);
        EXPECT_EQ(a.sampleRate, b.sampleRate);
        EXPECT_EQ(a.channelCount, b.channelCount);
    }
}

// What the preview build and the player read from the header alone is what probing reads, for
// movies with sound, rotation, other rates, a late start and 10 bits, and for files of other
// containers (which are probed).
TEST(AssetProbe, TheHeaderAloneAnswersAsProbingDoesForEveryKindOfSource)
{
    TempDir dir;
    ClipSettings withSound;
    withSound.audio = true;
    withSound.sampleRate = 44100;
    test::makeClip(dir / "sound.mp4", withSound);
    ClipSettings ntsc;
    ntsc.fpsNum = 30000;
    ntsc.fpsDen = 1001;
    ntsc.frameCount = 20;
    ntsc.audio = true;
    ntsc.channels = 1;
    test::makeClip(dir / "ntsc.mov", ntsc);
    ClipSettings turned;
    turned.frameCount = 5;
    turned.rotation = 90;
    test::makeClip(dir / "turned.mp4", turned);
    ClipSettings deep;
    deep.videoCodec = "libx265";
    deep.pixelFormat = "yuv420p10le";
    deep.frameCount = 3;
    deep.videoArgs = "-preset ultrafast -x265-params log-level=error -color_primaries bt709 -color_trc bt709 "
                     "-colorspace bt709 -color_range tv -tag:v hvc1";
    test::makeClip(dir / "deep.mov", deep);
    ClipSettings prores;
    prores.videoCodec = "prores_ks";
    prores.pixelFormat = "yuv422p10le";
    prores.frameCount = 4;
    prores.audio = true;
    prores.audioCodec = "pcm_s16le";
    test::makeClip(dir / "prores.mov", prores);
    ClipSettings soundOnly;
    soundOnly.videoCodec = "";
    soundOnly.audio = true;
    soundOnly.audioSeconds = 1;
    test::makeClip(dir / "sound.m4a", soundOnly);
    test::makeClip(dir / "sound.mkv", withSound);
    soundOnly.audioCodec = "pcm_s16le";
    test::makeClip(dir / "tone.wav", soundOnly);
    test::runFFmpeg("-i \"" + (dir / "sound.mp4").string() + "\" -c copy -output_ts_offset 3 \"" +
                    (dir / "late.mov").string() + "\"");
    test::makeStillImage(dir / "still.png", 48, 24, 5);

    for (const char* name : {"sound.mp4", "ntsc.mov", "turned.mp4", "deep.mov", "prores.mov", "sound.m4a",
                             "sound.mkv", "tone.wav", "late.mov", "still.png"}) {
        expectSameTracks(*Asset::openFromHeader(dir / name), *Asset::open(dir / name), name);
    }
    // An extension that names another container than the file holds does not mislead the reading.
    std::filesystem::copy_file(dir / "sound.mkv", dir / "matroska.mp4");
    expectSameTracks(*Asset::openFromHeader(dir / "matroska.mp4"), *Asset::open(dir / "sound.mkv"), "matroska.mp4");
}

TEST(AssetProbe, NtscRateIsExact)
{
    TempDir dir;
    ClipSettings clip;
    clip.fpsNum = 30000;
    clip.fpsDen = 1001;
    clip.frameCount = 30;
    test::makeClip(dir / "ntsc.mov", clip);
    const auto asset = Asset::open(dir / "ntsc.mov");
    const AssetTrack* video = asset->firstTrack(MediaType::video);
    ASSERT_NE(video, nullptr);
    EXPECT_NEAR(video->nominalFrameRate, 29.97003, 1e-4);
    EXPECT_EQ(video->minFrameDuration, MediaTime(1001, 30000));
    EXPECT_EQ(video->timeRange.duration, MediaTime(30030, 30000));
}

TEST(AssetProbe, RotationBecomesDegreesAndATransformOntoTheDisplayedRectangle)
{
    TempDir dir;
    for (int rotation : {90, 180, 270}) {
        ClipSettings clip;
        clip.width = 64;
        clip.height = 32;
        clip.frameCount = 5;
        clip.rotation = rotation;
        const auto path = dir / ("rot" + std::to_string(rotation) + ".mp4");
        test::makeClip(path, clip);
        const auto asset = Asset::open(path);
        const AssetTrack* video = asset->firstTrack(MediaType::video);
        ASSERT_NE(video, nullptr);
        EXPECT_EQ(video->rotationDegrees, rotation);
        const Rect shown = video->preferredTransform.apply(Rect{0, 0, 64, 32});
        EXPECT_EQ(shown, (Rect{0, 0, double(video->displayWidth()), double(video->displayHeight())}));
        // The encoded top-left corner lands where a clockwise turn puts it.
        double x = 0;
        double y = 0;
        video->preferredTransform.apply(0, 0, x, y);
        if (rotation == 90) {
            EXPECT_EQ(x, 32);
            EXPECT_EQ(y, 0);
            EXPECT_EQ(video->displayWidth(), 32);
        } else if (rotation == 180) {
            EXPECT_EQ(x, 64);
            EXPECT_EQ(y, 32);
        } else {
            EXPECT_EQ(x, 0);
            EXPECT_EQ(y, 64);
        }
    }
}

TEST(AssetProbe, TenBitHevcAndColourTags)
{
    TempDir dir;
    ClipSettings clip;
    clip.videoCodec = "libx265";
    clip.pixelFormat = "yuv420p10le";
    clip.frameCount = 3;
    clip.videoArgs = "-preset ultrafast -x265-params log-level=error -color_primaries bt709 -color_trc bt709 "
                     "-colorspace bt709 -color_range tv -tag:v hvc1";
    test::makeClip(dir / "hevc.mp4", clip);
    const auto asset = Asset::open(dir / "hevc.mp4");
    const AssetTrack* video = asset->firstTrack(MediaType::video);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->codecName, "hevc");
    EXPECT_EQ(video->bitDepth, 10);
    EXPECT_EQ(video->colorTags.colorPrimaries, "ITU_R_709_2");
    EXPECT_EQ(video->colorTags.transferFunction, "ITU_R_709_2");
    EXPECT_EQ(video->colorTags.yCbCrMatrix, "ITU_R_709_2");
    EXPECT_EQ(video->colorTags.colorRange, "VideoRange");
}

TEST(AssetProbe, AudioOnlyFile)
{
    TempDir dir;
    ClipSettings clip;
    clip.videoCodec = "";
    clip.audio = true;
    clip.audioSeconds = 1.5;
    clip.audioCodec = "pcm_s16le";
    clip.channels = 1;
    test::makeClip(dir / "tone.wav", clip);
    const auto asset = Asset::open(dir / "tone.wav");
    EXPECT_EQ(asset->firstTrack(MediaType::video), nullptr);
    const AssetTrack* audio = asset->firstTrack(MediaType::audio);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->channelCount, 1);
    EXPECT_EQ(audio->sampleRate, 48000);
    EXPECT_NEAR(asset->durationSeconds(), 1.5, 1e-3);
}

TEST(AssetProbe, StillImagesHaveOnePictureAndNoDuration)
{
    TempDir dir;
    for (const char* name : {"still.png", "still.jpg", "still.tiff", "still.bmp"}) {
        test::makeStillImage(dir / name, 48, 24, 5);
        const auto asset = Asset::open(dir / name);
        EXPECT_TRUE(asset->isStillImage()) << name;
        EXPECT_EQ(asset->duration(), MediaTime::zero()) << name;
        const AssetTrack* video = asset->firstTrack(MediaType::video);
        ASSERT_NE(video, nullptr) << name;
        EXPECT_EQ(video->width, 48);
        EXPECT_EQ(video->height, 24);
    }
}

void expectMediaError(const std::filesystem::path& path, int code)
{
    try {
        Asset::open(path);
        FAIL() << "opened " << path;
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "media");
        EXPECT_EQ(error.code(), code) << error.message();
        EXPECT_NE(error.message().find(path.filename().string()), std::string::npos) << error.message();
    }
}

TEST(AssetErrors, MissingFolderTextAndTruncatedFilesFailClearly)
{
    TempDir dir;
    expectMediaError(dir / "nothing.mov", MediaError::fileNotFound);
    std::filesystem::create_directory(dir / "Roll.mov");
    expectMediaError(dir / "Roll.mov", MediaError::cannotOpen);
    test::writeTextFile(dir / "notes.mp4", "this is not a movie, just some text that pretends to be one\n");
    expectMediaError(dir / "notes.mp4", MediaError::cannotOpen);
    test::writeTextFile(dir / "empty.mov", "");
    expectMediaError(dir / "empty.mov", MediaError::cannotOpen);

    ClipSettings clip;
    clip.frameCount = 10;
    test::makeClip(dir / "whole.mp4", clip);
    const std::string bytes = test::readTextFile(dir / "whole.mp4");
    // Without its index (at the end of a file written in one pass) a movie cannot be read.
    test::writeTextFile(dir / "cut.mp4", bytes.substr(0, bytes.size() / 3));
    expectMediaError(dir / "cut.mp4", MediaError::cannotOpen);
}

// A named pipe is never handed to FFmpeg, whose opening of one waits for a writer: every opener
// (probe, readers, generator) refuses it by name.
TEST(AssetErrors, ANamedPipeIsRefusedByName)
{
    TempDir dir;
    const test::NamedPipe pipe(dir / "pipe.mp4");
    const std::string refusal = "\"" + pipe.path().string() + "\" is a named pipe, not a media file.";
    for (const bool probe : {true, false}) {
        try {
            probe ? Asset::open(pipe.path()) : Asset::openFromHeader(pipe.path());
            ADD_FAILURE() << "opened a pipe";
        } catch (const Error& error) {
            EXPECT_EQ(error.code(), MediaError::cannotOpen);
            EXPECT_EQ(error.message(), refusal);
        }
    }
}

TEST(AssetErrors, StillPicturesTooLargeOrOfUnreadableSizeAreRefusedWithTheirSize)
{
    TempDir dir;
    test::makePngClaimingSize(dir / "claims.png", 100000, 100000);
    try {
        Asset::open(dir / "claims.png");
        ADD_FAILURE() << "opened a picture FFmpeg cannot size";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), MediaError::domain);
        EXPECT_EQ(error.code(), MediaError::cannotOpen);
        EXPECT_EQ(error.message(), "The picture of \u201cclaims.png\u201d cannot be read (Invalid image size).");
    }
    test::makePngClaimingSize(dir / "huge.png", 16100, 16001);
    try {
        Asset::open(dir / "huge.png");
        ADD_FAILURE() << "opened a picture above the limit";
    } catch (const Error& error) {
        EXPECT_EQ(error.code(), MediaError::pictureTooLarge);
        EXPECT_EQ(error.message(), "The picture of \u201chuge.png\u201d is 16100 \u00d7 16001 pixels; pictures of "
                                   "more than 256 million pixels (16000 \u00d7 16000) cannot be used.");
    }
    test::makePngClaimingSize(dir / "large.png", 16000, 16000);
    EXPECT_EQ(Asset::open(dir / "large.png")->firstTrack(MediaType::video)->width, 16000);
}

} // namespace
} // namespace velmora
