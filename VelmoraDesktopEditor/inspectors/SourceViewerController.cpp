#include "inspectors/SourceViewerController.h"

#include <algorithm>
#include <cmath>
#include <cstdio>


#include "inspectors/PlatformSourcePlayback.h"
#include "model/MediaResolver.h"
#include "model/LutResolution.h"
#include "model/ProjectLUTResolver.h"
#include "platform/dispatch/QtMainQueue.h"
#include "platform/foundation/ShownText.h"
#include "platform/foundation/StringText.h"
#include "platform/media/Asset.h"
#include "preview/StatusText.h"
#include "preview/TimelinePreviewEngine.h"

namespace velmora {
namespace {

constexpr std::int32_t kSeekTimescale = 600;
// Beyond this a time's whole seconds no longer fit the 64-bit count formatTime works with.
constexpr double kLargestFormattableTime = 9.2e18;

std::optional<double> probeWithAsset(const std::filesystem::path& file)
{
    try {
        return Asset::open(file)->durationSeconds();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

} // namespace

SourceViewerController::SourceViewerController(
    TimelinePreviewEngine& engine, EditSession::Source source, std::optional<std::filesystem::path> mediaFolderURL,
    std::optional<std::filesystem::path> sessionFile, std::optional<std::string> timelineClipId,
    std::optional<double> initialInPoint, std::optional<double> initialOutPoint, Callbacks callbacks,
    SourceViewerServices services, QObject* parent)
    : QObject(parent), engine_(&engine), source_(std::move(source)), mediaFolderURL_(std::move(mediaFolderURL)),
      sessionFile_(std::move(sessionFile)), timelineClipId_(std::move(timelineClipId)),
      initialInPoint_(initialInPoint), initialOutPoint_(initialOutPoint), callbacks_(std::move(callbacks)),
      services_(std::move(services)), sourceLutReference_(ProjectLUTResolver::noLutSentinel)
{
    if (!services_.mainQueue)
        services_.mainQueue = std::make_shared<QtMainQueue>();
    if (!services_.probeDuration)
        services_.probeDuration = probeWithAsset;
    if (!services_.openPlayback) {
        services_.openPlayback = [mainQueue = services_.mainQueue](const std::filesystem::path& file) {
            return openPlatformSourcePlayback(file, mainQueue);
        };
    }
}

SourceViewerController::~SourceViewerController()
{
    disappear();
    durationLoads_.waitForAll();
}

// ---- derived ----

TimelinePreviewEngine* SourceViewerController::engine() const
{
    return engine_.data();
}

std::optional<std::filesystem::path> SourceViewerController::mediaFolder() const
{
    if (mediaFolderURL_)
        return mediaFolderURL_;
    return engine_ ? engine_->previewMediaFolder() : std::nullopt;
}

bool SourceViewerController::isAudioSource() const
{
    return EditSession::normalizedClipType(source_.type, source_.fileName) == "audio";
}

SourceViewerController::Picture SourceViewerController::picture() const
{
    if (isAudioSource() && fileURL_)
        return Picture::waveform;
    if (player_ || fileURL_)
        return Picture::gradedPreview;
    if (loadError_)
        return Picture::error;
    return Picture::loading;
}

std::string SourceViewerController::sizeLine() const
{
    if (!source_.width || !source_.height)
        return {};
    std::string line = std::to_string(*source_.width) + "\u00D7" + std::to_string(*source_.height);
    if (source_.framerate)
        line += " \u00B7 " + StatusText::fixed(*source_.framerate, 2) + " fps";
    return line;
}

double SourceViewerController::scrubMaximum() const
{
    return std::isfinite(duration_) ? std::max(duration_, 0.01) : 0.01;
}

bool SourceViewerController::isScrubEnabled() const
{
    return std::isfinite(duration_) && duration_ != 0;
}

std::vector<std::string> SourceViewerController::lutNames() const
{
    if (!engine_)
        return {};
    return timelineClipId_ ? engine_->clipLutPickerOptions(timelineClipId_) : engine_->availableLutNames();
}

std::string SourceViewerController::lutTitle(const std::string& name) const
{
    return LutResolving::pickerTitle(name, clipLut_, engine_ ? engine_->listedLutMarks() : ListedLutMarks{});
}

std::optional<EditorJobV2::ClipGrade> SourceViewerController::clipLutGrade() const
{
    if (!clipLut_ || clipLut_->entry != sourceLutReference_ || !engine_ || !engine_->session() || !timelineClipId_)
        return std::nullopt;
    const std::optional<EditSession::Clip> clip = engine_->session()->clip(*timelineClipId_);
    if (!clip || !clip->grade)
        return std::nullopt;
    EditorJobV2::ClipGrade lut;
    lut.hasLut = clip->grade->hasLut;
    lut.lutData = clip->grade->lutData;
    lut.lutFile = clip->grade->lutFile;
    lut.lutName = clip->grade->lutName;
    lut.lutStrength = 1.0;
    return lut;
}

bool SourceViewerController::gradeEnabled() const
{
    return engine_ && engine_->gradePreviewEnabled();
}

double SourceViewerController::markableDuration() const
{
    return std::isfinite(duration_) ? duration_ : 0.0;
}

bool SourceViewerController::isStillImageFile(const std::filesystem::path& file)
{
    static const char* const stillExtensions[] = {".jpg", ".jpeg", ".png", ".tiff", ".tif", ".heic", ".heif", ".bmp"};
    const std::string extension = StringText::lowercased(file.extension().string());
    return std::any_of(std::begin(stillExtensions), std::end(stillExtensions),
                       [&](const char* still) { return extension == still; });
}

std::string SourceViewerController::formatTime(double seconds)
{
    if (!std::isfinite(seconds) || std::abs(seconds) >= kLargestFormattableTime)
        return "--:--:--";
    const auto whole = static_cast<long long>(seconds);
    const long long minutes = whole / 60;
    const long long wholeSeconds = whole - 60 * minutes;
    // The fraction keeps the sign of the time; fmod is exact.
    const auto hundredths = static_cast<long long>(std::fmod(seconds, 1.0) * 100);
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", minutes, wholeSeconds, hundredths);
    return text;
}

// ---- state setters ----

void SourceViewerController::setPlayback(SourcePlayback playback)
{
    player_ = std::move(playback.player);
    currentPicture_ = player_ ? std::move(playback.currentPicture) : std::function<QImage()>();
    emit playerChanged();
}

void SourceViewerController::setIsPlaying(bool value)
{
    isPlaying_ = value;
    emit isPlayingChanged();
}

void SourceViewerController::setCurrentTime(double value)
{
    currentTime_ = value;
    emit currentTimeChanged();
}

void SourceViewerController::setDuration(double value)
{
    duration_ = value;
    emit durationChanged();
}

void SourceViewerController::setInPoint(double value)
{
    inPoint_ = value;
    emit inPointChanged();
}

void SourceViewerController::setOutPoint(double value)
{
    outPoint_ = value;
    emit outPointChanged();
}

void SourceViewerController::setLoadError(std::optional<std::string> value)
{
    loadError_ = std::move(value);
    emit loadErrorChanged();
}

void SourceViewerController::setFileURL(std::optional<std::filesystem::path> value)
{
    fileURL_ = std::move(value);
    emit fileURLChanged();
}

void SourceViewerController::setSourceLutReference(std::string value)
{
    sourceLutReference_ = std::move(value);
    emit sourceLutReferenceChanged();
}

// ---- lifecycle ----

void SourceViewerController::load()
{
    setLoadError(std::nullopt);
    const std::optional<std::filesystem::path> folder = mediaFolder();
    if (!folder) {
        setLoadError("Media folder not set \u2014 import clips with Import in Media Pool");
        return;
    }
    const std::shared_ptr<EditSession> session = engine_ ? engine_->session() : nullptr;
    if (!session) {
        setLoadError("No project loaded");
        return;
    }
    const std::optional<std::filesystem::path> file = sourceFile(*session, *folder);
    if (!file) {
        setLoadError("Could not find \u201C" + shownText(source_.fileName) + "\u201D in the media folder");
        return;
    }
    setFileURL(file);

    clipLut_.reset();
    if (timelineClipId_)
        clipLut_ = engine_->clipLutPickerValue(*timelineClipId_);
    setSourceLutReference(clipLut_ ? clipLut_->entry : std::string(ProjectLUTResolver::noLutSentinel));

    // A still has no player and no duration: its picture is the graded still alone.
    if (isStillImageFile(*file))
        return;
    setPlayback(services_.openPlayback ? services_.openPlayback(*file) : SourcePlayback{});
    startDurationLoad(*file);
    if (player_) {
        const QPointer<SourceViewerController> self(this);
        timeObserver_ = player_->addPeriodicTimeObserver(
            MediaTime::fromSeconds(timeObserverInterval, kSeekTimescale), [self](const MediaTime& time) {
                // A time the player cannot tell leaves the read-out where it was.
                if (self && std::isfinite(time.seconds()))
                    self->setCurrentTime(time.seconds());
            });
    }
}

std::optional<std::filesystem::path> SourceViewerController::sourceFile(const EditSession& session,
                                                                      const std::filesystem::path& folder) const
{
    std::optional<MediaResolver::SourceFileMap> files;
    if (std::optional<ResolvedMedia> media = engine_ ? engine_->resolvedMedia() : std::nullopt;
        media && media->mediaFolder == folder) {
        files = std::move(media->files);
    } else {
        try {
            files = MediaResolver::sourceFileMap(session, folder);
        } catch (const std::exception&) {
            return std::nullopt; // no folder, or no media in it: nothing to show
        }
    }
    const auto found = files->find(source_.id);
    std::error_code ec;
    if (found == files->end() || !std::filesystem::is_regular_file(found->second, ec))
        return std::nullopt;
    return found->second;
}

void SourceViewerController::disappear()
{
    ++durationGeneration_;
    if (player_) {
        player_->pause();
        if (timeObserver_)
            player_->removeTimeObserver(*timeObserver_);
        timeObserver_.reset();
        setPlayback({});
    }
    if (isPlaying_)
        setIsPlaying(false);
}

void SourceViewerController::startDurationLoad(const std::filesystem::path& file)
{
    const std::uint64_t generation = ++durationGeneration_;
    const std::shared_ptr<MainQueue> mainQueue = services_.mainQueue;
    const auto probe = services_.probeDuration;
    const QPointer<SourceViewerController> self(this);
    durationLoads_.start([file, generation, mainQueue, probe, self] {
        const std::optional<double> seconds = probe(file);
        mainQueue->post([self, generation, seconds] {
            if (self)
                self->durationLoaded(generation, seconds);
        });
    });
}

void SourceViewerController::durationLoaded(std::uint64_t generation, std::optional<double> seconds)
{
    // A failed load changes nothing: no message, the marks stay at 0.
    if (generation != durationGeneration_ || !seconds)
        return;
    setDuration(*seconds);
    applyInitialMarks();
}

void SourceViewerController::applyInitialMarks()
{
    if (didApplyInitialMarks_)
        return;
    didApplyInitialMarks_ = true;
    const double length = markableDuration();
    if (!timelineClipId_) {
        setInPoint(0);
        setOutPoint(length);
    } else {
        // Marks that are below 0 or not finite would reach the timeline as they are: they
        // count as 0 (in) and as absent (out).
        const double in = initialInPoint_.value_or(0);
        const double start = std::isfinite(in) && in > 0 ? in : 0;
        const double out =
            initialOutPoint_ && std::isfinite(*initialOutPoint_) ? *initialOutPoint_ : length;
        setInPoint(start);
        setOutPoint(std::max(out, start + minimumInitialRange));
    }
    seekPlayer(inPoint_);
}

// ---- operations ----

void SourceViewerController::seekPlayer(double seconds)
{
    if (player_ && std::isfinite(seconds))
        player_->seek(MediaTime::fromSeconds(seconds, kSeekTimescale), MediaTime::zero(), MediaTime::zero(), {});
}

void SourceViewerController::togglePlayback()
{
    if (player_) {
        if (isPlaying_)
            player_->pause();
        else
            player_->play();
    }
    setIsPlaying(!isPlaying_);
}

void SourceViewerController::markIn()
{
    setInPoint(currentTime_);
}

void SourceViewerController::markOut()
{
    setOutPoint(currentTime_);
}

void SourceViewerController::clearInOut()
{
    setInPoint(0);
    setOutPoint(markableDuration());
    seekPlayer(0);
}

void SourceViewerController::scrub(double seconds)
{
    seekPlayer(seconds);
}

void SourceViewerController::chooseLut(const std::string& reference)
{
    if (reference == sourceLutReference_)
        return;
    clipLut_.reset();
    setSourceLutReference(reference);
    if (!timelineClipId_ || !engine_)
        return;
    engine_->setClipLutReference(reference, *timelineClipId_);
    if (callbacks_.onLutChanged)
        callbacks_.onLutChanged();
}

void SourceViewerController::setGradeEnabled(bool enabled)
{
    if (engine_)
        engine_->setGradePreviewEnabled(enabled);
}

void SourceViewerController::handOver(const RangeHandOver& callback) const
{
    if (callback)
        callback(inPoint_, outPoint_, sourceLutReference_);
}

void SourceViewerController::updateTimeline()
{
    handOver(callbacks_.onUpdateTimeline);
}

void SourceViewerController::insertAtPlayhead()
{
    handOver(callbacks_.onInsertAtPlayhead);
}

void SourceViewerController::addToTimeline()
{
    handOver(callbacks_.onAddToTimeline);
}

void SourceViewerController::close()
{
    if (callbacks_.onClose)
        callbacks_.onClose();
}

bool SourceViewerController::takesKey(const std::string& charactersIgnoringModifiers) const
{
    const std::string key = StringText::lowercased(charactersIgnoringModifiers);
    return (key == " " || key == "i" || key == "o") && callbacks_.isWindowKey && callbacks_.isWindowKey();
}

bool SourceViewerController::handleKey(const std::string& charactersIgnoringModifiers)
{
    if (!takesKey(charactersIgnoringModifiers))
        return false;
    const std::string key = StringText::lowercased(charactersIgnoringModifiers);
    if (key == " ")
        togglePlayback();
    else if (key == "i")
        markIn();
    else
        markOut();
    return true;
}

} // namespace velmora
