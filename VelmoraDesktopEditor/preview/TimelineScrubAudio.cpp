#include "preview/TimelineScrubAudio.h"

#include <algorithm>
#include <exception>

namespace velmora {

namespace {

constexpr float kAudibleVolume = 0.001f;
// Bursts start on the sample under the playhead.
constexpr std::int32_t kBurstTimescale = 60000;

} // namespace

TimelineScrubAudio::TimelineScrubAudio(std::shared_ptr<MainQueue> mainQueue, PlayerOpener openPlayer)
    : mainQueue_(std::move(mainQueue)), openPlayer_(std::move(openPlayer))
{
}

TimelineScrubAudio::~TimelineScrubAudio()
{
    stopAll();
}

void TimelineScrubAudio::playBurst(const std::vector<Segment>& segments, double duration)
{
    const double burst = duration > shortestBurstSeconds ? duration : shortestBurstSeconds;
    for (const Segment& segment : segments) {
        if (!(segment.volume > kAudibleVolume)) {
            continue;
        }
        const std::shared_ptr<PreviewPlayer> player = this->player(segment.id, segment.url);
        if (!player) {
            continue;
        }
        player->setVolume(segment.volume);
        cancelStop(segment.id);
        const std::weak_ptr<TimelineScrubAudio> self = weak_from_this();
        const std::weak_ptr<PreviewPlayer> weakPlayer = player;
        const MediaTime start = MediaTime::fromSeconds(std::max(segment.sourceSeconds, 0.0), kBurstTimescale);
        player->seek(start, MediaTime::zero(), MediaTime::zero(),
                     [self, weakPlayer, id = segment.id, burst](bool finished) {
                         const std::shared_ptr<TimelineScrubAudio> scrub = self.lock();
                         const std::shared_ptr<PreviewPlayer> sounding = weakPlayer.lock();
                         if (!finished || !scrub || !sounding) {
                             return; // a later burst took over, or everything is gone
                         }
                         sounding->play();
                         scrub->cancelStop(id);
                         scrub->stopItems_[id] = scrub->mainQueue_->postDelayed(burst, [weakPlayer] {
                             if (const std::shared_ptr<PreviewPlayer> stopping = weakPlayer.lock()) {
                                 stopping->pause();
                             }
                         });
                     });
    }
}

void TimelineScrubAudio::stopAll()
{
    for (const auto& [id, stop] : stopItems_) {
        stop.cancel();
    }
    stopItems_.clear();
    for (const auto& [id, slot] : players_) {
        slot.player->pause();
    }
}

void TimelineScrubAudio::cancelStop(const std::string& id)
{
    if (const auto found = stopItems_.find(id); found != stopItems_.end()) {
        found->second.cancel();
        stopItems_.erase(found);
    }
}

std::shared_ptr<PreviewPlayer> TimelineScrubAudio::player(const std::string& id, const std::filesystem::path& url)
{
    if (const auto found = players_.find(id); found != players_.end() && found->second.url == url) {
        found->second.lastUse = ++uses_;
        return found->second.player;
    }
    if (!openPlayer_) {
        return nullptr;
    }
    std::shared_ptr<PreviewPlayer> opened;
    try {
        opened = openPlayer_(url);
    } catch (const std::exception&) {
        return nullptr; // an unreadable file, or one without sound: this burst stays silent
    }
    if (!opened) {
        return nullptr;
    }
    if (!players_.contains(id) && players_.size() >= maximumPlayers) {
        const auto oldest = std::min_element(players_.begin(), players_.end(), [](const auto& a, const auto& b) {
            return a.second.lastUse < b.second.lastUse;
        });
        cancelStop(oldest->first);
        players_.erase(oldest);
    }
    Slot& slot = players_[id];
    if (slot.player) {
        slot.player->pause(); // the player of the clip's former file
    }
    slot = Slot{url, std::move(opened), ++uses_};
    return slot.player;
}

} // namespace velmora
