#include "model/JsonDecoding.h"

#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <mutex>
#include <utility>

#include "model/JsonSplitParsing.h"
#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/foundation/Base64.h"
#include "platform/foundation/NumberText.h"
#include "platform/foundation/StringText.h"
#include "platform/foundation/Utf8.h"

namespace velmora {

namespace {

std::string joinPath(const CodingPath& path)
{
    std::string text;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (i > 0) {
            text += '.';
        }
        text += path[i];
    }
    return text;
}

std::string withPath(std::string description, const CodingPath& path)
{
    if (!path.empty()) {
        description += " (at " + joinPath(path) + ")";
    }
    return description;
}

std::string numberText(const nlohmann::json& value)
{
    if (value.is_number_integer() && !value.is_number_unsigned()) {
        return NumberText::integer(value.get<std::int64_t>());
    }
    if (value.is_number_unsigned()) {
        return std::to_string(value.get<std::uint64_t>());
    }
    return NumberText::shortest(value.get<double>());
}

// A number where a whole number of [min, max] belongs: "a whole number" for a fraction, the range
// for a whole number past it.
template <class Int>
[[noreturn]] void throwDoesNotFit(const nlohmann::json& value, const char* typeName, const CodingPlace& place)
{
    const CodingPath path = place.path();
    const bool whole = !value.is_number_float() || std::trunc(value.get<double>()) == value.get<double>();
    const std::string expected = whole ? "a whole number from " + NumberText::integer(std::numeric_limits<Int>::min()) +
                                             " to " + NumberText::integer(std::numeric_limits<Int>::max())
                                       : "a whole number";
    const std::string found = numberText(value);
    throw DecodingError(DecodingError::Kind::dataCorrupted, path, {},
        withPath("Parsed JSON number <" + found + "> does not fit in " + typeName + ".", path), found, expected);
}

// An integral JSON number within [min, max], else a data-corrupted failure.
template <class Int>
Int readInteger(const nlohmann::json& value, const CodingPlace& place, const char* typeName)
{
    if (!value.is_number()) {
        JsonDecoding::throwTypeMismatch(typeName, place.path(), value);
    }
    constexpr auto min = std::numeric_limits<Int>::min();
    constexpr auto max = std::numeric_limits<Int>::max();
    if (value.is_number_unsigned()) {
        const auto v = value.get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(max)) {
            throwDoesNotFit<Int>(value, typeName, place);
        }
        return static_cast<Int>(v);
    }
    if (value.is_number_integer()) {
        const auto v = value.get<std::int64_t>();
        if (v < static_cast<std::int64_t>(min) || v > static_cast<std::int64_t>(max)) {
            throwDoesNotFit<Int>(value, typeName, place);
        }
        return static_cast<Int>(v);
    }
    const double v = value.get<double>();
    // Both bounds are powers of two (or one less than one), so the comparisons are exact:
    // -2^63 <= v < 2^63 for 64-bit integers, INT_MIN <= v <= INT_MAX for narrower ones.
    const double lower = static_cast<double>(min);
    const double upperExclusive = -lower;
    const bool inRange = sizeof(Int) == 8 ? (v >= lower && v < upperExclusive)
                                          : (v >= lower && v <= static_cast<double>(max));
    if (!std::isfinite(v) || std::trunc(v) != v || !inRange) {
        throwDoesNotFit<Int>(value, typeName, place);
    }
    return static_cast<Int>(v);
}

} // namespace

DecodingError::DecodingError(Kind kind, CodingPath codingPath, std::string subject, std::string debugDescription,
                             std::string found, std::string expected)
    : std::runtime_error(debugDescription)
    , kind_(kind)
    , codingPath_(std::move(codingPath))
    , subject_(std::move(subject))
    , debugDescription_(std::move(debugDescription))
    , found_(std::move(found))
    , expected_(std::move(expected))
{
}

std::string DecodingError::pathText() const
{
    return joinPath(codingPath_);
}

std::string DecodingError::fieldText() const
{
    std::string text;
    for (const std::string& component : codingPath_) {
        if (component.starts_with("Index ")) {
            text += "[" + component.substr(6) + "]";
            continue;
        }
        if (!text.empty()) {
            text += '.';
        }
        text += component;
    }
    return text;
}

std::string DecodingError::expected() const
{
    if (!expected_.empty() || (kind_ != Kind::typeMismatch && kind_ != Kind::valueNotFound)) {
        return expected_;
    }
    // The readers' type names, as a person who writes the JSON by hand calls them.
    static constexpr std::pair<std::string_view, std::string_view> plainNames[] = {
        {"String", "text"},         {"Int", "a whole number"},           {"Double", "a number"},
        {"Bool", "true or false"}, {"Dictionary<String, Any>", "an object"}, {"Array<Any>", "a list"},
    };
    for (const auto& [typeName, plain] : plainNames) {
        if (subject_ == typeName) {
            return std::string(plain);
        }
    }
    return subject_;
}

std::string DecodingError::reason() const
{
    const std::string suffix = " (at " + pathText() + ")";
    if (!codingPath_.empty() && debugDescription_.ends_with(suffix)) {
        return debugDescription_.substr(0, debugDescription_.size() - suffix.size());
    }
    return debugDescription_;
}

namespace JsonDecoding {

namespace {

// The most of a token the parser quotes that a refusal shows.
constexpr std::size_t shownTokenBytes = 40;

// The parser's message with the token it quotes ("…; last read: 'tok'", "number overflow parsing
// 'tok'") shortened in the middle: the token runs to the end of the input it read, and a number
// of two million digits is quoted whole.
std::string withTokenShortened(std::string detail)
{
    std::size_t start = std::string::npos;
    for (const std::string_view opening : {std::string_view("last read: '"), std::string_view("parsing '")}) {
        if (const auto found = detail.find(opening); found != std::string::npos) {
            start = found + opening.size();
            break;
        }
    }
    if (start == std::string::npos) {
        return detail;
    }
    // The token ends where the message goes on ("'; expected …") or at the closing quote.
    std::size_t end = detail.rfind("'; expected ");
    if (end == std::string::npos || end < start) {
        end = detail.ends_with('\'') ? detail.size() - 1 : detail.size();
    }
    if (end < start || end - start <= shownTokenBytes) {
        return detail;
    }
    return detail.substr(0, start) +
           StringText::shortenedInMiddle(std::string_view(detail).substr(start, end - start), shownTokenBytes) +
           detail.substr(end);
}

// The open collection of this thread, or null (none, or paused).
thread_local FailureCollection* openCollection = nullptr;

} // namespace

FailureCollection::FailureCollection()
    : outer_(openCollection)
{
    openCollection = this;
}

FailureCollection::~FailureCollection()
{
    openCollection = outer_;
}

void FailureCollection::add(const DecodingError& failure)
{
    std::string field = failure.pathText();
    if (failure.kind() == DecodingError::Kind::keyNotFound) {
        field += '\n' + failure.missingKey();
    }
    if (!seen_.insert(std::move(field)).second) {
        return;
    }
    if (kept_.size() < keptFailures) {
        kept_.push_back(failure);
    }
}

ThrowingFailures::ThrowingFailures()
    : paused_(openCollection)
{
    openCollection = nullptr;
}

ThrowingFailures::~ThrowingFailures()
{
    openCollection = paused_;
}

bool isCollecting() noexcept
{
    return openCollection != nullptr;
}

void collectOrRethrow(const DecodingError& failure)
{
    if (!openCollection) {
        throw;
    }
    openCollection->add(failure);
    if (openCollection->count() >= FailureCollection::countedFailures) {
        throw FailureCollection::Enough{};
    }
}

Failures everyFailure(const std::function<void()>& read, const DecodingError& failure)
{
    FailureCollection collection;
    collection.add(failure);
    bool stopped = false;
    try {
        read();
    } catch (const DecodingError& escaped) {
        // A failure no field reader stands over (a top level that is not an object).
        collection.add(escaped);
    } catch (const FailureCollection::Enough&) {
        stopped = true;
    }
    return Failures{collection.failures(), collection.count(), stopped};
}

nlohmann::json parse(std::string_view text)
{
    try {
        return nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::exception& error) {
        // Syntax errors, and numbers beyond the range of a double (out_of_range.406), which are
        // malformed data too: no exception of the JSON library leaves a reader.
        // The parser quotes the bytes it last read, which may be the very bytes that are not
        // UTF-8: they are shown escaped.
        std::string detail = Utf8::escapingInvalid(error.what());
        // nlohmann prefixes its messages with "[json.exception.parse_error.101] ".
        if (const auto bracket = detail.find("] "); detail.starts_with("[json.exception") && bracket != std::string::npos) {
            detail.erase(0, bracket + 2);
        }
        throw DecodingError(DecodingError::Kind::dataCorrupted, {}, {},
            "The given data was not valid JSON (" + withTokenShortened(std::move(detail)) + ").");
    }
}

void readSideBySide(std::size_t count, const std::function<void(std::size_t)>& read)
{
    // The lowest index that failed so far, and what it threw; indices past it need not be read.
    std::atomic<std::size_t> firstFailed{count};
    std::exception_ptr failure;
    std::mutex failing;
    concurrentPerform(count, 64, [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end && i < firstFailed.load(std::memory_order_relaxed); ++i) {
            try {
                read(i);
            } catch (...) {
                const std::lock_guard lock(failing);
                if (i < firstFailed.load(std::memory_order_relaxed)) {
                    firstFailed.store(i, std::memory_order_relaxed);
                    failure = std::current_exception();
                }
                return;
            }
        }
    });
    if (failure) {
        std::rethrow_exception(failure);
    }
}

std::optional<nlohmann::json> tryParse(std::string_view text) noexcept
{
    return JsonSplitParsing::tryParse(text);
}

std::string describeJsonType(const nlohmann::json& value)
{
    switch (value.type()) {
    case nlohmann::json::value_t::null:
        return "null";
    case nlohmann::json::value_t::boolean:
        return "a boolean";
    case nlohmann::json::value_t::string:
        return "a string";
    case nlohmann::json::value_t::array:
        return "an array";
    case nlohmann::json::value_t::object:
        return "a dictionary";
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float:
        return "a number";
    default:
        return "an unknown value";
    }
}

void throwTypeMismatch(const std::string& expectedType, const CodingPath& path, const nlohmann::json& found)
{
    throw DecodingError(DecodingError::Kind::typeMismatch, path, expectedType,
        withPath("Expected to decode " + expectedType + " but found " + describeJsonType(found) + " instead.", path),
        quotedValue(found));
}

namespace {

std::string dumpedScalar(const nlohmann::json& value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// `value` as dump() writes it on one line, appended to `text` only until `text` holds more than
// `limit` bytes: a list nested a million deep, or a long text, is written no further than shown
// (and recursion goes no deeper than `limit`).
void appendWritten(std::string& text, const nlohmann::json& value, std::size_t limit)
{
    if (text.size() > limit) {
        return;
    }
    if (value.is_string()) {
        const std::string& whole = value.get_ref<const std::string&>();
        // A cut through a character is written as a replacement character, past what is shown.
        text += dumpedScalar(whole.size() > limit ? nlohmann::json(whole.substr(0, limit + 1)) : value);
        return;
    }
    if (!value.is_structured()) {
        text += dumpedScalar(value);
        return;
    }
    const bool object = value.is_object();
    text += object ? '{' : '[';
    bool first = true;
    for (const auto& item : value.items()) {
        if (text.size() > limit) {
            return;
        }
        if (!first) {
            text += ',';
        }
        first = false;
        if (object) {
            text += dumpedScalar(nlohmann::json(item.key())) + ':';
        }
        appendWritten(text, item.value(), limit);
    }
    text += object ? '}' : ']';
}

} // namespace

std::string quotedValue(const nlohmann::json& value)
{
    constexpr std::size_t kShownBytes = 40;
    std::string text;
    appendWritten(text, value, kShownBytes);
    if (text.size() <= kShownBytes) {
        return text;
    }
    std::size_t cut = kShownBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    text.resize(cut);
    return text + "…";
}

void throwValueNotFound(const std::string& expectedType, const CodingPath& path)
{
    throw DecodingError(DecodingError::Kind::valueNotFound, path, expectedType,
        withPath("Expected " + expectedType + " value but found null instead.", path), "null");
}

CodingPath appending(const CodingPath& path, std::string component)
{
    CodingPath result;
    result.reserve(path.size() + 1);
    result = path;
    result.push_back(std::move(component));
    return result;
}

std::string indexComponent(std::size_t index)
{
    return "Index " + std::to_string(index);
}

void throwDataCorrupted(std::string description, const CodingPath& path)
{
    throw DecodingError(DecodingError::Kind::dataCorrupted, path, {}, withPath(std::move(description), path));
}

} // namespace JsonDecoding

std::string JsonValueReader<std::string>::read(const nlohmann::json& value, const CodingPlace& place)
{
    if (!value.is_string()) {
        JsonDecoding::throwTypeMismatch(typeName, place.path(), value);
    }
    return value.get<std::string>();
}

bool JsonValueReader<bool>::read(const nlohmann::json& value, const CodingPlace& place)
{
    if (!value.is_boolean()) {
        JsonDecoding::throwTypeMismatch(typeName, place.path(), value);
    }
    return value.get<bool>();
}

int JsonValueReader<int>::read(const nlohmann::json& value, const CodingPlace& place)
{
    return readInteger<int>(value, place, typeName);
}

std::int64_t JsonValueReader<std::int64_t>::read(const nlohmann::json& value, const CodingPlace& place)
{
    return readInteger<std::int64_t>(value, place, typeName);
}

double JsonValueReader<double>::read(const nlohmann::json& value, const CodingPlace& place)
{
    if (!value.is_number()) {
        JsonDecoding::throwTypeMismatch(typeName, place.path(), value);
    }
    return value.get<double>();
}

FlexibleBool JsonValueReader<FlexibleBool>::read(const nlohmann::json& value, const CodingPlace&)
{
    if (value.is_boolean()) {
        return FlexibleBool{value.get<bool>()};
    }
    if (value.is_number()) {
        return FlexibleBool{value.get<double>() != 0.0};
    }
    if (value.is_string()) {
        const std::string text = StringText::lowercased(StringText::trimmed(value.get_ref<const std::string&>()));
        return FlexibleBool{text == "1" || text == "true" || text == "yes" || text == "y"};
    }
    return FlexibleBool{false};
}

std::vector<std::uint8_t> JsonValueReader<std::vector<std::uint8_t>>::read(const nlohmann::json& value,
                                                                         const CodingPlace& place)
{
    if (!value.is_string()) {
        JsonDecoding::throwTypeMismatch(typeName, place.path(), value);
    }
    auto bytes = Base64::decode(value.get_ref<const std::string&>());
    if (!bytes) {
        const CodingPath path = place.path();
        throw DecodingError(DecodingError::Kind::dataCorrupted, path, {},
            withPath("Encountered Data is not valid Base64.", path));
    }
    return std::move(*bytes);
}

CodingPath CodingPlace::path() const
{
    switch (kind_) {
    case Kind::key: return JsonDecoding::appending(*base_, std::string(key_));
    case Kind::index: return JsonDecoding::appending(*base_, JsonDecoding::indexComponent(index_));
    case Kind::value: break;
    }
    return *base_;
}

KeyedContainer::KeyedContainer(const nlohmann::json& object, CodingPath path)
    : object_(&object)
    , path_(std::move(path))
{
}

KeyedContainer KeyedContainer::root(const nlohmann::json& document)
{
    if (!document.is_object()) {
        JsonDecoding::throwTypeMismatch("Dictionary<String, Any>", {}, document);
    }
    return KeyedContainer(document, {});
}

bool KeyedContainer::contains(std::string_view key) const
{
    return value(key) != nullptr;
}

bool KeyedContainer::isAbsentOrNull(std::string_view key) const
{
    const nlohmann::json* v = value(key);
    return !v || v->is_null();
}

const nlohmann::json* KeyedContainer::value(std::string_view key) const
{
    const auto it = object_->find(key);
    return it == object_->end() ? nullptr : &*it;
}

CodingPath KeyedContainer::pathFor(std::string_view key) const
{
    return JsonDecoding::appending(path_, std::string(key));
}

KeyedContainer KeyedContainer::nestedContainer(std::string_view key) const
{
    const nlohmann::json* v = value(key);
    if (!v) {
        throwKeyNotFound(key);
    }
    CodingPath path = pathFor(key);
    if (v->is_null()) {
        JsonDecoding::throwValueNotFound("Dictionary<String, Any>", path);
    }
    if (!v->is_object()) {
        JsonDecoding::throwTypeMismatch("Dictionary<String, Any>", path, *v);
    }
    return KeyedContainer(*v, std::move(path));
}

void KeyedContainer::throwKeyNotFound(std::string_view key) const
{
    throw DecodingError(DecodingError::Kind::keyNotFound, path_, std::string(key),
        withPath("No value associated with key \"" + std::string(key) + "\".", path_));
}

namespace FlexibleJSON {

std::optional<std::string> string(const KeyedContainer& container, std::string_view key)
{
    const nlohmann::json* v = container.value(key);
    if (!v) {
        return std::nullopt;
    }
    if (v->is_string()) {
        return v->get<std::string>();
    }
    if (!v->is_number()) {
        return std::nullopt;
    }
    try {
        return NumberText::integer(JsonValueReader<std::int64_t>::read(*v, container.pathFor(key)));
    } catch (const DecodingError&) {
    }
    return NumberText::shortest(v->get<double>());
}

} // namespace FlexibleJSON

} // namespace velmora
