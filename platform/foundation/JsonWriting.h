#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace velmora::JsonWriting {

// Errors of this writer carry the domain "JSON": code 1 for a number that JSON cannot hold
// (NaN or an infinity), code 2 for text that is not valid UTF-8. The message names the
// offending value by its key path from the root ("timelines[0].clips[2].startTime").
inline constexpr std::string_view errorDomain = "JSON";
inline constexpr int nonFiniteNumberCode = 1;
inline constexpr int invalidTextCode = 2;

// The value as JSON text: two-space indentation, one key or element per line, object keys in
// ascending byte order at every level (nlohmann::json keeps its objects sorted), text written
// as UTF-8 without \u escapes for non-ASCII characters, no trailing line break.
// Throws velmora::Error rather than writing a non-finite number as null or mangling text.
std::string prettySortedText(const nlohmann::json& value);

// Replaces the file at `target` with `bytes` so that a reader never sees a partial file:
// the bytes go to a new file beside the target, are flushed to the disk, and that file is
// renamed over the target. On any failure the temporary file is removed, the previous file
// (if any) is left exactly as it was, and a FileError (domain "file") is thrown.
// A replaced file keeps its permission bits; when `target` is a symbolic link, the file it
// points to is replaced and the link stays.
void saveFileAtomically(const std::filesystem::path& target, std::string_view bytes);

} // namespace velmora::JsonWriting
