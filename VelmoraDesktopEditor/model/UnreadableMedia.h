#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The one sentence that names media files that are there but cannot be read, in the status line
// and in an export's refusal alike: "Cannot read b.mp4, c.mp4 (Permission denied)".
namespace velmora::UnreadableMedia {

// The most names the sentence lists.
inline constexpr std::size_t namesShown = 5;

// The first namesShown of `names`, each as it is shown (shownText), comma-separated, and
// `reason` (the first file's) in parentheses.
std::string text(const std::vector<std::string>& names, const std::string& reason);

} // namespace velmora::UnreadableMedia
