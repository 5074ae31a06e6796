#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// The most bytes of one text from outside the program that the window shows in one place: the
// words of a failure, or a name a file holds (a media file's, a LUT's, a timeline's, a
// project's). Past it the text is cut in the middle ("…"): however long a text the input holds,
// laying it out never holds up the window.
inline constexpr std::size_t shownTextBytes = 1000;

// `text` as it is shown: whole up to shownTextBytes, cut in the middle past it where a character
// starts (StringText::shortenedInMiddle). Every alert, status line, read-out, list, picker and
// title that shows a failure's words or a name from a file shows it through here, and only the
// shown text is laid out; what files hold stays whole.
std::string shownText(std::string_view text);

} // namespace velmora
