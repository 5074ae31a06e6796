#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "preview/PreviewPlayer.h"

namespace velmora {

// Short bursts of the sound under the playhead while it is stepped or scrubbed, played by small
// players of the source files themselves (the preview's own player is paused and its position
// is the picture's).
//
// Threads: main thread only; seek completions and the stops come back on the main queue and
// hold this object and their player weakly. Made with std::make_shared.
class TimelineScrubAudio : public std::enable_shared_from_this<TimelineScrubAudio> {
public:
    // One sound of a burst.
    struct Segment {
        // The key of the player that plays it: an audio clip's id, or "embed_" and a video
        // clip's id for that clip's own sound.
        std::string id;
        std::filesystem::path url;
        // Where in the file the burst starts, seconds.
        double sourceSeconds = 0;
        // Player volume: the clip's gain and fade at the playhead (the player caps it at 1).
        float volume = 0;
    };

    // Opens a player of a file's sound; nullptr (or an exception) when it cannot be played.
    using PlayerOpener = std::function<std::shared_ptr<PreviewPlayer>(const std::filesystem::path& file)>;

    // A burst lasts at least this long, seconds.
    static constexpr double shortestBurstSeconds = 0.03;
    // Players kept between bursts; the one used longest ago makes room for a new one. Each holds
    // an audio output and threads of its own, so a long session must not keep one per clip.
    static constexpr std::size_t maximumPlayers = 4;

    // Without an opener every burst is silent.
    TimelineScrubAudio(std::shared_ptr<MainQueue> mainQueue, PlayerOpener openPlayer);
    ~TimelineScrubAudio();
    TimelineScrubAudio(const TimelineScrubAudio&) = delete;
    TimelineScrubAudio& operator=(const TimelineScrubAudio&) = delete;

    // Starts one burst of `duration` seconds (at least shortestBurstSeconds) per segment louder
    // than 0.001, each from its source time once its seek has landed; returns at once. A new
    // burst of a sounding id cancels that id's pending stop, so it plays on for the full new
    // length.
    void playBurst(const std::vector<Segment>& segments, double duration);
    // Silences every burst at once and cancels the pending stops; the players stay for later.
    void stopAll();

    std::size_t playerCount() const { return players_.size(); }

private:
    struct Slot {
        std::filesystem::path url;
        std::shared_ptr<PreviewPlayer> player;
        std::uint64_t lastUse = 0;
    };

    // The player for `id`, reused while its file is `url`, else opened anew; nullptr when the
    // file cannot be played.
    std::shared_ptr<PreviewPlayer> player(const std::string& id, const std::filesystem::path& url);
    void cancelStop(const std::string& id);

    std::shared_ptr<MainQueue> mainQueue_;
    PlayerOpener openPlayer_;
    std::map<std::string, Slot> players_;
    std::map<std::string, CancelHandle> stopItems_;
    std::uint64_t uses_ = 0;
};

} // namespace velmora
