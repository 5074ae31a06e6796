// What writing float frames costs by itself: 90 frames of 3840 x 2160 float RGBA written into one
// image from the image pool with the stores the decoder's float conversion uses (planar spans
// interleaved with cache-bypassing stores), on one thread and split by rows across every core.
// No decoding and no arithmetic: the least CPU and wall time any conversion to float frames of
// that clip can take on this machine (see bench/README.md, bench_decode).
//
//   bench_store_floor [FRAMES]

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/image/Image.h"
#include "platform/image/PixelOp.h"

namespace {

using namespace velmora;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Writes rows [begin, end) of a frame `width` pixels wide at `base` from constant planes.
void writeRows(float* base, std::ptrdiff_t stride, std::size_t width, float value, std::size_t begin, std::size_t end)
{
    alignas(64) float planes[4][maxSpanPixels];
    for (auto& plane : planes) {
        std::fill(std::begin(plane), std::end(plane), value);
    }
    for (std::size_t r = begin; r < end; ++r) {
        float* row = base + static_cast<std::ptrdiff_t>(r) * stride;
        for (std::size_t x = 0; x < width; x += maxSpanPixels) {
            const std::size_t n = std::min(maxSpanPixels, width - x);
            const PlanarSpan span{planes[0], planes[1], planes[2], planes[3], n, n, nullptr};
            interleaveStreaming(span, row + 4 * x);
        }
    }
    finishStreaming();
}

void run(const char* label, int frames, bool everyCore)
{
    Image image = Image::allocate(3840, 2160);
    float* base = image.mutableRow(0);
    const std::ptrdiff_t stride = image.rowStride();
    const std::size_t width = static_cast<std::size_t>(image.width());
    writeRows(base, stride, width, 0.0f, 0, 2160); // first touch, outside the timing
    const double cpu0 = cpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    for (int f = 0; f < frames; ++f) {
        const float value = static_cast<float>(f) / static_cast<float>(frames);
        if (everyCore) {
            concurrentPerform(2160, 4, [&](std::size_t b, std::size_t e) { writeRows(base, stride, width, value, b, e); });
        } else {
            writeRows(base, stride, width, value, 0, 2160);
        }
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    const double cpu = cpuSeconds() - cpu0;
    std::printf("%-12s %d frames: wall %.3f s, cpu %.3f s (%.2f ms of CPU a frame)\n", label, frames, wall, cpu,
                cpu / frames * 1e3);
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 90;
    run("one thread", frames, false);
    run("every core", frames, true);
    return 0;
}
