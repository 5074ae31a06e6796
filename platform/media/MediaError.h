#pragma once

#include <filesystem>
#include <string>

#include "platform/foundation/Error.h"

namespace velmora::MediaError {

// Errors of the media layer: domain "media". Messages name the file or the operation and carry
// FFmpeg's or the file system's own text where one of them reported the failure.
inline constexpr const char* domain = "media";

enum Code : int {
    fileNotFound = 1,        // no file at the path
    cannotOpen = 2,          // unreadable, not a media file, or corrupt
    noSuchTrack = 3,         // the asset has no track of the kind asked for
    decodeFailed = 4,        // the decoder refused the data or could not be set up
    encoderNotFound = 5,     // the named encoder is not built into FFmpeg
    encodeFailed = 6,        // the encoder refused a frame or its settings
    writeFailed = 7,         // the file could not be created or written
    invalidArgument = 8,     // a size, format or time the operation cannot take
    cancelled = 9,           // reading or writing was cancelled
    incompatibleContainer = 10, // a codec the chosen container cannot hold
    invalidState = 11,       // an operation called in the wrong state (e.g. append before start)
    pictureTooLarge = 12,    // a still picture with more pixels than the editor takes
};

inline Error make(Code code, std::string message)
{
    return Error(domain, code, std::move(message));
}

// A file's name as messages show it: “name.mov”.
inline std::string quotedName(const std::filesystem::path& path)
{
    return "\u201c" + path.filename().string() + "\u201d";
}

} // namespace velmora::MediaError
