#pragma once

#include <string>
#include <string_view>

// Text helpers on UTF-8 strings that do not depend on the user's locale.
namespace velmora::StringText {

// True for the Unicode white-space and line-break characters (U+0009–U+000D, U+0020, U+0085,
// U+00A0, U+1680, U+2000–U+200A, U+2028, U+2029, U+202F, U+205F, U+3000).
bool isWhitespaceOrNewline(char32_t c);

// The text without white space and line breaks at either end.
std::string trimmed(std::string_view text);
// The same, as a view into `text`: nothing is copied.
std::string_view trimmedView(std::string_view text);

// Lower-case form: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic capitals are mapped;
// other characters, and bytes that are not valid UTF-8, are kept as they are.
std::string lowercased(std::string_view text);

// Case-insensitive search and removal of an ASCII pattern (letters compared without case).
bool containsIgnoringCase(std::string_view text, std::string_view asciiPattern);
std::string removingAllIgnoringCase(std::string_view text, std::string_view asciiPattern);

// The text as it is when it holds at most `maxBytes` bytes; a longer one keeps its start and its
// end, about half of `maxBytes` each, cut where a character starts, joined by "…" (at most
// maxBytes + 3 bytes in all). For messages that quote what they were handed.
std::string shortenedInMiddle(std::string_view text, std::size_t maxBytes);

bool hasPrefix(std::string_view text, std::string_view prefix);
bool hasSuffix(std::string_view text, std::string_view suffix);

} // namespace velmora::StringText
