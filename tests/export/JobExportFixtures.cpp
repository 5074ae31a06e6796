#include "JobExportFixtures.h"

#include <cstdlib>

#include "media/MediaTestHelpers.h"
#include "platform/media/AssetReader.h"
#include "platform/media/PixelBufferImage.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {

void writeJobFile(const std::filesystem::path& path, const nlohmann::json& json)
{
    writeTextFile(path, json.dump(2));
}

void makeFlatVideo(const std::filesystem::path& path, int luma, int frames, int width, int height, int fps)
{
    runFFmpeg("-f lavfi -i color=c=black:s=" + std::to_string(width) + "x" + std::to_string(height) +
              ":r=" + std::to_string(fps) + " -vf \"format=yuv420p,geq=lum=" + std::to_string(luma) +
              ":cb=128:cr=128\" -frames:v " + std::to_string(frames) +
              " -c:v libx264 -preset ultrafast -qp 0 " + shellQuote(path.string()));
}

std::vector<PixelBuffer> decodedFrames(const std::filesystem::path& movie)
{
    const auto asset = Asset::open(movie);
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p010);
    reader.add(output);
    reader.startReading();
    std::vector<PixelBuffer> frames;
    while (auto sample = output->copyNextSampleBuffer()) {
        // A kept buffer is not handed out again by the reader's pool.
        frames.push_back(sample->imageBuffer);
    }
    return frames;
}

std::vector<int> decodedStamps(const std::filesystem::path& movie)
{
    std::vector<int> stamps;
    for (const auto& frame : decodedFrames(movie)) {
        stamps.push_back(stampOf(frame));
    }
    return stamps;
}

Color meanColor(const PixelBuffer& frame)
{
    const Image image = imageFromPixelBuffer(frame);
    double sum[3] = {0, 0, 0};
    for (int y = 0; y < image.height(); ++y) {
        const float* row = image.row(y);
        for (int x = 0; x < image.width(); ++x) {
            for (int c = 0; c < 3; ++c) {
                sum[c] += row[4 * x + c];
            }
        }
    }
    const double count = static_cast<double>(image.width()) * image.height();
    return Color{static_cast<float>(sum[0] / count), static_cast<float>(sum[1] / count),
                 static_cast<float>(sum[2] / count), 1};
}

nlohmann::json timelineJob(const std::vector<nlohmann::json>& clips, const std::string& fileName,
                           const std::string& lutCube)
{
    return {{"tool", "velmora-editor-desktop-export"},
            {"version", 2},
            {"grade", {{"lutCube", lutCube}}},
            {"project", {{"width", 160}, {"height", 96}, {"fps", 25}}},
            {"sources", nlohmann::json::array({{{"id", "s1"}, {"fileName", fileName}}})},
            {"timelines", nlohmann::json::array({{{"id", "t1"}, {"clips", clips}}})}};
}

nlohmann::json singleVideoJob(const std::string& lutCube, const nlohmann::json& output)
{
    nlohmann::json job = {{"version", 1}, {"grade", {{"lutCube", lutCube}}}};
    if (!output.empty()) {
        job["output"] = output;
    }
    return job;
}

std::vector<std::filesystem::path> filesWithPrefix(const std::filesystem::path& folder, const std::string& prefix)
{
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename().string().rfind(prefix, 0) == 0) {
            found.push_back(it->path());
        }
    }
    return found;
}

ScopedTemporaryFolder::ScopedTemporaryFolder(const std::filesystem::path& folder)
{
    if (const char* value = std::getenv("TMPDIR")) {
        previous_ = value;
    }
    ::setenv("TMPDIR", folder.c_str(), 1);
}

ScopedTemporaryFolder::~ScopedTemporaryFolder()
{
    if (previous_) {
        ::setenv("TMPDIR", previous_->c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
}

} // namespace velmora::test
