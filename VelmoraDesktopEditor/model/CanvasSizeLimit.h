#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

class KeyedContainer;

// The canvas and output sizes the editor reads from documents. A side must be a whole number of
// 1 to 16384 pixels: the largest picture the media layer builds, composes and encodes. Outside
// that a document is damaged: a width of -1920 would otherwise become a canvas one pixel wide in
// the editor and an export that fails only once it starts. The job and project readers refuse
// such a size where they read it, as they refuse a frame rate out of range (FrameRateLimit).
namespace CanvasSizeLimit {

inline constexpr int minimumSide = 1;
inline constexpr int maximumSide = 16384;

bool accepts(int side);

// "The canvas width -1920 is not supported: a canvas side must be a whole number of 1 to 16384
// pixels." `dimension` is "width" or "height".
std::string refusalText(std::string_view dimension, int side);

// A side read at `path` of a document (its last component names the dimension): nothing, or an
// accepted side; any other throws DecodingError (dataCorrupted) at `path`, whose description is
// refusalText and the path.
void check(std::optional<int> side, const std::vector<std::string>& path);

// The side under `key` ("width" or "height"), read as decodeIfPresent<int> reads it. A side not
// accepted, and any value there that is not a whole number, throws DecodingError (dataCorrupted)
// at the key's coding path, in the refusal's words naming what was found.
std::optional<int> decodeSide(const KeyedContainer& container, std::string_view key);

} // namespace CanvasSizeLimit

} // namespace velmora
