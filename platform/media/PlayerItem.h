#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/foundation/Error.h"
#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "platform/media/VideoComposition.h"

namespace velmora {

// What a Player plays: a composition with the levels of its audio tracks and the way its picture
// is made, or one media file. Immutable but for the audio mix, which may be replaced while it
// plays.
//
// Threads: every member may be called from any thread.
class PlayerItem {
public:
    enum class FileTracks { videoAndAudio, audioOnly };

    // The longest read-ahead a player keeps for an item, in seconds of item time.
    static constexpr double maximumForwardBufferDuration = 4.0;

    // An item over `composition`. Without a video composition the picture is the first video
    // track's, every edit turned by the display orientation of the file of its first edit and
    // shown at that file's display size (1920 × 1080 when that file cannot be read), on the frame
    // grid of that file's frame rate (30 per second when it declares none). Throws velmora::Error (media, invalidArgument) for a video composition
    // whose sizes or frame duration are not valid.
    static std::shared_ptr<PlayerItem> make(Composition composition, std::optional<AudioMix> audioMix = std::nullopt,
                                            std::optional<VideoComposition> videoComposition = std::nullopt);

    // An item playing a media file as it is (asset time is item time): its first video track,
    // upright, and its first audio track, or only the audio track. Throws what Asset::open
    // throws, and velmora::Error (media, noSuchTrack) when the file has none of the tracks asked.
    static std::shared_ptr<PlayerItem> fromFile(const std::filesystem::path& path,
                                                FileTracks tracks = FileTracks::videoAndAudio);

    const Composition& composition() const { return composition_; }
    // The picture's recipe; none only for an item without picture.
    const std::optional<VideoComposition>& videoComposition() const { return videoComposition_; }
    MediaTime duration() const { return duration_; }
    bool hasVideo() const { return videoComposition_.has_value(); }

    // The audio mix in force. Setting it takes effect in the sound the player renders next (its
    // next block of about 10 ms); the swap is atomic.
    std::shared_ptr<const AudioMix> audioMix() const;
    void setAudioMix(AudioMix audioMix);
    // Grows with every setAudioMix().
    std::uint64_t audioMixGeneration() const { return audioMixGeneration_.load(); }

    // How far ahead of the playhead the player decodes, in seconds: at most 4 (the default),
    // at least one frame.
    double preferredForwardBufferDuration() const { return forwardBuffer_.load(); }
    void setPreferredForwardBufferDuration(double seconds);

    // The first failure met while playing (a source that could not be opened or decoded). The
    // item plays on, black or silent where it failed.
    std::optional<Error> error() const;
    // The player's side; `file` names the media file that failed, when one did.
    void recordError(const Error& error, const std::filesystem::path& file = {});
    // Called with the file and the failure each time a media file fails, on the player's
    // threads. Replacing it (or setting none) stops the calls to the one before.
    using FailureHandler = std::function<void(const std::filesystem::path& file, const Error& error)>;
    void setFailureHandler(FailureHandler handler);

private:
    PlayerItem(Composition composition, std::optional<AudioMix> audioMix,
               std::optional<VideoComposition> videoComposition);

    const Composition composition_;
    const std::optional<VideoComposition> videoComposition_;
    const MediaTime duration_;

    mutable std::mutex mutex_;
    std::shared_ptr<const AudioMix> audioMix_; // guarded by mutex_
    std::optional<Error> error_;               // guarded by mutex_
    FailureHandler failureHandler_;            // guarded by mutex_
    std::atomic<std::uint64_t> audioMixGeneration_{0};
    std::atomic<double> forwardBuffer_{maximumForwardBufferDuration};
};

} // namespace velmora
