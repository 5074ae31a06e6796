// Rendering speed of the timeline audio mix: a 60-second, two-lane mix (AAC music under the
// whole timeline, and clips at speeds 1, 2 and 0.5 with fades) rendered to 48 kHz stereo.
// Reported as seconds of audio per second of wall time ("realtime").

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/media/AudioMixRenderer.h"

namespace {

namespace fs = std::filesystem;

fs::path fixtureFolder()
{
    static const fs::path folder = [] {
        const fs::path path = fs::temp_directory_path() / "velmora_bench_audio_mix";
        fs::create_directories(path);
        const auto make = [&](const std::string& name, const std::string& source) {
            const fs::path file = path / name;
            if (!fs::exists(file)) {
                const std::string command = "ffmpeg -y -hide_banner -loglevel error -f lavfi -i '" + source
                                            + "' -ac 2 -c:a aac -b:a 192k '" + file.string() + "'";
                if (std::system(command.c_str()) != 0) {
                    std::abort();
                }
            }
        };
        make("music.m4a", "sine=frequency=440:sample_rate=44100:duration=61");
        make("voice.m4a", "sine=frequency=880:sample_rate=48000:duration=30");
        return path;
    }();
    return folder;
}

velmora::MediaTime sec(double seconds)
{
    return velmora::MediaTime::fromSeconds(seconds, 30000);
}

void BM_RenderTimelineMix(benchmark::State& state)
{
    using namespace velmora;
    const fs::path folder = fixtureFolder();
    Composition composition;
    AudioMix mix;
    CompositionTrack* music = composition.addMutableTrack(MediaType::audio);
    music->insertTimeRange(MediaTimeRange(sec(0), sec(60)), {SharedPath(folder / "music.m4a"), 0, MediaType::audio}, sec(0));
    mix.inputParameters.emplace_back(music->trackID());
    mix.inputParameters.back().setVolumeRamp(0, 1, MediaTimeRange(sec(0), sec(2)));
    mix.inputParameters.back().setVolumeRamp(1, 0, MediaTimeRange(sec(57), sec(3)));

    CompositionTrack* voice = composition.addMutableTrack(MediaType::audio);
    mix.inputParameters.emplace_back(voice->trackID());
    const double speeds[] = {1.0, 2.0, 0.5};
    double at = 0;
    for (int i = 0; at < 54; ++i) {
        const double speed = speeds[i % 3];
        const double length = 6;
        voice->insertTimeRange(MediaTimeRange(sec(1), sec(length * speed)), {SharedPath(folder / "voice.m4a"), 0, MediaType::audio},
                               sec(at));
        if (speed != 1.0) {
            voice->scaleTimeRange(MediaTimeRange(sec(at), sec(length * speed)), sec(length));
        }
        mix.inputParameters.back().setVolumeRamp(0, 1, MediaTimeRange(sec(at), sec(0.5)));
        mix.inputParameters.back().setVolumeRamp(1, 0, MediaTimeRange(sec(at + length - 0.5), sec(0.5)));
        at += length + 1;
    }

    double seconds = 0;
    for (auto _ : state) {
        AudioMixRenderer renderer(composition, mix);
        while (auto chunk = renderer.nextChunk(4096)) {
            benchmark::DoNotOptimize(chunk->samples.data());
        }
        seconds += double(renderer.totalFrames()) / AudioMixRenderer::sampleRate;
    }
    state.counters["realtime"] = benchmark::Counter(seconds, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RenderTimelineMix)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
