#include "model/MediaFileKind.h"

#include <algorithm>
#include <array>

namespace velmora::MediaFileNames {

namespace {

constexpr std::array<std::string_view, 6> movieExtensions = {"mp4", "mov", "m4v", "mxf", "avi", "mkv"};
constexpr std::array<std::string_view, 4> soundExtensions = {"wav", "aac", "m4a", "mp3"};
constexpr std::array<std::string_view, 8> stillExtensions = {"jpg", "jpeg", "png", "tiff", "tif", "heic", "heif", "bmp"};
constexpr std::array<std::string_view, 4> cameraMovieExtensions = {"mp4", "mov", "m4v", "mxf"};

template <std::size_t N>
bool isIn(const std::string& extension, const std::array<std::string_view, N>& extensions)
{
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

} // namespace

std::string lowercasedExtension(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name == "..") {
        return {};
    }
    std::string extension(name.substr(dot + 1));
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

MediaFileKind kind(std::string_view name)
{
    const std::string extension = lowercasedExtension(name);
    if (isIn(extension, movieExtensions)) {
        return MediaFileKind::movie;
    }
    if (isIn(extension, soundExtensions)) {
        return MediaFileKind::sound;
    }
    if (isIn(extension, stillExtensions)) {
        return MediaFileKind::still;
    }
    return MediaFileKind::other;
}

bool isMediaFile(std::string_view name)
{
    return kind(name) != MediaFileKind::other;
}

bool isCameraMovie(std::string_view name)
{
    return isIn(lowercasedExtension(name), cameraMovieExtensions);
}

} // namespace velmora::MediaFileNames
