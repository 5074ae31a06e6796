#pragma once

// A player without media for the source viewer's tests: it records plays, pauses and seeks,
// lands every seek at once, and reports times to its observers when the test says so.

#include <map>
#include <memory>
#include <vector>

#include "platform/dispatch/MainQueue.h"
#include "preview/PreviewPlayer.h"

namespace velmora::test {

class FakeSourcePlayer final : public PreviewPlayer {
public:
    explicit FakeSourcePlayer(std::shared_ptr<MainQueue> queue) : queue_(std::move(queue)) {}

    void play() override
    {
        ++playCount;
        rate_ = 1;
    }
    void pause() override
    {
        ++pauseCount;
        rate_ = 0;
    }
    double rate() const override { return rate_; }
    void setRate(double rate) override { rate_ = rate; }
    MediaTime currentTime() const override { return currentTime_; }
    MediaTime itemDuration() const override { return MediaTime::invalid(); }
    void setVolume(float) override {}

    void seek(const MediaTime& time, const MediaTime&, const MediaTime&,
              std::function<void(bool)> completion) override
    {
        seeks.push_back(time.seconds());
        currentTime_ = time;
        if (completion)
            queue_->post([completion = std::move(completion)] { completion(true); });
    }

    TimeObserverToken addPeriodicTimeObserver(const MediaTime& interval,
                                              std::function<void(const MediaTime&)> callback) override
    {
        observerInterval = interval.seconds();
        observers_[++nextToken_] = std::move(callback);
        return nextToken_;
    }
    void removeTimeObserver(TimeObserverToken token) override { observers_.erase(token); }
    std::size_t observerCount() const { return observers_.size(); }

    // The position moved to `seconds`, as while playing.
    void reportTime(double seconds)
    {
        currentTime_ = MediaTime::fromSeconds(seconds, 600);
        for (auto& [token, callback] : std::map(observers_))
            callback(currentTime_);
    }

    int playCount = 0;
    int pauseCount = 0;
    std::vector<double> seeks;
    double observerInterval = 0;

private:
    std::shared_ptr<MainQueue> queue_;
    MediaTime currentTime_ = MediaTime::zero();
    double rate_ = 0;
    TimeObserverToken nextToken_ = 0;
    std::map<TimeObserverToken, std::function<void(const MediaTime&)>> observers_;
};

} // namespace velmora::test
