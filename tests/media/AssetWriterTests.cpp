#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

#include "MediaTestHelpers.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/MediaError.h"
#include "platform/media/PixelBufferImage.h"
#include "support/MovieWriterFixture.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::TempDir;

struct MovieSettings {
    VideoCodecType codec = VideoCodecType::hevc;
    FileType fileType = FileType::mpeg4;
    int width = 320;
    int height = 180;
    int fpsNum = 25;
    int fpsDen = 1;
    int frames = 50;
    bool audio = true;
    std::string frameTransfer = "ITU_R_709_2";
    PixelFormat source = PixelFormat::p010;
};

VideoOutputSettings settingsFor(const MovieSettings& clip)
{
    VideoOutputSettings s;
    s.codec = clip.codec;
    s.width = clip.width;
    s.height = clip.height;
    const double fps = static_cast<double>(clip.fpsNum) / clip.fpsDen;
    if (clip.codec == VideoCodecType::hevc) {
        s.colorProperties = VideoColorProperties{"ITU_R_709_2", "ITU_R_709_2", "ITU_R_709_2"};
        VideoCompressionProperties c;
        c.profileLevel = "HEVC_Main10_AutoLevel";
        c.expectedSourceFrameRate = fps;
        c.allowFrameReordering = false;
        c.maxKeyFrameInterval = static_cast<int>(std::lround(2 * fps));
        c.averageBitRate = 4000000;
        c.dataRateLimits = std::pair<std::int64_t, double>{500000, 1.0};
        s.compressionProperties = c;
    } else if (clip.codec == VideoCodecType::h264) {
        VideoCompressionProperties c;
        c.profileLevel = "H264_High_AutoLevel";
        c.expectedSourceFrameRate = fps;
        c.allowFrameReordering = false;
        c.h264EntropyMode = "CABAC";
        c.averageBitRate = 4000000;
        s.compressionProperties = c;
    }
    return s;
}

// Frame n as float R'G'B': its stamp as grey bars.
Image stampImage(int n, int width, int height)
{
    Image image = Image::allocate(width, height);
    for (int y = 0; y < height; ++y) {
        float* row = image.mutableRow(y);
        for (int x = 0; x < width; ++x) {
            const int bit = x * 16 / width;
            const float v = ((n >> bit) & 1) ? 1.0f : 0.0f;
            row[4 * x] = row[4 * x + 1] = row[4 * x + 2] = v;
            row[4 * x + 3] = 1;
        }
    }
    return image;
}

test::MovieWriterSetup writerSetup(const MovieSettings& clip)
{
    return {clip.fileType, settingsFor(clip), clip.source, clip.fpsNum, clip.audio};
}

// A video-only writer of the default HEVC settings at the writer's own time scales.
test::MovieWriterSetup videoOnlySetup()
{
    return {FileType::mpeg4, settingsFor(MovieSettings{}), PixelFormat::p010};
}

// Appends `count` black frames from time 0 at 25 fps.
void appendBlackFrames(test::MovieWriterFixture& movie, int count)
{
    for (int i = 0; i < count; ++i) {
        PixelBuffer buffer = movie.adaptor.pixelBufferPool().createPixelBuffer();
        buffer.fillBlack();
        ASSERT_TRUE(movie.adaptor.append(buffer, MediaTime(i, 25)));
    }
}

// Feeds a writer from two serial queues, as an export does, and waits for the finished file.
AssetWriterStatus writeMovie(const std::filesystem::path& path, const MovieSettings& clip)
{
    test::MovieWriterFixture movie(path, writerSetup(clip));
    EXPECT_TRUE(movie.start());
    int frame = 0;
    const auto appendFrame = [&] {
        if (frame == clip.frames) {
            return false;
        }
        PixelBuffer buffer = movie.adaptor.pixelBufferPool().createPixelBuffer();
        renderImageToPixelBuffer(stampImage(frame, clip.width, clip.height), buffer);
        buffer.attachments().transferFunction = clip.frameTransfer;
        EXPECT_TRUE(movie.adaptor.append(buffer, MediaTime(std::int64_t{frame} * clip.fpsDen, clip.fpsNum)));
        ++frame;
        return true;
    };
    const std::int64_t totalSamples = std::int64_t{48000} * clip.frames * clip.fpsDen / clip.fpsNum;
    std::int64_t written = 0;
    const auto appendSample = [&] {
        if (written >= totalSamples) {
            return false;
        }
        SampleBuffer sample;
        sample.audioFrameCount = static_cast<int>(std::min<std::int64_t>(1024, totalSamples - written));
        sample.audioChannels = 2;
        sample.audioSampleRate = 48000;
        sample.presentationTime = MediaTime(written, 48000);
        sample.duration = MediaTime(sample.audioFrameCount, 48000);
        for (int i = 0; i < sample.audioFrameCount; ++i) {
            const float v = 0.3f * std::sin(2 * 3.14159265f * 440.0f * static_cast<float>(written + i) / 48000);
            sample.audioSamples.push_back(v);
            sample.audioSamples.push_back(v);
        }
        EXPECT_TRUE(movie.audio->append(sample));
        written += sample.audioFrameCount;
        return true;
    };
    movie.feed(appendFrame, appendSample);
    return movie.writer.status();
}

std::vector<int> stampsOf(const std::filesystem::path& path)
{
    auto asset = Asset::open(path);
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p010);
    reader.add(output);
    EXPECT_TRUE(reader.startReading());
    std::vector<int> stamps;
    while (auto sample = output->copyNextSampleBuffer()) {
        stamps.push_back(test::stampOf(sample->imageBuffer));
    }
    return stamps;
}

std::vector<int> range(int n)
{
    std::vector<int> v(n);
    for (int i = 0; i < n; ++i) {
        v[i] = i;
    }
    return v;
}

void expectBt709VideoRange(const nlohmann::json& stream, const std::string& transfer = "bt709")
{
    EXPECT_EQ(stream.value("color_primaries", ""), "bt709");
    EXPECT_EQ(stream.value("color_transfer", ""), transfer);
    EXPECT_EQ(stream.value("color_space", ""), "bt709");
    EXPECT_EQ(stream.value("color_range", ""), "tv");
}

void expectAac(const std::filesystem::path& path, double seconds)
{
    const nlohmann::json audio = test::ffprobeStream(path, "a:0");
    EXPECT_EQ(audio.value("codec_name", ""), "aac");
    EXPECT_EQ(audio.value("sample_rate", ""), "48000");
    EXPECT_EQ(audio.value("channels", 0), 2);
    EXPECT_NEAR(std::stod(audio.value("duration", "0")), seconds, 0.03);
}

TEST(AssetWriterMovies, HevcMain10InMpeg4WithAac)
{
    TempDir dir;
    const auto path = dir / "hevc.mp4";
    ASSERT_EQ(writeMovie(path, MovieSettings{}), AssetWriterStatus::completed);
    const nlohmann::json video = test::ffprobeStream(path, "v:0", true);
    EXPECT_EQ(video.value("codec_name", ""), "hevc");
    EXPECT_EQ(video.value("profile", ""), "Main 10");
    EXPECT_EQ(video.value("pix_fmt", ""), "yuv420p10le");
    EXPECT_EQ(video.value("codec_tag_string", ""), "hvc1");
    EXPECT_EQ(video.value("r_frame_rate", ""), "25/1");
    EXPECT_EQ(video.value("avg_frame_rate", ""), "25/1");
    EXPECT_EQ(video.value("time_base", ""), "1/25");
    EXPECT_EQ(video.value("nb_read_frames", ""), "50");
    EXPECT_EQ(video.value("width", 0), 320);
    EXPECT_EQ(video.value("height", 0), 180);
    EXPECT_EQ(video.value("has_b_frames", -1), 0);
    expectBt709VideoRange(video);
    expectAac(path, 2.0);
    EXPECT_EQ(stampsOf(path), range(50));
    const nlohmann::json format = test::ffprobe(path, "-show_format")["format"];
    EXPECT_NE(format.value("format_name", "").find("mp4"), std::string::npos);
    EXPECT_NEAR(std::stod(format.value("duration", "0")), 2.0, 0.03);
    // The container carries the colour tags too (a 'colr' box of type 'nclx').
    EXPECT_NE(test::readTextFile(path).find("colrnclx"), std::string::npos);
}

TEST(AssetWriterMovies, H264HighAtNtscRate)
{
    TempDir dir;
    const auto path = dir / "h264.mp4";
    MovieSettings clip;
    clip.codec = VideoCodecType::h264;
    clip.fpsNum = 30000;
    clip.fpsDen = 1001;
    clip.frames = 60;
    clip.source = PixelFormat::nv12;
    ASSERT_EQ(writeMovie(path, clip), AssetWriterStatus::completed);
    const nlohmann::json video = test::ffprobeStream(path, "v:0", true);
    EXPECT_EQ(video.value("codec_name", ""), "h264");
    EXPECT_EQ(video.value("profile", ""), "High");
    EXPECT_EQ(video.value("pix_fmt", ""), "yuv420p");
    EXPECT_EQ(video.value("r_frame_rate", ""), "30000/1001");
    EXPECT_EQ(video.value("time_base", ""), "1/30000");
    EXPECT_EQ(video.value("nb_read_frames", ""), "60");
    expectBt709VideoRange(video);
    expectAac(path, 2.002);
    EXPECT_EQ(stampsOf(path), range(60));
}

// A whole rate next to an NTSC one keeps its own grid in the stream and in the encoder's timing.
TEST(AssetWriterMovies, WholeThirtyIsNotTakenForNtsc)
{
    TempDir dir;
    const auto path = dir / "thirty.mp4";
    MovieSettings clip; // HEVC 10-bit, the master
    clip.fpsNum = 30;
    clip.fpsDen = 1;
    clip.frames = 30;
    ASSERT_EQ(writeMovie(path, clip), AssetWriterStatus::completed);
    const nlohmann::json video = test::ffprobeStream(path, "v:0", true);
    EXPECT_EQ(video.value("r_frame_rate", ""), "30/1");
    EXPECT_EQ(stampsOf(path), range(30));
    // The stream's own timing.
    const std::string trace = test::runCommand("ffmpeg -v debug -i " + test::shellQuote(path.string()) +
                                               " -c copy -bsf:v trace_headers -f null - 2>&1")
                                  .output;
    const auto field = [&trace](const std::string& name) {
        const std::size_t at = trace.find(" " + name + " ");
        return at == std::string::npos ? -1 : std::stoi(trace.substr(trace.find("= ", at) + 2));
    };
    EXPECT_EQ(field("vui_num_units_in_tick"), 1);
    EXPECT_EQ(field("vui_time_scale"), 30);
}

TEST(AssetWriterMovies, ProRes422InQuickTime)
{
    TempDir dir;
    const auto path = dir / "prores.mov";
    MovieSettings clip;
    clip.codec = VideoCodecType::proRes422;
    clip.fileType = FileType::quickTimeMovie;
    clip.source = PixelFormat::p216;
    clip.fpsNum = 24000;
    clip.fpsDen = 1001;
    clip.frames = 48;
    ASSERT_EQ(writeMovie(path, clip), AssetWriterStatus::completed);
    const nlohmann::json video = test::ffprobeStream(path, "v:0", true);
    EXPECT_EQ(video.value("codec_name", ""), "prores");
    EXPECT_EQ(video.value("profile", ""), "Standard");
    EXPECT_EQ(video.value("codec_tag_string", ""), "apcn");
    EXPECT_EQ(video.value("pix_fmt", ""), "yuv422p10le");
    EXPECT_EQ(video.value("r_frame_rate", ""), "24000/1001");
    EXPECT_EQ(video.value("time_base", ""), "1/24000");
    EXPECT_EQ(video.value("nb_read_frames", ""), "48");
    expectBt709VideoRange(video);
    expectAac(path, 2.002);
    EXPECT_EQ(stampsOf(path), range(48));
    const nlohmann::json format = test::ffprobe(path, "-show_format")["format"];
    EXPECT_NE(format.value("format_name", "").find("mov"), std::string::npos);
    EXPECT_NE(test::readTextFile(path).find("colrnclc"), std::string::npos);
}

TEST(AssetWriterMovies, FramesInTheEncodersOwnLayoutAndTheirTransferTag)
{
    TempDir dir;
    const auto path = dir / "srgb.mp4";
    MovieSettings clip;
    clip.codec = VideoCodecType::h264;
    clip.source = PixelFormat::yuv420p;
    clip.frames = 10;
    clip.audio = false;
    clip.frameTransfer = "IEC_sRGB";
    ASSERT_EQ(writeMovie(path, clip), AssetWriterStatus::completed);
    const nlohmann::json video = test::ffprobeStream(path, "v:0");
    expectBt709VideoRange(video, "iec61966-2-1");
    EXPECT_EQ(stampsOf(path), range(10));
    EXPECT_TRUE(test::ffprobe(path, "-show_streams -select_streams a")["streams"].empty());
}

TEST(AssetWriterMovies, AudioAndVideoAreInterleavedWithinASecond)
{
    TempDir dir;
    const auto path = dir / "mixed.mov";
    MovieSettings clip;
    clip.codec = VideoCodecType::h264;
    clip.fileType = FileType::quickTimeMovie;
    clip.frames = 100;
    ASSERT_EQ(writeMovie(path, clip), AssetWriterStatus::completed);
    const auto packets = test::ffprobePackets(path);
    ASSERT_GT(packets.size(), 100u);
    double lastTime[2] = {0, 0};
    bool seen[2] = {false, false};
    std::int64_t lastPosition = -1;
    for (const auto& p : packets) {
        ASSERT_GT(p.position, lastPosition); // in file order
        lastPosition = p.position;
        const int s = p.streamIndex;
        lastTime[s] = p.dtsSeconds;
        seen[s] = true;
        if (seen[0] && seen[1]) {
            EXPECT_LE(std::fabs(lastTime[0] - lastTime[1]), 1.0) << "at " << p.dtsSeconds;
        }
    }
}

TEST(AssetWriterInputReadiness, TheTrackAheadWaitsAndTheOneBehindIsAlwaysReady)
{
    TempDir dir;
    MovieSettings clip;
    clip.codec = VideoCodecType::h264;
    clip.source = PixelFormat::nv12;
    EXPECT_FALSE(AssetWriterInput::video(settingsFor(clip))->isReadyForMoreMediaData()); // not added yet
    test::MovieWriterSetup setup = writerSetup(clip);
    setup.timescale = 0; // the writer's own
    test::MovieWriterFixture movie(dir / "ready.mp4", setup);
    AssetWriter& writer = movie.writer;
    const auto& video = movie.video;
    const auto& audio = movie.audio;
    ASSERT_TRUE(movie.start());
    EXPECT_TRUE(video->isReadyForMoreMediaData());
    EXPECT_TRUE(audio->isReadyForMoreMediaData());
    AssetWriterInputPixelBufferAdaptor& adaptor = movie.adaptor;
    // Whether the video input is ready, or becomes so once the encoder has caught up.
    const auto videoBecomesReady = [&] {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!video->isReadyForMoreMediaData() && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::yield();
        return video->isReadyForMoreMediaData();
    };
    // Appends while the input is ready. Within the first half second it is unready only while the
    // encoder catches up; past it, it may wait for the audio.
    int frame = 0;
    while (frame < 100) {
        if (!video->isReadyForMoreMediaData()) {
            if (MediaTime(frame, 25) > MediaTime(1, 2))
                break;
            ASSERT_TRUE(videoBecomesReady()) << "unready after " << frame << " frames";
            continue;
        }
        PixelBuffer buffer = adaptor.pixelBufferPool().createPixelBuffer();
        buffer.fillBlack();
        ASSERT_TRUE(adaptor.append(buffer, MediaTime(frame++, 25)));
    }
    EXPECT_GE(frame, 12); // about half a second ahead of the audio
    EXPECT_LE(frame, 14);
    EXPECT_TRUE(audio->isReadyForMoreMediaData());
    audio->markAsFinished();
    EXPECT_FALSE(audio->isReadyForMoreMediaData());
    EXPECT_TRUE(videoBecomesReady()); // nothing left to wait for
    writer.cancelWriting();
    EXPECT_FALSE(video->isReadyForMoreMediaData());
}

TEST(AssetWriterRefusals, ProResIntoMpeg4IsRefusedBeforeAnythingIsWritten)
{
    TempDir dir;
    AssetWriter writer(dir / "prores.mp4", FileType::mpeg4);
    MovieSettings clip;
    clip.codec = VideoCodecType::proRes422;
    auto video = AssetWriterInput::video(settingsFor(clip));
    EXPECT_FALSE(writer.canAdd(*video));
    try {
        writer.add(video);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.domain(), "media");
        EXPECT_EQ(e.code(), MediaError::incompatibleContainer);
        EXPECT_NE(e.message().find("ProRes"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "prores.mp4"));
}

TEST(AssetWriterRefusals, OddSizesExistingFilesAndMissingFolders)
{
    TempDir dir;
    AssetWriter writer(dir / "odd.mp4", FileType::mpeg4);
    MovieSettings clip;
    clip.width = 321;
    auto odd = AssetWriterInput::video(settingsFor(clip));
    EXPECT_FALSE(writer.canAdd(*odd));
    try {
        writer.add(odd);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), MediaError::invalidArgument);
    }
    test::writeTextFile(dir / "taken.mov", "x");
    try {
        AssetWriter taken(dir / "taken.mov", FileType::quickTimeMovie);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), MediaError::writeFailed);
    }
    EXPECT_EQ(test::readTextFile(dir / "taken.mov"), "x");
    EXPECT_THROW(AssetWriter(dir / "no" / "such.mov", FileType::quickTimeMovie), Error);
    // A second video input.
    auto first = AssetWriterInput::video(settingsFor(MovieSettings{}));
    writer.add(first);
    EXPECT_FALSE(writer.canAdd(*AssetWriterInput::video(settingsFor(MovieSettings{}))));
}

TEST(AssetWriterCancel, CancellingLeavesNoFile)
{
    TempDir dir;
    const auto path = dir / "cancel.mp4";
    {
        test::MovieWriterFixture movie(path, videoOnlySetup());
        ASSERT_TRUE(movie.start());
        ASSERT_NO_FATAL_FAILURE(appendBlackFrames(movie, 5));
        EXPECT_TRUE(std::filesystem::exists(path));
        movie.writer.cancelWriting();
        EXPECT_EQ(movie.writer.status(), AssetWriterStatus::cancelled);
        EXPECT_FALSE(std::filesystem::exists(path));
        PixelBuffer late = movie.adaptor.pixelBufferPool().createPixelBuffer();
        EXPECT_FALSE(movie.adaptor.append(late, MediaTime(5, 25)));
    }
    // A writer dropped without finishing cleans up the same way.
    {
        AssetWriter writer(path, FileType::mpeg4);
        writer.add(AssetWriterInput::audio());
        ASSERT_TRUE(writer.startWriting());
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(AssetWriterCancel, CancellingFromSeveralThreadsAtOnceEndsOnce)
{
    // An export's failure paths may cancel from the render, audio and waiting threads together.
    for (int round = 0; round < 10; ++round) {
        TempDir dir;
        const auto path = dir / "race.mp4";
        test::MovieWriterFixture movie(path, videoOnlySetup());
        AssetWriter& writer = movie.writer;
        ASSERT_TRUE(movie.start());
        ASSERT_NO_FATAL_FAILURE(appendBlackFrames(movie, 3));
        std::vector<std::thread> cancellers;
        for (int t = 0; t < 4; ++t) {
            cancellers.emplace_back([&writer] { writer.cancelWriting(); });
        }
        for (auto& t : cancellers) {
            t.join();
        }
        EXPECT_EQ(writer.status(), AssetWriterStatus::cancelled);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

TEST(AssetWriterFailure, AFrameOfTheWrongSizeFailsTheWriterAndRemovesTheFile)
{
    TempDir dir;
    const auto path = dir / "fail.mp4";
    test::MovieWriterFixture movie(path, videoOnlySetup());
    AssetWriter& writer = movie.writer;
    ASSERT_TRUE(writer.startWriting());
    SampleBuffer wrong;
    wrong.imageBuffer = PixelBuffer::create(PixelFormat::p010, 64, 64);
    wrong.presentationTime = MediaTime::zero();
    EXPECT_FALSE(movie.video->append(wrong));
    EXPECT_EQ(writer.status(), AssetWriterStatus::failed);
    ASSERT_TRUE(writer.error().has_value());
    EXPECT_EQ(writer.error()->code(), MediaError::invalidArgument);
    Semaphore done;
    writer.finishWriting([&] { done.signal(); });
    ASSERT_TRUE(done.waitFor(30));
    EXPECT_EQ(writer.status(), AssetWriterStatus::failed);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(AssetWriterFinish, ACompletionMayDestroyTheWriterAtOnce)
{
    // The owner destroys the writer from inside the completion, on the finishing thread, as
    // soon as the movie is done; the movie stays complete.
    TempDir dir;
    const auto path = dir / "done.mp4";
    auto movie = std::make_unique<test::MovieWriterFixture>(path, videoOnlySetup());
    ASSERT_TRUE(movie->start());
    ASSERT_NO_FATAL_FAILURE(appendBlackFrames(*movie, 3));
    movie->video->markAsFinished();
    std::atomic<AssetWriterStatus> status{AssetWriterStatus::unknown};
    Semaphore done;
    test::MovieWriterFixture* owned = movie.release();
    owned->writer.finishWriting([&status, &done, owned] {
        status = owned->writer.status();
        delete owned;
        done.signal();
    });
    ASSERT_TRUE(done.waitFor(30));
    EXPECT_EQ(status.load(), AssetWriterStatus::completed);
    EXPECT_TRUE(std::filesystem::exists(path));
}

} // namespace
} // namespace velmora
