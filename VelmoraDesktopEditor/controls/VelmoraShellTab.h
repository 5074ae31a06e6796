#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The two workspaces of the window, in the order of the "Mode" picker's segments. The raw
// value is also the segment's label.
enum class VelmoraShellTab { editor, exportTab };

namespace VelmoraShellTabs {
inline constexpr std::array<VelmoraShellTab, 2> allCases{VelmoraShellTab::editor, VelmoraShellTab::exportTab};

constexpr std::string_view rawValue(VelmoraShellTab tab)
{
    return tab == VelmoraShellTab::editor ? "Edit" : "10-bit Export";
}

// Exact, case-sensitive: "Edit" and "10-bit Export" only.
std::optional<VelmoraShellTab> fromRawValue(std::string_view text);
} // namespace VelmoraShellTabs

} // namespace velmora
