#pragma once

// The engine on the platform player, for the playback tests: a manual main queue whose virtual
// time is also the sound's clock, so that a test plays by moving time on, sinks that record
// what is played, and generated frame-stamp clips with tones.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "platform/media/RecordingAudioSink.h"
#include "preview/PlatformPreviewPlayer.h"
#include "preview/TimelinePreviewEngine.h"
#include "support/AudioFixtures.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {

// The virtual time of a manual main queue, as a clock any thread may read.
class QueueClock final : public Clock {
public:
    explicit QueueClock(std::shared_ptr<ManualMainQueue> queue) : queue_(std::move(queue)) {}
    double now() const override { return queue_->now(); }

private:
    std::shared_ptr<ManualMainQueue> queue_;
};

// Makes recording sinks on one clock (on the main thread, as players do) and keeps the last
// for the test to listen to.
class RecordingSinks {
public:
    explicit RecordingSinks(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {}
    AudioSinkFactory factory();
    // The sink made last; nullptr before the first.
    const std::shared_ptr<RecordingAudioSink>& last() const { return last_; }

private:
    std::shared_ptr<Clock> clock_;
    std::shared_ptr<RecordingAudioSink> last_;
};

// The frame number a frame-stamp picture shows, -1 when it cannot be read, -2 without a frame.
int stampShown(const VideoOutput& output);

// The samples of the left channel a sink played at item times [from, from + seconds), each
// item time from its latest pass; times never played are left out.
std::vector<float> heard(const RecordingAudioSink& sink, double from, double seconds);
// The amplitude of a tone of `frequency` in those samples; 0 when there are none.
double toneLevel(const std::vector<float>& samples, double frequency);
double peak(const std::vector<float>& samples);

// A 30 fps frame-stamp clip of `seconds` at `width` × `height` with a sine tone of `frequency`
// (none when 0).
void makeStampClip(const std::filesystem::path& path, double seconds, double frequency, int width = 160,
                   int height = 96, int rotation = 0);

// A session of the given sources (id and file name) and clips at 30 fps on a canvas of
// `width` × `height`.
std::shared_ptr<EditSession> sessionOf(std::vector<EditSession::Source> sources, std::vector<EditSession::Clip> clips,
                                       int width = 160, int height = 96, double fps = 30);

// A clip of a source.
EditSession::Clip sourceClip(std::string id, std::string type, std::string sourceId, double start, double duration,
                             double inPoint = 0, int lane = 1);

// The engine on a manual queue with the platform's composition builder and scrub players, all
// of whose sound goes to recording sinks on the queue's virtual time.
struct PlaybackHarness {
    PlaybackHarness();

    // Waits in real time (at most 30 s) for the player's threads, running the main queue.
    bool waitFor(const std::function<bool()>& done);
    // Adopts the session with the harness's media folder and waits for the build's end.
    bool adoptAndWait(std::shared_ptr<EditSession> session);
    PlatformPreviewPlayer& player() const;
    int stamp() const { return stampShown(*player().videoOutput()); }
    // Starts playing and waits until the clock runs.
    bool play();
    // Moves virtual time on in steps, letting the player fill its sink before each one, while
    // the engine plays and until the player has played `seconds` more; calls `eachStep` after
    // every step.
    void playFor(double seconds, const std::function<void()>& eachStep = {}, double step = 0.02);

    // Moves virtual time on in steps of 5 ms, letting the scrub player fill its sink before
    // each one, until its burst has stopped.
    void playScrubBurst(PlatformPreviewPlayer& scrubPlayer);
    // Links a generated file into the media folder.
    void addMedia(const std::filesystem::path& file);

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<QueueClock> clock = std::make_shared<QueueClock>(queue);
    RecordingSinks playerSinks{clock};
    RecordingSinks scrubSinks{clock};
    // Every scrub player opened, in order.
    std::vector<std::weak_ptr<PlatformPreviewPlayer>> scrubPlayers;
    TempDir media;
    TimelinePreviewEngine engine;
    std::vector<std::string> statuses;
};

} // namespace velmora::test
