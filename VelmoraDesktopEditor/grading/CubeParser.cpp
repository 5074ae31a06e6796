#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <optional>
#include <string>

#include "grading/CubeLUT.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"

namespace velmora {

std::vector<float> CubeLUT::floats() const
{
    std::vector<float> out(data.size() / sizeof(float));
    if (!out.empty()) {
        std::memcpy(out.data(), data.data(), out.size() * sizeof(float));
    }
    return out;
}

CubeLUT CubeLUT::fromFloats(std::int64_t size, const std::vector<float>& floats)
{
    CubeLUT cube;
    cube.size = size;
    cube.data.resize(floats.size() * sizeof(float));
    if (!floats.empty()) {
        std::memcpy(cube.data.data(), floats.data(), cube.data.size());
    }
    return cube;
}

namespace Exporter {

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
    const std::string text(token);
    if (text.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    const float value = strtof_l(text.c_str(), &end, cLocale());
    if (end != text.c_str() + text.size()) {
        return std::nullopt;
    }
    return value;
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

} // namespace

CubeLUT parseCube(std::string_view text)
{
    // Editors on some systems start UTF-8 files with a byte-order mark; it is not part of the
    // first line (which is often the size line).
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    std::optional<std::int64_t> size;
    std::vector<float> values;
    values.reserve(143748); // a 33-point cube

    forEachLine(text, [&](std::string_view raw) {
        const std::string line = StringText::trimmed(raw);
        if (line.empty() || line.front() == '#') {
            return;
        }
        const std::string_view view(line);
        if (hasPrefixUppercased(view, "TITLE") || hasPrefixUppercased(view, "DOMAIN_")) {
            return;
        }
        std::string_view tokens[3];
        if (hasPrefixUppercased(view, "LUT_3D_SIZE")) {
            if (tokenize(view, tokens, 2) >= 2) {
                size = NumberText::parseInteger(tokens[1]);
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
        values.push_back(*r);
        values.push_back(*g);
        values.push_back(*b);
        values.push_back(1.0f);
    });

    if (!size || *size < 2) {
        throw Error("cube", 1, "");
    }
    const std::int64_t n = *size;
    const std::int64_t entries = static_cast<std::int64_t>(values.size() / 4);
    if (n > maxCountableSize || n * n * n > entries) {
        throw Error("cube", 2, "");
    }
    values.resize(static_cast<std::size_t>(n * n * n * 4));
    return CubeLUT::fromFloats(n, values);
}

} // namespace Exporter

} // namespace velmora
