#include "TimelineExportTestSupport.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {

namespace {

std::string number(double value)
{
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec;
    return std::string(buffer, end);
}

} // namespace

Clip videoClip(const std::string& id, const std::string& sourceId, int lane, double start, double duration,
               double inPoint, std::optional<double> speed)
{
    Clip clip;
    clip.id = id;
    clip.type = "video";
    clip.sourceId = sourceId;
    clip.track = lane;
    clip.startTime = start;
    clip.duration = duration;
    clip.inPoint = inPoint;
    clip.speed = speed;
    return clip;
}

Clip imageClip(const std::string& id, const std::string& sourceId, int lane, double start, double duration)
{
    Clip clip = videoClip(id, sourceId, lane, start, duration);
    clip.type = "image";
    return clip;
}

Clip audioClip(const std::string& id, const std::string& sourceId, int lane, double start, double duration,
               double inPoint)
{
    Clip clip = videoClip(id, sourceId, lane, start, duration, inPoint);
    clip.type = "audio";
    return clip;
}

EditorJobV2::Source source(const std::string& id, const std::string& fileName)
{
    EditorJobV2::Source s;
    s.id = id;
    s.fileName = fileName;
    return s;
}

EditorJobV2 makeJob(std::vector<EditorJobV2::Source> sources, std::vector<Clip> clips, double fps, int width,
                    int height)
{
    EditorJobV2 job;
    job.tool = "velmora-editor-desktop-export";
    job.version = 2;
    job.grade.lutCube = "None";
    EditorJobV2::Project project;
    project.width = width;
    project.height = height;
    project.fps = fps;
    project.activeTimelineId = "t1";
    job.project = project;
    job.sources = std::move(sources);
    EditorJobV2::Timeline timeline;
    timeline.id = "t1";
    timeline.clips = std::move(clips);
    job.timelines.push_back(std::move(timeline));
    return job;
}

void makeStampClip(const std::filesystem::path& path, int frames, int fpsNum, int fpsDen, bool withAudio,
                   double toneFrequency)
{
    ClipSettings clipSettings;
    clipSettings.width = kWidth;
    clipSettings.height = kHeight;
    clipSettings.fpsNum = fpsNum;
    clipSettings.fpsDen = fpsDen;
    clipSettings.frameCount = frames;
    clipSettings.videoArgs = "-preset ultrafast -g 10 -bf 0";
    clipSettings.audio = withAudio;
    clipSettings.sineFrequency = toneFrequency;
    makeClip(path, clipSettings);
}

void makeFlatClip(const std::filesystem::path& path, int luma, int frames, int fpsNum)
{
    runFFmpeg("-f lavfi -i color=c=black:s=" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
              ":r=" + std::to_string(fpsNum) + " -frames:v " + std::to_string(frames) +
              " -vf \"format=yuv420p,geq=lum=" + std::to_string(luma) +
              ":cb=128:cr=128\" -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p " + shellQuote(path.string()));
}

ExportResult exportJob(const EditorJobV2& job, const std::filesystem::path& mediaFolder,
                       const std::filesystem::path& output, const ExportOptions& options)
{
    return Exporter::exportEditorTimeline(job, options.lutOverride, mediaFolder, output, options.bitrate,
                                          options.codec, options.gammaMode, options.compContrast,
                                          options.compSaturation, options.compBrightness, options.compTint,
                                          std::nullopt, options.progress, options.isCancelled, options.faults);
}

std::vector<PixelBuffer> decodeFrames(const std::filesystem::path& movie, PixelFormat format)
{
    auto asset = Asset::open(movie);
    const AssetTrack* track = asset->firstTrack(MediaType::video);
    if (!track) {
        throw std::runtime_error("no video in " + movie.string());
    }
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*track, format);
    reader.add(output);
    if (!reader.startReading()) {
        throw std::runtime_error("cannot read " + movie.string());
    }
    std::vector<PixelBuffer> frames;
    while (auto sample = output->copyNextSampleBuffer()) {
        if (sample->hasImageBuffer()) {
            // A copy: the reader's buffers are recycled.
            PixelBuffer copy = PixelBuffer::create(format, sample->imageBuffer.width(), sample->imageBuffer.height());
            for (int plane = 0; plane < copy.planeCount(); ++plane) {
                const std::size_t rowBytes =
                    static_cast<std::size_t>(std::min(copy.bytesPerRow(plane), sample->imageBuffer.bytesPerRow(plane)));
                for (int row = 0; row < copy.planeHeight(plane); ++row) {
                    std::copy_n(sample->imageBuffer.baseAddress(plane) + sample->imageBuffer.bytesPerRow(plane) * row,
                                rowBytes, copy.baseAddress(plane) + copy.bytesPerRow(plane) * row);
                }
            }
            frames.push_back(copy);
        }
    }
    return frames;
}

std::vector<float> decodeAudio(const std::filesystem::path& movie)
{
    auto asset = Asset::open(movie);
    const AssetTrack* track = asset->firstTrack(MediaType::audio);
    if (!track) {
        return {};
    }
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::audio(*track, 48000, 2);
    reader.add(output);
    if (!reader.startReading()) {
        throw std::runtime_error("cannot read the sound of " + movie.string());
    }
    std::vector<float> samples;
    while (auto sample = output->copyNextSampleBuffer()) {
        samples.insert(samples.end(), sample->audioSamples.begin(),
                       sample->audioSamples.begin() + static_cast<std::ptrdiff_t>(sample->audioFrameCount) * 2);
    }
    return samples;
}

double lumaAt(const PixelBuffer& frame, int x, int y)
{
    const std::uint8_t* row = frame.baseAddress(0) + frame.bytesPerRow(0) * y;
    switch (frame.format()) {
    case PixelFormat::p010:
    case PixelFormat::p216:
        return reinterpret_cast<const std::uint16_t*>(row)[x] / 256.0;
    case PixelFormat::yuv420p10:
    case PixelFormat::yuv422p10:
        return reinterpret_cast<const std::uint16_t*>(row)[x] / 4.0;
    default:
        return row[x];
    }
}

double meanLuma(const PixelBuffer& frame)
{
    double sum = 0;
    for (int y = 0; y < frame.height(); ++y) {
        for (int x = 0; x < frame.width(); ++x) {
            sum += lumaAt(frame, x, y);
        }
    }
    return sum / (static_cast<double>(frame.width()) * frame.height());
}

std::vector<int> frameStamps(const std::vector<PixelBuffer>& frames)
{
    std::vector<int> stamps;
    for (const PixelBuffer& frame : frames) {
        stamps.push_back(readFrameStamp(
            [&](int x, int y) { return (lumaAt(frame, x, y) - 16.0) / 219.0; }, frame.width(), frame.height()));
    }
    return stamps;
}

std::vector<int> frameStamps(const std::filesystem::path& movie)
{
    return frameStamps(decodeFrames(movie));
}

std::vector<std::string> folderContents(const std::filesystem::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string affineCube(double gain, double offset)
{
    std::string text = "LUT_3D_SIZE 3\n";
    for (int b = 0; b < 3; ++b) {
        for (int g = 0; g < 3; ++g) {
            for (int r = 0; r < 3; ++r) {
                text += number(offset + r * 0.5 * gain) + " " + number(offset + g * 0.5 * gain) + " " +
                        number(offset + b * 0.5 * gain) + "\n";
            }
        }
    }
    return text;
}

std::string scaledCube(double gain)
{
    std::string text = "LUT_3D_SIZE 3\n";
    for (int b = 0; b < 3; ++b) {
        for (int g = 0; g < 3; ++g) {
            for (int r = 0; r < 3; ++r) {
                text += number(r * 0.5 * gain) + " " + number(g * 0.5 * gain) + " " + number(b * 0.5 * gain) + "\n";
            }
        }
    }
    return text;
}

std::string trimmedCube(double gain)
{
    std::string text = scaledCube(gain);
    text.pop_back();
    return text;
}

} // namespace velmora::test
