#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The container a movie file's name asks for: the one rule every export and every output name
// follows.
namespace velmora::MovieContainer {

// "mp4" for a name ending in .mp4 or .m4v, "mov" for .mov (any case); none for any other name.
std::optional<std::string> ofName(const std::filesystem::path& file);

} // namespace velmora::MovieContainer
