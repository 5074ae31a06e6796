#include "export/ClipOpacity.h"

#include <algorithm>
#include <cmath>

#include "platform/image/ColorOps.h"
#include "platform/image/Composite.h"
#include "platform/image/Resample.h"

namespace velmora::Exporter {

namespace {

constexpr double kMinimumFade = 0.02;
constexpr double kMinimumDuration = 0.001;

// Source-over onto opaque black with the source alpha scaled: c * a * alpha, alpha 1.
struct OverBlackStep {
    float alpha;

    void apply(float* rgba, std::size_t count, const SpanPosition*) const
    {
        for (std::size_t i = 0; i < count; ++i, rgba += 4) {
            const float k = std::clamp(rgba[3] * alpha, 0.0f, 1.0f);
            rgba[0] *= k;
            rgba[1] *= k;
            rgba[2] *= k;
            rgba[3] = 1.0f;
        }
    }
};

IntRect renderRect(double width, double height)
{
    return integralRect(Rect{0, 0, std::max(width, 0.0), std::max(height, 0.0)});
}

bool covers(const Rect& extent, const IntRect& area)
{
    if (extent.isInfinite()) {
        return true;
    }
    return extent.x <= static_cast<double>(area.x) && extent.y <= static_cast<double>(area.y) &&
           extent.maxX() >= static_cast<double>(area.x + area.width) &&
           extent.maxY() >= static_cast<double>(area.y + area.height);
}

} // namespace

double clipVisualOpacity(const EditorJobV2::Clip& clip, double timelineTime)
{
    const double local = timelineTime - clip.startTime.value_or(0);
    double duration = clip.duration.value_or(0);
    if (!(duration > kMinimumDuration)) {
        duration = kMinimumDuration;
    }
    double alpha = std::min(clip.opacity.value_or(1.0), 1.0);
    if (!(alpha >= 0)) {
        alpha = 0;
    }
    if (clip.fadeIn && *clip.fadeIn > kMinimumFade && local < *clip.fadeIn) {
        alpha *= std::clamp(local / *clip.fadeIn, 0.0, 1.0);
    }
    if (clip.fadeOut && *clip.fadeOut > kMinimumFade && duration - *clip.fadeOut < local) {
        alpha *= std::clamp((duration - local) / *clip.fadeOut, 0.0, 1.0);
    }
    return std::clamp(alpha, 0.0, 1.0);
}

Image applyingVisualOpacity(const Image& image, double alpha, double renderWidth, double renderHeight)
{
    if (alpha >= 0.9999) {
        return image;
    }
    const IntRect area = renderRect(renderWidth, renderHeight);
    if (!(alpha > 0.001)) {
        return Image::constant(Color{0, 0, 0, 1}).croppedTo(area);
    }
    const PixelOp step = PixelOp::make(OverBlackStep{static_cast<float>(alpha)});
    if (covers(image.extent(), area)) {
        return crop(image.appending(step), area);
    }
    // Where the picture does not reach, black shows through.
    ColorMatrix scaleAlpha;
    scaleAlpha.a[3] = static_cast<float>(alpha);
    return sourceOver(colorMatrix(image, scaleAlpha), Image::constant(Color{0, 0, 0, 1}), area);
}

} // namespace velmora::Exporter
