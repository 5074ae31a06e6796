#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "model/EditSession.h"
#include "model/ResolvedMedia.h"

namespace velmora::Exporter {

// What the editor hands its own export of a session: the render job file's text (the format the
// browser editor reads, naming each source's file by name) and the files the preview resolved
// for the sources in the media folder, which the export reads instead of looking the names up
// again: two sources whose files share a name in two subfolders stay apart.
struct EditorRenderJob {
    std::string text;
    // None when the folder holds no media (the export then reports the names as stored).
    std::optional<ResolvedMedia> media;

    // What the export is given with the job: the preview's files, when there are any.
    const ResolvedMedia* resolved() const { return media ? &*media : nullptr; }
};

// The session's render job for `mediaFolder`, with the files MediaResolver::sourceFileMap gives
// the monitor. Throws the session writer's "JSON" Error.
EditorRenderJob editorRenderJob(const EditSession& session, const std::filesystem::path& mediaFolder);

} // namespace velmora::Exporter
