#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QImage>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QRectF>

#include "preview/GradedStillJob.h"
#include "preview/PlayerPictureFeed.h"

namespace velmora {

class MainQueue;
class PreviewPlayer;
class TimelinePreviewEngine;

// Everything the program view shows and decides, without a widget: which of its two pictures is
// up (the player's raw picture, or a graded still of the paused frame laid exactly over it),
// their opacities, the canvas frame they fill, and the requests for graded stills.
//
// The player's picture shows while playing. Paused on a clip that needs a still (a clip LUT, or
// with the engine's grade preview on any grade), a still of the frame under the playhead is
// graded off the main thread and replaces the raw picture once it is ready; while a grade slider
// is dragged the still is re-graded from the cached LUT base on the main thread. A still is
// shown only if its request is the newest and the picture it was made for is still the one
// under the playhead. The clean feed shows no grade: its only stills are those of paused still
// images, which the player leaves out of its picture, shown as they come.
//
// A still is keyed by what it is drawn from, its LUT included: the request key names the LUT
// answers a LUT file is looked up in, and the LUT base is cached under the text that graded it,
// so a LUT file rewritten and looked up again (the list refreshed) is graded again, and a frame
// visited again never brings back a base of the old text.
//
// Engine binding: the controller follows the engine's play state, grade revision, fade opacity,
// player, grade preview switch, canvas, LUT answers, and the playhead and timeline edits while
// paused. Each change is taken on the next turn of the main queue, after the engine's operation
// has finished, and changes arriving in one turn are handled once. Renewed LUT answers alone keep
// the shown still up until the still graded by them replaces it.
//
// Threads: main thread only. Stills are graded on PreviewFrameGrader's pause queue, one queued
// job at a time, and come back through the main queue; a result finding this controller or its
// engine gone is dropped. Slider re-grades on a cached LUT base run on the main thread.
class GradedPreviewController final : public QObject {
    Q_OBJECT
public:
    // Time within which the paused player is taken to stand on the playhead (seconds); further
    // away it is moved there, with this tolerance on either side.
    static constexpr double reseekThresholdSeconds = 0.02;
    static constexpr double reseekToleranceSeconds = 0.03;

    // `mainQueue`: where grading results come back (empty: the application's QtMainQueue).
    GradedPreviewController(TimelinePreviewEngine* engine, std::shared_ptr<MainQueue> mainQueue, bool cleanFeed,
                            QObject* parent = nullptr);
    ~GradedPreviewController() override;

    // Follows another engine (none: shows nothing until bound again). Binding the bound engine
    // again changes nothing.
    void bind(TimelinePreviewEngine* engine);
    void unbind();
    TimelinePreviewEngine* engine() const { return engine_.data(); }

    // The clean feed: the ungraded picture only.
    bool isCleanFeed() const { return cleanFeed_; }
    // Carried for the hosts; no behaviour depends on it.
    bool isLightweight() const { return lightweight_; }
    void setLightweight(bool lightweight) { lightweight_ = lightweight; }

    // ---- what is painted ----

    bool isPlayerShown() const { return playerShown_; }
    bool isStillShown() const { return stillShown_; }
    double playerOpacity() const { return playerOpacity_; }
    double stillOpacity() const { return stillOpacity_; }
    // The player's newest picture (null without one) and the graded still (null when cleared).
    const QImage& playerPicture() const { return feed_.image(); }
    const QImage& still() const { return still_; }
    const std::shared_ptr<PreviewPlayer>& player() const { return player_; }
    // Takes the player's newest frame; emits pictureChanged() and returns true when it changed.
    bool pullPlayerPicture();

    // The rectangle of `bounds` the project canvas fills when fitted whole and centred; the
    // bounds themselves when a side is 1 or less or the aspects are equal. Canvas sides below 1
    // count as 1.
    static QRectF contentFrameForProjectCanvas(const QRectF& bounds, int canvasWidth, int canvasHeight);
    // The same for the engine's canvas; the bounds without an engine.
    QRectF contentFrameForProjectCanvas(const QRectF& bounds) const;

    // ---- the picture's rules ----

    // Whether the paused frame at the playhead wants a still: the clip there is a still image,
    // or (not in the clean feed) has a LUT, or has any grade with the grade preview on.
    bool clipNeedsStill() const;
    // Adopts the engine's player and brings both pictures in line with the engine: raw while
    // playing; paused, the player moved onto the playhead and a still asked for when the
    // picture under the playhead changed.
    void syncPlayer();
    // Playback starts: the raw picture, at once.
    void prepareForPlayback();
    // The fade of the picture at the playhead; the raw picture stays at full opacity while it
    // stands in for a still that is coming. Tells pictureChanged() only when an opacity changed.
    void applyPreviewFadeOpacity();

    // ---- graded still requests ----

    // Forgets the shown still and outdates every request in flight.
    void invalidateGradeCache();
    // Asks for a still now (a grade slider is being dragged), whether or not the key changed.
    void refreshInteractiveGradePreview();
    // Asks for the still of the paused frame under the playhead.
    void requestGradedStill();
    // The key of the picture under the playhead: grade revision, timeline revision, playhead
    // (milliseconds), clip, its LUT and grade signature, the preview switch, and when the clip's
    // grade names a LUT file, "|answers:" and the number of the answers of its LUT files.
    static std::string gradeSyncKey(const TimelinePreviewEngine& engine);

    // Request state.
    std::uint64_t gradeRequestID() const { return gradeRequestID_; }
    const std::optional<std::string>& lastGradeSyncKey() const { return lastGradeSyncKey_; }
    bool isGradingInFlight() const { return inFlightRequest_.has_value(); }
    bool needsAnotherGradePass() const { return needsAnotherGradePass_; }

signals:
    // Something painted changed: a picture, which one is up, or an opacity.
    void pictureChanged();
    // The player's picture changed where a seek landed: worth painting at once, ahead of the
    // work the landing releases (the first picture of an opened project, a scrub's frame).
    void pictureLanded();

private:
    // What changed in the engine since the last turn.
    enum Change : unsigned {
        playState = 1u << 0,
        gradeRevision = 1u << 1,
        fadeOpacity = 1u << 2,
        picture = 1u << 3, // player, paused playhead, preview switch or canvas
        lutAnswers = 1u << 4,
    };

    void scheduleChange(unsigned change);
    void takeChanges();
    // Whether `clip` (the one under the paused playhead) wants a graded still; needs an engine.
    bool needsStill(const std::optional<EditSession::Clip>& clip) const;
    void revealPlayer();
    // The raw frame stands in for the still being made, unless the shown still is kept until it
    // comes (keepShownStill_).
    void standInForComingStill();
    // Brings both opacities in line with the engine's fade; true when either changed.
    bool updateOpacities();
    void installStill(QImage still);
    void reseekPausedPlayer();
    // A still is asked for while another is being made: the running one is outdated.
    void waitForRunningStill();
    void dispatch(GradedStillJob job);
    void handBack(std::uint64_t requestNumber, const std::string& key, const std::string& frameKey,
                  int timelineRevision, GradedStillJob::Result result);
    GradedStillJob makeJob(const EditSession::Clip& clip, bool interactive) const;
    // "|answers:<number>" of the engine's answers of the clip's LUT files when its grade names one
    // (an answer may change while the names stay); empty otherwise.
    static std::string lutAnswersKey(const TimelinePreviewEngine& engine,
                                     const std::optional<EditSession::Clip>& clip);

    QPointer<TimelinePreviewEngine> engine_;
    std::shared_ptr<MainQueue> mainQueue_;
    bool cleanFeed_ = false;
    bool lightweight_ = false;
    std::vector<QMetaObject::Connection> connections_;
    // Alive while this controller exists, and while its engine does: grading jobs look at them
    // from their queue.
    std::shared_ptr<const bool> alive_;
    std::shared_ptr<const bool> engineAlive_;

    unsigned pendingChanges_ = 0;
    bool changesPosted_ = false;

    // The picture.
    std::shared_ptr<PreviewPlayer> player_;
    // The engine's timeline revision when player_ was adopted: once an edit moves the engine
    // past it, the player shows the old timeline until the rebuilt one replaces it.
    int playerTimelineRevision_ = 0;
    PlayerPictureFeed feed_;
    QImage still_;
    bool playerShown_ = true;
    bool stillShown_ = false;
    // The LUT answers alone were renewed: the shown still stays up until the next one comes
    // (a LUT list refreshed with nothing changed does not blink the raw frame).
    bool keepShownStill_ = false;
    double playerOpacity_ = 1.0;
    double stillOpacity_ = 1.0;

    // Request state.
    std::uint64_t gradeRequestID_ = 0;
    std::optional<std::string> lastGradeSyncKey_;
    // The number of the queued job whose hand-back has not come yet; at most one is out.
    std::optional<std::uint64_t> inFlightRequest_;
    bool needsAnotherGradePass_ = false;
    // The newest LUT base a job made or found: its frame key (GradedStillJob::lutBaseKey) and the
    // key it is cached under, which names the LUT text that graded it. A slider re-grade on the
    // main thread takes the base of that frame key.
    struct MadeBase {
        std::string frameKey;
        std::string key;
    };
    std::optional<MadeBase> madeBase_;
};

} // namespace velmora
