#include "export/ClipFrameReaders.h"

#include "platform/media/FrameStart.h"

#include <algorithm>
#include <tuple>

#include "export/SourceFrameDecoding.h"
#include "export/TimelineExportState.h"
#include "grading/BasicGrade.h"
#include "grading/LutApplication.h"
#include "platform/image/Resample.h"

namespace velmora::Exporter {

namespace {

// Decoder threads for sources of up to this many pixels (1920 x 1088, a 1080p stream's coded size).
constexpr std::int64_t kFewDecoderThreadsPixels = 1920LL * 1088;
constexpr int kFewDecoderThreads = 4;

constexpr std::int32_t kReaderTimescale = 60000;
// Samples a request may pass over before the search gives up.
constexpr int kMaxSamplesPerRequest = 600;

void cancelIfReading(AssetReader* reader)
{
    if (reader && reader->status() == AssetReaderStatus::reading) {
        reader->cancelReading();
    }
}

} // namespace

ClipFrameReaders::ClipFrameReaders(int outW, int outH, double frameDuration, ClipReaderFaults faults)
    : outW_(outW), outH_(outH), frameDuration_(frameDuration), faults_(std::move(faults))
{
}

ClipFrameReaders::~ClipFrameReaders()
{
    closeAll();
}

ClipFrameReaders::Opened ClipFrameReaders::openReader(const ExportSource& source, double start, double sourceEnd,
                                                      bool stream) const
{
    Opened opened;
    opened.reader = std::make_shared<AssetReader>(source.asset);
    opened.reader->setTimeRange(MediaTimeRange::fromStartEnd(MediaTime::fromSeconds(start, kReaderTimescale),
                                                             MediaTime::fromSeconds(sourceEnd, kReaderTimescale)));
    // Float frames straight from the decoder's planes, converted on this (the reading) thread.
    opened.output = AssetReaderTrackOutput::videoImages(*source.videoTrack);
    opened.output->alwaysCopiesSampleData = false;
    // Each frame thread of the decoder holds pictures of its own; up to about 1080p a few
    // threads decode far faster than the grade and the encoder take frames, so more would only
    // hold more memory. Larger sources get a thread per core.
    const AssetTrack& track = *source.videoTrack;
    if (static_cast<std::int64_t>(track.width) * track.height <= kFewDecoderThreadsPixels) {
        opened.output->decoderThreads = kFewDecoderThreads;
    }
    // Frames far larger than the output come down in their planes, before the float conversion.
    std::tie(opened.output->neededWidth, opened.output->neededHeight) =
        storedPictureSize(source.transform, outW_, outH_);
    const bool refused = faults_.refuseOutput && faults_.refuseOutput(stream);
    if (refused || !opened.reader->canAdd(*opened.output)) {
        throw stream ? exportError(TimelineExportCode::streamReaderOutput, "Cannot add video reader output")
                     : exportError(TimelineExportCode::seekReaderOutput, "Cannot add seek reader output");
    }
    opened.reader->add(opened.output);
    return opened;
}

SourcePicture ClipFrameReaders::pictureOf(const SampleBuffer& sample, const AffineTransform& transform) const
{
    SourcePicture picture;
    if (!sample.hasImage()) {
        return picture;
    }
    Image image = sample.image;
    tagPixelBufferDecode(image.tags);
    if (transform != AffineTransform::identity()) {
        image = affineTransform(image, imageSpaceTransform(transform, image.width(), image.height()));
    }
    picture.image = fitToOutput(image, outW_, outH_);
    return picture;
}

SourcePicture ClipFrameReaders::walkTo(std::optional<SampleBuffer>& current, SourcePicture& currentPicture,
                                       AssetReaderTrackOutput& output, const AffineTransform& transform,
                                       double sourceTime) const
{
    const auto picture = [&] {
        if (!currentPicture.hasPicture()) {
            currentPicture = pictureOf(*current, transform);
        }
        return currentPicture;
    };
    int tests = 0;
    while (current && tests < kMaxSamplesPerRequest) {
        ++tests;
        if (startsAtOrAfter(current->presentationTime.seconds(), sourceTime)) {
            return picture();
        }
        // Samples before the wanted time are passed over without making their pictures (a faster
        // source than the output skips frames); the last one a search may reach is made.
        while (tests + 1 < kMaxSamplesPerRequest) {
            const std::optional<MediaTime> next = output.nextSampleTime();
            if (!next || startsAtOrAfter(next->seconds(), sourceTime)) {
                break;
            }
            output.skipNextSample();
            ++tests;
        }
        // The sample left behind lets go of its float picture before the next one is made, so
        // that the two are never alive at once.
        currentPicture = {};
        current.reset();
        current = output.copyNextSampleBuffer();
    }
    if (current && current->presentationTime.seconds() <= sourceTime + frameDuration_) {
        return picture();
    }
    return {};
}

SourcePicture ClipFrameReaders::streamPicture(const ExportSource& source, const std::string& key, double inPoint,
                                              double sourceEnd, double sourceTime)
{
    std::shared_ptr<TimelineStreamReader> reader;
    {
        std::lock_guard lock(slotMutex_);
        reader = stream_;
    }
    if (!reader || streamKey_ != key) {
        closeStream();
        auto fresh = std::make_shared<TimelineStreamReader>();
        Opened opened = openReader(source, std::max(inPoint, sourceTime), sourceEnd, true);
        fresh->reader = std::move(opened.reader);
        fresh->output = std::move(opened.output);
        fresh->transform = source.transform;
        const bool refused = faults_.refuseStart && faults_.refuseStart(true);
        if (refused || !fresh->reader->startReading()) {
            if (!refused) {
                if (auto error = fresh->reader->error()) {
                    throw *error;
                }
            }
            throw exportError(TimelineExportCode::streamReaderStart, "Failed to start stream reader");
        }
        fresh->pending = fresh->output->copyNextSampleBuffer();
        ++streamOpened_;
        {
            std::lock_guard lock(slotMutex_);
            stream_ = fresh;
        }
        streamKey_ = key;
        reader = std::move(fresh);
    }
    SourcePicture picture =
        walkTo(reader->pending, reader->pendingPicture, *reader->output, reader->transform, sourceTime);
    if (picture.hasPicture()) {
        return picture;
    }
    return oneOffDecode(source, sourceTime);
}

SourcePicture ClipFrameReaders::seekPicture(const ExportSource& source, const std::string& key, double inPoint,
                                            double sourceEnd, double sourceTime)
{
    closeStream();
    std::shared_ptr<TimelineSeekReader> reader;
    {
        std::lock_guard lock(slotMutex_);
        reader = seek_;
    }
    if (!reader || seekKey_.empty() || seekKey_ != key) {
        closeSeek();
        auto fresh = std::make_shared<TimelineSeekReader>();
        Opened opened = openReader(source, std::max(inPoint, sourceTime), sourceEnd, false);
        fresh->reader = std::move(opened.reader);
        fresh->output = std::move(opened.output);
        fresh->transform = source.transform;
        ++seekOpened_;
        {
            std::lock_guard lock(slotMutex_);
            seek_ = fresh;
        }
        seekKey_ = key;
        reader = std::move(fresh);
    }
    if (!reader->started) {
        reader->started = true;
        const bool refused = faults_.refuseStart && faults_.refuseStart(false);
        if (refused || !reader->reader->startReading()) {
            if (!refused) {
                if (auto error = reader->reader->error()) {
                    throw *error;
                }
            }
            throw exportError(TimelineExportCode::seekReaderStart, "Seek reader failed to start");
        }
        reader->currentSample = reader->output->copyNextSampleBuffer();
    }
    SourcePicture picture =
        walkTo(reader->currentSample, reader->currentPicture, *reader->output, reader->transform, sourceTime);
    if (picture.hasPicture()) {
        return picture;
    }
    return oneOffDecode(source, sourceTime);
}

SourcePicture ClipFrameReaders::generatorPicture(const ExportSource& source, double sourceTime)
{
    SourcePicture picture;
    if (!source.generator) {
        return picture;
    }
    const bool still = source.asset && source.asset->isStillImage();
    if (still) {
        if (const auto fitted = fittedStills_.find(source.asset.get()); fitted != fittedStills_.end()) {
            picture.image = fitted->second;
            return picture;
        }
    }
    try {
        source.generator->requestedTimeToleranceBefore = MediaTime::zero();
        source.generator->requestedTimeToleranceAfter = MediaTime::zero();
        Image image = source.generator->copyImage(MediaTime::fromSeconds(sourceTime, kReaderTimescale));
        picture.image = fitToOutput(image, outW_, outH_);
        if (still) {
            // Fitted once and kept as pixels: every later frame of the still reuses them.
            picture.image = picture.image.rendered();
            fittedStills_.emplace(source.asset.get(), picture.image);
        }
    } catch (const std::exception&) {
        // A picture the generator cannot make leaves the clip black for this frame.
    }
    return picture;
}

SourcePicture ClipFrameReaders::oneOffDecode(const ExportSource& source, double sourceTime)
{
    SourcePicture picture;
    if (!source.asset || !source.videoTrack) {
        return picture;
    }
    std::optional<double> snapped = snappedSourceTime(sourceTime, sourceFrameRate(*source.videoTrack));
    // Every time at or past the track's end shows its last frame: one key for all of them, so a
    // clip held past its source's end decodes that frame once, not once per export frame.
    const MediaTimeRange& span = source.videoTrack->timeRange;
    if (snapped && span.isValid() && !span.isEmpty() && *snapped >= span.end().seconds()) {
        snapped = span.end().seconds();
    }
    if (snapped && lastOneOff_ && lastOneOff_->asset == source.asset && lastOneOff_->snappedTime == *snapped) {
        picture.image = lastOneOff_->image;
        return picture;
    }
    ++oneOffDecodes_;
    if (auto image = decodeSourceFrameForExport(source.asset, *source.videoTrack, source.transform, sourceTime,
                                                outW_, outH_)) {
        // Kept as pixels, so that reusing it does not run its deferred steps again.
        picture.image = image->rendered();
        if (snapped) {
            lastOneOff_ = OneOff{source.asset, *snapped, picture.image};
        }
    } else {
        lastOneOff_.reset();
    }
    return picture;
}

void ClipFrameReaders::closeStream()
{
    std::shared_ptr<TimelineStreamReader> reader;
    {
        std::lock_guard lock(slotMutex_);
        reader = std::move(stream_);
        stream_.reset();
    }
    if (reader) {
        cancelIfReading(reader->reader.get());
    }
    streamKey_.clear();
}

void ClipFrameReaders::closeSeek()
{
    std::shared_ptr<TimelineSeekReader> reader;
    {
        std::lock_guard lock(slotMutex_);
        reader = std::move(seek_);
        seek_.reset();
    }
    if (reader) {
        cancelIfReading(reader->reader.get());
    }
    seekKey_.clear();
}

void ClipFrameReaders::closeAll()
{
    closeStream();
    closeSeek();
}

void ClipFrameReaders::cancelAll()
{
    std::shared_ptr<TimelineStreamReader> stream;
    std::shared_ptr<TimelineSeekReader> seek;
    {
        std::lock_guard lock(slotMutex_);
        stream = stream_;
        seek = seek_;
    }
    if (stream) {
        cancelIfReading(stream->reader.get());
    }
    if (seek) {
        cancelIfReading(seek->reader.get());
    }
}

} // namespace velmora::Exporter
