#include "preview/GradedPreviewController.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "grading/ClipGradeEditState.h"
#include "grading/PreviewFrameGrader.h"
#include "model/LutResolution.h"
#include "model/ProjectLUTResolver.h"
#include "platform/dispatch/QtMainQueue.h"
#include "platform/foundation/NumberText.h"
#include "preview/TimelinePreviewEngine.h"

namespace velmora {

namespace {

// The playhead brought to the nearest millisecond (halves away from zero), as the shortest
// decimal that reads back exactly, always with a fraction: "2.0", "1.235".
std::string millisecondText(double seconds)
{
    const double rounded = std::round(seconds * 1000.0) / 1000.0;
    std::string text = NumberText::shortest(rounded);
    if (text.find_first_of(".ein") == std::string::npos) {
        text += ".0";
    }
    return text;
}

const char* boolText(bool value)
{
    return value ? "true" : "false";
}

MediaTime previewTime(double seconds)
{
    return MediaTime::fromSeconds(seconds, TimelinePreviewEngine::previewTimescale);
}

} // namespace

GradedPreviewController::GradedPreviewController(TimelinePreviewEngine* engine, std::shared_ptr<MainQueue> mainQueue,
                                                 bool cleanFeed, QObject* parent)
    : QObject(parent), mainQueue_(mainQueue ? std::move(mainQueue) : std::make_shared<QtMainQueue>()),
      cleanFeed_(cleanFeed), alive_(std::make_shared<const bool>(true))
{
    bind(engine);
}

GradedPreviewController::~GradedPreviewController()
{
    // The host widget is going too: tell it nothing more.
    blockSignals(true);
    unbind();
}

void GradedPreviewController::bind(TimelinePreviewEngine* engine)
{
    if (engine && engine == engine_) {
        return;
    }
    unbind();
    if (!engine) {
        return;
    }
    engine_ = engine;
    engineAlive_ = std::make_shared<const bool>(true);
    using Engine = TimelinePreviewEngine;
    const auto onChange = [this](unsigned change) { return [this, change] { scheduleChange(change); }; };
    // A paused playhead that moves (a scrub, a frame step) needs the still of its new frame, and
    // so does an edit: the still of the new timeline is asked for at once, from the source files
    // until the rebuilt player can show it. Playing, the player shows the frames as it goes.
    const auto onPausedPlayhead = [this] {
        if (engine_ && !engine_->isPlaying()) {
            scheduleChange(picture);
        }
    };
    connections_.push_back(connect(engine, &Engine::isPlayingChanged, this, onChange(playState)));
    connections_.push_back(connect(engine, &Engine::gradePreviewRevisionChanged, this, onChange(gradeRevision)));
    connections_.push_back(connect(engine, &Engine::previewFadeOpacityChanged, this, onChange(fadeOpacity)));
    connections_.push_back(connect(engine, &Engine::avPlayerChanged, this, onChange(picture)));
    connections_.push_back(connect(engine, &Engine::outputWidthChanged, this, onChange(picture)));
    connections_.push_back(connect(engine, &Engine::outputHeightChanged, this, onChange(picture)));
    connections_.push_back(connect(engine, &Engine::gradePreviewEnabledChanged, this, onChange(picture)));
    connections_.push_back(connect(engine, &Engine::lutAnswersRenewed, this, onChange(lutAnswers)));
    connections_.push_back(connect(engine, &Engine::playheadSecondsChanged, this, onPausedPlayhead));
    connections_.push_back(connect(engine, &Engine::timelineRevisionChanged, this, onPausedPlayhead));
    connections_.push_back(connect(engine, &Engine::sourceFilesResolved, this, onPausedPlayhead));
    // The landed frame is already in the player's output: taken now rather than at the next poll.
    connections_.push_back(connect(engine, &Engine::seekLanded, this, [this] {
        if (engine_ && player_ && player_ == engine_->avPlayer() && feed_.pull()) {
            emit pictureLanded();
        }
    }));
    connections_.push_back(connect(engine, &QObject::destroyed, this, [this] { unbind(); }));
    // Everything once, as a new subscriber hears each value it follows.
    scheduleChange(playState | gradeRevision | fadeOpacity | picture);
}

void GradedPreviewController::unbind()
{
    for (const QMetaObject::Connection& connection : connections_) {
        disconnect(connection);
    }
    connections_.clear();
    const bool wasBound = engine_ || player_ || !still_.isNull();
    engine_ = nullptr;
    engineAlive_.reset();
    // Whatever is in flight belongs to the old engine.
    ++gradeRequestID_;
    lastGradeSyncKey_.reset();
    inFlightRequest_.reset();
    needsAnotherGradePass_ = false;
    madeBase_.reset();
    keepShownStill_ = false;
    player_.reset();
    feed_.setOutput(nullptr);
    still_ = QImage();
    stillShown_ = false;
    playerShown_ = true;
    if (wasBound) {
        emit pictureChanged();
    }
}

void GradedPreviewController::scheduleChange(unsigned change)
{
    pendingChanges_ |= change;
    if (changesPosted_) {
        return;
    }
    changesPosted_ = true;
    mainQueue_->post([self = QPointer<GradedPreviewController>(this)] {
        if (self) {
            self->takeChanges();
        }
    });
}

void GradedPreviewController::takeChanges()
{
    changesPosted_ = false;
    const unsigned changes = std::exchange(pendingChanges_, 0u);
    if (!engine_) {
        return;
    }
    bool invalidate = false;
    bool sync = (changes & (picture | lutAnswers)) != 0;
    bool interactiveRefresh = false;
    // Renewed answers alone change no picture unless a LUT file now holds other text: the shown
    // still stays up until the one graded by them replaces it. Any other change shows the raw
    // frame meanwhile, as before.
    keepShownStill_ = changes == lutAnswers;
    if (changes & playState) {
        if (engine_->isPlaying()) {
            prepareForPlayback();
        } else {
            invalidate = sync = true;
        }
    }
    if (changes & gradeRevision) {
        if (engine_->gradePreviewInteractive()) {
            interactiveRefresh = true;
        } else {
            invalidate = sync = true;
        }
    }
    if (invalidate) {
        invalidateGradeCache();
    }
    // A sync after a new grade revision finds a new key and asks for a still itself.
    if (sync) {
        syncPlayer();
    } else if (interactiveRefresh) {
        refreshInteractiveGradePreview();
    }
    if (changes & fadeOpacity) {
        applyPreviewFadeOpacity();
    }
}

// ---- the picture ----

bool GradedPreviewController::pullPlayerPicture()
{
    if (!feed_.pull()) {
        return false;
    }
    emit pictureChanged();
    return true;
}

QRectF GradedPreviewController::contentFrameForProjectCanvas(const QRectF& bounds, int canvasWidth, int canvasHeight)
{
    if (!(bounds.width() > 1) || !(bounds.height() > 1)) {
        return bounds;
    }
    const double canvasAspect = static_cast<double>(std::max(canvasWidth, 1)) / std::max(canvasHeight, 1);
    const double viewAspect = bounds.width() / bounds.height();
    if (canvasAspect < viewAspect) {
        const double width = canvasAspect * bounds.height();
        return {bounds.center().x() - width / 2, bounds.top(), width, bounds.height()};
    }
    if (viewAspect < canvasAspect) {
        const double height = bounds.width() / canvasAspect;
        return {bounds.left(), bounds.center().y() - height / 2, bounds.width(), height};
    }
    return bounds;
}

QRectF GradedPreviewController::contentFrameForProjectCanvas(const QRectF& bounds) const
{
    return engine_ ? contentFrameForProjectCanvas(bounds, engine_->outputWidth(), engine_->outputHeight()) : bounds;
}

bool GradedPreviewController::clipNeedsStill() const
{
    return engine_ && needsStill(engine_->clipForPausedGrade(engine_->playheadSeconds()));
}

bool GradedPreviewController::needsStill(const std::optional<EditSession::Clip>& clip) const
{
    if (!clip) {
        return false;
    }
    // The player leaves image clips out of its picture: theirs is a still, graded or not (in the
    // clean feed, ungraded).
    if (EditSession::normalizedClipType(clip->type, clip->name) == "image") {
        return true;
    }
    if (cleanFeed_) {
        return false;
    }
    const ClipGradeEditState state = ClipGradeEditState::from(clip);
    return state.hasAnyLut() || (engine_->gradePreviewEnabled() && state.hasAnyGrade());
}

void GradedPreviewController::revealPlayer()
{
    keepShownStill_ = false;
    stillShown_ = false;
    playerShown_ = true;
    updateOpacities();
    emit pictureChanged();
}

void GradedPreviewController::standInForComingStill()
{
    if (!keepShownStill_ || !stillShown_ || still_.isNull()) {
        revealPlayer();
    }
}

void GradedPreviewController::installStill(QImage still)
{
    keepShownStill_ = false;
    still_ = std::move(still);
    stillShown_ = true;
    playerShown_ = false;
    updateOpacities();
    emit pictureChanged();
}

void GradedPreviewController::prepareForPlayback()
{
    revealPlayer();
}

void GradedPreviewController::syncPlayer()
{
    if (!engine_) {
        return;
    }
    if (player_ != engine_->avPlayer()) {
        player_ = engine_->avPlayer();
        playerTimelineRevision_ = engine_->timelineRevision();
        feed_.setOutput(player_ ? player_->videoOutput() : nullptr);
        lastGradeSyncKey_.reset();
        emit pictureChanged();
    }
    if (engine_->isPlaying()) {
        ++gradeRequestID_;
        lastGradeSyncKey_.reset();
        revealPlayer();
        return;
    }
    reseekPausedPlayer();
    if (!clipNeedsStill()) {
        ++gradeRequestID_;
        lastGradeSyncKey_.reset();
        revealPlayer();
        return;
    }
    std::string key = gradeSyncKey(*engine_);
    if (lastGradeSyncKey_ == key) {
        return; // the still shown, or coming, is the current one
    }
    lastGradeSyncKey_ = std::move(key);
    // Dragging a slider keeps the previous still up until the new one arrives; otherwise the raw
    // frame shows meanwhile.
    if (!engine_->gradePreviewInteractive()) {
        standInForComingStill();
    } else if (!stillShown_ || still_.isNull()) {
        revealPlayer();
    }
    requestGradedStill();
}

void GradedPreviewController::reseekPausedPlayer()
{
    if (!player_) {
        return;
    }
    // The player stands at the start of the frame it shows: the playhead's frame's start is where
    // it belongs.
    const MediaTime target = engine_->pictureTime(engine_->playheadSeconds());
    if (!target.isNumeric()) {
        return;
    }
    const double c = player_->currentTime().seconds();
    if (std::isfinite(c) && std::abs(c - target.seconds()) < reseekThresholdSeconds) {
        return;
    }
    const MediaTime tolerance = previewTime(reseekToleranceSeconds);
    player_->seek(target, tolerance, tolerance, nullptr);
}

void GradedPreviewController::applyPreviewFadeOpacity()
{
    // While playing the engine reports the fade at every tick of its time observer; only a
    // change of what is painted is worth a repaint.
    if (updateOpacities()) {
        emit pictureChanged();
    }
}

bool GradedPreviewController::updateOpacities()
{
    const double oldPlayerOpacity = playerOpacity_;
    const double oldStillOpacity = stillOpacity_;
    double fade = engine_ ? engine_->previewFadeOpacity() : 1.0;
    fade = std::isnan(fade) ? 1.0 : std::clamp(fade, 0.0, 1.0);
    playerOpacity_ = fade;
    // Paused on a clip whose still is coming, the raw frame stands in for it at full strength.
    if (engine_ && !engine_->isPlaying() && !stillShown_ && clipNeedsStill()) {
        playerOpacity_ = 1.0;
    }
    if (stillShown_) {
        stillOpacity_ = fade;
    }
    return playerOpacity_ != oldPlayerOpacity || stillOpacity_ != oldStillOpacity;
}

// ---- graded still requests ----

std::string GradedPreviewController::gradeSyncKey(const TimelinePreviewEngine& engine)
{
    // The clip the still is asked for (requestGradedStill), at the playhead itself: a clip that
    // starts within the playhead's millisecond is the one shown, and its LUT answers belong here.
    const std::optional<EditSession::Clip> clip = engine.clipForPausedGrade(engine.playheadSeconds());
    const ClipGradeEditState state = ClipGradeEditState::from(clip);
    std::string key = NumberText::integer(engine.gradePreviewRevision());
    key += "|" + NumberText::integer(engine.timelineRevision());
    key += "|" + millisecondText(engine.playheadSeconds());
    key += "|" + (clip ? clip->id : std::string("none"));
    key += "|" + state.lutReference + "|";
    if (clip && clip->grade) {
        const EditorJobV2::ClipGrade& grade = *clip->grade;
        key += grade.lutFile.value_or("") + "|" + grade.lutName.value_or("") + "|" + boolText(grade.hasLut == true);
    }
    key += std::string("|") + boolText(engine.gradePreviewEnabled());
    key += std::string("|lut:") + boolText(state.hasAnyLut());
    key += lutAnswersKey(engine, clip);
    return key;
}

std::string GradedPreviewController::lutAnswersKey(const TimelinePreviewEngine& engine,
                                                   const std::optional<EditSession::Clip>& clip)
{
    if (!clip || LutResolving::clipFileReferences(clip->grade).empty()) {
        return {};
    }
    return "|answers:" + NumberText::integer(static_cast<std::int64_t>(engine.lutAnswersNumber(clip->grade)));
}

void GradedPreviewController::invalidateGradeCache()
{
    keepShownStill_ = false;
    ++gradeRequestID_;
    lastGradeSyncKey_.reset();
    still_ = QImage();
    stillShown_ = false;
    playerShown_ = true;
    emit pictureChanged();
}

void GradedPreviewController::refreshInteractiveGradePreview()
{
    // The clean feed's stills carry no grade: a slider changes nothing there.
    if (engine_ && !cleanFeed_ && !engine_->isPlaying() && clipNeedsStill()) {
        requestGradedStill();
    }
}

GradedStillJob GradedPreviewController::makeJob(const EditSession::Clip& clip, bool interactive) const
{
    const TimelinePreviewEngine& engine = *engine_;
    const int canvasW = engine.outputWidth();
    const int canvasH = engine.outputHeight();
    const double limit = interactive ? PreviewFrameGrader::previewMaxGradeEdgeInteractive
                                     : std::min<double>(std::max({canvasW, canvasH, 1}),
                                                        PreviewFrameGrader::previewMaxGradeEdgePaused);
    const PreviewFrameGrader::PixelSize size = PreviewFrameGrader::gradePixelBudget(canvasW, canvasH, limit);
    const double t = engine.playheadSeconds();
    const bool image = EditSession::normalizedClipType(clip.type, clip.name) == "image";

    GradedStillJob job;
    job.syncKey = gradeSyncKey(engine);
    // Taken here, on the main thread, where the player belongs: the job never asks it anything.
    // A player built before the latest edit shows the old timeline: its frame is not cut.
    const std::shared_ptr<PreviewPlayer>& player = engine.avPlayer();
    // An image clip is not in the player's picture (black there): it always comes from its file.
    if (!image && player && player == player_ && playerTimelineRevision_ == engine.timelineRevision()) {
        job.videoOutput = player->videoOutput();
        job.itemTime = player->currentTime();
    }
    // The source frame under the start of the playhead's frame, where the player and the export
    // take theirs, rather than under a time within it.
    job.source = engine.visualGradeSource(engine.frameGrid().snap(t), clip.id);
    job.width = size.w;
    job.height = size.h;
    // The clean feed shows pictures as they come: its stills carry no grade, and their base is
    // cached as a picture without a LUT.
    const std::string lutReference = cleanFeed_ ? std::string(ProjectLUTResolver::noLutSentinel)
                                                : ClipGradeEditState::from(clip).lutReference + lutAnswersKey(engine, clip);
    job.lutBaseKey = PreviewFrameGrader::lutBaseCacheKey(clip.id,
                                                         job.source ? job.source->url.string() : std::string("comp"),
                                                         engine.frameGrid().index(t), lutReference, size.w, size.h);
    if (!cleanFeed_) {
        job.grade = clip.grade ? clip.grade : (job.source ? job.source->clipGrade : std::nullopt);
    }
    job.mediaFolder = engine.previewMediaFolder();
    job.sessionFile = engine.lutSessionFileURL();
    job.gradePreviewEnabled = engine.gradePreviewEnabled() && !cleanFeed_;
    job.interactive = interactive;
    job.timelineRevision = engine.timelineRevision();
    return job;
}

void GradedPreviewController::requestGradedStill()
{
    std::optional<EditSession::Clip> clip;
    if (engine_ && !engine_->isPlaying()) {
        clip = engine_->clipForPausedGrade(engine_->playheadSeconds());
    }
    if (!needsStill(clip)) {
        revealPlayer();
        return;
    }
    const bool interactive = engine_->gradePreviewInteractive();
    if (!interactive && inFlightRequest_) {
        // A scrub asks for a still at every frame: while one is being made, no job (with its
        // look-up of the media folder) is made only to be dropped.
        standInForComingStill();
        waitForRunningStill();
        return;
    }
    GradedStillJob job = makeJob(*clip, interactive);
    // The base a job made for this frame key (under the LUT text it read then), while it is
    // cached; otherwise it is built on the grading queue like any missing base.
    if (interactive && madeBase_ && madeBase_->frameKey == job.lutBaseKey) {
        if (const std::optional<Image> base = PreviewFrameGrader::cachedLutBaseImage(madeBase_->key)) {
            QImage still = GradedStillJob::gradeBase(*base, job.grade, job.gradePreviewEnabled, job.width,
                                                     job.height, true);
            if (!still.isNull()) {
                installStill(std::move(still));
            }
            lastGradeSyncKey_ = job.syncKey;
            return;
        }
    }
    if (!interactive) {
        standInForComingStill();
    } else if (!stillShown_ || still_.isNull()) {
        revealPlayer();
    }
    if (inFlightRequest_) {
        waitForRunningStill();
        return;
    }
    dispatch(std::move(job));
}

void GradedPreviewController::waitForRunningStill()
{
    // One queued still at a time: the running one is outdated now, and its hand-back asks again
    // for whatever is under the playhead then. Requests arriving faster than stills can be made
    // (a scrub, a fast slider) so never pile up on the grading queue.
    needsAnotherGradePass_ = true;
    ++gradeRequestID_;
}

void GradedPreviewController::dispatch(GradedStillJob job)
{
    const std::uint64_t number = ++gradeRequestID_;
    job.requestNumber = number;
    inFlightRequest_ = number;
    // Every queued still builds or takes its LUT base on the pause queue; slider re-grades on a
    // cached base never queue (see requestGradedStill).
    const QPointer<GradedPreviewController> self(this);
    const std::weak_ptr<const bool> alive = alive_;
    const std::weak_ptr<const bool> engineAlive = engineAlive_;
    PreviewFrameGrader::pauseGradeQueue().async([job = std::move(job), self, alive, engineAlive,
                                                 mainQueue = mainQueue_] {
        if (alive.expired() || engineAlive.expired()) {
            return;
        }
        GradedStillJob::Result result = job.run();
        mainQueue->post([self, number = job.requestNumber, key = job.syncKey, frameKey = job.lutBaseKey,
                         revision = job.timelineRevision, result = std::move(result)]() mutable {
            if (self) {
                self->handBack(number, key, frameKey, revision, std::move(result));
            }
        });
    });
}

void GradedPreviewController::handBack(std::uint64_t requestNumber, const std::string& key,
                                       const std::string& frameKey, int timelineRevision,
                                       GradedStillJob::Result result)
{
    // A job made before the latest edit may have cached its LUT base under a key the new
    // timeline shares (same clip, file and frame number, another source frame): the rebuild's
    // clearing of the cache can come before the job stored it, so it is cleared again here,
    // after the store (the grading queue is serial and posts this hand-back last).
    if (engine_ && timelineRevision != engine_->timelineRevision()) {
        PreviewFrameGrader::invalidateLutBaseCache();
    }
    if (inFlightRequest_ == requestNumber) {
        inFlightRequest_.reset();
    }
    if (!result.lutBaseKey.empty()) {
        madeBase_ = MadeBase{frameKey, std::move(result.lutBaseKey)};
    }
    if (requestNumber == gradeRequestID_) {
        switch (result.outcome) {
        case GradedStillJob::Outcome::still:
            if (engine_ && !engine_->isPlaying() && clipNeedsStill() && gradeSyncKey(*engine_) == key) {
                installStill(std::move(result.still));
                lastGradeSyncKey_ = key;
            }
            break;
        case GradedStillJob::Outcome::noBase:
            if (engine_ && result.sourceFile) {
                engine_->reportUnreadableMedia(*result.sourceFile, {});
            }
            if (engine_ && gradeSyncKey(*engine_) == key) {
                revealPlayer();
            }
            break;
        case GradedStillJob::Outcome::noImage:
            revealPlayer();
            break;
        }
    }
    if (needsAnotherGradePass_ && !inFlightRequest_) {
        needsAnotherGradePass_ = false;
        lastGradeSyncKey_.reset();
        requestGradedStill();
    }
}

} // namespace velmora
