#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>

#include "inspectors/SourceViewerServices.h"
#include "model/EditSession.h"
#include "model/LutResolution.h"
#include "platform/dispatch/TaskGroup.h"

namespace velmora {

class TimelinePreviewEngine;

// The source viewer window without its widgets: one media source (video, still image or audio
// file) with its own player, In and Out marks, a LUT choice, and the hand-over of the marked
// range to the timeline.
//
// Lifecycle: load() when the window comes on screen (resolves the file and the starting LUT,
// opens the player, loads the duration in the background and, once it is known, applies the
// starting marks once); disappear() when it goes away (pauses and releases the player, removes
// its time observer, drops the pending duration load). The viewer never closes its window: the
// hand-overs and "Close" call the owner, who closes it.
//
// The marks are neither ordered nor clamped once the starting marks are applied: a mark set
// from the play position takes it unchanged and every hand-over passes the marks as they are.
// No hand-over ever carries a value that is not finite: a duration that is not finite is shown
// as "--:--:--", disables scrubbing and counts as 0 wherever a mark is taken from it.
//
// Main thread only. The engine is held weakly; the player's callbacks and background results
// arrive through the main queue and are dropped once the controller is gone or has
// disappeared. Destruction waits for a duration load still running (a probe of the file's
// header, which cannot be stopped part-way).
class SourceViewerController final : public QObject {
    Q_OBJECT
public:
    using RangeHandOver = std::function<void(double inPoint, double outPoint, const std::string& lutReference)>;

    // The owner's side, as the Edit workspace supplies it.
    struct Callbacks {
        // Whether the viewer's window is the key (active) window; false once it is gone.
        std::function<bool()> isWindowKey;
        RangeHandOver onUpdateTimeline;
        RangeHandOver onInsertAtPlayhead;
        RangeHandOver onAddToTimeline;
        std::function<void()> onClose;
        // Told after the LUT of the viewer's timeline clip changed in the engine; may be empty.
        std::function<void()> onLutChanged;
    };

    // What the picture area shows.
    enum class Picture { loading, waveform, gradedPreview, error };

    // Interval of the play-position observer, seconds.
    static constexpr double timeObserverInterval = 0.1;
    // The shortest range the starting marks of a timeline clip make.
    static constexpr double minimumInitialRange = 0.04;
    static constexpr const char* loadingText = "Loading source...";

    SourceViewerController(TimelinePreviewEngine& engine, EditSession::Source source,
                           std::optional<std::filesystem::path> mediaFolderURL,
                           std::optional<std::filesystem::path> sessionFile, std::optional<std::string> timelineClipId,
                           std::optional<double> initialInPoint, std::optional<double> initialOutPoint,
                           Callbacks callbacks, SourceViewerServices services = {}, QObject* parent = nullptr);
    ~SourceViewerController() override;

    // ---- inputs ----
    // None once the engine is gone.
    TimelinePreviewEngine* engine() const;
    const EditSession::Source& source() const { return source_; }
    const std::optional<std::string>& timelineClipId() const { return timelineClipId_; }
    const std::optional<std::filesystem::path>& sessionFile() const { return sessionFile_; }
    const std::shared_ptr<MainQueue>& mainQueue() const { return services_.mainQueue; }
    // The media folder given, else the engine's.
    std::optional<std::filesystem::path> mediaFolder() const;

    // ---- state ----
    const std::shared_ptr<PreviewPlayer>& player() const { return player_; }
    // The player's picture; empty without a player.
    const std::function<QImage()>& currentPicture() const { return currentPicture_; }
    const std::optional<std::filesystem::path>& fileURL() const { return fileURL_; }
    bool isPlaying() const { return isPlaying_; }
    double currentTime() const { return currentTime_; }
    double duration() const { return duration_; }
    double inPoint() const { return inPoint_; }
    double outPoint() const { return outPoint_; }
    bool didApplyInitialMarks() const { return didApplyInitialMarks_; }
    const std::optional<std::string>& loadError() const { return loadError_; }
    const std::string& sourceLutReference() const { return sourceLutReference_; }

    // ---- derived ----
    // The source is sound: a waveform and no LUT row.
    bool isAudioSource() const;
    Picture picture() const;
    // "3840×2160 · 23.98 fps", "3840×2160" without a rate; empty without both sides.
    std::string sizeLine() const;
    // The scrub range is 0…scrubMaximum(); scrubbing needs a finite duration other than 0.
    double scrubMaximum() const;
    bool isScrubEnabled() const;
    // The LUT picker's entries (the engine's LUT names; for a timeline clip, as the engine's
    // clipLutPickerOptions lists them) and the title each shows: the clip's LUT marked
    // "(missing)" or "(unusable)" when it grades nothing, as is any listed LUT that grades nothing
    // (LutResolving::pickerTitle).
    std::vector<std::string> lutNames() const;
    std::string lutTitle(const std::string& name) const;
    // The timeline clip's own LUT (its grade's LUT fields) while the picker shows it: what grades
    // the viewer's still then. None otherwise: the still takes the LUT the picker names.
    std::optional<EditorJobV2::ClipGrade> clipLutGrade() const;
    bool gradeEnabled() const;

    // ---- operations ----
    void load();
    void disappear();
    // Plays or pauses the player (when there is one) and flips isPlaying either way. Playback
    // runs to the end of the media; the marks do not stop it.
    void togglePlayback();
    void markIn();
    void markOut();
    // In at 0, Out at the duration, the player back at 0.
    void clearInOut();
    // Moves the player; the play position follows from the player.
    void scrub(double seconds);
    // A LUT picked: the viewer's choice; for a timeline clip also that clip's LUT in the engine
    // at once, then onLutChanged.
    void chooseLut(const std::string& reference);
    // The engine's grade preview switch (shared with the Edit workspace).
    void setGradeEnabled(bool enabled);
    void updateTimeline();
    void insertAtPlayhead();
    void addToTimeline();
    void close();

    // A key pressed anywhere in the application, as its characters ignoring modifiers. Space
    // plays or pauses, "i" and "o" (either case) set the marks, each only while the viewer's
    // window is key. True when the key was taken.
    bool handleKey(const std::string& charactersIgnoringModifiers);
    // Whether handleKey would take the key now, without acting on it.
    bool takesKey(const std::string& charactersIgnoringModifiers) const;

    // Seconds as "MM:SS:hh" (minutes, seconds, hundredths, each truncated; minutes do not wrap
    // into hours); "--:--:--" for a time that is not finite or too large to count.
    static std::string formatTime(double seconds);
    // The file is a still image, by its extension.
    static bool isStillImageFile(const std::filesystem::path& file);

signals:
    void playerChanged();
    void fileURLChanged();
    void isPlayingChanged();
    void currentTimeChanged();
    void durationChanged();
    void inPointChanged();
    void outPointChanged();
    void loadErrorChanged();
    void sourceLutReferenceChanged();

private:
    void setPlayback(SourcePlayback playback);
    void setIsPlaying(bool value);
    void setCurrentTime(double value);
    void setDuration(double value);
    void setInPoint(double value);
    void setOutPoint(double value);
    void setLoadError(std::optional<std::string> value);
    void setFileURL(std::optional<std::filesystem::path> value);
    void setSourceLutReference(std::string value);
    // The file the monitor, the player and every export read for the source: its entry in the
    // engine's map when the engine decided it for `folder`, else in the same map made here
    // (MediaResolver::sourceFileMap); none where the map gives the source no file, or that file
    // is gone since. A file found by its name alone would show what no export reads.
    std::optional<std::filesystem::path> sourceFile(const EditSession& session,
                                                    const std::filesystem::path& folder) const;
    void startDurationLoad(const std::filesystem::path& file);
    void durationLoaded(std::uint64_t generation, std::optional<double> seconds);
    void applyInitialMarks();
    void seekPlayer(double seconds);
    // The duration where a mark is taken from it: 0 unless finite.
    double markableDuration() const;
    void handOver(const RangeHandOver& callback) const;

    QPointer<TimelinePreviewEngine> engine_;
    EditSession::Source source_;
    std::optional<std::filesystem::path> mediaFolderURL_;
    std::optional<std::filesystem::path> sessionFile_;
    std::optional<std::string> timelineClipId_;
    std::optional<double> initialInPoint_;
    std::optional<double> initialOutPoint_;
    Callbacks callbacks_;
    SourceViewerServices services_;

    std::shared_ptr<PreviewPlayer> player_;
    std::function<QImage()> currentPicture_;
    std::optional<PreviewPlayer::TimeObserverToken> timeObserver_;
    std::optional<std::filesystem::path> fileURL_;
    bool isPlaying_ = false;
    double currentTime_ = 0;
    double duration_ = 0;
    double inPoint_ = 0;
    double outPoint_ = 0;
    bool didApplyInitialMarks_ = false;
    std::optional<std::string> loadError_;
    std::string sourceLutReference_;
    // The timeline clip's LUT as the pickers show it, taken as the viewer loaded.
    std::optional<LutPickerValue> clipLut_;
    // Number of the newest duration load; a result for an older one is dropped.
    std::uint64_t durationGeneration_ = 0;
    // The duration loads still running; waited for by the destructor.
    TaskGroup durationLoads_;
};

} // namespace velmora
