#include "model/CubeText.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <locale.h>

#include "platform/foundation/Error.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Utf8.h"

namespace velmora::CubeText {

namespace {

// Largest size whose cube still fits a signed 64-bit count.
constexpr std::int64_t maxCountableSize = 2097151;

locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

bool isCSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The whole token as a float, as the C library's reader takes it in the C locale.
std::optional<float> readFloat(std::string_view token)
{
    if (token.empty() || isCSpace(token.front())) {
        return std::nullopt;
    }
    // The plain decimal form of nearly every entry is read directly, to the same value; what that
    // does not read whole (a leading '+', hexadecimal, a number out of range) goes to the C
    // library's reader, whose forms the format takes.
    if (token.front() != '+') {
        float value = 0;
        const auto [end, failure] = std::from_chars(token.data(), token.data() + token.size(), value);
        if (failure == std::errc() && end == token.data() + token.size()) {
            return value;
        }
    }
    if (token.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    // The reader needs a terminated copy; a number's text fits the buffer, anything longer is
    // copied to the heap.
    char buffer[64];
    std::string longer;
    const char* text = buffer;
    if (token.size() < sizeof buffer) {
        token.copy(buffer, token.size());
        buffer[token.size()] = '\0';
    } else {
        longer.assign(token);
        text = longer.c_str();
    }
    char* end = nullptr;
    const float value = strtof_l(text, &end, cLocale());
    if (end != text + token.size()) {
        return std::nullopt;
    }
    return value;
}

// The line without white space at either end, as StringText::trimmed takes it; ASCII ends (every
// entry line) are taken off here without decoding.
std::string_view trimmedLine(std::string_view line)
{
    while (!line.empty() && isCSpace(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && isCSpace(line.back())) {
        line.remove_suffix(1);
    }
    if (!line.empty() && (static_cast<unsigned char>(line.front()) >= 0x80 ||
                          static_cast<unsigned char>(line.back()) >= 0x80)) {
        return StringText::trimmedView(line);
    }
    return line;
}

// Up to `limit` tokens separated by spaces and tabs; returns how many there are in all (capped
// at limit + 1, which is enough to tell "at least").
std::size_t tokenize(std::string_view line, std::string_view* out, std::size_t limit)
{
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        const std::size_t begin = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (count < limit) {
            out[count] = line.substr(begin, i - begin);
        }
        ++count;
        if (count > limit) {
            break;
        }
    }
    return count;
}

bool hasPrefixUppercased(std::string_view line, std::string_view upperPrefix)
{
    if (line.size() < upperPrefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < upperPrefix.size(); ++i) {
        char c = line[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c != upperPrefix[i]) {
            return false;
        }
    }
    return true;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The end of the plain decimal number (an optional '-', digits, an optional fraction and an
// optional exponent) that starts at text[i], or i when none
// starts there.
std::size_t plainDecimalEnd(std::string_view text, std::size_t i)
{
    const std::size_t n = text.size();
    std::size_t at = i < n && text[i] == '-' ? i + 1 : i;
    const std::size_t digits = at;
    while (at < n && isDigit(text[at])) {
        ++at;
    }
    if (at == digits) {
        return i;
    }
    if (at < n && text[at] == '.') {
        ++at;
        while (at < n && isDigit(text[at])) {
            ++at;
        }
    }
    if (at < n && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < n && (text[at] == '+' || text[at] == '-')) {
            ++at;
        }
        const std::size_t exponent = at;
        while (at < n && isDigit(text[at])) {
            ++at;
        }
        if (at == exponent) {
            return i;
        }
    }
    return at;
}

// Whether the whole token reads as a float: a plain decimal number, which readFloat always takes
// whole (a number out of range reads as an infinity), is counted without converting it.
bool readsAsFloat(std::string_view token)
{
    return (!token.empty() && plainDecimalEnd(token, 0) == token.size()) || readFloat(token).has_value();
}

// What a pass over the text found: the last size line's second token (and it as an integer),
// how many entries it holds, whether any line holds anything, and whether the bytes are UTF-8
// (looked at only when asked).
struct Scan {
    std::optional<std::string> sizeToken;
    std::optional<std::int64_t> size;
    std::int64_t entries = 0;
    bool content = false;
    bool utf8 = true;
};

// Bytes that may end a line or start a multi-byte sequence: LF, CR and every byte from 0x80.
struct LineBreakBytes {
    bool marks[256] = {};
    constexpr LineBreakBytes()
    {
        marks[static_cast<unsigned char>('\n')] = true;
        marks[static_cast<unsigned char>('\r')] = true;
        for (int byte = 0x80; byte < 256; ++byte) {
            marks[byte] = true;
        }
    }
};
constexpr LineBreakBytes lineBreakBytes;

// Classifies one line (already cut at its terminator) and counts it into `found`; an entry's four
// floats are appended to `values` when it is given.
void takeLine(std::string_view raw, Scan& found, std::vector<float>* values)
{
    const std::string_view view = trimmedLine(raw);
    if (view.empty()) {
        return;
    }
    found.content = true;
    if (view.front() == '#') {
        return;
    }
    std::string_view tokens[3];
    // Keyword lines start with a letter; entry lines almost never do.
    if (!isDigit(view.front()) && view.front() != '-' && view.front() != '.') {
        if (hasPrefixUppercased(view, "TITLE") || hasPrefixUppercased(view, "DOMAIN_")) {
            return;
        }
        if (hasPrefixUppercased(view, "LUT_3D_SIZE")) {
            if (tokenize(view, tokens, 2) >= 2) {
                found.sizeToken = std::string(tokens[1]);
                found.size = NumberText::parseInteger(tokens[1]);
            }
            return;
        }
    }
    if (tokenize(view, tokens, 3) < 3) {
        return;
    }
    if (values) {
        const auto r = readFloat(tokens[0]);
        const auto g = r ? readFloat(tokens[1]) : std::nullopt;
        const auto b = g ? readFloat(tokens[2]) : std::nullopt;
        if (b) {
            ++found.entries;
            values->insert(values->end(), {*r, *g, *b, 1.0f});
        }
        return;
    }
    if (readsAsFloat(tokens[0]) && readsAsFloat(tokens[1]) && readsAsFloat(tokens[2])) {
        ++found.entries;
    }
}

// Nearly every line of a LUT is an entry of three plain decimal numbers: such a line, read from
// text[i] to its LF, CR or CRLF (or the text's end), is counted here in one step, exactly as
// takeLine counts it. Returns where the next line starts, or nothing when the line is of any
// other form (takeLine then reads it).
std::optional<std::size_t> takePlainEntry(std::string_view text, std::size_t i, Scan& found, std::vector<float>* values)
{
    const std::size_t n = text.size();
    const auto isBlank = [&](std::size_t at) { return at < n && (text[at] == ' ' || text[at] == '\t'); };
    while (isBlank(i)) {
        ++i;
    }
    std::string_view tokens[3];
    for (std::string_view& token : tokens) {
        const std::size_t end = plainDecimalEnd(text, i);
        if (end == i) {
            return std::nullopt;
        }
        token = text.substr(i, end - i);
        i = end;
        if (&token != &tokens[2] && !isBlank(i)) {
            return std::nullopt;
        }
        while (isBlank(i)) {
            ++i;
        }
    }
    std::size_t next = n;
    if (i < n) {
        if (text[i] == '\n') {
            next = i + 1;
        } else if (text[i] == '\r') {
            next = i + 1 < n && text[i + 1] == '\n' ? i + 2 : i + 1;
        } else {
            return std::nullopt;
        }
    }
    if (values) {
        const auto r = readFloat(tokens[0]);
        const auto g = readFloat(tokens[1]);
        const auto b = readFloat(tokens[2]);
        if (!r || !g || !b) {
            return std::nullopt;
        }
        values->insert(values->end(), {*r, *g, *b, 1.0f});
    }
    found.content = true;
    ++found.entries;
    return next;
}

// The one pass over the text: lines split at the terminators of the format (LF, CR, CRLF, NEL,
// LS, PS), each taken by takePlainEntry or else takeLine. With `checkUtf8` the pass stops at the
// first byte that is not part of a well-formed UTF-8 sequence (found.utf8 false); without, such
// a byte is part of its line like any other.
Scan scan(std::string_view text, std::vector<float>* values, bool checkUtf8)
{
    // Editors on some systems start UTF-8 files with a byte-order mark; it is not part of the
    // first line (which is often the size line).
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    Scan found;
    const std::size_t n = text.size();
    std::size_t start = 0;
    std::size_t i = 0;
    while (true) {
        if (i == start && i < n) {
            if (const std::optional<std::size_t> next = takePlainEntry(text, i, found, values)) {
                i = start = *next;
                continue;
            }
        }
        while (i < n && !lineBreakBytes.marks[static_cast<unsigned char>(text[i])]) {
            ++i;
        }
        if (i == n) {
            break;
        }
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t terminator = 0;
        if (c == '\n') {
            terminator = 1;
        } else if (c == '\r') {
            terminator = i + 1 < n && text[i + 1] == '\n' ? 2 : 1;
        } else {
            const std::size_t length = Utf8::sequenceLength(text, i);
            if (length == 0) {
                if (checkUtf8) {
                    found.utf8 = false;
                    return found;
                }
                ++i;
                continue;
            }
            const bool nextLine = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) == 0x85;
            const bool separator = length == 3 && c == 0xE2 && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                                    static_cast<unsigned char>(text[i + 2]) == 0xA9);
            if (!nextLine && !separator) {
                i += length;
                continue;
            }
            terminator = length;
        }
        takeLine(text.substr(start, i - start), found, values);
        i += terminator;
        start = i;
    }
    takeLine(text.substr(start), found, values);
    return found;
}

// A size token as the refusal quotes it: whole up to 32 bytes, else its start and end joined by
// "…" (StringText::shortenedInMiddle), never invalid UTF-8.
std::string quotedToken(const std::string& token)
{
    constexpr std::size_t shown = 32;
    return Utf8::escapingInvalid(StringText::shortenedInMiddle(token, shown));
}

std::optional<Refusal> refusalOf(const Scan& found, const Demands& demands)
{
    if (!found.utf8) {
        return Refusal{1, "it is not UTF-8 text"};
    }
    if (!found.sizeToken) {
        return Refusal{1, found.content ? "it names no LUT_3D_SIZE" : "it is empty"};
    }
    if (!found.size) {
        return Refusal{1, "LUT_3D_SIZE " + quotedToken(*found.sizeToken) + " (needs a whole number)"};
    }
    const std::int64_t n = *found.size;
    const std::int64_t smallest = std::max<std::int64_t>(demands.smallestSize, 2);
    if (n < smallest) {
        return Refusal{1, "LUT_3D_SIZE " + quotedToken(*found.sizeToken) + " (needs " + std::to_string(smallest) +
                              " or more)"};
    }
    if (n > maxCountableSize || n * n * n > found.entries) {
        return Refusal{2, "it holds fewer entries than its LUT_3D_SIZE needs"};
    }
    return std::nullopt;
}

} // namespace

Lattice read(std::string_view text)
{
    Lattice lattice;
    lattice.values.reserve(143748); // a 33-point cube
    const Scan found = scan(text, &lattice.values, false);
    if (const std::optional<Refusal> refused = refusalOf(found, Demands{})) {
        throw Error("cube", refused->code, "The LUT cannot be read: " + refused->reason);
    }
    lattice.size = *found.size;
    lattice.values.resize(static_cast<std::size_t>(lattice.size * lattice.size * lattice.size * 4));
    return lattice;
}

std::optional<Refusal> refusal(std::string_view text, Demands demands)
{
    return refusalOf(scan(text, nullptr, demands.utf8), demands);
}

} // namespace velmora::CubeText
