#include "model/JsonSplitParsing.h"

#include <atomic>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/dispatch/ConcurrentPerform.h"

namespace velmora::JsonSplitParsing {

namespace {

using json = nlohmann::json;

// An array is parsed in pieces when it has at least this many elements and bytes of text.
constexpr std::size_t splitElements = 1024;
constexpr std::size_t splitBytes = 256 * 1024;
// The elements of a piece take at least this many bytes of text.
constexpr std::size_t pieceBytes = 64 * 1024;

std::optional<json> parseWhole(std::string_view text) noexcept
{
    try {
        json value = json::parse(text.begin(), text.end(), nullptr, false);
        if (value.is_discarded()) {
            return std::nullopt;
        }
        return value;
    } catch (...) {
        return std::nullopt;
    }
}

// A long array of the text: where its brackets are, where each of its elements ends (at the
// comma after it, or at the closing bracket), and which of the skeleton's arrays stands for it.
struct LongArray {
    std::size_t open = 0;
    std::size_t close = 0;
    std::vector<std::size_t> ends;
    // Its number among the arrays of the text in the order they open, and the number of arrays
    // inside it.
    std::size_t ordinal = 0;
    std::size_t nested = 0;
};

// The long arrays that lie inside no other long array, in the order of the text. None when the
// brackets do not pair up or a string does not end: one parse of the text then says what is
// wrong. Text that pairs up but is not JSON is found out when its parts are parsed.
std::optional<std::vector<LongArray>> findLongArrays(std::string_view text)
{
    struct Open {
        bool array = false;
        std::size_t at = 0;
        std::size_t ordinal = 0;
        std::vector<std::size_t> commas;
    };
    std::vector<Open> open;
    std::vector<LongArray> found;
    std::size_t arrays = 0;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* p = begin; p < end; ++p) {
        const std::size_t at = static_cast<std::size_t>(p - begin);
        switch (*p) {
        case '"': {
            // To the quote that ends the string: one after an even number of backslashes.
            const char* quote = p + 1;
            for (;;) {
                quote = static_cast<const char*>(std::memchr(quote, '"', static_cast<std::size_t>(end - quote)));
                if (!quote) {
                    return std::nullopt;
                }
                const char* escapes = quote;
                while (escapes > p + 1 && escapes[-1] == '\\') {
                    --escapes;
                }
                if ((quote - escapes) % 2 == 0) {
                    break;
                }
                ++quote;
            }
            p = quote;
            break;
        }
        case '[':
            open.push_back({true, at, arrays++, {}});
            break;
        case '{':
            open.push_back({false, at, 0, {}});
            break;
        case ',':
            if (!open.empty() && open.back().array) {
                open.back().commas.push_back(at);
            }
            break;
        case ']':
        case '}': {
            if (open.empty() || open.back().array != (*p == ']')) {
                return std::nullopt;
            }
            Open closed = std::move(open.back());
            open.pop_back();
            if (!closed.array || closed.commas.size() + 1 < splitElements || at - closed.at < splitBytes) {
                break;
            }
            // The long arrays inside this one were found before it, last: it takes their place.
            while (!found.empty() && found.back().open > closed.at) {
                found.pop_back();
            }
            LongArray array;
            array.open = closed.at;
            array.close = at;
            array.ends = std::move(closed.commas);
            array.ends.push_back(at);
            array.ordinal = closed.ordinal;
            array.nested = arrays - closed.ordinal - 1;
            found.push_back(std::move(array));
            break;
        }
        default:
            break;
        }
    }
    if (!open.empty()) {
        return std::nullopt;
    }
    return found;
}

// One step from a value to one inside it.
struct Step {
    bool isKey = false;
    std::string key;
    std::size_t index = 0;
};
using Path = std::vector<Step>;

// Reads the skeleton (the text with each long array emptied) without building it, and notes
// where the arrays numbered in `wanted` (ascending) sit. A key met twice in one object makes the
// places unreliable (the later value replaces the earlier): `repeatedKey` then says so.
class ArrayPlaces final : public nlohmann::json_sax<json> {
public:
    explicit ArrayPlaces(std::vector<std::size_t> wanted) : wanted_(std::move(wanted)) {}

    std::vector<Path> places;
    bool repeatedKey = false;

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t&) override { return value(); }
    bool string(string_t&) override { return value(); }
    bool binary(binary_t&) override { return value(); }
    bool start_object(std::size_t) override
    {
        value();
        levels_.push_back({});
        return true;
    }
    bool key(string_t& key) override
    {
        Level& level = levels_.back();
        if (!level.keys.insert(key).second) {
            repeatedKey = true;
        }
        level.key = key;
        return true;
    }
    bool end_object() override
    {
        levels_.pop_back();
        return true;
    }
    bool start_array(std::size_t) override
    {
        value();
        if (next_ < wanted_.size() && wanted_[next_] == arrays_) {
            Path path;
            for (const Level& level : levels_) {
                path.push_back(level.array ? Step{false, {}, level.count - 1} : Step{true, level.key, 0});
            }
            places.push_back(std::move(path));
            ++next_;
        }
        ++arrays_;
        Level level;
        level.array = true;
        levels_.push_back(std::move(level));
        return true;
    }
    bool end_array() override
    {
        levels_.pop_back();
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::json::exception&) override { return false; }

private:
    struct Level {
        bool array = false;
        std::size_t count = 0;
        std::string key;
        std::set<std::string> keys;
    };

    // Every value counts as the next element of the array it is in.
    bool value()
    {
        if (!levels_.empty() && levels_.back().array) {
            ++levels_.back().count;
        }
        return true;
    }

    std::vector<std::size_t> wanted_;
    std::size_t next_ = 0;
    std::size_t arrays_ = 0;
    std::vector<Level> levels_;
};

// A run of consecutive elements of one long array.
struct Piece {
    std::size_t array = 0;
    std::size_t first = 0;
    std::size_t last = 0; // past the end
};

std::size_t elementStart(const LongArray& array, std::size_t element)
{
    return element == 0 ? array.open + 1 : array.ends[element - 1] + 1;
}

std::vector<Piece> piecesOf(const std::vector<LongArray>& arrays)
{
    std::vector<Piece> pieces;
    for (std::size_t a = 0; a < arrays.size(); ++a) {
        const LongArray& array = arrays[a];
        std::size_t first = 0;
        for (std::size_t element = 0; element < array.ends.size(); ++element) {
            if (array.ends[element] - elementStart(array, first) >= pieceBytes || element + 1 == array.ends.size()) {
                pieces.push_back({a, first, element + 1});
                first = element + 1;
            }
        }
    }
    return pieces;
}

std::optional<json> parseSplit(std::string_view text, const std::vector<LongArray>& arrays)
{
    // The skeleton: every long array emptied, its place noted by its number among its arrays.
    std::string skeleton;
    std::vector<std::size_t> wanted;
    std::size_t from = 0;
    std::size_t removed = 0;
    for (const LongArray& array : arrays) {
        skeleton.append(text.substr(from, array.open + 1 - from));
        skeleton.push_back(']');
        from = array.close + 1;
        wanted.push_back(array.ordinal - removed);
        removed += array.nested;
    }
    skeleton.append(text.substr(from));
    // The skeleton is read twice (its places, then its tree): where it is most of the text, one
    // parse of the whole is quicker.
    if (skeleton.size() > text.size() / 4) {
        return std::nullopt;
    }

    // The skeleton first, then the elements piece by piece, side by side.
    const std::vector<Piece> pieces = piecesOf(arrays);
    std::vector<json> parsed(pieces.size());
    std::atomic<bool> failed{false};
    ArrayPlaces places(std::move(wanted));
    json tree;
    concurrentPerform(pieces.size() + 1, 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t job = begin; job < end && !failed.load(std::memory_order_relaxed); ++job) {
            if (job == 0) {
                if (!json::sax_parse(skeleton, &places) || places.repeatedKey || places.places.size() != arrays.size()) {
                    failed = true;
                    continue;
                }
                tree = json::parse(skeleton, nullptr, false);
                continue;
            }
            const std::size_t i = job - 1;
            const Piece& piece = pieces[i];
            const LongArray& array = arrays[piece.array];
            const std::size_t start = elementStart(array, piece.first);
            std::string elements;
            elements.reserve(array.ends[piece.last - 1] - start + 2);
            elements.push_back('[');
            elements.append(text.substr(start, array.ends[piece.last - 1] - start));
            elements.push_back(']');
            parsed[i] = json::parse(elements, nullptr, false);
            // A piece that reads as some other number of elements was not cut between elements:
            // the text is not JSON, and one parse says so.
            if (!parsed[i].is_array() || parsed[i].size() != piece.last - piece.first) {
                failed = true;
            }
        }
    });
    if (failed || tree.is_discarded()) {
        return std::nullopt;
    }

    // Each long array's elements into its empty place, in order.
    std::size_t next = 0;
    for (std::size_t a = 0; a < arrays.size(); ++a) {
        json* place = &tree;
        for (const Step& step : places.places[a]) {
            place = step.isKey ? &place->at(step.key) : &place->at(step.index);
        }
        json::array_t& elements = place->get_ref<json::array_t&>();
        elements.reserve(arrays[a].ends.size());
        for (; next < pieces.size() && pieces[next].array == a; ++next) {
            for (json& element : parsed[next].get_ref<json::array_t&>()) {
                elements.push_back(std::move(element));
            }
        }
    }
    return tree;
}

} // namespace

std::optional<json> tryParse(std::string_view text) noexcept
{
    if (text.size() < minimumSplitBytes) {
        return parseWhole(text);
    }
    try {
        const std::optional<std::vector<LongArray>> arrays = findLongArrays(text);
        if (arrays && !arrays->empty()) {
            if (std::optional<json> tree = parseSplit(text, *arrays)) {
                return tree;
            }
        }
    } catch (...) {
        // Out of memory or threads on the way: one parse gives the answer, or fails alike.
    }
    return parseWhole(text);
}

} // namespace velmora::JsonSplitParsing
