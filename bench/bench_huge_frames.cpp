// The driver of bench/huge_frames.sh: one huge-frame case per run, so that the script can measure
// each case's wall time and peak resident memory from outside with /usr/bin/time -v.
//
//   bench_huge_frames single-video <input> <output.mov>   single-video export, no LUT, 1920 wide
//   bench_huge_frames generator <input>                   one 1920 x 1080 picture from the image generator
//   bench_huge_frames timeline <folder> <file> <output>   1 s timeline export at 160 x 96 of <file>
//
// Prints one line with the case's own time; exits 1 with the error's text when the case fails.

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "export/SingleVideoExport.h"
#include "export/TimelineExport.h"
#include "platform/media/ImageGenerator.h"

namespace {

using namespace velmora;
namespace fs = std::filesystem;

void singleVideo(const fs::path& input, const fs::path& output)
{
    Job job;
    job.version = 1;
    job.grade.lutCube = "None";
    Job::Output settings;
    settings.maxWidth = 1920;
    job.output = settings;
    Exporter::exportSingleVideo(job, std::nullopt, input, std::nullopt, output, std::nullopt, "rec709", 1, 1, 0, 0);
}

void generator(const fs::path& input)
{
    ImageGenerator generator(Asset::open(input));
    generator.maximumWidth = 1920;
    generator.maximumHeight = 1080;
    const Image image = generator.copyImage(MediaTime::zero());
    std::printf("picture %d x %d\n", image.width(), image.height());
}

void timeline(const fs::path& folder, const std::string& file, const fs::path& output)
{
    EditorJobV2 job;
    job.tool = "velmora-editor-desktop-export";
    job.version = 2;
    job.grade.lutCube = "None";
    EditorJobV2::Project project;
    project.width = 160;
    project.height = 96;
    project.fps = 25;
    job.project = project;
    job.sources.push_back(EditorJobV2::Source{"huge", file, std::nullopt});
    EditorJobV2::Clip clip;
    clip.id = "c1";
    clip.type = "video";
    clip.sourceId = "huge";
    clip.track = 1;
    clip.startTime = 0;
    clip.duration = 1;
    clip.inPoint = 0;
    EditorJobV2::Timeline lane;
    lane.id = "t1";
    lane.clips.push_back(clip);
    job.timelines.push_back(lane);
    Exporter::exportEditorTimeline(job, std::nullopt, folder, output, std::nullopt, Exporter::EditorVideoCodec::hevc10,
                                   "rec709", 1, 1, 0, 0, std::nullopt, {}, {});
}

} // namespace

int main(int argc, char** argv)
{
    const std::string usage = "usage: bench_huge_frames single-video <input> <output> | generator <input> | "
                              "timeline <folder> <file> <output>\n";
    if (argc < 3) {
        std::fputs(usage.c_str(), stderr);
        return 2;
    }
    const std::string kind = argv[1];
    const auto start = std::chrono::steady_clock::now();
    try {
        if (kind == "single-video" && argc == 4) {
            singleVideo(argv[2], argv[3]);
        } else if (kind == "generator" && argc == 3) {
            generator(argv[2]);
        } else if (kind == "timeline" && argc == 5) {
            timeline(argv[2], argv[3], argv[4]);
        } else {
            std::fputs(usage.c_str(), stderr);
            return 2;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s failed: %s\n", kind.c_str(), error.what());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %.2f s\n", kind.c_str(), seconds);
    return 0;
}
