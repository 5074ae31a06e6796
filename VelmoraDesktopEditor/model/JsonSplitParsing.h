#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

// Parsing a large JSON document on several threads. The elements of its long arrays (the clips
// and sources of a project of thousands of clips) are parsed side by side on the worker pool,
// the rest of the document on the calling thread, and the parts are put together into the very
// tree one parse of the whole text gives: the same values, numbers and key order, the same
// answer for text that is not JSON.

namespace velmora::JsonSplitParsing {

// Text shorter than this is parsed in one piece: splitting it saves nothing worth the threads.
inline constexpr std::size_t minimumSplitBytes = std::size_t{1} << 20;

// What nlohmann::json::parse gives for `text`; none when it fails. Any text; any thread (a call
// from a worker of the pool parses on that thread alone).
std::optional<nlohmann::json> tryParse(std::string_view text) noexcept;

} // namespace velmora::JsonSplitParsing
