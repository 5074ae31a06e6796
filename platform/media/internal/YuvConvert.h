#pragma once

// Private to the media layer: conversions between planes of Y'CbCr samples and float R'G'B'
// images, shared by the pixel-buffer conversions, the readers and the image generator.

#include <cstddef>
#include <cstdint>

#include "platform/image/Image.h"

namespace velmora::yuv {

enum class Matrix { bt709, bt601, bt2020, smpte240 };

// The matrix a tag names; BT.709 for an untagged or unknown one.
Matrix matrixFromTag(const std::string& tag);

// Planes of samples in one of the layouts decoders and encoders use.
struct Planes {
    std::uint8_t* data[3] = {};
    std::ptrdiff_t stride[3] = {};
    int width = 0;
    int height = 0;
    int bytesPerSample = 1;   // 1 or 2 (little-endian words)
    int bitDepth = 8;         // bits of the code value as stored (16 for P010/P216 words)
    int chromaShiftX = 1;     // log2 of the horizontal chroma subsampling
    int chromaShiftY = 1;     // log2 of the vertical chroma subsampling
    bool interleavedChroma = false; // Cb, Cr pairs in data[1]
    bool gray = false;        // luma only: neutral chroma
    Matrix matrix = Matrix::bt709;
    bool fullRange = false;
    // For output only: the code value is stored shifted left by this many bits (P010: code
    // values of 10 bits in 16-bit words, shift 6).
    int storeShift = 0;
};

// Reads every pixel into a new image of planes.width × planes.height at the origin, alpha 1,
// chroma replicated over its block. Rows split across cores.
Image toImage(const Planes& planes);

// Writes the image over the planes' rectangle (0, 0, width, height) in y-up space: image row
// order top first, pixels outside the image's extent black. Chroma is the average of the R'G'B'
// of its block; every value rounded to the nearest code and clamped; NaN counts as 0.
// Output layouts subsample chroma horizontally by two (4:2:0 or 4:2:2: chromaShiftX 1).
// Rows split across cores; no allocation once each worker's row buffer has grown.
void fromImage(const Image& image, const Planes& planes);

// BGRA 8-bit full range.
Image bgraToImage(const std::uint8_t* data, std::ptrdiff_t stride, int width, int height);
void imageToBgra(const Image& image, std::uint8_t* data, std::ptrdiff_t stride, int width, int height);

} // namespace velmora::yuv
