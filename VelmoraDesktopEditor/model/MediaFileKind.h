#pragma once

#include <string>
#include <string_view>

namespace velmora {

// What a media file holds, as its name's extension says (compared lower-cased).
enum class MediaFileKind {
    movie, // mp4, mov, m4v, mxf, avi, mkv
    sound, // wav, aac, m4a, mp3
    still, // jpg, jpeg, png, tiff, tif, heic, heif, bmp
    other, // no media extension
};

namespace MediaFileNames {

// The extension of a file name, lower-cased, as std::filesystem::path::extension gives it
// (after the last dot, a leading dot not counting) without the dot.
std::string lowercasedExtension(std::string_view name);

MediaFileKind kind(std::string_view name);

// One of the 18 media extensions: a movie, a sound or a still.
bool isMediaFile(std::string_view name);

// One of the four extensions of the camera movies that the lookup hands out by file name
// order: mp4, mov, m4v, mxf.
bool isCameraMovie(std::string_view name);

} // namespace MediaFileNames

} // namespace velmora
