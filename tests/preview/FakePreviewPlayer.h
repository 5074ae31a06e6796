#pragma once

// A preview player without media: it records what the engine asks of it, lands every seek on
// its target at once and answers on the main queue, where a newer seek supersedes older ones.
// Its picture is a real video output that tests publish frames into.

#include <map>
#include <memory>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "platform/media/VideoOutput.h"
#include "preview/PreviewPlayer.h"

namespace velmora::test {

class FakePreviewPlayer final : public PreviewPlayer {
public:
    struct Seek {
        double seconds = 0;
        double toleranceSeconds = 0; // the engine gives both tolerances alike
    };

    FakePreviewPlayer(std::shared_ptr<MainQueue> queue, double itemSeconds)
        : queue_(std::move(queue)), itemDuration_(MediaTime::fromSeconds(itemSeconds, 600))
    {
    }

    void play() override { ++playCount; rate_ = rate_ == 0 ? 1 : rate_; }
    void pause() override { rate_ = 0; }
    double rate() const override { return rate_; }
    void setRate(double rate) override { rate_ = rate; }
    MediaTime currentTime() const override { return currentTime_; }
    MediaTime itemDuration() const override { return itemDuration_; }
    void setVolume(float volume) override { volumes.push_back(volume); }
    void setAudioMix(AudioMix audioMix) override { audioMixes.push_back(std::move(audioMix)); }
    std::shared_ptr<VideoOutput> videoOutput() const override { return output; }

    // Moves the position without telling anyone, as a player that drifted off its seek target.
    void setCurrentSeconds(double seconds) { currentTime_ = MediaTime::fromSeconds(seconds, 600); }

    void seek(const MediaTime& time, const MediaTime& toleranceBefore, const MediaTime&,
              std::function<void(bool)> completion) override
    {
        seeks.push_back({time.seconds(), toleranceBefore.seconds()});
        currentTime_ = time;
        // The answer may come after the player is gone (the engine dropped it): it holds the
        // serial counter, not the player.
        queue_->post([latest = seekSerial_, serial = ++*seekSerial_, completion = std::move(completion)] {
            if (completion) {
                completion(serial == *latest);
            }
        });
    }

    TimeObserverToken addPeriodicTimeObserver(const MediaTime&, std::function<void(const MediaTime&)> callback) override
    {
        observers_[++nextToken_] = std::move(callback);
        return nextToken_;
    }
    void removeTimeObserver(TimeObserverToken token) override { observers_.erase(token); }
    std::size_t observerCount() const { return observers_.size(); }

    // The player reports a time, as it does while playing.
    void reportTime(double seconds)
    {
        currentTime_ = MediaTime::fromSeconds(seconds, 600);
        for (auto& [token, callback] : std::map(observers_)) {
            callback(currentTime_);
        }
    }

    int playCount = 0;
    std::vector<Seek> seeks;
    std::shared_ptr<VideoOutput> output = std::make_shared<VideoOutput>();
    std::vector<float> volumes;
    std::vector<AudioMix> audioMixes;

private:
    std::shared_ptr<MainQueue> queue_;
    MediaTime itemDuration_;
    MediaTime currentTime_ = MediaTime::zero();
    double rate_ = 0;
    std::shared_ptr<std::uint64_t> seekSerial_ = std::make_shared<std::uint64_t>(0);
    TimeObserverToken nextToken_ = 0;
    std::map<TimeObserverToken, std::function<void(const MediaTime&)>> observers_;
};

} // namespace velmora::test
