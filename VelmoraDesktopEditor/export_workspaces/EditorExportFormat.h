#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "export/WriterSettings.h"

namespace velmora {

// The output formats of the Edit workspace's export sheet, in the order the sheet lists them.
// The raw value is the title the sheet shows and the format's identity.
enum class EditorExportFormat { hevc10, h264, proRes422 };

namespace EditorExportFormats {

inline constexpr std::array<EditorExportFormat, 3> allCases{EditorExportFormat::hevc10, EditorExportFormat::h264,
                                                            EditorExportFormat::proRes422};

// "10-bit HEVC (Master)", "H.264 (Delivery)", "ProRes 422 (Delivery)".
std::string_view rawValue(EditorExportFormat format);
// Exact, case-sensitive: the three titles only.
std::optional<EditorExportFormat> fromRawValue(std::string_view title);

// "mov" for ProRes 422 (a QuickTime movie), "mp4" otherwise (an MPEG-4 movie).
std::string_view fileExtension(EditorExportFormat format);
// The extensions an output name may keep for the format, its own first: ProRes 422 is written
// in a QuickTime movie only, HEVC and H.264 in MPEG-4 (named mp4 or m4v) or QuickTime.
std::vector<std::string> outputExtensions(EditorExportFormat format);
// The timeline export's codec of the same name.
Exporter::EditorVideoCodec exportCodec(EditorExportFormat format);
// The bit rate applies (and its row is shown) for HEVC and H.264; ProRes 422 has none.
bool usesBitrate(EditorExportFormat format);

} // namespace EditorExportFormats

} // namespace velmora
