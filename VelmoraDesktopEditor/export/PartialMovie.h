#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/foundation/ScratchFile.h"

namespace velmora::Exporter {

// The movie of an export while it is written: a hidden file beside the output, moved over the
// output only once complete, so that a refused or failed export leaves an older movie intact
// and no partial file behind. The file is created empty and locked here, for the writer to fill
// (AssetWriterTarget::claimedEmptyFile); the lock marks it as being written for as long as this
// object lives, and the kernel drops it when the exporting process dies. Creating one removes
// the partial files that earlier exports into the same folder left behind (killed, or gone
// without cleaning up), whatever output they were for, and leaves those still being written
// alone. Used on the thread that runs the export.
class PartialMovie {
public:
    // Throws a FileError (domain "file") naming the output when the hidden file cannot be made.
    explicit PartialMovie(const std::filesystem::path& outputURL);
    // Removes the partial file unless it was committed.
    ~PartialMovie();
    PartialMovie(const PartialMovie&) = delete;
    PartialMovie& operator=(const PartialMovie&) = delete;

    const std::filesystem::path& path() const { return claim_.path(); }

    // Moves the complete movie over the output (replacing a file there). Throws the file
    // system's error.
    void commit();
    // Removes the partial file now, while the writer may still hold it open (its writes then go
    // nowhere); the lock stays until this object goes. Never fails. Not after commit().
    void discard();

    // An error of the writer as the user should read it: the hidden file's name replaced by the
    // output's. Errors that do not name it come back unchanged.
    Error namingOutput(const Error& error) const;

private:
    std::filesystem::path outputURL_;
    ClaimedScratchFile claim_;
    bool committed_ = false;
};

// The hidden files an export of `outputURL` writes: "." + stem + ".partial-" + 8 upper-case hex
// digits + the output's extension, in the output's folder.
ScratchNaming partialMovieNaming(const std::filesystem::path& outputURL);

// A name partialMovieNaming gives for some output: "." + any stem + ".partial-" + 8 upper-case
// hex digits + nothing or an extension (a dot and no further dot).
bool isPartialMovieName(std::string_view name);

} // namespace velmora::Exporter
