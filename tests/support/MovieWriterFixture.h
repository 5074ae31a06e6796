#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/dispatch/Semaphore.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/media/AssetWriter.h"

namespace velmora::test {

struct MovieWriterSetup {
    FileType fileType = FileType::mpeg4;
    VideoOutputSettings video;
    // The layout frames are rendered into; the adaptor takes them at the video settings' size.
    PixelFormat sourceFormat = PixelFormat::p010;
    // Of the movie and of its video track; 0 keeps the writer's own choice.
    std::int32_t timescale = 0;
    bool audio = false;
};

// A movie writer with its video input (and an audio input when asked for) added and a pixel
// buffer adaptor for the video, fed the way the exports feed theirs. Nothing touches the file
// before start(). Header-only so that the test libraries below the media layer need not link it.
class MovieWriterFixture {
public:
    MovieWriterFixture(const std::filesystem::path& path, const MovieWriterSetup& setup)
        : writer(path, setup.fileType)
        , video(AssetWriterInput::video(setup.video))
        , audio(setup.audio ? AssetWriterInput::audio() : nullptr)
        , adaptor(video, setup.sourceFormat, setup.video.width, setup.video.height)
    {
        writer.movieTimeScale = setup.timescale;
        video->mediaTimeScale = setup.timescale;
        writer.add(video);
        if (audio)
            writer.add(audio);
    }

    // Opens the file and starts the session at time zero; false (error() set) when it cannot.
    bool start()
    {
        if (!writer.startWriting())
            return false;
        writer.startSession(MediaTime::zero());
        return true;
    }

    // Feeds the inputs from a video and an audio queue: each is called while its input is ready
    // and appends one frame or sample, returning false instead once it has none left; that input
    // is then marked finished, and the file is finished after the last one. `appendSample` is
    // needed exactly when there is an audio input. Waits at most two
    // minutes; returns whether the writer completed, adding a test failure with its error when
    // it did not.
    bool feed(const std::function<bool()>& appendFrame, const std::function<bool()>& appendSample = {})
    {
        open_ = audio ? 2 : 1;
        const auto pull = [this](AssetWriterInput& input, const std::function<bool()>& append) {
            while (input.isReadyForMoreMediaData()) {
                if (!append()) {
                    input.markAsFinished();
                    if (--open_ == 0)
                        writer.finishWriting([this] { done_.signal(); });
                    return;
                }
            }
        };
        video->requestMediaDataWhenReady(videoQueue_, [pull, appendFrame, this] { pull(*video, appendFrame); });
        if (audio)
            audio->requestMediaDataWhenReady(audioQueue_, [pull, appendSample, this] { pull(*audio, appendSample); });
        if (!done_.waitFor(120)) {
            writer.cancelWriting(); // no input is asked for more after this
            ADD_FAILURE() << "the movie was not finished within two minutes";
            return false;
        }
        const bool completed = writer.status() == AssetWriterStatus::completed;
        EXPECT_TRUE(completed) << errorText();
        return completed;
    }

    // The writer's error in full, or "" when it has none.
    std::string errorText() const
    {
        const std::optional<Error> error = writer.error();
        return error ? error->fullDescription() : std::string();
    }

private:
    // Declared before the writer, which calls into them until it is destroyed.
    Semaphore done_;
    SerialQueue videoQueue_{"test.writer.video"};
    SerialQueue audioQueue_{"test.writer.audio"};
    std::atomic<int> open_{0};

public:
    AssetWriter writer;
    std::shared_ptr<AssetWriterInput> video;
    std::shared_ptr<AssetWriterInput> audio; // null without audio
    AssetWriterInputPixelBufferAdaptor adaptor;
};

} // namespace velmora::test
