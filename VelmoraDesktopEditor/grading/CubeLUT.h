#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace velmora {

// A 3D colour look-up table as the grade chain applies it.
// `data` holds size^3 entries of four native-endian 32-bit floats (red, green, blue, alpha),
// 16 * size^3 bytes; the entry for lattice point (r, g, b) is number r + size*g + size^2*b
// (red fastest, then green, then blue). Entries read from text, and every cube the grading
// pipeline builds, have alpha 1.
struct CubeLUT {
    std::int64_t size = 0;
    std::vector<std::uint8_t> data;

    // The entries as floats (4 per entry).
    std::vector<float> floats() const;
    // A cube of `size` from 4 * size^3 floats.
    static CubeLUT fromFloats(std::int64_t size, const std::vector<float>& floats);

    bool operator==(const CubeLUT&) const = default;
};

namespace Exporter {

// The cube `.cube` text holds, as CubeText::read reads it (the 3D subset, entries with alpha 1).
// Throws velmora::Error in domain "cube", code 1 when no size is held or it is below 2, code 2
// when fewer than size^3 entries were read, its message saying why ("The LUT cannot be read: it
// holds fewer entries than its LUT_3D_SIZE needs"). Stateless; any thread.
CubeLUT parseCube(std::string_view text);

} // namespace Exporter

} // namespace velmora
