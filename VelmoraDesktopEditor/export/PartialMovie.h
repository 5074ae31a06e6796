#pragma once

#include <filesystem>

#include "platform/foundation/Error.h"

namespace velmora::Exporter {

// The movie of an export while it is written: a hidden file beside the output, moved over the
// output only once complete, so that a refused or failed export leaves an older movie intact
// and no partial file behind. Used on the thread that runs the export.
class PartialMovie {
public:
    explicit PartialMovie(const std::filesystem::path& outputURL);
    // Removes the partial file unless it was committed.
    ~PartialMovie();
    PartialMovie(const PartialMovie&) = delete;
    PartialMovie& operator=(const PartialMovie&) = delete;

    const std::filesystem::path& path() const { return path_; }

    // Moves the complete movie over the output (replacing a file there). Throws the file
    // system's error.
    void commit();

    // An error of the writer as the user should read it: the hidden file's name replaced by the
    // output's. Errors that do not name it come back unchanged.
    Error namingOutput(const Error& error) const;

private:
    std::filesystem::path outputURL_;
    std::filesystem::path path_;
    bool committed_ = false;
};

// The hidden file beside `outputURL` an export writes to: "." + stem + ".partial-" + 8 random
// characters + the output's extension.
std::filesystem::path partialMoviePath(const std::filesystem::path& outputURL);

} // namespace velmora::Exporter
