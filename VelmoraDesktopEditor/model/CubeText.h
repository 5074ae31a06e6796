#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The reader of `.cube` text: the one definition of what a LUT's text holds. The grading
// pipeline builds its cubes from it (Exporter::parseCube) and the LUT lookup asks it whether a
// text can grade at all (LutResolving::unusableReason), so a LUT that every picker shows as fine
// is one the export reads, and the size a LUT is judged by is the size it is read with.
namespace velmora::CubeText {

// Why a text does not read as a 3D cube: `code` 1 when no size is held or it is below the
// smallest size asked for (or the text is not UTF-8 where that is asked), 2 when fewer than
// size^3 entries were read; `reason` in words ("it holds fewer entries than its LUT_3D_SIZE
// needs").
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

// What a text is held to beside the format itself.
struct Demands {
    // The smallest size taken: "LUT_3D_SIZE 2 (needs 3 or more)" below it. The format's own is 2.
    std::int64_t smallestSize = 2;
    // Whether bytes that are not well-formed UTF-8 refuse the text ("it is not UTF-8 text").
    bool utf8 = false;
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

// What read() refuses the text for when held to `demands` as well; nothing when it reads. The
// same single pass over the text as read(), counting the entries without keeping them; the size
// rule is applied to the size read() would read (the last size line's). In order: not UTF-8,
// no text at all ("it is empty"), no size line ("it names no LUT_3D_SIZE"), a size that is
// no whole number, a size below the smallest, too few entries. Stateless; any thread.
std::optional<Refusal> refusal(std::string_view text, Demands demands = {});

} // namespace velmora::CubeText
