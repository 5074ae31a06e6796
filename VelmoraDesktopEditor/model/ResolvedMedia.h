#pragma once

#include <filesystem>

#include "model/LutResolution.h"
#include "model/MediaResolver.h"

namespace velmora {

// What the editor has already decided about a job's media when it hands the job to one of its
// own exports: the folder the files were resolved in and the file of each source. An export
// given one reads exactly these files (a source without an entry has no file) and looks no
// name up and lists no folder; the job file itself still names files by name, for readers
// that resolve on their own.
struct ResolvedMedia {
    std::filesystem::path mediaFolder;
    MediaResolver::SourceFileMap files;
    // The LUT answers the editor decided for the job's clips and its own LUT, when it had them:
    // an export given them takes them as they are (Exporter::timelineLuts) and looks up only
    // what they lack.
    std::optional<ResolvedLuts> luts = std::nullopt;

    // The LUT answers to give an export, if any.
    const ResolvedLuts* givenLuts() const { return luts ? &*luts : nullptr; }

    bool operator==(const ResolvedMedia&) const = default;
};

} // namespace velmora
