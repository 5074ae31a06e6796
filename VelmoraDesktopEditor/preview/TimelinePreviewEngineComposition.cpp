// Rebuilding the preview: tearing the player down, handing a copy of the session to the
// builder, installing the newest build's player, and the time observer that moves the playhead.

#include "preview/TimelinePreviewEngine.h"

#include <algorithm>
#include <cmath>

#include <QScopedValueRollback>

#include "editing/PreviewFrameTiming.h"
#include "grading/GradeCompositionContext.h"
#include "grading/PreviewFrameGrader.h"
#include "model/ProjectLUTResolver.h"
#include "preview/StatusText.h"

namespace velmora {

namespace {

// Seconds of a media time; 0 when it is not a finite number.
double finiteSeconds(const MediaTime& time)
{
    const double seconds = time.seconds();
    return std::isfinite(seconds) ? seconds : 0.0;
}

} // namespace

void TimelinePreviewEngine::rebuildComposition(bool preservePlayhead, std::optional<double> seekToSeconds,
                                               bool autoPlay)
{
    requestBuild(preservePlayhead, seekToSeconds, autoPlay, false);
}

bool TimelinePreviewEngine::requestBuild(bool preservePlayhead, std::optional<double> seekToSeconds, bool autoPlay,
                                         bool opening)
{
    PreviewFrameGrader::invalidateLutBaseCache();
    stopPlayer();

    // Whatever an older build brings back from now on is stale.
    const std::uint64_t generation = ++rebuildGeneration_;
    compositionBuilding_ = session_ && mediaFolderURL_ && compositionBuilder_ && !hasNothingToPreview();
    if (compositionBuilding_) {
        // Asked for before the views hear of the teardown: what they do on it need not hold up
        // the build, whose answer comes on a later turn of the main queue.
        awaitingPicture_ = true;
        PreviewCompositionBuilder::Request request;
        // A session being opened is not published yet, so nothing holds a part of it: the build
        // takes it as read, and the engine's copy is made once the build is under way (copying
        // tens of thousands of clips would otherwise hold the build up).
        std::shared_ptr<const EditSession> handedOver;
        if (opening) {
            handedOver = std::make_shared<const EditSession>(std::move(*session_));
            request.session = handedOver;
        } else {
            request.session = std::make_shared<const EditSession>(*session_);
        }
        request.mediaFolder = *mediaFolderURL_;
        request.readabilityCheck = readabilityCheck_;
        QPointer<TimelinePreviewEngine> self(this);
        // Worked out on the build's thread from the build's own copy of the session: the map the
        // engine keeps, and for an opening project what it says of the sources.
        request.filesFound = [self, number = sourcesResolvedNumber_, queue = mainQueue_, session = request.session,
                              folder = request.mediaFolder, opening, owner = std::weak_ptr<const EditSession>(session_),
                              resolved = ++sourceFiles_.resolvedNumber](const MediaResolver::SourceFileMap* files) {
            // Done on the build's thread before it reads the files' headers, so kept to what the
            // opening reports and the engine keeps: every pass over the sources here holds up the
            // first picture.
            std::optional<MediaResolver::PreviewReadiness> readiness;
            std::optional<MediaResolver::SourceFileMap> kept;
            std::string standIns;
            if (opening) {
                readiness = MediaResolver::previewReadiness(*session, files);
                standIns = MediaResolver::standInText(readiness->standIns);
            }
            if (files) {
                kept = *files;
                if (!opening) {
                    standIns = MediaResolver::standInText(MediaResolver::standIns(*session, *files));
                }
            }
            queue->post([self, number, readiness = std::move(readiness), resolved, folder, owner,
                         standIns = std::move(standIns),
                         inputs = MediaResolver::resolutionInputs(*session), kept = std::move(kept)]() mutable {
                if (!self) {
                    return;
                }
                self->keepResolvedFiles(resolved, owner, std::move(folder), std::move(inputs), std::move(kept),
                                        std::move(standIns));
                if (readiness) {
                    self->answerSourcesResolved(number, std::move(*readiness));
                }
            });
        };
        const double playheadAtStart = playheadSeconds_;
        compositionBuilder_->build(std::move(request), [self, generation, preservePlayhead, seekToSeconds, autoPlay,
                                                        playheadAtStart](PreviewCompositionOutcome outcome) {
            if (!self || self->rebuildGeneration_ != generation) {
                return;
            }
            self->compositionBuilding_ = false;
            if (auto* composition = std::get_if<PreviewComposition>(&outcome)) {
                self->installComposition(std::move(*composition), preservePlayhead, seekToSeconds, autoPlay,
                                         playheadAtStart);
            } else {
                self->failComposition(std::get<Error>(outcome));
            }
        });
        if (handedOver) {
            *session_ = *handedOver;
        }
    }

    setIsPlaying(false);
    setAvPlayer(nullptr);
    previewAudioBusByClipId_.clear();
    setLastError(std::nullopt);
    if (!hasNothingToPreview()) {
        statusLine_.announceBuild("Building timeline…");
    }
    if (!compositionBuilding_) {
        releaseWorkAfterPicture();
        // No build to make the map of files: it is made all the same, off the main thread.
        resolveSourcesWithoutBuild();
    }
    return compositionBuilding_;
}

bool TimelinePreviewEngine::hasNothingToPreview() const
{
    // A new project's media folder is empty, and looking for media in it would fail: with no
    // source and no clip there is no media to look for and no picture to show.
    if (!session_ || !session_->sources.empty()) {
        return false;
    }
    const EditSession::Timeline* timeline = session_->findActiveTimeline();
    return timeline && timeline->clips.empty();
}

void TimelinePreviewEngine::installComposition(PreviewComposition composition, bool preservePlayhead,
                                               std::optional<double> seekToSeconds, bool autoPlay,
                                               double playheadAtStart)
{
    if (!composition.player) {
        return; // outside the builder's contract; the engine stays without a player
    }
    const double itemDuration = finiteSeconds(composition.player->itemDuration());
    double timelineDuration = 0;
    if (session_) {
        if (const auto index = session_->activeTimelineIndex()) {
            timelineDuration = session_->timelines[*index].duration.value_or(0);
        }
    }
    setDurationSeconds(std::max({itemDuration, timelineDuration, session_ ? timelineLength(*session_) : 0.0}));

    previewVideoTransform_ = composition.transform;
    previewAudioBusByClipId_ = std::move(composition.audioBusByClipId);
    // The preview composition itself never grades; playback grading starts from a fresh
    // context made by the next grade change.
    gradeContext_.reset();
    keepSourceFileMap(composition);
    sourceFiles_.headers = std::move(composition.assets);
    sourceFiles_.headersReadForMap.reset();
    setAvPlayer(std::move(composition.player));
    removeTimeObserver();
    installTimeObserver();

    // The grade word is said as the LUT answers it reads say now, once they land too.
    statusLine_.reportBuildOutcome([this, ready = "Ready — " + StatusText::fixed(durationSeconds_, 2) + "s · Grade "] {
        return ready + gradeWordForStatus();
    });
    keepSourceFiles(composition);

    // A frame step or a ruler click while the build ran moved the playhead: that move is kept,
    // never undone by the build's own destination (the start of an opened project, a seek time
    // asked for before the move), so that the next cut lands where the user put the playhead.
    const bool movedMeanwhile = playheadSeconds_ != playheadAtStart;
    const QScopedValueRollback installing(installingComposition_, true);
    if (!seekToSeconds || movedMeanwhile) {
        const double target =
            preservePlayhead || movedMeanwhile ? std::min(playheadSeconds_, lastPlayheadSeconds()) : 0.0;
        seek(target, false, nullptr);
    } else {
        const double target = std::min(std::max(*seekToSeconds, 0.0), lastPlayheadSeconds());
        seek(target, false, nullptr);
        bumpTimelineScrollRequest(TimelineScrollAnchor::trailing);
    }
    if (autoPlay) {
        togglePlay();
    }
}

void TimelinePreviewEngine::stopPlayer()
{
    removeTimeObserver();
    if (avPlayer_) {
        avPlayer_->pause();
    }
    exactSeekInFlight_ = false;
    pendingPlayAfterSeek_ = false;
}

void TimelinePreviewEngine::failComposition(const Error& error)
{
    setLastError(error.localizedDescription());
    statusLine_.reportBuildOutcome([failed = "Failed: " + error.localizedDescription()] { return failed; });
    if (session_) {
        setDurationSeconds(timelineLength(*session_));
    }
    PreviewComposition none;
    keepSourceFileMap(none);
    sourceFiles_.headers.clear();
    sourceFiles_.headersReadForMap.reset();
    keepSourceFiles(none);
    readHeadersAfterFailure();
    releaseWorkAfterPicture();
}

std::string TimelinePreviewEngine::gradeWordForStatus() const
{
    if (!gradePreviewEnabled_) {
        return "OFF (smooth play)";
    }
    // The selected clip, else the clip under the playhead: the one whose graded picture a pause
    // shows. Its LUT as the answers already looked up decide it: no file is read here, and one
    // not looked up yet is said once it is (the line is drawn again when the answers land).
    std::optional<EditSession::Clip> clip;
    if (session_) {
        clip = selectedClipId_ ? session_->clip(*selectedClipId_) : clipForPausedGrade(playheadSeconds_);
    }
    const std::optional<LutResolution> answer =
        clip ? PreviewLutFindings::knownLut(*lutAnswers(), clip->grade) : std::nullopt;
    const bool usable = clip && (!answer || answer->grades());
    return usable ? "ON · pause for LUT" : "ON · LUT file missing";
}

void TimelinePreviewEngine::installTimeObserver()
{
    if (!avPlayer_) {
        return;
    }
    QPointer<TimelinePreviewEngine> self(this);
    const FrameDuration interval = PreviewFrameTiming::playbackUIInterval;
    timeObserver_ = avPlayer_->addPeriodicTimeObserver(
        MediaTime(interval.value, interval.timescale), [self](const MediaTime& time) {
            if (self) {
                self->handlePlayerTime(time);
            }
        });
}

void TimelinePreviewEngine::removeTimeObserver()
{
    if (timeObserver_ && avPlayer_) {
        avPlayer_->removeTimeObserver(*timeObserver_);
    }
    timeObserver_.reset();
}

void TimelinePreviewEngine::handlePlayerTime(const MediaTime& time)
{
    const double t = time.seconds();
    if (!std::isfinite(t) || !avPlayer_) {
        return;
    }
    if (isPlaying_) {
        const double c = std::max(t, 0.0);
        if (std::abs(c - playbackMotionSeconds_) >= 1.0 / 60.0) {
            setPlaybackMotionSeconds(c);
        }
        if (std::abs(c - playheadSeconds_) >= 1.0 / 24.0) {
            setPlayheadSeconds(c);
        }
        updatePreviewFadeOpacity(c);
    }

    double end = durationSeconds_;
    const double itemSeconds = avPlayer_->itemDuration().seconds();
    if (std::isfinite(itemSeconds)) {
        end = std::max(end, itemSeconds);
    }
    if (end > 0.1 && t >= end - 0.04) {
        const bool ranOut = isPlaying_;
        avPlayer_->pause();
        setIsPlaying(false);
        // The start of the frame shown there, which the read-out names. Playback that runs out
        // rests on the timeline's last frame and shows it: the tick that comes within 0.04 s of
        // the end can come a frame before it (two at 60 fps, or any late tick).
        const FrameGrid grid = frameGrid();
        const double shown = grid.snap(t);
        const double lastFrame = grid.start(grid.lastFrame(durationSeconds_ > 0 ? durationSeconds_ : end));
        if (ranOut && shown < lastFrame) {
            seek(lastFrame, true, nullptr);
        } else {
            setPlayhead(std::min(shown, lastPlayheadSeconds()));
        }
        bumpTimelineScrollRequest(TimelineScrollAnchor::trailing);
    }
}

} // namespace velmora
