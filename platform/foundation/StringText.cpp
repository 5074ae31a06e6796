#include "platform/foundation/StringText.h"

#include <cstdint>

namespace velmora::StringText {

namespace {

// Decodes one UTF-8 sequence at `pos`; on malformed input yields the single byte with length 1
// and `valid` false.
struct Decoded {
    char32_t codePoint = 0;
    std::size_t length = 1;
    bool valid = false;
};

Decoded decodeAt(std::string_view text, std::size_t pos)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(pos);
    if (b0 < 0x80) {
        return {b0, 1, true};
    }
    std::size_t length = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4;
        cp = b0 & 0x07;
    } else {
        return {b0, 1, false};
    }
    if (pos + length > text.size()) {
        return {b0, 1, false};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char b = byte(pos + i);
        if ((b & 0xC0) != 0x80) {
            return {b0, 1, false};
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    return {cp, length, true};
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char32_t lowerCodePoint(char32_t c)
{
    if (c >= U'A' && c <= U'Z') {
        return c + 0x20;
    }
    if (c < 0xC0) {
        return c;
    }
    if (c <= 0xDE && c != 0xD7) {
        return c + 0x20;
    }
    if (c >= 0x100 && c <= 0x137) {
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c >= 0x139 && c <= 0x148) {
        return (c % 2 == 1) ? c + 1 : c;
    }
    if (c >= 0x14A && c <= 0x177) {
        return (c % 2 == 0) ? c + 1 : c;
    }
    if (c == 0x178) {
        return 0xFF;
    }
    if (c >= 0x179 && c <= 0x17E) {
        return (c % 2 == 1) ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) {
        return c + 0x20;
    }
    if (c >= 0x400 && c <= 0x40F) {
        return c + 0x50;
    }
    if (c >= 0x410 && c <= 0x42F) {
        return c + 0x20;
    }
    return c;
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c;
}

bool matchesAt(std::string_view text, std::size_t pos, std::string_view pattern)
{
    if (pos + pattern.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (asciiLower(text[pos + i]) != asciiLower(pattern[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

bool isWhitespaceOrNewline(char32_t c)
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680
        || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F
        || c == 0x3000;
}

std::string trimmed(std::string_view text)
{
    std::size_t begin = 0;
    while (begin < text.size()) {
        const Decoded d = decodeAt(text, begin);
        if (!d.valid || !isWhitespaceOrNewline(d.codePoint)) {
            break;
        }
        begin += d.length;
    }
    // An ASCII byte is a character of its own wherever it stands (no UTF-8 sequence holds one):
    // a trailing run of ASCII white space after an ASCII byte is found from the end, without
    // decoding a long text (a LUT's, megabytes) from its start.
    std::size_t end = text.size();
    while (end > begin && static_cast<unsigned char>(text[end - 1]) < 0x80 &&
           isWhitespaceOrNewline(static_cast<char32_t>(text[end - 1]))) {
        --end;
    }
    if (end > begin && static_cast<unsigned char>(text[end - 1]) >= 0x80) {
        // A character beyond ASCII there: scan forward once to find where the run starts.
        end = begin;
        std::size_t pos = begin;
        while (pos < text.size()) {
            const Decoded d = decodeAt(text, pos);
            pos += d.length;
            if (!d.valid || !isWhitespaceOrNewline(d.codePoint)) {
                end = pos;
            }
        }
    }
    return std::string(text.substr(begin, end - begin));
}

std::string lowercased(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const Decoded d = decodeAt(text, pos);
        if (d.valid) {
            appendUtf8(out, lowerCodePoint(d.codePoint));
        } else {
            out.push_back(text[pos]);
        }
        pos += d.length;
    }
    return out;
}

bool containsIgnoringCase(std::string_view text, std::string_view asciiPattern)
{
    if (asciiPattern.empty()) {
        return true;
    }
    for (std::size_t pos = 0; pos + asciiPattern.size() <= text.size(); ++pos) {
        if (matchesAt(text, pos, asciiPattern)) {
            return true;
        }
    }
    return false;
}

std::string removingAllIgnoringCase(std::string_view text, std::string_view asciiPattern)
{
    if (asciiPattern.empty()) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (matchesAt(text, pos, asciiPattern)) {
            pos += asciiPattern.size();
        } else {
            out.push_back(text[pos]);
            ++pos;
        }
    }
    return out;
}

bool hasPrefix(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool hasSuffix(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

} // namespace velmora::StringText
