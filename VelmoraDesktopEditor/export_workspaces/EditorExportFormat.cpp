#include "export_workspaces/EditorExportFormat.h"

namespace velmora::EditorExportFormats {

std::string_view rawValue(EditorExportFormat format)
{
    switch (format) {
    case EditorExportFormat::hevc10: return "10-bit HEVC (Master)";
    case EditorExportFormat::h264: return "H.264 (Delivery)";
    case EditorExportFormat::proRes422: return "ProRes 422 (Delivery)";
    }
    return {};
}

std::optional<EditorExportFormat> fromRawValue(std::string_view title)
{
    for (EditorExportFormat format : allCases) {
        if (rawValue(format) == title) {
            return format;
        }
    }
    return std::nullopt;
}

std::string_view fileExtension(EditorExportFormat format)
{
    return format == EditorExportFormat::proRes422 ? "mov" : "mp4";
}

std::vector<std::string> outputExtensions(EditorExportFormat format)
{
    if (format == EditorExportFormat::proRes422)
        return {"mov"};
    return {"mp4", "m4v", "mov"};
}

Exporter::EditorVideoCodec exportCodec(EditorExportFormat format)
{
    switch (format) {
    case EditorExportFormat::hevc10: return Exporter::EditorVideoCodec::hevc10;
    case EditorExportFormat::h264: return Exporter::EditorVideoCodec::h264;
    case EditorExportFormat::proRes422: return Exporter::EditorVideoCodec::proRes422;
    }
    return Exporter::EditorVideoCodec::hevc10;
}

bool usesBitrate(EditorExportFormat format)
{
    return format != EditorExportFormat::proRes422;
}

} // namespace velmora::EditorExportFormats
