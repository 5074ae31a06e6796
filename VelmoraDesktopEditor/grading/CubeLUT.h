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

// Parses `.cube` text (the 3D subset; LUT_1D_SIZE and input-range lines are ignored). A leading
// UTF-8 byte-order mark is skipped.
// Lines end at LF, CR, CRLF, U+0085, U+2028 or U+2029 and are trimmed of white space. Blank,
// "#" comment, TITLE and DOMAIN_ lines are ignored; a "LUT_3D_SIZE" line (any case) with a second
// token sets the size (the last such line decides; a non-integer second token clears it); every
// other line whose first three space/tab-separated tokens read as C-locale floats adds one
// entry (red, green, blue, alpha 1). Entries beyond size^3 are dropped.
// Throws velmora::Error in domain "cube" with no message: code 1 when no size is held or it is
// below 2; code 2 when fewer than size^3 entries were read. Stateless; any thread.
CubeLUT parseCube(std::string_view text);

} // namespace Exporter

} // namespace velmora
