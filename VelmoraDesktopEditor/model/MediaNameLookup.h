#pragma once

// The name steps of the media lookup over a listing of files, by index into the listing: what
// MediaResolver builds its source map from. Internal to the model's lookup.

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/NameMatching.h"
#include "platform/foundation/StringText.h"

namespace velmora::MediaNameLookup {

using UsedSet = std::set<std::filesystem::path>;

inline constexpr std::array<std::string_view, 6> candidateExtensions = {"mp4", "mov", "m4v", "MP4", "MOV", "M4V"};

// The listed files' names, read once per lookup of a whole project: the first file of each
// plain-ASCII name by that name, and where the others are. Two ASCII names are equal exactly
// when their bytes are, so an ASCII name is found without comparing it with every file.
struct FileNames {
    explicit FileNames(const std::vector<std::filesystem::path>& files);

    // The index of the first file whose name equals `name` exactly (see
    // NameMatching::equalsExactly), the file count for none.
    std::size_t firstExactly(std::string_view name) const;

    const std::vector<std::filesystem::path>& files;
    std::vector<std::string> names;
    std::unordered_map<std::string, std::size_t> firstAscii;
    std::vector<std::size_t> nonAscii;
};

// A lookup's answer: the index of a listed file, or none.
using FileIndex = std::optional<std::size_t>;

// The first file whose name passes `matches` decides the lookup: it is the answer unless it is
// already used (`isUsed` of its index), in which case there is no answer at all.
template <typename IsUsed, typename Matches>
std::optional<FileIndex> firstNameDecides(const FileNames& index, const IsUsed& isUsed, Matches matches)
{
    for (std::size_t i = 0; i < index.names.size(); ++i) {
        if (matches(index.names[i])) {
            return isUsed(i) ? FileIndex() : FileIndex(i);
        }
    }
    return std::nullopt;
}

// The fuzzy match of MediaResolver::detail::fuzzyMatch, by index.
template <typename IsUsed>
FileIndex fuzzyIndex(std::string_view wanted, const std::vector<std::filesystem::path>& files, const IsUsed& isUsed)
{
    static constexpr std::size_t tailLength = 14;
    const std::u32string key = NameMatching::nameKey(wanted);
    if (key.size() < 8) {
        return std::nullopt;
    }
    const auto lastCharacters = [](const std::u32string& text) {
        return text.size() <= tailLength ? text : text.substr(text.size() - tailLength);
    };
    const std::u32string tail = lastCharacters(key);

    FileIndex best;
    std::size_t bestScore = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (isUsed(i)) {
            continue;
        }
        const std::u32string fileKey = NameMatching::nameKey(files[i].filename().string());
        if (fileKey == key) {
            return i;
        }
        if (fileKey.empty()) {
            continue;
        }
        if (fileKey.find(tail) == std::u32string::npos && tail.find(lastCharacters(fileKey)) == std::u32string::npos) {
            continue;
        }
        std::size_t score = 0;
        while (score < key.size() && score < fileKey.size()
               && key[key.size() - 1 - score] == fileKey[fileKey.size() - 1 - score]) {
            ++score;
        }
        if (!best || score > bestScore) {
            best = i;
            bestScore = score;
        }
    }
    return best;
}

// The file a name resolves to (MediaResolver::detail::resolveName), by index; `isUsed` says
// whether the file of an index already belongs to a source.
template <typename IsUsed>
FileIndex resolveIndexedName(std::string_view name, const FileNames& index, const IsUsed& isUsed, bool exactOnly)
{
    const std::vector<std::filesystem::path>& files = index.files;
    const std::string trimmedName = StringText::trimmed(name);
    if (trimmedName.empty()) {
        return std::nullopt;
    }
    const std::string base = StringText::trimmed(StringText::removingAllIgnoringCase(trimmedName, " (Audio)"));

    if (const std::size_t first = std::min(index.firstExactly(trimmedName), index.firstExactly(base));
        first < files.size()) {
        return isUsed(first) ? FileIndex() : FileIndex(first);
    }
    if (auto decided = firstNameDecides(index, isUsed, [&](const std::string& fileName) {
            return NameMatching::equalsIgnoringCase(fileName, trimmedName)
                || NameMatching::equalsIgnoringCase(fileName, base);
        })) {
        return *decided;
    }
    if (exactOnly) {
        return std::nullopt;
    }
    if (base.find('.') == std::string::npos) {
        for (const auto extension : candidateExtensions) {
            const std::string wanted = base + "." + std::string(extension);
            if (auto decided = firstNameDecides(index, isUsed, [&](const std::string& fileName) {
                    return NameMatching::equalsIgnoringCase(fileName, wanted);
                })) {
                return *decided;
            }
        }
    }
    if (!files.empty() && NameMatching::characterCount(base) >= 4) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (isUsed(i)) {
                continue;
            }
            const std::string stem = files[i].stem().string();
            if (NameMatching::containsIgnoringCase(index.names[i], base) || NameMatching::containsIgnoringCase(base, stem)) {
                return i;
            }
        }
    }
    return fuzzyIndex(base, files, isUsed);
}

// Whether a listed file belongs to a source of `used`, by index.
inline auto usedIn(const UsedSet& used, const std::vector<std::filesystem::path>& files)
{
    return [&used, &files](std::size_t i) { return used.count(files[i]) != 0; };
}

inline std::optional<std::filesystem::path> pathOf(const FileIndex& found, const std::vector<std::filesystem::path>& files)
{
    return found ? std::optional<std::filesystem::path>(files[*found]) : std::nullopt;
}

} // namespace velmora::MediaNameLookup
