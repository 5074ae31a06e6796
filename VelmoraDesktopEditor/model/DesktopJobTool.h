#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "model/EditorJobV2.h"

namespace velmora::DesktopJobTool {

// The "tool" identifiers of the JSON files exchanged with the browser editor and the export engine.
// The browser editor's desktop export, and the desktop's render job.
inline constexpr char browserExport[] = "velmora-editor-desktop-export";
// The edit-return file the desktop writes for the browser editor.
inline constexpr char editReturn[] = "velmora-editor-desktop-edit-return";
// The desktop's project document, and the tool of a new blank project.
inline constexpr char editSession[] = "velmora-editor-desktop-edit";

// True when the tool, trimmed of white space and line breaks, is one of the three identifiers
// (case-sensitive). All three count, the project document included.
bool isTimelineRenderJob(const std::optional<std::string>& tool);

// True when the tool, trimmed as above, names a document this editor writes of its own: the
// project document or the edit-return file. Such a document follows this editor's rules (a
// project without a usable rate runs at 59.94), whatever a browser job of the same content does.
bool isWrittenByThisEditor(const std::optional<std::string>& tool);

// True when the tool, trimmed as above, is the project document's: the one kind of file Save
// writes over. Any other file opened (a browser project, a job, an edit-return file) holds what
// the editor leaves out, and stays as it was.
bool isProjectDocument(const std::optional<std::string>& tool);

// True when the document is a JSON object whose "tool" passes isTimelineRenderJob, or whose
// "timelines" is a non-empty array: how the export engine tells a timeline job from a
// single-video job. Never fails.
bool isTimelineJobDocument(const nlohmann::json& document);

struct OverlayRenderFlags {
    bool text = false;        // a "text" clip that is not a lower third
    bool lowerThirds = false; // a "text" clip with isLowerThird true
    bool images = false;      // an "image" clip

    bool operator==(const OverlayRenderFlags&) const = default;
};

// Which overlay kinds occur among the clips; types are compared exactly as written.
OverlayRenderFlags overlayRenderFlags(const std::vector<EditorJobV2::Clip>& clips);

} // namespace velmora::DesktopJobTool
