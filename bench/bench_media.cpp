// Media throughput next to FFmpeg's own command-line tool, in one run:
// - decoding a 3840 x 2160 10-bit HEVC clip to float frames (our reader in 'x420', then the
//   float conversion) against `ffmpeg -i clip -pix_fmt p010le -f null -`;
// - writing 1920 x 1080 float frames to 10-bit HEVC in MPEG-4 (conversion to the encoder's
//   layout, libx265 with the export's settings, muxing) against `ffmpeg` encoding the same frames
//   from raw yuv420p10le with the same encoder settings.
// Each side is timed end to end (opening the file to the finished output), as frames per second.
// Results and how to read them: bench/README.md.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "export/WriterSettings.h"
#include "platform/dispatch/Semaphore.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/PixelBufferImage.h"

namespace {

using namespace velmora;
namespace fs = std::filesystem;

constexpr int decodeFrames = 48;
constexpr int encodeFrames = 60;
constexpr int distinctFrames = 8;
constexpr int encodeWidth = 1920;
constexpr int encodeHeight = 1080;
constexpr double encodeFps = 30000.0 / 1001.0;
constexpr std::int64_t encodeBitrate = 18'750'000; // the export's default for 1080p at 29.97

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

class Fixtures {
public:
    Fixtures()
    {
        folder_ = fs::temp_directory_path() / ("velmora_bench_media_" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        run("ffmpeg -y -v error -f lavfi -i testsrc2=s=3840x2160:r=30000/1001 -frames:v " +
            std::to_string(decodeFrames) +
            " -pix_fmt yuv420p10le -c:v libx265 -preset ultrafast -b:v 60M -x265-params log-level=error "
            "-tag:v hvc1 " + clip().string());
        makeEncodeFrames();
    }
    ~Fixtures()
    {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }

    fs::path clip() const { return folder_ / "uhd_hevc10.mp4"; }
    fs::path raw() const { return folder_ / "frames_1080p.yuv"; }
    fs::path output(const std::string& name) const { return folder_ / name; }
    const std::vector<Image>& frames() const { return frames_; }

private:
    // Distinct 1080p frames as float images, and the same frames repeated as raw 10-bit planes
    // for the tool, converted by our own renderer so both encoders see identical samples.
    void makeEncodeFrames()
    {
        const fs::path source = folder_ / "source_1080p.mov";
        run("ffmpeg -y -v error -f lavfi -i testsrc2=s=1920x1080:r=30 -frames:v " + std::to_string(distinctFrames) +
            " -c:v prores_ks " + source.string());
        auto asset = Asset::open(source);
        AssetReader reader(asset);
        auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p216);
        reader.add(output);
        reader.startReading();
        while (auto sample = output->copyNextSampleBuffer()) {
            frames_.push_back(imageFromPixelBuffer(sample->imageBuffer).rendered());
        }
        PixelBuffer planar = PixelBuffer::create(PixelFormat::yuv420p10, encodeWidth, encodeHeight);
        std::ofstream out(raw(), std::ios::binary);
        for (int n = 0; n < encodeFrames; ++n) {
            renderImageToPixelBuffer(frames_[n % frames_.size()], planar);
            for (int p = 0; p < 3; ++p) {
                const int rowBytes = planar.planeWidth(p) * 2;
                for (int y = 0; y < planar.planeHeight(p); ++y) {
                    out.write(reinterpret_cast<const char*>(planar.baseAddress(p) + planar.bytesPerRow(p) * y), rowBytes);
                }
            }
        }
    }

    fs::path folder_;
    std::vector<Image> frames_;
};

Fixtures& fixtures()
{
    static Fixtures f;
    return f;
}

double seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs ours and the tool alternately, so that both see the same machine load, and reports each
// side's mean time per run, its frames per second and the ratio ours / tool (below 1: faster).
template <class Ours, class Tool>
void sideBySide(benchmark::State& state, int frames, Ours ours, Tool tool)
{
    double oursSeconds = 0;
    double toolSeconds = 0;
    for (auto _ : state) {
        const double a = ours();
        const double b = tool();
        oursSeconds += a;
        toolSeconds += b;
        state.SetIterationTime(a + b);
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["ours_ms"] = 1000 * oursSeconds / runs;
    state.counters["tool_ms"] = 1000 * toolSeconds / runs;
    state.counters["ours_fps"] = frames * runs / oursSeconds;
    state.counters["tool_fps"] = frames * runs / toolSeconds;
    state.counters["ratio"] = oursSeconds / toolSeconds;
}

double decodeOurs()
{
    const auto start = std::chrono::steady_clock::now();
    auto asset = Asset::open(fixtures().clip());
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p010);
    output->alwaysCopiesSampleData = false;
    reader.add(output);
    reader.startReading();
    int frames = 0;
    while (auto sample = output->copyNextSampleBuffer()) {
        const Image image = imageFromPixelBuffer(sample->imageBuffer);
        benchmark::DoNotOptimize(image.row(image.height() - 1));
        ++frames;
    }
    if (frames != decodeFrames) {
        std::fprintf(stderr, "decoded %d frames, expected %d\n", frames, decodeFrames);
        std::exit(1);
    }
    return seconds(start);
}

double decodeTool()
{
    const auto start = std::chrono::steady_clock::now();
    run("ffmpeg -v error -i " + fixtures().clip().string() + " -pix_fmt p010le -f null -");
    return seconds(start);
}

void BM_Decode4K_SideBySide(benchmark::State& state)
{
    fixtures();
    sideBySide(state, decodeFrames, decodeOurs, decodeTool);
}
BENCHMARK(BM_Decode4K_SideBySide)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// The Y'CbCr -> float conversion alone: one 4K P010 frame (a ramp of codes) into a float image,
// every core in use. Reports the processor time of the whole process per frame too.
void BM_P010ToFloat4K(benchmark::State& state)
{
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::p010, 3840, 2160);
    for (int plane = 0; plane < buffer.planeCount(); ++plane) {
        const int rows = plane == 0 ? 2160 : 1080;
        for (int y = 0; y < rows; ++y) {
            auto* row = reinterpret_cast<std::uint16_t*>(buffer.baseAddress(plane) + buffer.bytesPerRow(plane) * y);
            for (int x = 0; x < 3840; ++x) {
                row[x] = static_cast<std::uint16_t>((64 + (x + y) % 876) << 6);
            }
        }
    }
    const std::clock_t cpuStart = std::clock();
    for (auto _ : state) {
        const Image image = imageFromPixelBuffer(buffer);
        benchmark::DoNotOptimize(image.row(0));
    }
    state.counters["cpu_ms/frame"] = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC /
                                     static_cast<double>(state.iterations());
}
BENCHMARK(BM_P010ToFloat4K)->Unit(benchmark::kMillisecond)->UseRealTime();

// Our writer from float frames (the export's path), or from frames already in the encoder's
// layout (the same input the tool reads), which shows the writer's own cost.
double encodeOurs(bool fromFloat)
{
    static const std::vector<PixelBuffer> planar = [] {
        std::vector<PixelBuffer> buffers;
        for (const Image& frame : fixtures().frames()) {
            buffers.push_back(PixelBuffer::create(PixelFormat::yuv420p10, encodeWidth, encodeHeight));
            renderImageToPixelBuffer(frame, buffers.back());
        }
        return buffers;
    }();
    const auto& frames = fixtures().frames();
    const VideoOutputSettings settings = Exporter::makeWriterSettings(
        encodeWidth, encodeHeight, encodeFps, encodeBitrate, "ITU_R_709_2", Exporter::EditorVideoCodec::hevc10);
    const fs::path target = fixtures().output("ours.mp4");
    fs::remove(target);
    const auto start = std::chrono::steady_clock::now();
    AssetWriter writer(target, FileType::mpeg4);
    auto input = AssetWriterInput::video(settings);
    input->mediaTimeScale = 30000;
    writer.add(input);
    AssetWriterInputPixelBufferAdaptor adaptor(input, input->nativePixelFormat(), encodeWidth, encodeHeight);
    writer.startWriting();
    writer.startSession(MediaTime::zero());
    for (int n = 0; n < encodeFrames; ++n) {
        const MediaTime time(std::int64_t{n} * 1001, 30000);
        if (fromFloat) {
            PixelBuffer buffer = adaptor.pixelBufferPool().createPixelBuffer();
            renderImageToPixelBuffer(frames[n % frames.size()], buffer);
            adaptor.append(buffer, time);
        } else {
            adaptor.append(planar[n % planar.size()], time);
        }
    }
    input->markAsFinished();
    Semaphore done;
    writer.finishWriting([&] { done.signal(); });
    done.wait();
    if (writer.status() != AssetWriterStatus::completed) {
        std::fprintf(stderr, "writing failed\n");
        std::exit(1);
    }
    return seconds(start);
}

double encodeTool()
{
    const fs::path target = fixtures().output("tool.mp4");
    // The settings our writer gives libx265 for the export's HEVC settings.
    const std::string command =
        "ffmpeg -y -v error -f rawvideo -pix_fmt yuv420p10le -s 1920x1080 -r 30000/1001 -i " + fixtures().raw().string() +
        " -c:v libx265 -preset fast -profile:v main10 -b:v 18750k -maxrate 18750k -bufsize 18750k"
        " -x265-params log-level=error:open-gop=0:bframes=0:keyint=60"
        " -color_primaries bt709 -color_trc bt709 -colorspace bt709 -color_range tv -tag:v hvc1 " +
        target.string();
    const auto start = std::chrono::steady_clock::now();
    run(command);
    return seconds(start);
}

void BM_EncodeHevc1080_SideBySide(benchmark::State& state)
{
    fixtures();
    const bool fromFloat = state.range(0) != 0;
    sideBySide(state, encodeFrames, [&] { return encodeOurs(fromFloat); }, encodeTool);
}
BENCHMARK(BM_EncodeHevc1080_SideBySide)
    ->ArgName("fromFloat")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

} // namespace

BENCHMARK_MAIN();
