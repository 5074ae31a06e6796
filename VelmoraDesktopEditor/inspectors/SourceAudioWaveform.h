#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <QImage>
#include <QSizeF>

// The numbers behind the source viewer's waveform picture: the bitmap size for a view, the
// reduction of a file's block peaks to one value per bitmap column, the placeholder waveform
// for a file whose sound cannot be shown, and the bitmap itself. Pure functions; any thread.
namespace velmora::SourceAudioWaveform {

// A column whose peak is at or below this counts as silence.
inline constexpr float silenceLevel = 0.001f;
// Smallest bitmap side, pixels.
inline constexpr int minimumBitmapSide = 64;
// The view must be larger than this (points) in both directions to be given a waveform.
inline constexpr double minimumViewSide = 8;

struct BitmapSize {
    int columns = 0;
    int pixelHeight = 0;
    bool operator==(const BitmapSize&) const = default;
};
// One column per device pixel of the view's width, at least 64 each way.
BitmapSize bitmapSize(const QSizeF& viewPoints, double scale);

struct VerticalScale {
    int margin = 0;       // pixels kept free above and below
    double mid = 0;       // centre line, pixels from the top
    double amplitude = 0; // pixels from the centre line at full scale
};
// Margin pixelHeight ÷ 12 above 95 pixels, else 8; amplitude at least 1.
VerticalScale verticalScale(int pixelHeight);

// One value per column from block peaks: with B blocks and n columns, each column takes the
// largest of step = B ÷ n blocks (1 when B < n), in order; columns past the last block are 0
// and the blocks after n × step are left out.
std::vector<float> columnsFromBlocks(const std::vector<float>& blocks, int columns);

// A deterministic stand-in waveform (values in 0.05…1) for a file whose sound cannot be read
// or is silent, seeded by the file's path: the same path always gives the same values. At
// least 64 values.
std::vector<float> syntheticPeaks(const std::string& seed, int sampleCount);

// What to draw for a file: its first audio track reduced to `columns` values, or the
// placeholder when the file has no readable audio, no samples, or only silence. Blocks while it
// reads; `isCancelled` may stop the read early (the result is then the placeholder, meant to be
// dropped).
std::vector<float> waveformValues(const std::filesystem::path& file, int columns,
                                  const std::function<bool()>& isCancelled = {});

// The values as vertical strokes, one per column, centred on the mid line over black
// (columns × pixelHeight). A null image for a size below 1 or no values.
QImage renderBitmap(const std::vector<float>& values, int columns, int pixelHeight);

} // namespace velmora::SourceAudioWaveform
