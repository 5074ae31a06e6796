#pragma once

// The engine on the platform player for the playback tests: a manual main queue whose virtual
// time is also the sound's clock (a test plays by moving time on), recording sinks, and
// generated frame-stamp clips with tones.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "platform/media/RecordingAudioSink.h"
#include "preview/PlatformPreviewPlayer.h"
#include "support/AudioFixtures.h"
#include "support/MediaFixtures.h"

namespace velmora::test {

// The virtual time of a manual main queue, as a clock any thread may read.
class QueueClock final : public Clock {
public:
    explicit QueueClock(std::shared_ptr<ManualMainQueue> queue) : queue_(std::move(queue)) {}
    double now() const override { return queue_->now(); }

private:
    std::shared_ptr<ManualMainQueue> queue_;
};

// The frame number a frame-stamp picture shows; -1 when unreadable, -2 without a frame.
int stampShown(const VideoOutput& output);
// The left channel a sink played at item times [from, from + seconds) (times never played
// left out), and the amplitude of a tone in it.
std::vector<float> heard(const RecordingAudioSink& sink, double from, double seconds);
double toneLevel(const std::vector<float>& samples, double frequency);

// A 30 fps frame-stamp clip with a sine tone of `frequency` (none when 0).
void makeStampClip(const std::filesystem::path& path, double seconds, double frequency, int width = 160,
                   int height = 96, int rotation = 0);
// A session of the sources and clips on a canvas of width × height at `fps`.
std::shared_ptr<EditSession> sessionOf(std::vector<EditSession::Source> sources, std::vector<EditSession::Clip> clips,
                                       int width = 160, int height = 96, double fps = 30);
EditSession::Clip sourceClip(std::string id, std::string type, std::string sourceId, double start, double duration,
                             double inPoint = 0, int lane = 1);

// The engine with the platform's composition builder and scrub players on a manual queue,
// their sound in recording sinks on the queue's virtual time.
struct PlaybackHarness {
    PlaybackHarness();

    // Runs the queue while waiting in real time (at most 30 s) for the players' threads.
    bool waitFor(const std::function<bool()>& done);
    // Links the files into the media folder, adopts the session and waits for the build.
    bool adoptAndWait(std::shared_ptr<EditSession> session, const std::vector<std::filesystem::path>& files);
    PlatformPreviewPlayer& player() const;
    int stamp() const { return stampShown(*player().videoOutput()); }
    // Starts playing and waits until the clock runs.
    bool play();
    // Moves virtual time on in `step`s while the engine plays, until the player has played
    // `seconds` more, letting the player fill its sink before each step; `eachStep` after each.
    void playFor(double seconds, const std::function<void()>& eachStep = {}, double step = 0.02);
    // The same for a scrub player, in 5 ms steps, until its burst has stopped.
    void playScrubBurst(PlatformPreviewPlayer& scrubPlayer);

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<QueueClock> clock = std::make_shared<QueueClock>(queue);
    // The sinks made last for the preview player and for a scrub player.
    std::shared_ptr<RecordingAudioSink> playerSink;
    std::shared_ptr<RecordingAudioSink> scrubSink;
    std::vector<std::weak_ptr<PlatformPreviewPlayer>> scrubPlayers; // every one opened, in order
    TempDir media;
    TimelinePreviewEngine engine;
    std::vector<std::string> statuses;
};

} // namespace velmora::test
