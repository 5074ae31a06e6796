#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/FlexibleBool.h"

// The strict JSON record reader shared by the session, job and single-video job decoders.
//
// Rules: keys match exactly and case-sensitively; an absent key or JSON null gives an absent
// optional value; a string field takes only a JSON string, an integer field only a JSON number
// with an integral value, a float field any JSON number, a boolean field only true or false;
// keys a record does not read are ignored. Every failure throws DecodingError carrying the coding
// path from the document root to the failing value (keys, and "Index N" for array positions).
// Inside a JsonDecoding::FailureCollection the same readers read on past each failure instead,
// so that one reading finds every failure of a document.

namespace velmora {

using CodingPath = std::vector<std::string>;

// A JSON document that does not decode into the requested record.
class DecodingError : public std::runtime_error {
public:
    enum class Kind {
        typeMismatch,  // a present value of another JSON type
        valueNotFound, // null where a value is required
        keyNotFound,   // a required key is absent
        dataCorrupted, // not JSON, or a value that cannot be represented (5.5 as an integer, bad base64)
    };

    // `subject` is the expected type's name for typeMismatch and valueNotFound, the missing key
    // for keyNotFound, and unused for dataCorrupted. `found` is the value met, as JSON writes it
    // (JsonDecoding::quotedValue), and `expected` what belongs there in plain words ("a whole
    // number"), where the reader knows them.
    DecodingError(Kind kind, CodingPath codingPath, std::string subject, std::string debugDescription,
                  std::string found = {}, std::string expected = {});

    Kind kind() const noexcept { return kind_; }
    const CodingPath& codingPath() const noexcept { return codingPath_; }
    // Unqualified name of the expected type ("String", "Int", "Double", "Bool",
    // "Dictionary<String, Any>", "Array<Any>").
    const std::string& expectedType() const noexcept { return subject_; }
    const std::string& missingKey() const noexcept { return subject_; }
    const std::string& debugDescription() const noexcept { return debugDescription_; }

    // The coding path joined with ".": "timelines.Index 0.clips.Index 2.type".
    std::string pathText() const;
    // The coding path as a person reads it, array positions in brackets:
    // "timelines[0].clips[2].type"; empty at the document's top level.
    std::string fieldText() const;

    // The value met where the failure happened, as JSON writes it; empty when not known.
    const std::string& found() const noexcept { return found_; }
    // What belongs where the failure happened, in plain words ("a number", "text", "a whole
    // number"); empty for a key not found and for a failure in words of its own (text that is
    // not JSON, a size out of range).
    std::string expected() const;
    // The description without the " (at …)" naming the path that ends it.
    std::string reason() const;

private:
    Kind kind_;
    CodingPath codingPath_;
    std::string subject_;
    std::string debugDescription_;
    std::string found_;
    std::string expected_;
};

namespace JsonDecoding {

// Parses a whole document. Invalid JSON (including empty or blank text and invalid UTF-8)
// throws DecodingError::dataCorrupted with an empty coding path.
nlohmann::json parse(std::string_view text);

// Parses without throwing; nothing for invalid JSON. A large document is parsed on several
// threads (see JsonSplitParsing).
std::optional<nlohmann::json> tryParse(std::string_view text) noexcept;

// "a number", "a string", "null", … for error texts.
std::string describeJsonType(const nlohmann::json& value);

// The value as JSON writes it, for a refusal that quotes what it found: "\"abc\"", "5.5",
// "[1,2]"; cut after 40 bytes (at a character's start) with "…".
std::string quotedValue(const nlohmann::json& value);

[[noreturn]] void throwTypeMismatch(const std::string& expectedType, const CodingPath& path, const nlohmann::json& found);
[[noreturn]] void throwValueNotFound(const std::string& expectedType, const CodingPath& path);
// A value that is there but cannot be used: DecodingError::dataCorrupted, its description
// followed by " (at " + the path + ")".
[[noreturn]] void throwDataCorrupted(std::string description, const CodingPath& path);

CodingPath appending(const CodingPath& path, std::string component);
std::string indexComponent(std::size_t index);

// Arrays of records of at least this many elements are read side by side (readSideBySide),
// unless a failure collection is open.
inline constexpr std::size_t sideBySideElements = 1024;

// Failures gathered rather than thrown. While a collection is open on a thread, the readers of
// this file (KeyedContainer, the array reader, readField) on that thread read on past a value
// they cannot use: the failure is kept here, and the field it is about reads as absent (a
// required one as its type's default value). What such a reading returns is never to be used;
// it is read for its failures. Collections nest: the innermost one open gathers. The fast path
// of a valid document opens none: a reader runs strictly first and collects (everyFailure) only
// once it has failed.
class FailureCollection {
public:
    // Kept in full: the first few failures, for a refusal that quotes them.
    static constexpr std::size_t keptFailures = 3;
    // Counted: at this many the reading stops (collectOrRethrow throws Enough), so that a document
    // broken throughout costs no more to refuse than one broken this often.
    static constexpr std::size_t countedFailures = 1000;
    // Thrown through the readers, none of which catches it, to whoever opened the collection
    // (everyFailure).
    struct Enough {};

    FailureCollection();
    ~FailureCollection();
    FailureCollection(const FailureCollection&) = delete;
    FailureCollection& operator=(const FailureCollection&) = delete;

    // Keeps `failure` unless one about the same field (and missing key) came before.
    void add(const DecodingError& failure);
    // The first failures in the order they were met, at most keptFailures.
    const std::vector<DecodingError>& failures() const noexcept { return kept_; }
    // How many different failures were met, those not kept included.
    std::size_t count() const noexcept { return seen_.size(); }

private:
    std::vector<DecodingError> kept_;
    std::unordered_set<std::string> seen_;
    FailureCollection* outer_;
};

// While one lives on a thread, failures there are thrown as ever even inside an open collection:
// for a lenient reader that catches a failure to drop what it could not read (a clip's broken
// grade object), where that failure is no failure of the document.
class ThrowingFailures {
public:
    ThrowingFailures();
    ~ThrowingFailures();
    ThrowingFailures(const ThrowingFailures&) = delete;
    ThrowingFailures& operator=(const ThrowingFailures&) = delete;

private:
    FailureCollection* paused_;
};

// Whether a collection is open on this thread (and not paused by ThrowingFailures).
bool isCollecting() noexcept;

// For the handler of a DecodingError: keeps `failure` in this thread's open collection (and
// throws FailureCollection::Enough once it has counted enough), or, with none open, throws the
// exception being handled on (so it must be called inside that handler).
void collectOrRethrow(const DecodingError& failure);

// `read()` as the reading of one field: its failure thrown on, or, in an open collection, kept
// and the field read as its type's default value (nothing for an optional one).
template <class Read>
auto readField(Read&& read) -> decltype(read())
{
    using Result = decltype(read());
    if constexpr (std::is_void_v<Result>) {
        try {
            read();
        } catch (const DecodingError& failure) {
            collectOrRethrow(failure);
        }
    } else {
        try {
            return read();
        } catch (const DecodingError& failure) {
            collectOrRethrow(failure);
            return Result{};
        }
    }
}

// Every failure a reading meets when it reads on past each.
struct Failures {
    // The first few, in the order met (at most FailureCollection::keptFailures).
    std::vector<DecodingError> first;
    // How many in all; at least first.size().
    std::size_t count = 0;
    // Whether the reading stopped at FailureCollection::countedFailures: `count` is then a least.
    bool countStopped = false;
};

// `read` run again in a collection of its own, after a strict run of it failed with `failure`:
// every failure it meets, `failure` first.
Failures everyFailure(const std::function<void()>& read, const DecodingError& failure);

// Runs read(i) for every i in [0, count) on the worker pool, and then rethrows what the lowest i
// that failed threw: the failure reading them in order would have stopped at. `read` is called
// on several threads at once.
void readSideBySide(std::size_t count, const std::function<void(std::size_t)>& read);

} // namespace JsonDecoding

// Where a value sits in the document: the coding path of a failure, made only when one is
// thrown (reading every field of thousands of records must not copy the path for each field).
// Borrows what it is made of: it lives no longer than the call it is passed to.
class CodingPlace {
public:
    // The value at `path`.
    CodingPlace(const CodingPath& path) : base_(&path) {}
    // The value under `key` of the object at `base`.
    CodingPlace(const CodingPath& base, std::string_view key) : base_(&base), key_(key), kind_(Kind::key) {}
    // Element `index` of the array at `base`.
    CodingPlace(const CodingPath& base, std::size_t index) : base_(&base), index_(index), kind_(Kind::index) {}

    CodingPath path() const;

private:
    enum class Kind { value, key, index };
    const CodingPath* base_;
    std::string_view key_;
    std::size_t index_ = 0;
    Kind kind_ = Kind::value;
};

class KeyedContainer;

// How a record is read from a JSON object. By default a record's own
// `static T decode(const KeyedContainer&)`; a reader may specialise this in its source file for
// records that declare no decoder of their own.
template <class T>
struct JsonDecodable {
    static T decode(const KeyedContainer& container) { return T::decode(container); }
};

// How one JSON value becomes a T. Records (JSON objects) by default; the specialisations below
// cover strings, numbers, booleans, FlexibleBool, base64 data and arrays.
template <class T>
struct JsonValueReader {
    static constexpr const char* typeName = "Dictionary<String, Any>";
    // A record's reader reads nothing but its own object: several may run at once.
    static constexpr bool readsRecord = true;
    static T read(const nlohmann::json& value, const CodingPlace& place);
};

template <>
struct JsonValueReader<std::string> {
    static constexpr const char* typeName = "String";
    static std::string read(const nlohmann::json& value, const CodingPlace& place);
};

template <>
struct JsonValueReader<bool> {
    static constexpr const char* typeName = "Bool";
    static bool read(const nlohmann::json& value, const CodingPlace& place);
};

template <>
struct JsonValueReader<int> {
    static constexpr const char* typeName = "Int";
    static int read(const nlohmann::json& value, const CodingPlace& place);
};

template <>
struct JsonValueReader<std::int64_t> {
    static constexpr const char* typeName = "Int";
    static std::int64_t read(const nlohmann::json& value, const CodingPlace& place);
};

template <>
struct JsonValueReader<double> {
    static constexpr const char* typeName = "Double";
    static double read(const nlohmann::json& value, const CodingPlace& place);
};

// Lenient: never fails on a present value (true, 1, 0.5, "yes", " Y " read true).
template <>
struct JsonValueReader<FlexibleBool> {
    static constexpr const char* typeName = "FlexibleBool";
    static FlexibleBool read(const nlohmann::json& value, const CodingPlace& place);
};

// Bytes, written in JSON as a base64 string.
template <>
struct JsonValueReader<std::vector<std::uint8_t>> {
    static constexpr const char* typeName = "String";
    static std::vector<std::uint8_t> read(const nlohmann::json& value, const CodingPlace& place);
};

template <class U>
struct JsonValueReader<std::vector<U>> {
    static constexpr const char* typeName = "Array<Any>";
    static std::vector<U> read(const nlohmann::json& value, const CodingPlace& place)
    {
        if (!value.is_array()) {
            JsonDecoding::throwTypeMismatch(typeName, place.path(), value);
        }
        const CodingPath path = place.path();
        // Thousands of records (a project's clips) are read side by side; in an open collection
        // they are read in order, on this thread, where the collection gathers.
        if constexpr (requires { JsonValueReader<U>::readsRecord; } && std::is_default_constructible_v<U> &&
                      std::is_move_assignable_v<U>) {
            if (value.size() >= JsonDecoding::sideBySideElements && !JsonDecoding::isCollecting()) {
                std::vector<U> result(value.size());
                JsonDecoding::readSideBySide(value.size(), [&](std::size_t i) { result[i] = element(value, path, i); });
                return result;
            }
        }
        std::vector<U> result;
        result.reserve(value.size());
        for (std::size_t i = 0; i < value.size(); ++i) {
            // An element that fails in an open collection is left out.
            if (std::optional<U> read = JsonDecoding::readField([&] { return std::optional<U>(element(value, path, i)); })) {
                result.push_back(std::move(*read));
            }
        }
        return result;
    }

private:
    static U element(const nlohmann::json& array, const CodingPath& path, std::size_t i)
    {
        const nlohmann::json& element = array[i];
        const CodingPlace elementPlace(path, i);
        if (element.is_null()) {
            JsonDecoding::throwValueNotFound(JsonValueReader<U>::typeName, elementPlace.path());
        }
        return JsonValueReader<U>::read(element, elementPlace);
    }
};

// A view of one JSON object together with its coding path. Borrows the JSON value: the
// document must outlive the container.
class KeyedContainer {
public:
    // `object` must be a JSON object.
    KeyedContainer(const nlohmann::json& object, CodingPath path);

    // The document's top level as a container; a top level that is not an object is a type
    // mismatch for "Dictionary<String, Any>" at the empty path.
    static KeyedContainer root(const nlohmann::json& document);

    const CodingPath& codingPath() const noexcept { return path_; }
    const nlohmann::json& object() const noexcept { return *object_; }

    // Present, null included.
    bool contains(std::string_view key) const;
    // Absent or null.
    bool isAbsentOrNull(std::string_view key) const;
    // The raw value under the key, or nullptr when absent.
    const nlohmann::json* value(std::string_view key) const;
    CodingPath pathFor(std::string_view key) const;

    // Required: an absent key fails with keyNotFound, null with valueNotFound. (Each field is read
    // through JsonDecoding::readField: in an open collection, a failure reads as T's default.)
    template <class T>
    T decode(std::string_view key) const
    {
        return JsonDecoding::readField([&]() -> T {
            const nlohmann::json* v = value(key);
            if (!v) {
                throwKeyNotFound(key);
            }
            if (v->is_null()) {
                JsonDecoding::throwValueNotFound(JsonValueReader<T>::typeName, pathFor(key));
            }
            return JsonValueReader<T>::read(*v, CodingPlace(path_, key));
        });
    }

    // Optional: an absent key or null gives nothing; a value of the wrong type fails.
    template <class T>
    std::optional<T> decodeIfPresent(std::string_view key) const
    {
        const nlohmann::json* v = value(key);
        if (!v || v->is_null()) {
            return std::nullopt;
        }
        return JsonDecoding::readField(
            [&] { return std::optional<T>(JsonValueReader<T>::read(*v, CodingPlace(path_, key))); });
    }

    // Optional with an alias: the alias is consulted only when the first key is absent or null
    // (a first key of the wrong type fails, and the alias is not read).
    template <class T>
    std::optional<T> decodeIfPresent(std::string_view key, std::string_view alias) const
    {
        return decodeIfPresent<T>(isAbsentOrNull(key) ? alias : key);
    }

    // An array that counts as empty when absent or null.
    template <class U>
    std::vector<U> decodeArrayOrEmpty(std::string_view key) const
    {
        auto array = decodeIfPresent<std::vector<U>>(key);
        return array ? std::move(*array) : std::vector<U>{};
    }

    // The object under the key as a container (required).
    KeyedContainer nestedContainer(std::string_view key) const;

    [[noreturn]] void throwKeyNotFound(std::string_view key) const;

private:
    const nlohmann::json* object_;
    CodingPath path_;
};

template <class T>
T JsonValueReader<T>::read(const nlohmann::json& value, const CodingPlace& place)
{
    if (!value.is_object()) {
        JsonDecoding::throwTypeMismatch(typeName, place.path(), value);
    }
    return JsonDecodable<T>::decode(KeyedContainer(value, place.path()));
}

// Lenient readers of single keys, shared by the job and session decoders.
namespace FlexibleJSON {

// The value under the key as text: a string as it is; an integral number as its decimal text
// (7 gives "7"); another number as its shortest round-trip decimal text (2.5 gives "2.5");
// anything else (absent, null, boolean, object, array) gives nothing. Never fails.
std::optional<std::string> string(const KeyedContainer& container, std::string_view key);

} // namespace FlexibleJSON

} // namespace velmora
