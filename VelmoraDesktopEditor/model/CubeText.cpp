#include "model/CubeText.h"

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

// The line without white space at either end, as StringText::trimmed takes it: a view into the
// line where its ends are ASCII (every entry line), else into `spare`.
std::string_view trimmedLine(std::string_view line, std::string& spare)
{
    while (!line.empty() && isCSpace(line.front())) {
        line.remove_prefix(1);
    }
    while (!line.empty() && isCSpace(line.back())) {
        line.remove_suffix(1);
    }
    if (!line.empty() && (static_cast<unsigned char>(line.front()) >= 0x80 ||
                          static_cast<unsigned char>(line.back()) >= 0x80)) {
        spare = StringText::trimmed(line);
        return spare;
    }
    return line;
}

// Splits on the line terminators of the format: LF, CR, CRLF, NEL, LS, PS.
template <class Fn>
void forEachLine(std::string_view text, Fn&& fn)
{
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t terminator = 0;
        if (c == '\n') {
            terminator = 1;
        } else if (c == '\r') {
            terminator = (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85) {
            terminator = 2;
        } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            terminator = 3;
        }
        if (terminator == 0) {
            ++i;
            continue;
        }
        fn(text.substr(start, i - start));
        i += terminator;
        start = i;
    }
    fn(text.substr(start));
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

// What a pass over the text found: the last size line's second token (and it as an integer),
// and how many entries it holds.
struct Scan {
    std::optional<std::string> sizeToken;
    std::optional<std::int64_t> size;
    std::int64_t entries = 0;
};

// One pass over the text; each entry's four floats are appended to `values` when it is given.
Scan scan(std::string_view text, std::vector<float>* values)
{
    // Editors on some systems start UTF-8 files with a byte-order mark; it is not part of the
    // first line (which is often the size line).
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    Scan found;
    std::string spare;
    forEachLine(text, [&](std::string_view raw) {
        const std::string_view view = trimmedLine(raw, spare);
        if (view.empty() || view.front() == '#') {
            return;
        }
        if (hasPrefixUppercased(view, "TITLE") || hasPrefixUppercased(view, "DOMAIN_")) {
            return;
        }
        std::string_view tokens[3];
        if (hasPrefixUppercased(view, "LUT_3D_SIZE")) {
            if (tokenize(view, tokens, 2) >= 2) {
                found.sizeToken = std::string(tokens[1]);
                found.size = NumberText::parseInteger(tokens[1]);
            }
            return;
        }
        if (tokenize(view, tokens, 3) < 3) {
            return;
        }
        const auto r = readFloat(tokens[0]);
        const auto g = r ? readFloat(tokens[1]) : std::nullopt;
        const auto b = g ? readFloat(tokens[2]) : std::nullopt;
        if (!b) {
            return;
        }
        ++found.entries;
        if (values) {
            values->insert(values->end(), {*r, *g, *b, 1.0f});
        }
    });
    return found;
}

// A size token as the refusal quotes it: at most 32 bytes, never invalid UTF-8.
std::string quotedToken(const std::string& token)
{
    constexpr std::size_t shown = 32;
    return token.size() <= shown ? Utf8::escapingInvalid(token)
                                 : Utf8::escapingInvalid(token.substr(0, shown)) + "\u2026";
}

std::optional<Refusal> refusalOf(const Scan& found)
{
    if (!found.sizeToken) {
        return Refusal{1, "it names no LUT_3D_SIZE"};
    }
    if (!found.size) {
        return Refusal{1, "LUT_3D_SIZE " + quotedToken(*found.sizeToken) + " (needs a whole number)"};
    }
    const std::int64_t n = *found.size;
    if (n < 2) {
        return Refusal{1, "LUT_3D_SIZE " + quotedToken(*found.sizeToken) + " (needs 2 or more)"};
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
    const Scan found = scan(text, &lattice.values);
    if (const std::optional<Refusal> refused = refusalOf(found)) {
        throw Error("cube", refused->code, "The LUT cannot be read: " + refused->reason);
    }
    lattice.size = *found.size;
    lattice.values.resize(static_cast<std::size_t>(lattice.size * lattice.size * lattice.size * 4));
    return lattice;
}

std::optional<Refusal> refusal(std::string_view text)
{
    return refusalOf(scan(text, nullptr));
}

} // namespace velmora::CubeText
