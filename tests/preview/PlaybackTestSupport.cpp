#include "PlaybackTestSupport.h"

#include <algorithm>
#include <cmath>

#include "preview/PlatformCompositionBuilder.h"
#include "preview/PlatformPreviewServices.h"

namespace velmora::test {

int stampShown(const VideoOutput& output)
{
    const std::optional<VideoOutput::Frame> frame = output.latestFrame();
    if (!frame) {
        return -2;
    }
    const PixelBuffer& buffer = frame->buffer;
    return readFrameStamp(
        [&](int x, int y) { return (buffer.baseAddress(0) + buffer.bytesPerRow(0) * y)[4 * x + 1] / 255.0; },
        buffer.width(), buffer.height());
}

std::vector<float> heard(const RecordingAudioSink& sink, double from, double seconds)
{
    constexpr int rate = AudioSink::sampleRate;
    const std::int64_t first = std::llround(from * rate);
    std::vector<float> window(static_cast<std::size_t>(std::llround(seconds * rate)), std::nanf(""));
    for (const RecordingAudioSink::Run& run : sink.recording()) {
        const std::int64_t start = run.start.convertScale(rate).value();
        for (std::int64_t f = std::max(first, start); f < std::min<std::int64_t>(first + window.size(), start + run.frameCount()); ++f) {
            window[static_cast<std::size_t>(f - first)] = run.samples[static_cast<std::size_t>(f - start) * 2];
        }
    }
    std::erase_if(window, [](float v) { return std::isnan(v); });
    return window;
}

double toneLevel(const std::vector<float>& samples, double frequency)
{
    return toneAmplitude(samples, 1, 0, 0, static_cast<std::int64_t>(samples.size()), frequency, AudioSink::sampleRate);
}

void makeStampClip(const std::filesystem::path& path, double seconds, double frequency, int width, int height,
                   int rotation)
{
    ClipSettings clip;
    clip.width = width;
    clip.height = height;
    clip.fpsNum = 30;
    clip.frameCount = static_cast<int>(std::lround(seconds * 30));
    clip.videoArgs = "-preset ultrafast -g 15";
    clip.audio = frequency > 0;
    clip.sineFrequency = frequency;
    clip.rotation = rotation;
    makeClip(path, clip);
}

std::shared_ptr<EditSession> sessionOf(std::vector<EditSession::Source> sources, std::vector<EditSession::Clip> clips,
                                       int width, int height, double fps)
{
    auto session = sessionWith(std::move(clips));
    session->sources = std::move(sources);
    session->project->width = width;
    session->project->height = height;
    session->project->fps = fps;
    return session;
}

EditSession::Clip sourceClip(std::string id, std::string type, std::string sourceId, double start, double duration,
                             double inPoint, int lane)
{
    EditSession::Clip made = clip(std::move(id), std::move(type), start, duration, lane);
    made.sourceId = std::move(sourceId);
    made.inPoint = inPoint;
    made.outPoint = inPoint + duration;
    return made;
}

PlaybackHarness::PlaybackHarness()
    : engine([this] {
          const auto sink = [this](std::shared_ptr<RecordingAudioSink>& last) {
              return [this, &last] { return last = std::make_shared<RecordingAudioSink>(clock); };
          };
          const TimelineScrubAudio::PlayerOpener open = platformScrubAudioOpener(queue, sink(scrubSink));
          return TimelinePreviewEngine::Services{
              queue, clock, std::make_shared<PlatformCompositionBuilder>(queue, sink(playerSink)),
              [this, open](const std::filesystem::path& file) {
                  std::shared_ptr<PreviewPlayer> player = open(file);
                  scrubPlayers.push_back(std::dynamic_pointer_cast<PlatformPreviewPlayer>(player));
                  return player;
              }};
      }())
{
    QObject::connect(&engine, &TimelinePreviewEngine::statusChanged, [this] { statuses.push_back(engine.status()); });
}

bool PlaybackHarness::waitFor(const std::function<bool()>& done)
{
    return queue->runUntil(done, 30);
}

bool PlaybackHarness::adoptAndWait(std::shared_ptr<EditSession> session, const std::vector<std::filesystem::path>& files)
{
    for (const std::filesystem::path& file : files) {
        std::filesystem::create_symlink(file, media.path() / file.filename());
    }
    engine.adoptSession(std::move(session), media.path(), std::nullopt, true);
    return waitFor([this] { return engine.avPlayer() || engine.lastError(); });
}

PlatformPreviewPlayer& PlaybackHarness::player() const
{
    return dynamic_cast<PlatformPreviewPlayer&>(*engine.avPlayer());
}

bool PlaybackHarness::play()
{
    engine.togglePlay();
    return waitFor([this] { return player().timeControlStatus() == Player::TimeControlStatus::playing; });
}

void PlaybackHarness::playFor(double seconds, const std::function<void()>& eachStep, double step)
{
    const MediaTime target = player().currentTime() + MediaTime::fromSeconds(seconds, 600);
    while (engine.isPlaying() && player().rate() > 0 && player().currentTime() < target) {
        waitFor([&] {
            const double left = (player().itemDuration() - player().currentTime()).seconds();
            return playerSink->writableFrames() < 480 || player().rate() == 0 || left < 0.05;
        });
        queue->advance(std::min(step, (target - player().currentTime()).seconds()));
        queue->runUntilIdle(); // the time observer's calls
        if (eachStep) {
            eachStep();
        }
    }
    // A player that stopped at its end tells the engine through its time observer.
    if (player().rate() == 0) {
        queue->runUntil([this] { return !engine.isPlaying(); }, 60);
    }
}

void PlaybackHarness::playScrubBurst(PlatformPreviewPlayer& scrubPlayer)
{
    waitFor([&] { return scrubPlayer.timeControlStatus() == Player::TimeControlStatus::playing; });
    while (scrubPlayer.rate() != 0) {
        waitFor([&] { return scrubSink->writableFrames() < 480 || scrubPlayer.rate() == 0; });
        queue->advance(0.005);
    }
}

} // namespace velmora::test
