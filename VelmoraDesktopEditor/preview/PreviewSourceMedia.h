#pragma once

// The media files of one build of the preview composition: read once each, side by side.

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/EditSession.h"
#include "model/MediaResolver.h"
#include "platform/media/Asset.h"
#include "platform/media/Composition.h"
#include "preview/PreviewCompositionBuilder.h"

namespace velmora {

// Media files opened once per build; a file that cannot be read has no tracks. Looked up for
// every piece of thousands of clips: by the path's text, hashed (comparing paths compares them
// component by component).
class AssetCache {
public:
    const Asset* open(const std::filesystem::path& file);

    // Reads the headers of `read` and checks that each of `check` can be read, side by side on
    // the worker threads, and runs `alongside` on one of them meanwhile; gives why each file
    // that cannot be read cannot, by the text of its path. Given a check (`readable`, called on
    // several threads at once), a file is checked before its header is read; without one, a
    // header read is the check, and only a file whose header could not be read is asked
    // (MediaResolver::unreadableReason) why. Reading a header is mostly waiting for the file,
    // and a project names thousands of files: one after another they were most of the first
    // build's time, and so of the wait for the first picture.
    std::unordered_map<std::string, std::string> openAll(const std::vector<std::filesystem::path>& read,
                                                         const std::vector<std::filesystem::path>& check,
                                                         const MediaResolver::ReadabilityCheck& readable,
                                                         const std::function<void()>& alongside);

    // The files opened that could be read; the cache is empty afterwards.
    MediaHeaders take();

private:
    static std::shared_ptr<const Asset> probe(const std::filesystem::path& file);

    MediaHeaders assets_;
};

// What a source brings to the composition: its file, as the build found it; once read, its
// header and its first picture and sound tracks, as inserted for every clip of the source.
// Empty for a source without a file that can be read.
struct SourceMedia {
    const std::filesystem::path* file = nullptr;
    const Asset* asset = nullptr;
    const AssetTrack* picture = nullptr;
    const AssetTrack* sound = nullptr;
    std::optional<CompositionSourceTrack> pictureTrack;
    std::optional<CompositionSourceTrack> soundTrack;

    void take(const Asset* read)
    {
        asset = read;
        picture = asset ? asset->firstTrack(MediaType::video) : nullptr;
        sound = asset ? asset->firstTrack(MediaType::audio) : nullptr;
        if (picture) {
            pictureTrack = CompositionSourceTrack::of(*asset, *picture);
        }
        if (sound) {
            soundTrack = CompositionSourceTrack::of(*asset, *sound);
        }
    }
};

// The media of each source the timeline's clips use, by the session's id (the views stay valid
// while `timeline`, `files` and `assets` live): the headers of the files the clips use are read,
// the other sources' files only checked, `alongside` running meanwhile. A source whose file
// cannot be read is left without media, and why is stored under its id in `unreadableSources`.
std::unordered_map<std::string_view, SourceMedia> readSourceMedia(const EditSession::Timeline& timeline,
                                                                  const MediaResolver::SourceFileMap& files,
                                                                  AssetCache& assets,
                                                                  const MediaResolver::ReadabilityCheck& readable,
                                                                  const std::function<void()>& alongside,
                                                                  std::map<std::string, std::string>& unreadableSources);

} // namespace velmora
