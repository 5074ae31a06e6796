#include "inspectors/SourceAudioWaveform.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPainterPath>

#include "platform/media/AudioPeaks.h"

namespace velmora::SourceAudioWaveform {

BitmapSize bitmapSize(const QSizeF& viewPoints, double scale)
{
    // Larger bitmaps than this would only be scaled down again when drawn.
    static constexpr double maximumSide = 32768;
    const auto side = [scale](double points) {
        const double pixels = std::trunc(points * scale);
        // Not a number counts as too small.
        return pixels >= minimumBitmapSide ? static_cast<int>(std::min(pixels, maximumSide)) : minimumBitmapSide;
    };
    return {side(viewPoints.width()), side(viewPoints.height())};
}

VerticalScale verticalScale(int pixelHeight)
{
    VerticalScale scale;
    scale.margin = pixelHeight > 95 ? pixelHeight / 12 : 8;
    scale.mid = pixelHeight * 0.5;
    scale.amplitude = std::max(scale.mid - scale.margin, 1.0);
    return scale;
}

std::vector<float> columnsFromBlocks(const std::vector<float>& blocks, int columns)
{
    const std::size_t n = static_cast<std::size_t>(std::max(columns, 0));
    const std::size_t count = blocks.size();
    const std::size_t step = count >= n && n > 0 ? count / n : 1;
    std::vector<float> values(n, 0.0f);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t first = i * step;
        const std::size_t end = std::min(first + step, count);
        for (std::size_t b = first; b < end; ++b)
            values[i] = std::max(values[i], blocks[b]);
    }
    return values;
}

std::vector<float> syntheticPeaks(const std::string& seed, int sampleCount)
{
    const int n = std::max(sampleCount, minimumBitmapSide);
    std::uint64_t h = 0;
    for (const unsigned char byte : seed)
        h = h * 31 + byte;
    std::uint64_t state = h > 1 ? h : 1;
    std::vector<float> values(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const float a = std::sin(static_cast<float>(i) * 0.04f);
        const float c = std::sin(static_cast<float>(i) * 0.011f);
        state = state * 6364136223846793005ULL + 1;
        const float r = static_cast<float>(state >> 33) / 4294967296.0f;
        values[static_cast<std::size_t>(i)] =
            std::min(((std::abs(a * c) * 0.55f + 0.35f) * r) * 0.85f + 0.05f, 1.0f);
    }
    return values;
}

std::vector<float> waveformValues(const std::filesystem::path& file, int columns,
                                  const std::function<bool()>& isCancelled)
{
    const std::optional<std::vector<float>> blocks =
        AudioPeaks::readBlockPeaks(file, AudioPeaks::defaultBlockSamples, isCancelled);
    if (blocks && !blocks->empty()) {
        std::vector<float> values = columnsFromBlocks(*blocks, columns);
        const float loudest = values.empty() ? 0.0f : *std::max_element(values.begin(), values.end());
        if (loudest > silenceLevel)
            return values;
    }
    return syntheticPeaks(file.string(), columns);
}

QImage renderBitmap(const std::vector<float>& values, int columns, int pixelHeight)
{
    if (columns < 1 || pixelHeight < 1 || values.empty())
        return {};
    QImage image(columns, pixelHeight, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::black);
    const VerticalScale scale = verticalScale(pixelHeight);
    QPainterPath strokes;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double half = std::max(scale.amplitude * static_cast<double>(values[i]), 1.0);
        const double x = static_cast<double>(i) + 0.5;
        strokes.moveTo(x, scale.mid - half);
        strokes.lineTo(x, scale.mid + half);
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor colour(226, 232, 240);
    colour.setAlphaF(0.6f);
    painter.strokePath(strokes, QPen(colour, 1.0, Qt::SolidLine, Qt::FlatCap));
    return image;
}

} // namespace velmora::SourceAudioWaveform
