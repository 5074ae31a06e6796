#include "platform/media/AssetWriter.h"

#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/media/internal/WriterCore.h"

namespace velmora {

const char* encoderName(VideoCodecType codec)
{
    switch (codec) {
    case VideoCodecType::hevc: return "libx265";
    case VideoCodecType::h264: return "libx264";
    case VideoCodecType::proRes422: return "prores_ks";
    }
    return "libx265";
}

// ---------------------------------------------------------------------------------------------

AssetWriterInput::AssetWriterInput(std::shared_ptr<AssetWriterInputCore> core) : core_(std::move(core))
{
    core_->handle = this;
}

AssetWriterInput::~AssetWriterInput() = default;

std::shared_ptr<AssetWriterInput> AssetWriterInput::video(const VideoOutputSettings& settings)
{
    auto core = std::make_shared<AssetWriterInputCore>();
    core->type = MediaType::video;
    core->video = settings;
    return std::shared_ptr<AssetWriterInput>(new AssetWriterInput(std::move(core)));
}

std::shared_ptr<AssetWriterInput> AssetWriterInput::audio(const AudioOutputSettings& settings)
{
    if (settings.sampleRate < 8000 || settings.sampleRate > 96000 || settings.channels < 1 || settings.channels > 8 ||
        settings.bitRate <= 0) {
        throw MediaError::make(MediaError::invalidArgument, "AAC audio of " + std::to_string(settings.sampleRate) +
                                                                " Hz and " + std::to_string(settings.channels) +
                                                                " channels cannot be written.");
    }
    auto core = std::make_shared<AssetWriterInputCore>();
    core->type = MediaType::audio;
    core->audio = settings;
    return std::shared_ptr<AssetWriterInput>(new AssetWriterInput(std::move(core)));
}

MediaType AssetWriterInput::mediaType() const { return core_->type; }
const VideoOutputSettings& AssetWriterInput::videoSettings() const { return core_->video; }
const AudioOutputSettings& AssetWriterInput::audioSettings() const { return core_->audio; }

PixelFormat AssetWriterInput::nativePixelFormat() const
{
    return ffmpeg::nativePixelFormat(core_->video.codec);
}

bool AssetWriterInput::isReadyForMoreMediaData() const
{
    auto writer = core_->writer.lock();
    if (!writer) {
        return false;
    }
    std::lock_guard lock(writer->stateMutex);
    return writer->readyLocked(*core_);
}

void AssetWriterInput::requestMediaDataWhenReady(SerialQueue& queue, std::function<void()> block)
{
    auto writer = core_->writer.lock();
    if (!writer) {
        throw MediaError::make(MediaError::invalidState, "Add the input to a writer before asking it for data.");
    }
    std::lock_guard lock(writer->stateMutex);
    core_->queue = &queue;
    core_->block = std::move(block);
    writer->schedulePumpLocked(core_, 0);
}

bool AssetWriterInput::append(const SampleBuffer& sample)
{
    AssetWriterInputCore& in = *core_;
    auto writer = in.writer.lock();
    if (!writer) {
        return false;
    }
    MediaTime relative;
    {
        std::lock_guard lock(writer->stateMutex);
        if (writer->status.load() != AssetWriterStatus::writing || in.finished || writer->finishing) {
            return false;
        }
        relative = sample.presentationTime - writer->sessionStart;
        if (!relative.isNumeric()) {
            return false;
        }
        MediaTime end = relative + (sample.duration.isNumeric() ? sample.duration : MediaTime::zero());
        if (in.type == MediaType::audio && sample.audioSampleRate > 0) {
            end = relative + MediaTime(sample.audioFrameCount, sample.audioSampleRate);
        }
        if (end > in.appendedEnd) {
            in.appendedEnd = end;
        }
        ++in.progress;
    }
    try {
        if (in.type == MediaType::video) {
            // Encoded on the input's own thread; the encode lock is not taken here, since a
            // full queue waits for that thread.
            if (!sample.imageBuffer) {
                throw MediaError::make(MediaError::invalidArgument, "A video sample without a frame cannot be written.");
            }
            const VideoOutputSettings& v = in.video;
            if (sample.imageBuffer.width() != v.width || sample.imageBuffer.height() != v.height) {
                throw MediaError::make(MediaError::invalidArgument,
                                       "A frame of " + std::to_string(sample.imageBuffer.width()) + " x " +
                                           std::to_string(sample.imageBuffer.height()) + " cannot be written to a " +
                                           std::to_string(v.width) + " x " + std::to_string(v.height) + " movie.");
            }
            if (relative < MediaTime::zero()) {
                return true; // before the session: not part of the movie
            }
            {
                std::lock_guard state(writer->stateMutex);
                ++in.inFlight;
            }
            if (!in.encodeQueue || !in.encodeQueue->push(sample.imageBuffer, relative)) {
                std::lock_guard state(writer->stateMutex);
                --in.inFlight;
                return false;
            }
            return writer->status.load() == AssetWriterStatus::writing;
        } else {
            std::lock_guard lock(in.encodeMutex);
            if (writer->status.load() != AssetWriterStatus::writing || in.flushed) {
                return false;
            }
            const int index = in.streamIndex;
            AssetWriterCore* core = writer.get();
            auto sink = [core, index](ffmpeg::PacketPtr p) { core->enqueue(index, std::move(p)); };
            const int rate = in.audio.sampleRate;
            const int channels = in.audio.channels;
            if (sample.audioSampleRate != rate || sample.audioChannels != channels ||
                sample.audioSamples.size() < static_cast<std::size_t>(sample.audioFrameCount) * channels) {
                throw MediaError::make(MediaError::invalidArgument,
                                       "Audio of " + std::to_string(sample.audioSampleRate) + " Hz and " +
                                           std::to_string(sample.audioChannels) + " channels cannot go into a " +
                                           std::to_string(rate) + " Hz, " + std::to_string(channels) +
                                           " channel track.");
            }
            const MediaTime onRate = relative.convertScale(rate);
            const std::int64_t position = onRate.value();
            if (position > in.nextAudioSample) {
                in.audioEncoder->appendSilence(position - in.nextAudioSample, sink);
                in.nextAudioSample = position;
            }
            const std::int64_t skip = std::min<std::int64_t>(in.nextAudioSample - position, sample.audioFrameCount);
            const int count = static_cast<int>(sample.audioFrameCount - skip);
            in.audioEncoder->append(sample.audioSamples.data() + skip * channels, count, sink);
            in.nextAudioSample += count;
        }
    } catch (const Error& e) {
        writer->fail(e);
        return false;
    } catch (const std::bad_alloc&) {
        writer->fail(MediaError::make(MediaError::encodeFailed, "Out of memory while encoding."));
        return false;
    }
    writer->kick();
    return true;
}

void AssetWriterInput::markAsFinished()
{
    auto writer = core_->writer.lock();
    if (!writer) {
        return;
    }
    {
        std::lock_guard lock(writer->stateMutex);
        if (core_->finished) {
            return;
        }
        core_->finished = true;
    }
    try {
        if (core_->encodeQueue) {
            core_->encodeQueue->finish(); // the input's thread flushes after its last frame
        } else {
            writer->flushInput(*core_);
        }
    } catch (const Error& e) {
        writer->fail(e);
    }
    writer->kick();
}

// ---------------------------------------------------------------------------------------------

AssetWriterInputPixelBufferAdaptor::AssetWriterInputPixelBufferAdaptor(std::shared_ptr<AssetWriterInput> input,
                                                                       PixelFormat sourcePixelFormat, int width,
                                                                       int height)
    : input_(std::move(input)), pool_(sourcePixelFormat, width, height)
{
    if (!input_ || input_->mediaType() != MediaType::video) {
        throw MediaError::make(MediaError::invalidArgument, "A pixel buffer adaptor needs a video input.");
    }
}

bool AssetWriterInputPixelBufferAdaptor::append(const PixelBuffer& pixelBuffer, const MediaTime& presentationTime)
{
    SampleBuffer sample;
    sample.imageBuffer = pixelBuffer;
    sample.presentationTime = presentationTime;
    const auto& settings = input_->videoSettings();
    if (settings.compressionProperties && settings.compressionProperties->expectedSourceFrameRate > 0) {
        sample.duration = MediaTime::fromSeconds(1.0 / settings.compressionProperties->expectedSourceFrameRate, 600000);
    }
    return input_->append(sample);
}

// ---------------------------------------------------------------------------------------------

AssetWriter::AssetWriter(const std::filesystem::path& url, FileType fileType, AssetWriterTarget target)
    : core_(std::make_shared<AssetWriterCore>())
{
    std::error_code ec;
    if (target == AssetWriterTarget::newFile && std::filesystem::exists(url, ec)) {
        throw MediaError::make(MediaError::writeFailed, "Cannot write \"" + url.string() + "\": a file is already there.");
    }
    if (target == AssetWriterTarget::claimedEmptyFile &&
        (!std::filesystem::is_regular_file(std::filesystem::symlink_status(url, ec)) ||
         std::filesystem::file_size(url, ec) != 0 || ec)) {
        throw MediaError::make(MediaError::writeFailed, "Cannot write \"" + url.string() + "\": it is not an empty file.");
    }
    const auto folder = url.has_parent_path() ? url.parent_path() : std::filesystem::current_path();
    if (!std::filesystem::is_directory(folder, ec)) {
        throw MediaError::make(MediaError::writeFailed,
                               "Cannot write \"" + url.string() + "\": the folder does not exist.");
    }
    core_->url = url;
    core_->fileType = fileType;
}

AssetWriter::~AssetWriter()
{
    bool finishing = false;
    {
        std::lock_guard lock(core_->stateMutex);
        finishing = core_->finishing;
    }
    if (!finishing) {
        cancelWriting();
    }
    core_->finisher.join(); // detached instead when the completion destroys the writer
}

const std::filesystem::path& AssetWriter::outputURL() const { return core_->url; }
FileType AssetWriter::outputFileType() const { return core_->fileType; }

bool AssetWriter::canAdd(const AssetWriterInput& input) const
{
    if (core_->status.load() != AssetWriterStatus::unknown || !input.core_->writer.expired()) {
        return false;
    }
    for (const auto& existing : core_->inputs) {
        if (existing->type == input.core_->type) {
            return false;
        }
    }
    if (input.core_->type == MediaType::video) {
        const VideoOutputSettings& s = input.core_->video;
        if (s.codec == VideoCodecType::proRes422 && core_->fileType == FileType::mpeg4) {
            return false;
        }
        if (s.width < 16 || s.height < 16 || s.width > 16384 || s.height > 16384 ||
            (s.codec != VideoCodecType::proRes422 && (s.width % 2 != 0 || s.height % 2 != 0)) ||
            (s.codec == VideoCodecType::proRes422 && s.width % 2 != 0)) {
            return false;
        }
    }
    return true;
}

void AssetWriter::add(const std::shared_ptr<AssetWriterInput>& input)
{
    if (!input) {
        throw MediaError::make(MediaError::invalidArgument, "No input to add.");
    }
    if (!canAdd(*input)) {
        if (input->mediaType() == MediaType::video) {
            const VideoOutputSettings& s = input->videoSettings();
            if (s.codec == VideoCodecType::proRes422 && core_->fileType == FileType::mpeg4) {
                throw MediaError::make(MediaError::incompatibleContainer,
                                       "ProRes 422 cannot be written into an MPEG-4 file; export it as a QuickTime "
                                       "movie (.mov) instead.");
            }
            if (core_->status.load() == AssetWriterStatus::unknown && input->core_->writer.expired()) {
                throw MediaError::make(MediaError::invalidArgument,
                                       "A " + std::to_string(s.width) + " x " + std::to_string(s.height) +
                                           " movie cannot be written with " + encoderName(s.codec) +
                                           ": the size must be even and between 16 and 16384 pixels.");
            }
        }
        throw MediaError::make(MediaError::invalidState, "This input cannot be added to the writer.");
    }
    input->core_->writer = core_;
    core_->inputs.push_back(input->core_);
}

bool AssetWriter::startWriting()
{
    AssetWriterCore& core = *core_;
    if (core.status.load() != AssetWriterStatus::unknown) {
        return false;
    }
    core.movieTimeScale = movieTimeScale;
    ffmpeg::quietLogging();
    try {
        // Every other path takes an input's encodeMutex before muxMutex (an encoder that opens
        // describes its track to the muxer), so setting up takes them in that order too: the
        // inputs' encode locks in input order first, then the muxer's.
        std::vector<std::unique_lock<std::mutex>> encodeLocks;
        encodeLocks.reserve(core.inputs.size());
        for (const auto& input : core.inputs) {
            encodeLocks.emplace_back(input->encodeMutex);
        }
        AVFormatContext* raw = nullptr;
        const char* formatName = core.fileType == FileType::mpeg4 ? "mp4" : "mov";
        int rc = avformat_alloc_output_context2(&raw, nullptr, formatName, core.url.c_str());
        if (rc < 0 || !raw) {
            throw ffmpeg::error(MediaError::writeFailed, "Cannot set up \"" + core.url.filename().string() + "\"", rc);
        }
        std::lock_guard muxLock(core.muxMutex);
        core.format.reset(raw);
        const bool globalHeader = (raw->oformat->flags & AVFMT_GLOBALHEADER) != 0;
        for (const auto& input : core.inputs) {
            AVStream* stream = avformat_new_stream(raw, nullptr);
            if (!stream) {
                throw std::bad_alloc();
            }
            input->streamIndex = stream->index;
            if (input->type == MediaType::video) {
                input->timeBase = ffmpeg::videoTimeBase(input->video, input->handle ? input->handle->mediaTimeScale : 0);
                input->videoEncoder = std::make_unique<ffmpeg::VideoEncoder>(input->video, input->timeBase, globalHeader);
                core.startEncodeQueue(*input);
                // Find the encoder now, so a missing one fails here rather than at the first frame.
                if (!avcodec_find_encoder_by_name(encoderName(input->video.codec))) {
                    throw MediaError::make(MediaError::encoderNotFound,
                                           std::string("The encoder \"") + encoderName(input->video.codec) +
                                               "\" is not available in this FFmpeg build.");
                }
            } else {
                input->audioEncoder = std::make_unique<ffmpeg::AudioEncoder>(input->audio, globalHeader);
                input->audioEncoder->open();
                input->timeBase = input->audioEncoder->context()->time_base;
            }
        }
        core.queues.resize(core.inputs.size());
        core.ended.assign(core.inputs.size(), false);
        core.packetTimeBases.assign(core.inputs.size(), AVRational{1, 90000});
        core.encoderReady.assign(core.inputs.size(), false);
        rc = avio_open(&raw->pb, core.url.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0) {
            throw ffmpeg::error(MediaError::writeFailed, "Cannot create \"" + core.url.string() + "\"", rc);
        }
        {
            std::lock_guard lock(core.stateMutex);
            core.fileCreated = true;
            core.status = AssetWriterStatus::writing;
        }
    } catch (const Error& e) {
        core.fail(e);
        core.closeAndRemoveFile();
        return false;
    } catch (const std::bad_alloc&) {
        core.fail(MediaError::make(MediaError::writeFailed, "Out of memory while starting the writer."));
        core.closeAndRemoveFile();
        return false;
    }
    // Audio encoders are open already; their tracks are described now.
    try {
        for (const auto& input : core.inputs) {
            if (input->audioEncoder) {
                std::lock_guard lock(input->encodeMutex);
                core.encoderOpened(*input, input->audioEncoder->context());
            }
        }
    } catch (const Error& e) {
        core.fail(e);
        core.closeAndRemoveFile();
        return false;
    }
    return true;
}

void AssetWriter::startSession(const MediaTime& time)
{
    std::lock_guard lock(core_->stateMutex);
    core_->sessionStart = time.isNumeric() ? time : MediaTime::zero();
}

void AssetWriter::finishWriting(std::function<void()> completion)
{
    {
        std::lock_guard lock(core_->stateMutex);
        if (core_->finishing) {
            return;
        }
        core_->finishing = true;
        for (const auto& input : core_->inputs) {
            input->finished = true;
        }
    }
    auto core = core_;
    core->finisher.start([core, completion = std::move(completion)] {
        core->finish();
        if (completion) {
            completion();
        }
    });
}

void AssetWriter::cancelWriting()
{
    {
        std::lock_guard lock(core_->stateMutex);
        if (core_->finishing) {
            return;
        }
        const AssetWriterStatus s = core_->status.load();
        if (s == AssetWriterStatus::unknown || s == AssetWriterStatus::writing) {
            core_->status = AssetWriterStatus::cancelled;
        }
        for (const auto& input : core_->inputs) {
            input->finished = true;
        }
    }
    // Waits for the frame being encoded, then lets the encoders and the partial file go.
    core_->stopEncodeQueues();
    core_->releaseEncoders();
    core_->closeAndRemoveFile();
}

AssetWriterStatus AssetWriter::status() const { return core_->status.load(); }

std::optional<Error> AssetWriter::error() const
{
    std::lock_guard lock(core_->stateMutex);
    return core_->error;
}

} // namespace velmora
