#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/image/Image.h"

namespace velmora {

// A 3D colour look-up lattice applied with trilinear interpolation.
//
// Layout: dimension N, N^3 entries of 4 floats (r, g, b, a); the entry for lattice point
// (r, g, b) is number r + N*g + N^2*b (red fastest). Input components are clamped to [0, 1]
// (NaN counts as 0) before the lookup. The output takes red, green and blue from the lattice
// and keeps the source pixel's alpha. Immutable once made, so one cube may be applied by many
// threads at once.
class ColorCube {
public:
    // Throws std::invalid_argument when dimension < 2 or entries.size() != 4 * N^3.
    ColorCube(int dimension, std::vector<float> entries);

    int dimension() const { return n_; }
    const std::vector<float>& entries() const { return entries_; }

    // Looks up `count` interleaved RGBA pixels in place.
    void apply(float* rgba, std::size_t count) const;
    // Looks up the pixels of a planar span in place (alpha untouched).
    void apply(const PlanarSpan& span) const;
    Color apply(const Color& c) const;

    // The planar path's kernel (LaneLoop.h); public for the loop templates only.
    struct Lanes;

private:
    struct AlignedFree {
        void operator()(float* p) const;
    };

    // The lattice regrouped for 16 lanes (AVX-512), made on first use: for every (i, j, k) with
    // i, j below N - 1, the red, green and blue of the four lattice points (i, j), (i + 1, j),
    // (i, j + 1), (i + 1, j + 1) in blue plane k as 16 floats (R x4, G x4, B x4, 0 x4) in one
    // 64-byte line, and in the next line the same for plane k + 1 minus plane k (0 for the top
    // plane). A pixel reads two lines.
    const float* blockedLattice() const;
    void applyBlocked16(const PlanarSpan& span, std::size_t count) const;

    int n_;
    float scale_; // N - 1
    std::vector<float> entries_;
    mutable std::once_flag blockedOnce_;
    mutable std::unique_ptr<float, AlignedFree> blocked_;
    // Lattices up to this size take the lane path; its 32-bit offsets stay far from overflow.
    static constexpr int maxLaneDimension = 512;
    // Lattices up to this size take the 16-lane path (its regrouped lattice is 8 (N - 1)^2 / N^2
    // times the size of the plain one: 4.3 MB at 33 points, 34 MB at 65).
    static constexpr int maxBlockedDimension = 65;
};

// `image` with the cube applied (a deferred per-pixel step).
Image colorCube(const Image& image, std::shared_ptr<const ColorCube> cube);

} // namespace velmora
