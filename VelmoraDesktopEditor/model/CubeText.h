#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The reader of `.cube` text: the one definition of what a LUT's text holds. The grading
// pipeline builds its cubes from it (Exporter::parseCube) and the LUT lookup asks it whether a
// text can grade at all (LutResolving), so a LUT that every picker shows as fine is one the
// export reads.
namespace velmora::CubeText {

// Why a text does not read as a 3D cube: `code` 1 when no size is held or it is below 2, 2 when
// fewer than size^3 entries were read; `reason` in words ("it holds fewer entries than its
// LUT_3D_SIZE needs").
struct Refusal {
    int code = 0;
    std::string reason;

    bool operator==(const Refusal&) const = default;
};

// A cube read from text: `size` points per axis and 4 * size^3 floats, red, green, blue and 1 per
// entry, red fastest, then green, then blue.
struct Lattice {
    std::int64_t size = 0;
    std::vector<float> values;
};

// Reads `.cube` text (the 3D subset; LUT_1D_SIZE and input-range lines are ignored). A leading
// UTF-8 byte-order mark is skipped.
// Lines end at LF, CR, CRLF, U+0085, U+2028 or U+2029 and are trimmed of white space. Blank,
// "#" comment, TITLE and DOMAIN_ lines are ignored; a "LUT_3D_SIZE" line (any case) with a second
// token sets the size (the last such line decides; a non-integer second token clears it); every
// other line whose first three space/tab-separated tokens read as C-locale floats adds one
// entry. Entries beyond size^3 are dropped.
// Throws velmora::Error in domain "cube" with the refusal's code and the message "The LUT
// cannot be read: " and its reason. Stateless; any thread.
Lattice read(std::string_view text);

// What read() refuses the text for; nothing when it reads. Counts the entries without keeping
// them. Stateless; any thread.
std::optional<Refusal> refusal(std::string_view text);

} // namespace velmora::CubeText
