// Per-frame cost of text overlays in the timeline export: drawing a text clip and blending it
// into an output frame, for a still title (drawn once, then reused), a fading title (painted
// every frame), a crawl at 1080 lines and a 40-line roll at 2160 lines (painted every frame).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "export/TextOverlay.h"
#include "platform/image/Image.h"
#include "platform/text/TextEngine.h"

namespace {

using namespace velmora;
using velmora::Exporter::TextOverlayRenderer;

EditorJobV2::Clip textClip(std::string text, double duration)
{
    EditorJobV2::Clip clip;
    clip.id = "bench";
    clip.type = "text";
    clip.startTime = 0;
    clip.duration = duration;
    clip.text = EditorJobV2::TextData{};
    clip.text->textContent = std::move(text);
    clip.text->outlineWidth = getenv("NO_OUTLINE") ? 0 : 3;
    return clip;
}

void runFrames(benchmark::State& state, const EditorJobV2::Clip& clip, int width, int height)
{
    ensureTextEngine();
    TextOverlayRenderer renderer(width, height);
    Image frame = Image::filled(width, height, {0.3f, 0.3f, 0.3f, 1});
    const double frameDuration = 1.0 / 30;
    double t = 0;
    for (auto _ : state) {
        renderer.drawTextOverlay(frame, clip, t);
        t += frameDuration;
        if (t >= *clip.duration) {
            t = 0;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_StillTitle1080(benchmark::State& state)
{
    runFrames(state, textClip("Velmora Title", 600), 1920, 1080);
}
BENCHMARK(BM_StillTitle1080)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FadingTitle1080(benchmark::State& state)
{
    EditorJobV2::Clip clip = textClip("Velmora Title", 600);
    clip.fadeIn = 600;
    runFrames(state, clip, 1920, 1080);
}
BENCHMARK(BM_FadingTitle1080)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Crawl1080(benchmark::State& state)
{
    EditorJobV2::Clip clip = textClip("Breaking: the crawl runs across the bottom of the frame", 20);
    clip.isLowerThird = true;
    clip.lowerThird = EditorJobV2::LowerThird{};
    clip.lowerThird->ltCreditsMode = "crawl";
    runFrames(state, clip, 1920, 1080);
}
BENCHMARK(BM_Crawl1080)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Roll2160(benchmark::State& state)
{
    EditorJobV2::Clip clip = textClip("", 20);
    clip.isLowerThird = true;
    clip.lowerThird = EditorJobV2::LowerThird{};
    clip.lowerThird->ltCreditsMode = "roll";
    std::vector<std::string> lines;
    for (int i = 0; i < 40; ++i) {
        lines.push_back("Credit line number " + std::to_string(i));
    }
    clip.lowerThird->ltRollLines = lines;
    runFrames(state, clip, 3840, 2160);
}
BENCHMARK(BM_Roll2160)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
