// Transport: play and pause, seeks, scrubbing, frame steps, cut jumps, selection and the
// look-ups of what lies under the playhead.

#include "preview/TimelinePreviewEngine.h"

#include <algorithm>
#include <cmath>

#include "editing/PreviewFrameTiming.h"
#include "model/MediaResolver.h"

namespace velmora {

namespace {

constexpr double kToggleGuardSeconds = 0.08;
constexpr double kTolerantSeekSeconds = 0.04;
constexpr double kExactSeekWatchdogSeconds = 2.5;
constexpr double kNearEndSeconds = 0.02;

MediaTime previewTime(double seconds)
{
    return MediaTime::fromSeconds(seconds, TimelinePreviewEngine::previewTimescale);
}

} // namespace

void TimelinePreviewEngine::togglePlay()
{
    const double now = clock_->now();
    if (lastTogglePlayAt_ && now - *lastTogglePlayAt_ <= kToggleGuardSeconds) {
        return;
    }
    lastTogglePlayAt_ = now;

    if (!avPlayer_) {
        if (!session_ || !mediaFolderURL_) {
            setStatus("Load media folder to preview timeline");
            return;
        }
        setStatus("Rebuilding preview…");
        rebuildComposition(true, std::nullopt, false);
        return;
    }
    if (!isPlaying_) {
        stopScrubAudio();
        exactSeekInFlight_ = false;
        pendingPlayAfterSeek_ = false;
        beginPlayback();
        return;
    }
    pendingPlayAfterSeek_ = false;
    exactSeekInFlight_ = false;
    stopScrubAudio();
    avPlayer_->pause();
    setIsPlaying(false);
    const double current = avPlayer_->currentTime().seconds();
    const double t = snapToFrameGrid(std::isfinite(current) ? current : playheadSeconds_);
    setPlayhead(t);
    updatePreviewFadeOpacity(t);
    emit objectWillChange();
}

void TimelinePreviewEngine::beginPlayback()
{
    if (playheadSeconds_ >= std::min(durationSeconds_ - kNearEndSeconds, lastPlayheadSeconds())) {
        QPointer<TimelinePreviewEngine> self(this);
        seek(0, false, [self](bool) {
            if (self) {
                self->resumePlayback();
            }
        });
        return;
    }
    resumePlayback();
}

void TimelinePreviewEngine::resumePlayback()
{
    if (!avPlayer_) {
        return;
    }
    setPlaybackMotionSeconds(playheadSeconds_);
    avPlayer_->setRate(1.0);
    avPlayer_->play();
    setIsPlaying(true);
}

void TimelinePreviewEngine::seek(double seconds, bool exact, std::function<void(bool)> onComplete)
{
    seekTo(seconds, exact, exact, std::move(onComplete));
}

void TimelinePreviewEngine::seekTo(double seconds, bool exact, bool snapPlayhead, std::function<void(bool)> onComplete)
{
    const double limit = lastPlayheadSeconds();
    const double t = std::isnan(seconds) ? 0.0 : std::clamp(seconds, 0.0, limit);
    const double shown = snapPlayhead ? snapToFrameGrid(t) : t;
    setPlayhead(shown);
    updatePreviewFadeOpacity(shown);
    revisitUnreadableMediaAt(shown);
    if (!avPlayer_) {
        // While a rebuild runs there is no player: the move is kept, as a ruler click's is, and
        // the new player is put there when it is installed.
        if (onComplete) {
            onComplete(true);
        }
        return;
    }

    const bool wasPlaying = isPlaying_;
    MediaTime tolerance = previewTime(kTolerantSeekSeconds);
    QPointer<TimelinePreviewEngine> self(this);
    if (exact) {
        tolerance = MediaTime::zero();
        const std::uint64_t token = ++exactSeekToken_;
        exactSeekInFlight_ = true;
        avPlayer_->pause();
        setIsPlaying(false);
        stopScrubAudio();
        // A seek whose completion never comes must not leave the engine waiting for it.
        mainQueue_->postDelayed(kExactSeekWatchdogSeconds, [self, token] {
            if (!self || self->exactSeekToken_ != token || !self->exactSeekInFlight_) {
                return;
            }
            self->exactSeekInFlight_ = false;
            if (self->pendingPlayAfterSeek_) {
                self->pendingPlayAfterSeek_ = false;
                self->resumePlayback();
            }
        });
    }
    const std::weak_ptr<PreviewPlayer> seekingPlayer = avPlayer_;
    // Either way the player goes to the start of the frame shown at t: a time rounded onto the
    // player's ticks could fall just before it and show the frame before.
    avPlayer_->seek(pictureTime(t), tolerance, tolerance,
                    [self, exact, wasPlaying, seekingPlayer, onComplete = std::move(onComplete)](bool finished) {
                        // A player replaced by a rebuild answers for nothing: the install puts
                        // the playhead back itself.
                        if (!self || seekingPlayer.lock() != self->avPlayer_) {
                            return;
                        }
                        if (exact) {
                            self->exactSeekInFlight_ = false;
                        }
                        if (!finished) {
                            self->pendingPlayAfterSeek_ = false;
                            return;
                        }
                        emit self->seekLanded();
                        if (!self || seekingPlayer.lock() != self->avPlayer_) {
                            return;
                        }
                        if (self->awaitingPicture_ && !self->compositionBuilding_) {
                            self->releaseWorkAfterPicture();
                        }
                        if (wasPlaying || self->pendingPlayAfterSeek_) {
                            self->pendingPlayAfterSeek_ = false;
                            self->resumePlayback();
                        }
                        if (onComplete) {
                            onComplete(true);
                        }
                    });
}

void TimelinePreviewEngine::scrub(double to)
{
    const double limit = lastPlayheadSeconds();
    const double t = snapToFrameGrid(std::isnan(to) ? 0.0 : std::clamp(to, 0.0, limit));
    setPlayhead(t);
    updatePreviewFadeOpacity(t);
    revisitUnreadableMediaAt(t);
    if (!avPlayer_) {
        bumpTimelineScrollRequest(TimelineScrollAnchor::center);
        return;
    }
    // Playback pauses only while the seek runs; isPlaying keeps saying it plays.
    const bool wasPlaying = isPlaying_;
    if (wasPlaying) {
        avPlayer_->pause();
    }
    QPointer<TimelinePreviewEngine> self(this);
    const std::weak_ptr<PreviewPlayer> seekingPlayer = avPlayer_;
    const auto landed = [self, wasPlaying, seekingPlayer](bool finished) {
        if (!finished || !self || seekingPlayer.lock() != self->avPlayer_) {
            return;
        }
        emit self->seekLanded();
        if (!self || seekingPlayer.lock() != self->avPlayer_) {
            return;
        }
        if (self->awaitingPicture_ && !self->compositionBuilding_) {
            self->releaseWorkAfterPicture();
        }
        emit self->objectWillChange();
        self->bumpTimelineScrollRequest(TimelineScrollAnchor::center);
        if (wasPlaying && self->avPlayer_) {
            self->avPlayer_->play();
        }
    };
    avPlayer_->seek(pictureTime(t), MediaTime::zero(), MediaTime::zero(), landed);
}

void TimelinePreviewEngine::stepPlayheadFrame(int direction, bool fine)
{
    if (direction == 0) {
        return;
    }
    if (isPlaying_) {
        if (avPlayer_) {
            avPlayer_->pause();
        }
        setIsPlaying(false);
    }
    const double limit = lastPlayheadSeconds();
    double target = 0;
    if (!fine) {
        // On the grid the exact seek below shows the playhead on, to the next frame's start: a
        // step counted on another grid (the source track's) could land back on the frame it left.
        const FrameGrid grid = frameGrid();
        target = std::min(grid.start(std::max<std::int64_t>(grid.index(playheadSeconds_) + direction, 0)), limit);
    } else {
        target = std::max(std::min(playheadSeconds_ + direction * 0.01, limit), 0.0);
    }
    QPointer<TimelinePreviewEngine> self(this);
    // A fine step keeps the playhead where it moved: snapped, a step shorter than a frame would
    // land back on the frame it left and never reach the next one.
    seekTo(target, true, !fine, [self, fine](bool) {
        if (!self) {
            return;
        }
        emit self->objectWillChange();
        self->playScrubAudioBurst(fine ? 0.04 : 0.12);
        self->bumpTimelineScrollRequest(TimelineScrollAnchor::center);
    });
}

void TimelinePreviewEngine::playScrubAudioBurst(double seconds)
{
    if (isPlaying_ || !session_ || !mediaFolderURL_) {
        return;
    }
    // A burst never lists the media folder.
    const MediaResolver::SourceFileMap* files = newestResolvedFiles();
    if (!files) {
        return;
    }
    const std::vector<TimelineScrubAudio::Segment> segments =
        PreviewPlayerItem::scrubAudioSegments(*session_, *files, playheadSeconds_);
    if (!segments.empty()) {
        scrubAudio_->playBurst(segments, seconds);
    }
}

void TimelinePreviewEngine::stopScrubAudio()
{
    scrubAudio_->stopAll();
}

std::vector<double> TimelinePreviewEngine::allCutPoints() const
{
    if (!session_) {
        return {0};
    }
    const auto index = session_->activeTimelineIndex();
    if (!index) {
        return {0};
    }
    const EditSession::Timeline& timeline = session_->timelines[*index];
    std::vector<double> points{0, std::max(timeline.duration.value_or(0), durationSeconds_)};
    for (const EditSession::Clip& clip : timeline.clips) {
        const double start = clip.startTime.value_or(0);
        points.push_back(start);
        points.push_back(start + clip.duration.value_or(0));
    }
    // A cut between two frames is first seen on the frame after it: the frame before still shows
    // what lies before the cut.
    const FrameGrid grid = frameGrid();
    for (double& point : points) {
        point = std::isfinite(point) ? std::max(grid.start(TimelineFrameMap::firstFrameAtOrAfter(grid, point)), 0.0)
                                     : std::max(point, 0.0);
    }
    std::sort(points.begin(), points.end());
    const double halfFrame = 0.5 / grid.rate();
    std::vector<double> kept;
    for (double point : points) {
        if (kept.empty() || point > kept.back() + halfFrame) {
            kept.push_back(point);
        }
    }
    return kept.empty() ? std::vector<double>{0} : kept;
}

void TimelinePreviewEngine::pauseForCutJump()
{
    if (isPlaying_) {
        if (avPlayer_) {
            avPlayer_->pause();
        }
        setIsPlaying(false);
    }
}

void TimelinePreviewEngine::jumpToPreviousCut()
{
    jumpToCut(true);
}

void TimelinePreviewEngine::jumpToNextCut()
{
    jumpToCut(false);
}

void TimelinePreviewEngine::jumpToCut(bool previous)
{
    pauseForCutJump();
    const std::vector<double> points = allCutPoints();
    std::optional<double> target;
    if (previous) {
        for (auto it = points.rbegin(); it != points.rend(); ++it) {
            if (*it < playheadSeconds_ - 0.01) {
                target = *it;
                break;
            }
        }
    } else {
        for (double point : points) {
            if (point > playheadSeconds_ + 0.01) {
                target = point;
                break;
            }
        }
    }
    if (!target) {
        return;
    }
    QPointer<TimelinePreviewEngine> self(this);
    seek(*target, true, [self, previous](bool) {
        if (!self) {
            return;
        }
        emit self->objectWillChange();
        self->playScrubAudioBurst(0.12);
        self->bumpTimelineScrollRequest(previous ? TimelineScrollAnchor::leading : TimelineScrollAnchor::trailing);
    });
}

void TimelinePreviewEngine::selectClip(const std::string& id, bool seek)
{
    setSelectedClipId(id);
    if (seek) {
        scrub(clipStartTime(id));
    } else {
        bumpTimelineScrollRequest(TimelineScrollAnchor::center);
    }
}

void TimelinePreviewEngine::clearClipSelection()
{
    setSelectedClipId(std::nullopt);
}

void TimelinePreviewEngine::requestTimelineScroll(TimelineScrollAnchor anchor)
{
    bumpTimelineScrollRequest(anchor);
}

void TimelinePreviewEngine::pauseForTrimDrag()
{
    if (avPlayer_) {
        avPlayer_->pause();
    }
    setIsPlaying(false);
    trimGestureActive_ = true;
}

std::optional<std::filesystem::path> TimelinePreviewEngine::sourceFileInMediaFolder(const std::string& sourceId) const
{
    // Resolving one source resolves them all, which lists the media folder: never on the main
    // thread.
    const MediaResolver::SourceFileMap* files = newestResolvedFiles();
    if (!files) {
        return std::nullopt;
    }
    if (const auto file = files->find(sourceId); file != files->end()) {
        return file->second;
    }
    return std::nullopt;
}

std::optional<TimelinePreviewEngine::LinkedSource> TimelinePreviewEngine::previewLinkedSource(double at) const
{
    if (!session_ || !mediaFolderURL_) {
        return std::nullopt;
    }
    const std::optional<EditSession::Clip> clip = session_->visualClip(at);
    if (!clip || !clip->sourceId) {
        return std::nullopt;
    }
    const std::optional<std::filesystem::path> file = sourceFileInMediaFolder(*clip->sourceId);
    if (!file) {
        return std::nullopt;
    }
    LinkedSource source;
    source.url = *file;
    source.fileName = file->filename().string();
    for (const EditSession::Source& candidate : session_->sources) {
        if (candidate.id == *clip->sourceId) {
            source.fileName = candidate.fileName;
            break;
        }
    }
    source.track = clip->track.value_or(1);
    return source;
}

std::optional<TimelinePreviewEngine::VisualGradeSource>
TimelinePreviewEngine::visualGradeSource(double at, const std::optional<std::string>& preferredClipId) const
{
    if (!session_ || !mediaFolderURL_) {
        return std::nullopt;
    }
    // The frame rule names the clip and the source time of the frame holding `at`; a preferred
    // picture clip is taken at the same frame, whether or not it is the one on top there. A
    // frame past the end of its clip's file is black: there is no source frame to grade.
    const EditSession::Timeline* timeline = session_->findActiveTimeline();
    const ShownFrame shown = shownFrameAt(at, preferredClipId);
    if (!timeline || shown.gap() || !shown.sourceId) {
        return std::nullopt;
    }
    const EditSession::Clip& clip = timeline->clips[*shown.clip];
    const std::optional<std::filesystem::path> file = sourceFileInMediaFolder(*shown.sourceId);
    if (!file) {
        return std::nullopt;
    }
    return VisualGradeSource{*file, shown.sourceTime, clip.grade};
}

} // namespace velmora
