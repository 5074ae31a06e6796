#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QObject>
#include <QPointer>

#include "editing/PreviewFrameTiming.h"
#include "editing/TimelineFrameMap.h"
#include "editing/TimelineSnapshot.h"
#include "editing/TimelineUndoStack.h"
#include "grading/ClipGradeEditState.h"
#include "model/EditSession.h"
#include "model/LutResolution.h"
#include "model/MediaResolver.h"
#include "model/ResolvedMedia.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/image/Geometry.h"
#include "preview/CleanFeedWindowHandle.h"
#include "preview/LutNameCatalog.h"
#include "preview/PreviewCompositionBuilder.h"
#include "preview/PreviewLutAnswers.h"
#include "preview/PreviewLutFindings.h"
#include "preview/PreviewPlayer.h"
#include "preview/PreviewPlayerItem.h"
#include "preview/PreviewServices.h"
#include "preview/PreviewSourceFiles.h"
#include "preview/PreviewStandingWarnings.h"
#include "preview/StatusLine.h"
#include "preview/TimelinePreviewValues.h"
#include "preview/TimelineScrubAudio.h"

namespace velmora {

class GradeCompositionContext;

// The engine behind the Edit workspace: it owns the open project, takes every edit the
// workspace sends, keeps the undo history, rebuilds and drives the preview player, and reports
// each outcome in one status line. Views bind to its properties and call its commands.
//
// Threads: main thread only. Deferred work (the rebuild debounce, seek completions, the time
// observer, builds coming back) arrives through the injected main queue and holds the engine
// through a QPointer, so nothing runs once the engine is gone.
//
// Properties: every published property has a getter and a change signal emitted after the
// change; a write of an equal value notifies as well. "Republishing" the session means emitting
// sessionChanged() for the same object after it was edited in place.
//
// Times are seconds of timeline time unless a name says otherwise; lanes count from 1.
class TimelinePreviewEngine final : public QObject {
    Q_OBJECT
public:
    // The services the engine runs on (see PreviewServices).
    using Services = PreviewServices;

    // What makePlayerItem builds (see PreviewPlayerItem).
    using PlayerItemBuild = PreviewPlayerItem::PlayerItemBuild;

    // The values the engine takes from and answers its views with (see TimelinePreviewValues).
    using TrimEdge = TimelinePreviewValues::TrimEdge;
    using SnappedClipStart = TimelinePreviewValues::SnappedClipStart;
    using TrimSpan = TimelinePreviewValues::TrimSpan;
    using ClipAudioLevel = TimelinePreviewValues::ClipAudioLevel;
    using LinkedSource = TimelinePreviewValues::LinkedSource;
    using VisualGradeSource = TimelinePreviewValues::VisualGradeSource;

    // Opens (or brings forward) the clean-feed window and returns its controller; supplied by
    // the view layer.
    using CleanFeedWindowOpener = std::function<CleanFeedWindowHandle*(TimelinePreviewEngine& engine)>;

    // Width in points of the timeline lanes' gutter.
    static constexpr double timelineGutterWidth = 72;
    // Quiet time after the last debounced rebuild request before the rebuild runs.
    static constexpr double rebuildDebounceSeconds = 0.12;
    static constexpr int maximumUndoSteps = 40;
    // Time scale of every media time the preview composition and its player use.
    static constexpr std::int32_t previewTimescale = PreviewPlayerItem::previewTimescale;
    // Errors of the preview and its builds, domain "preview" (codes: PreviewPlayerItem).
    static constexpr const char* previewErrorDomain = PreviewPlayerItem::previewErrorDomain;

    explicit TimelinePreviewEngine(QObject* parent = nullptr);
    explicit TimelinePreviewEngine(Services services, QObject* parent = nullptr);
    ~TimelinePreviewEngine() override;

    TimelinePreviewEngine(const TimelinePreviewEngine&) = delete;
    TimelinePreviewEngine& operator=(const TimelinePreviewEngine&) = delete;

    // ---- published state ----

    bool isPlaying() const { return isPlaying_; }
    double playheadSeconds() const { return playheadSeconds_; }
    // A finer copy of the playhead for UI that moves during playback.
    double playbackMotionSeconds() const { return playbackMotionSeconds_; }
    double durationSeconds() const { return durationSeconds_; }
    // The status line, drawn from state (StatusLine): the standing warnings the engine's answers
    // give now (the LUTs that grade nothing, the files that cannot be read, the files shown in
    // place of missing ones, each named once), then the news of the user's last action
    // (setStatus), then the preview build's announcement ("Building timeline…") or its outcome
    // ("Ready — …", "Failed: …"), which follows news written while the build ran.
    const std::string& status() const { return statusLine_.text(); }
    // Text of the last preview build failure.
    const std::optional<std::string>& lastError() const { return lastError_; }
    // Why the files of sources cannot be read, by source id: found by the latest preview build
    // and by the player or a still request failing on a file since. Their clips show black.
    const std::map<std::string, std::string>& unreadableSources() const { return unreadableSources_; }
    // The player or a still request could not read `file` (`failure` says how; empty when
    // nothing does): when it is a source's file and either the file cannot be opened or there
    // is a failure, the status line names the source and unreadableSources() holds it.
    void reportUnreadableMedia(const std::filesystem::path& file, const std::string& failure);
    // What the status line says of the session's sources in unreadableSources() ("Cannot read
    // b.mp4 (Permission denied)"); none when every file can be read.
    std::optional<std::string> unreadableMediaText() const;
    // The file of every source as the preview shows it: the map the newest build made on its
    // worker (MediaResolver::sourceFileMap), while it still holds for the session's sources and
    // clip names (ResolutionInputs) and the folder; none without a session, a folder or media in
    // it, or while a change waits for its build's map. Lists no folder: what the editor hands
    // its own exports (the export sheet, the 10-bit workspace).
    std::optional<ResolvedMedia> resolvedMedia() const;
    std::optional<MediaResolver::SourceFileMap> sourceFilesShown() const;
    // What the status line says of the LUTs the active timeline's clips name that grade nothing
    // ("LUT look.cube not found"), as looked up after the newest build was installed; a clip
    // whose LUT reference changed since is left out. None when every named LUT grades.
    std::optional<std::string> missingLutText() const;
    // The name of the clip's LUT when it is one of those; none otherwise.
    std::optional<std::string> missingLutOfClip(const std::string& clipId) const;
    // The status line's words about a LUT just chosen that cannot grade its clip ("LUT Two.cube
    // cannot be used: …"): shown while the clip still holds that LUT, its answer says it grades
    // nothing and no other news was written since; none otherwise.
    std::optional<std::string> shownLutWarning() const;
    // The status line's grade word: "OFF (smooth play)" with grade preview off; else "ON · pause
    // for LUT" when the LUT of the clip a pause shows (the selected clip, else the clip under the
    // playhead) grades it or is not looked up yet, else "ON · LUT file missing".
    std::string gradeWordForStatus() const;
    // The LUT answers of the active timeline's clips (by clip id, the render job's clip key) and
    // of the project's own LUT, for an export of the session in `mediaFolder` with `sessionFile`:
    // the answers the engine decided, so the export looks no LUT up again. None when the engine
    // looks in another folder or some answer is not looked up yet. Reads no file.
    std::optional<ResolvedLuts> resolvedLuts(const std::filesystem::path& mediaFolder,
                                             const std::optional<std::filesystem::path>& sessionFile) const;
    // The installed preview player; replaced by every rebuild, none while building.
    const std::shared_ptr<PreviewPlayer>& avPlayer() const { return avPlayer_; }
    // Paused frames show each clip's full grade.
    bool gradePreviewEnabled() const { return gradePreviewEnabled_; }
    // The selected clip, always one of the timeline on screen: a clip that leaves it (another
    // timeline chosen, the clip removed or undone) is no longer selected once the revision moves,
    // so nothing bound to the selection reaches a clip out of sight.
    const std::optional<std::string>& selectedClipId() const { return selectedClipId_; }
    // A clip the timeline lanes are asked to bring into view; they set it back to none.
    const std::optional<std::string>& focusClipId() const { return focusClipId_; }
    // Counts every change of the timeline; the lanes redraw on it.
    int timelineRevision() const { return timelineRevision_; }
    bool rippleEditEnabled() const { return rippleEditEnabled_; }
    bool magneticSnapEnabled() const { return magneticSnapEnabled_; }
    const std::shared_ptr<EditSession>& session() const { return session_; }
    bool canUndo() const { return canUndo_; }
    bool canRedo() const { return canRedo_; }
    // Media stems whose video and audio clips are edited independently.
    const std::set<std::string>& unlinkedMediaStems() const { return unlinkedMediaStems_; }
    // The project-wide LUT reference as stored, and the .cube text it resolves to (empty: none, or
    // not looked up yet): the job LUT answer an export of the session takes, looked up off the
    // main thread once the first picture is shown (projectLutAnswer).
    const std::string& projectLutReference() const { return projectLutReference_; }
    const std::string& projectLutCube() const { return projectLutCube_; }
    // The project LUT's answer as last looked up for the stored reference; none before.
    const LutResolution& projectLutAnswer() const { return luts_.projectLut; }
    // What Project Settings' LUT picker shows for the project's LUT.
    LutPickerValue projectLutPickerValue() const;
    // What every LUT picker of a clip shows for the clip's LUT (LutResolving::pickerValue of the
    // clip's answer as the engine's worker found it; a file not read yet shows by its name);
    // "None" for a clip id no clip has. Reads no file.
    LutPickerValue clipLutPickerValue(const std::string& clipId) const;
    // The LUTs on offer (availableLutNames) that grade nothing, marked as the engine's worker
    // found them with the clips' LUTs (missingLutsChanged); every LUT picker titles its entries
    // with these (LutResolving::pickerTitle). Reads no file.
    const ListedLutMarks& listedLutMarks() const { return luts_.listedLuts; }
    // The project canvas in pixels.
    int outputWidth() const { return outputWidth_; }
    int outputHeight() const { return outputHeight_; }
    // Each increment asks the lanes to scroll the playhead into view at timelineScrollAnchor().
    std::uint64_t timelineScrollRequest() const { return timelineScrollRequest_; }
    // Each increment asks the program view to grade the paused frame again.
    int gradePreviewRevision() const { return gradePreviewRevision_; }
    // The number of the LUT answers held for the media folder and project file (PreviewLutAnswers):
    // it moves with either, and when a refresh of the LUT list finds an answer changed. Main
    // thread; makes the answers when there are none. With a grade: of its LUT files' answers alone.
    std::uint64_t lutAnswersNumber() const;
    std::uint64_t lutAnswersNumber(const std::optional<EditorJobV2::ClipGrade>& grade) const;
    // Opacity (0 to 1) of the program picture at the playhead, from the visual clip's fades.
    double previewFadeOpacity() const { return previewFadeOpacity_; }
    // The last grade change came from a slider still being dragged.
    bool gradePreviewInteractive() const { return gradePreviewInteractive_; }

    // Written by the views: the lanes select clips, clear the focus request and show texts of
    // their own; the workspace bumps the revision when the lane height changes; the Snap and
    // Ripple check boxes are bound both ways.
    void setSelectedClipId(std::optional<std::string> id);
    void setFocusClipId(std::optional<std::string> id);
    void setTimelineRevision(int revision);
    void setRippleEditEnabled(bool enabled);
    void setMagneticSnapEnabled(bool enabled);
    // The news of the user's last action (see status()).
    void setStatus(std::string status);
    // Counts the news the status line was given: words tied to the news they came with hold
    // while it stays the same.
    std::uint64_t statusNewsNumber() const { return statusLine_.newsNumber(); }

    // ---- plain state ----

    // Display transform of the installed composition's video.
    const AffineTransform& previewVideoTransform() const { return previewVideoTransform_; }
    TimelineScrollAnchor timelineScrollAnchor() const { return timelineScrollAnchor_; }
    void setTimelineScrollAnchor(TimelineScrollAnchor anchor) { timelineScrollAnchor_ = anchor; }
    // The floor of the zoom-dependent snap distance, seconds.
    double snapThresholdSeconds() const { return snapThresholdSeconds_; }
    void setSnapThresholdSeconds(double seconds) { snapThresholdSeconds_ = seconds; }
    // The open clean-feed window's controller, maintained by that controller; held weakly.
    CleanFeedWindowHandle* cleanFeedController() const { return cleanFeedController_.data(); }
    void setCleanFeedController(CleanFeedWindowHandle* controller) { cleanFeedController_ = controller; }
    void setCleanFeedWindowOpener(CleanFeedWindowOpener opener) { cleanFeedWindowOpener_ = std::move(opener); }
    // Grade blueprint of the session for playback grading; none until a grade change makes one.
    const std::shared_ptr<const GradeCompositionContext>& gradeContext() const { return gradeContext_; }

    // The session (same as session()).
    const std::shared_ptr<EditSession>& sessionRef() const { return session_; }
    // The active timeline's markers; empty without a session or active timeline.
    std::vector<EditSession::Marker> activeMarkers() const;
    const std::optional<std::filesystem::path>& previewMediaFolder() const { return mediaFolderURL_; }
    // The project document LUT files are looked up next to.
    const std::optional<std::filesystem::path>& lutSessionFileURL() const { return sessionFileURL_; }

    // ---- session adoption and project settings ----

    // Takes a session with a known media folder and builds its preview from the start.
    void load(std::shared_ptr<EditSession> session, const std::filesystem::path& mediaFolder,
              const std::optional<std::filesystem::path>& sessionFile);
    // Takes a session just read from a file whose media folder holds its media, as adoptSession
    // without reloadPreview followed by load, except that the preview build is asked for first
    // (handed the session as read: the engine's own copy is made while it runs) and the session
    // is published once: the build runs on its worker while the views take the session.
    // `onSourcesResolved` is called once, later, on the main thread, with which sources have
    // files in the folder and whether a preview can be built (MediaResolver::previewReadiness),
    // as the build's own lookup of the folder found them, or without a build as the background
    // runner did; not at all once another session is taken or opened.
    void openSession(std::shared_ptr<EditSession> session, const std::filesystem::path& mediaFolder,
                     const std::optional<std::filesystem::path>& sessionFile,
                     std::function<void(MediaResolver::PreviewReadiness)> onSourcesResolved = {});
    // Takes a session read or edited elsewhere. With reloadPreview the undo history and the
    // unlinked stems are cleared and, with a media folder, the preview is rebuilt.
    void adoptSession(std::shared_ptr<EditSession> session, const std::optional<std::filesystem::path>& mediaFolder,
                      const std::optional<std::filesystem::path>& sessionFile, bool reloadPreview = true);
    // Takes the open session again after a change made outside the edit operations (poster
    // frames, the project frame rate, a placed source range, a retried preview): as adoptSession
    // with reloadPreview, except that the undo history and the unlinked stems stay. A session
    // other than the open one is adopted with reloadPreview.
    void reloadSession(std::shared_ptr<EditSession> session, const std::optional<std::filesystem::path>& mediaFolder,
                       const std::optional<std::filesystem::path>& sessionFile);
    // Tears the preview player down, stops any build or pending rebuild from installing one and
    // puts the playhead at 0; the session stays. For a session that has no preview (yet).
    void dropPreview();
    // A preview build has been asked for and has not answered yet: its player is on the way.
    bool isBuildingPreview() const { return compositionBuilding_; }
    // Runs `work` once the preview build under way shows its picture (a seek of its player has
    // landed), or once that build fails or the preview is dropped; at once when no build's
    // picture is awaited. Work that competes with the first picture for the cores waits here.
    void whenPictureShown(std::function<void()> work);
    // The headers of the newest build's files: those the installed build read (see
    // PreviewComposition::assets), or after a build failed those of the files its map resolved for
    // the clips, once read on a worker; empty while none is known or after the preview was dropped.
    const MediaHeaders& sourceHeaders() const
    {
        return sourceFiles_.headers;
    }
    // True while syncTimelineTrimAndPreview runs: the revision it bumps is a normalisation the
    // saved document gets on opening too, not an edit.
    bool normalisingTimeline() const { return normalisingTimeline_; }
    // Rebuilds the preview of the current session: keeps the playhead without a seek time,
    // else goes to that time. Needs a session and a media folder.
    void reloadComposition(std::optional<double> seekToSeconds);
    void applyProjectSettings(const std::string& name, int width, int height, double fps,
                              const std::string& lutReference);
    void applyProjectNameFromFile(const std::filesystem::path& fileURL, bool forceFromFilename);
    // Normalises clip timing before an export, rebuilding the preview when that changed a clip
    // or reloadComposition asks for it.
    void syncTimelineTrimAndPreview(bool reloadComposition);
    // "Timeline 1: 3 video, 2 audio", with " (N timelines in file)" for two or more.
    static std::string timelineClipSummary(const EditSession& session);
    // Frames per second of the preview: the rate of frameGrid().
    double previewFrameRate() const;
    // The frame grid of the program monitor, its stills and its read-out: the grid of the rate
    // the project runs at (PreviewFrameTiming::pictureGrid); the player item is built on it.
    FrameGrid frameGrid() const;
    // The item time a player is sent to for the picture at `seconds`: the exact start of the
    // frame shown there on frameGrid(), so that no rounding of the time puts the player on the
    // frame before it. Invalid for a time that is not a finite number.
    MediaTime pictureTime(double seconds) const;
    // The furthest the playhead goes: the timeline's end, unless that lies inside a frame its
    // export does not write (a length rounded down to whole frames, FrameGrid::lastFrame of
    // durationSeconds()): then the start of the export's last frame, so that the monitor never
    // shows a picture the movie does not have. 0 for an empty timeline.
    double lastPlayheadSeconds() const;
    // The timeline's frame rule on frameGrid(), over the active timeline's clips (in stored
    // order) and the video of the files whose headers are known (filesWithKnownEnds): which
    // clip, source and source frame each frame of the monitor shows, or a gap. Where a file's
    // header is not known (yet), its end is not, and no frame is a gap for lack of it.
    TimelineFrameMap frameMap() const;
    // The length of the active timeline: its stored length or the end of its last picture or
    // sound clip, whichever is later; 0 without one. The read-out keeps it whether or not a
    // preview could be built.
    static double timelineLength(const EditSession& session);
    // frameMap()'s answer for the frame holding `at` (the clip index into the active timeline's
    // clips), made from the clips covering that frame alone; with `preferredClipId` naming a
    // picture clip that covers it, that clip's frame there whether or not it is on top.
    ShownFrame shownFrameAt(double at, const std::optional<std::string>& preferredClipId = std::nullopt) const;

    void openCleanFeedWindow();
    void closeCleanFeedWindow();
    void toggleCleanFeedWindow();

    // ---- undo and the preview rebuild ----

    // Pushes a snapshot of the active timeline onto the undo history (at most 40 kept).
    void recordUndoPoint();
    // Forgets every undo and redo step, e.g. when another project is opened: steps of one
    // project must never be applied to another's timeline.
    void clearUndoHistory();
    // Another timeline of the project is shown: the undo history, the news and the LUT findings
    // of the one left behind go (none undoes or speaks of what is no longer on screen).
    void leaveTimeline();
    void undo();
    void redo();
    // Tears the current player down and asks for a new preview of the session. The install
    // puts the playhead where it is then (preservePlayhead; a move made during the build is
    // kept), at seekToSeconds, or at 0.
    void rebuildComposition(bool preservePlayhead, std::optional<double> seekToSeconds, bool autoPlay);

    // ---- grade and LUT controls ----

    void refreshProjectLUT(const std::optional<std::filesystem::path>& mediaFolder);
    // An empty reference removes the stored value; "None" is stored as such.
    void setProjectLutReference(const std::string& reference);
    // The names listed last (see LutNameCatalog): no look at the disk.
    std::vector<std::string> availableLutNames() const;
    // Lists the LUT files on offer again (a picker opening, files copied in); lutNamesChanged()
    // tells when the names arrive.
    void refreshLutNames();
    // Runs `work` on the worker the LUT listings use, for work that reads folders and must stay
    // off the main thread; at once on the calling thread where the engine has no worker. The
    // work answers through the main queue.
    void runInBackground(std::function<void()> work);
    bool hasBackgroundWorker() const { return static_cast<bool>(runInBackground_); }
    std::vector<std::string> clipLutPickerOptions(const std::optional<std::string>& clipId) const;
    std::string selectedClipLutPickerValue() const;
    std::string selectedClipLutReference() const;
    // Sets one clip's LUT (blank means "None"), without an undo point; nothing for a clip id no
    // clip has. The status line says why a LUT that does not grade the clip cannot be used, and
    // stops saying so once the clip's LUT changes.
    void setClipLutReference(const std::string& reference, const std::string& clipId);
    // Writes a grade edit live, without an undo point.
    void applyClipGradeLive(const std::string& clipId, const ClipGradeEditState& editState, bool interactive);
    void warmGradeSliderPreview(const std::string& clipId, const ClipGradeEditState& editState);
    void finalizeClipGradeLivePreview(const std::string& clipId, const ClipGradeEditState& editState);
    // Writes a grade edit as an edit, with a status; an undo point only when it changed the
    // active timeline.
    void applyClipGradeEdit(const std::string& clipId, const ClipGradeEditState& editState, bool recordUndo);
    void setGradePreviewEnabled(bool enabled);
    void refreshPausedGradePreview();
    void notifyPreviewGradeRefresh();
    // The clip whose picture, with its grade, the paused frame at that time shows: the clip
    // frameMap() names for the frame holding it (lowest lane, then the later start); none in a gap
    // or past the end of the clip's file. An image clip is left out of the player's composition,
    // so its paused picture is always a still.
    std::optional<EditSession::Clip> clipForPausedGrade(double at) const;

    // ---- clip gain, fades and fade opacity ----

    std::optional<ClipAudioLevel> selectedClipAudioLevel() const;
    // Gain 0 to 3 for the clip and its linked partners; no undo point.
    void setClipAudioLevel(const std::string& clipId, double level, bool rebuildPreview);
    void setClipFades(const std::string& clipId, double fadeIn, double fadeOut, bool recordUndo);
    // The visual clip's opacity at the playhead (1 without a session).
    double previewVisualOpacity() const;

    // ---- the preview composition ----

    // The player item of the session's active timeline, built on frameGrid() by
    // PreviewPlayerItem::makePlayerItem (the arguments and errors are its own).
    static PlayerItemBuild makePlayerItem(auto&&... arguments)
    {
        return PreviewPlayerItem::makePlayerItem(std::forward<decltype(arguments)>(arguments)...);
    }

    // ---- transport ----

    // Play or pause; a second toggle within 0.08 s is ignored.
    void togglePlay();
    // Moves the playhead and the player (clamped to the preview). An exact seek pauses and
    // lands on the frame grid. `onComplete` runs when the seek finished (at once without a
    // player), and not when a newer seek superseded it; its argument is always true.
    void seek(double seconds, bool exact, std::function<void(bool)> onComplete);
    // Moves the playhead while dragging; playback pauses only while the seek runs.
    void scrub(double to);
    // A frame step moves to the start of the next (or previous) frame; a fine step moves the
    // playhead 0.01 s, the picture and read-out showing the frame it then stands in.
    void stepPlayheadFrame(int direction, bool fine);
    // Ascending, at least [0]; no two points within half a frame. Each point is the start of the
    // first frame at or after a clip's start or end: the first frame that shows what the cut
    // begins.
    std::vector<double> allCutPoints() const;
    void jumpToPreviousCut();
    void jumpToNextCut();
    void selectClip(const std::string& id, bool seek);
    void clearClipSelection();
    void requestTimelineScroll(TimelineScrollAnchor anchor);
    // A trim handle drag starts: playback pauses and the gesture counts as in progress.
    void pauseForTrimDrag();
    std::optional<LinkedSource> previewLinkedSource(double at) const;
    // The file and source time of the frame holding `at`, as frameMap() names them: of the clip
    // `preferredClipId` when it is a picture clip, else of the clip shown there. None in a gap,
    // past the end of the clip's file, or for a source without a file.
    std::optional<VisualGradeSource> visualGradeSource(double at,
                                                       const std::optional<std::string>& preferredClipId) const;

    // ---- snapping and zoom ----

    double effectiveSnapThreshold() const;
    double snapTimelineTime(double t, const std::string& excludeClipId, bool preferPlayhead) const;
    SnappedClipStart snapClipStartTime(double t, const std::string& excludeClipId) const;
    double snapClipDrop(double clipStartTime, const std::string& excludeClipId, double clipStartTimelineX,
                        double pixelsPerSecond) const;
    void setActiveTimelinePixelsPerSecond(double pps);
    // The zoom the active timeline's lanes are drawn at (TimelineZoom::shownPps), which its
    // read-out names and its snapping takes.
    double activeTimelinePixelsPerSecond() const;

    // ---- lanes and clips ----

    bool isVideoTrackLocked(int lane) const;
    bool isAudioTrackLocked(int lane) const;
    bool isVideoTrackMuted(int lane) const;
    bool isAudioTrackMuted(int lane) const;
    bool isClipEditingLocked(const std::string& id) const;
    // Whether a clip of this id is on the active timeline, the one on screen.
    bool isOnActiveTimeline(const std::string& id) const;
    std::optional<std::string> mediaStemForClip(const std::string& id) const;
    bool isAudioLinked(const std::string& videoClipId) const;
    bool isAudioLinkedForSelection() const;
    // The clip's start in whichever timeline holds it; 0 when not found.
    double clipStartTime(const std::string& id) const;
    // The clip's duration in the active timeline; 0 when not found there.
    double clipDuration(const std::string& id) const;

    void toggleVideoTrackLock(int lane);
    void toggleAudioTrackLock(int lane);
    void toggleVideoTrackMute(int lane);
    void toggleAudioTrackMute(int lane);
    void toggleAudioLinkForSelection();
    void splitAtPlayhead();
    // commit false: a live move while dragging (no undo point, no rebuild). commit true: one
    // undoable move, snapped when applySnap and snapping is on.
    void moveClipOnTimeline(const std::string& id, double startTime, std::optional<int> track, bool commit,
                            bool applySnap);
    void commitClipDrop(const std::string& id, double startTime, std::optional<int> track);
    void closeGapAtPlayhead();
    void addMarkerAtPlayhead();
    void deleteSelectionOrMarker();
    // The source viewer's "Update Timeline": the clip takes the viewer's in and out, and its LUT
    // only when `lutReference` is another than the one it shows; one undoable edit.
    void updateTimelineClipFromSource(const std::string& clipId, double inPoint, double outPoint,
                                      const std::optional<std::string>& lutReference);

    // ---- trims and slips ----

    void trimStartAtPlayhead();
    void trimAtPlayhead();
    void trimEdgeOnTimeline(const std::string& clipId, TrimEdge edge, double timelineTime);
    // The clip's span if an edge were trimmed to a time (only shortening), changing nothing.
    std::optional<TrimSpan> previewTrimEdge(const std::string& clipId, TrimEdge edge, double timelineTime) const;
    // The length of the file the clip's source reads, as its header is known (sourceHeaders()):
    // what limits its tail (EditSession::trimReach) while its edge is dragged, and when it is
    // trimmed. None for a clip without such a file or before its header was read. Reads no file.
    std::optional<double> clipSourceSeconds(const std::string& clipId) const;
    void slipSelectedClip(double deltaSeconds);
    // Ends a trim drag in progress without committing it (trimGestureCancelled tells the lanes
    // to drop it); nothing otherwise.
    void cancelTrimGesture();

signals:
    void isPlayingChanged();
    void playheadSecondsChanged();
    void playbackMotionSecondsChanged();
    void durationSecondsChanged();
    void statusChanged();
    void lastErrorChanged();
    void unreadableSourcesChanged();
    // A look-up of the clips' missing LUTs was kept (missingLutText, missingLutOfClip).
    void missingLutsChanged();
    void avPlayerChanged();
    // A seek of the player landed (finished): the frame it shows is in the player's video output
    // already. Said before the work the landing releases runs.
    void seekLanded();
    void gradePreviewEnabledChanged();
    void selectedClipIdChanged();
    void focusClipIdChanged();
    void timelineRevisionChanged();
    // A build's map of source files arrived from its worker (what a still asked for before it
    // may now find its file), or after a failed build where that map's files end became known
    // (a frame past a file's end is now black).
    void sourceFilesResolved();
    void rippleEditEnabledChanged();
    void magneticSnapEnabledChanged();
    void sessionChanged();
    // A session other than the open one was taken, after its timeline was laid out: views show
    // it from its start, with nothing of the one before.
    void anotherProjectTaken();
    void canUndoChanged();
    void canRedoChanged();
    void unlinkedMediaStemsChanged();
    void projectLutReferenceChanged();
    void projectLutCubeChanged();
    // The LUT names on offer were listed again.
    void lutNamesChanged();
    // The LUT answers were renewed (lutAnswersNumber): an answer changed.
    void lutAnswersRenewed();
    void outputWidthChanged();
    void outputHeightChanged();
    void timelineScrollRequestChanged();
    void gradePreviewRevisionChanged();
    void previewFadeOpacityChanged();
    void gradePreviewInteractiveChanged();
    // An explicit "the engine changed" notification, for changes no single property names
    // (a grade refresh, a seek that landed).
    void objectWillChange();
    // The trim drag in progress is abandoned: the lanes drop it without calling
    // trimEdgeOnTimeline.
    void trimGestureCancelled();

private:
    // adoptSession, with the undo history and unlinked stems forgotten only when forgetHistory;
    // with buildFirst (and a media folder) the preview build is asked for before the session is
    // published.
    void takeSession(std::shared_ptr<EditSession> session, const std::optional<std::filesystem::path>& mediaFolder,
                     const std::optional<std::filesystem::path>& sessionFile, bool reloadPreview, bool forgetHistory,
                     bool buildFirst = false);
    // rebuildComposition; for the opening's build (`opening`) the session is handed to the
    // build rather than copied (nothing holds a part of it yet; the engine's copy is made once
    // the build is asked for), and the files the build finds answer onSourcesResolved. Answers
    // whether a build was asked for.
    bool requestBuild(bool preservePlayhead, std::optional<double> seekToSeconds, bool autoPlay, bool opening);
    // Another project is taken: the status line's news and what the LUT words follow go.
    void forgetWordsOfAnotherProject();
    // Answers the opening with `readiness` when it is the one waited for (`number`) and the
    // session opened is still the engine's.
    void answerSourcesResolved(std::uint64_t number, MediaResolver::PreviewReadiness readiness);
    // Looks the session's files up where no build does: on the background runner (a copy of the
    // session), or at once without one (tests); the map is kept, and an opened session's answer
    // comes through the main queue.
    void resolveSourcesWithoutBuild();
    // Runs the work waiting for the picture (whenPictureShown).
    void releaseWorkAfterPicture();
    // Setters of the published state; each notifies.
    void setIsPlaying(bool value);
    void setPlayheadSeconds(double value);
    void setPlaybackMotionSeconds(double value);
    void setDurationSeconds(double value);
    void setLastError(std::optional<std::string> value);
    void setAvPlayer(std::shared_ptr<PreviewPlayer> player);
    // Keeps the build's file of each source, before its player is installed (whose arrival
    // refreshes the views that name the linked source).
    void keepSourceFileMap(PreviewComposition& composition);
    // Names the installed build's sources that cannot be read; the status line gets the build's
    // "Ready" text first.
    void keepSourceFiles(PreviewComposition& composition);
    void setGradePreviewEnabledValue(bool value);
    void setSession(std::shared_ptr<EditSession> session);
    void setUnlinkedMediaStems(std::set<std::string> stems);
    void setProjectLutReferenceValue(std::string value);
    void setProjectLutCube(std::string value);
    void setOutputWidth(int value);
    void setOutputHeight(int value);
    void setGradePreviewRevision(int value);
    void setPreviewFadeOpacity(double value);
    void setGradePreviewInteractive(bool value);
    // Both playhead values at once, as every transport move writes them.
    void setPlayhead(double seconds);
    // The playhead on the frame at `seconds`, with the fade opacity there; where an edit puts
    // it before the rebuild that keeps it.
    void placePlayhead(double seconds);
    void republishSession();
    // The project's canvas, 1920 × 1080 where it says none.
    void takeCanvasFromProject();
    void bumpTimelineRevision();
    void bumpGradePreviewRevision();
    void bumpTimelineScrollRequest(TimelineScrollAnchor anchor);
    // The file the source reads, from the map the newest build made on its worker for this
    // session and folder; none when it gives none or no map is made yet. Lists no folder.
    std::optional<std::filesystem::path> sourceFileInMediaFolder(const std::string& sourceId) const;
    // Whether the installed build resolved the current session, timeline and folder.
    bool installedFilesHold() const;
    // The file of each source whose headers (sourceFiles_.headers) tell the frame rule where it
    // ends, for the current session, timeline and folder: the installed build's map; after a build
    // failed, the newest map once the headers of its clips' files are read; none while a build is
    // under way or before then.
    const MediaResolver::SourceFileMap* filesWithKnownEnds() const;
    // The video of the sources of `clips` whose files' ends are known (filesWithKnownEnds), by
    // source id: what the frame rule reads for them.
    std::map<std::string, SourceVideo> knownSourceVideo(const std::vector<ClipTiming>& clips) const;
    // After a failed build: reads, on the background worker, the headers of the files the newest
    // map resolved for the timeline's clips, and keeps them if no build was asked for meanwhile,
    // so that the monitor, its stills and the trims know where those files end without a player.
    void readHeadersAfterFailure();
    // The newest map a build made on its worker for this session and folder, even where a
    // change since waits for its build's map (that map still answers for the sources it knows),
    // else the installed build's while it holds; none before one is made.
    const MediaResolver::SourceFileMap* newestResolvedFiles() const;
    // Whether the newest worker-made map is for this session and folder.
    bool resolvedFilesHold() const;
    // Keeps the map a build made on its worker (none: the folder gave none) when it answers
    // the newest build asked for.
    void keepResolvedFiles(std::uint64_t number, std::weak_ptr<const EditSession> session, std::filesystem::path folder,
                           MediaResolver::ResolutionInputs inputs, std::optional<MediaResolver::SourceFileMap> files,
                           std::string standIns);

    // The shape every timeline edit follows.
    // The snapshot pushed, none when nothing was pushed (no session or active timeline).
    std::optional<TimelineSnapshot> pushUndoPoint();
    void refreshUndoFlags();
    // Withdraws the undo point `pushed` stands for; nothing when none was pushed.
    void withdrawUndoPoint(const std::optional<TimelineSnapshot>& pushed);
    // A successful mutation that left the active timeline as `pushed` keeps no undo step.
    void withdrawUndoPointIfUnchanged(const std::optional<TimelineSnapshot>& pushed);
    void commitEdit(bool rebuild, const std::string& statusMessage, bool immediateRebuild);
    // withdrawUndoPointIfUnchanged, then commitEdit.
    void commitRecordedEdit(const std::optional<TimelineSnapshot>& pushed, bool rebuild,
                            const std::string& statusMessage, bool immediateRebuild);
    void scheduleCompositionRebuild();
    // The session holds neither a source nor a clip on its active timeline: a rebuild tears the
    // player down and builds nothing (no failure, no player; the views show the empty project).
    bool hasNothingToPreview() const;
    void undoOrRedo(bool isUndo);

    // Composition install and playback timing.
    // playheadAtStart: the playhead when the rebuild started; a playhead moved since then stays.
    void installComposition(PreviewComposition composition, bool preservePlayhead,
                            std::optional<double> seekToSeconds, bool autoPlay, double playheadAtStart);
    void failComposition(const Error& error);
    // Silences the installed player before it is dropped: no time observer, paused, no seek
    // waited for.
    void stopPlayer();
    void installTimeObserver();
    void removeTimeObserver();
    void handlePlayerTime(const MediaTime& time);
    double snapToFrameGrid(double seconds) const;
    // seek(), with the playhead put on the frame grid or left at `seconds` (the picture goes to
    // the start of the frame holding it either way).
    void seekTo(double seconds, bool exact, bool snapPlayhead, std::function<void(bool)> onComplete);

    // Grade plumbing.
    void refreshGradeCompositionContext();
    void refreshLiveAudioMix();
    void updatePreviewFadeOpacity(double at);

    // Transport helpers.
    // The playhead moved onto `at`: the paused picture there is the one whose LUT the status line
    // speaks of; when it is a source whose file could not be read, a file that can be read again
    // is taken back into the preview (rebuilt, keeping the playhead) so that its picture shows.
    void revisitUnreadableMediaAt(double at);
    // The status line's standing warnings drawn from the engine's answers (see status()): the
    // LUTs that grade nothing, the files that cannot be read, the files shown by another, shortest
    // first; then, while no other news is written, the LUT of the clip the user paused on and a
    // LUT just chosen, in words of their own (and then left out of the list).
    std::vector<std::string> standingWarnings() const;
    // The line drawn again, its warnings derived again: called wherever an answer they come from
    // changes. redrawStatus draws it from the warnings as derived (a move, a selection).
    void refreshStatus();
    void redrawStatus();
    // The standing warnings as derived last, derived now when an answer changed since (or the
    // session or its timeline did); deriveStandingWarnings passes over the clips.
    const PreviewStandingWarnings& derivedWarnings() const;
    PreviewStandingWarnings deriveStandingWarnings() const;
    // The paused clip's LUT that grades nothing, by name, and the words that say so.
    std::optional<std::pair<std::string, std::string>> pausedClipLutWords() const;
    // A LUT just chosen that grades nothing (see shownLutWarning), by name, and its words.
    std::optional<std::pair<std::string, std::string>> chosenLutWords() const;
    // Looks up, off the main thread, the LUTs the active timeline's clips name that grade nothing,
    // and keeps the newest answer (naming them in the status line).
    void lookUpMissingClipLuts();
    // A clip's LUT was just changed, by whichever picker: the look-up is asked again and the LUT
    // chosen is the one the status line speaks of (chosenLutWords). Every place that changes a
    // clip's LUT calls this, after the words of its change.
    void lookUpChosenClipLut(const std::string& clipId);
    void resumePlayback();
    void beginPlayback();
    void pauseForCutJump();
    void jumpToCut(bool previous);
    void playScrubAudioBurst(double seconds);
    void stopScrubAudio();

    // Edit helpers.
    std::optional<EditSession::Clip> activeTimelineClip(const std::string& id) const;
    // Drops the selection and the focus request of a clip no longer on the active timeline.
    void forgetSelectionOutOfSight();
    void toggleLaneLock(const std::string& laneKey);
    void toggleLaneMute(const std::string& laneKey);
    void splitAudioBranch(const EditSession::Clip& audio, const std::optional<TimelineSnapshot>& before);
    void splitVideoBranch(const std::optional<TimelineSnapshot>& before);
    void trimClipAtPlayhead(TrimEdge edge);
    void trimVideoHead(const EditSession::Clip& clip, bool syncAudio);
    // Trims the session's clip (EditSession::trimClipEdge), a tail as far as the file its source
    // reads: the length clipSourceSeconds knows, or the file's header read where none is known.
    EditSession::TrimLanding trimSessionClip(const std::string& clipId, EditSession::TrimEdgeKind edge,
                                             double timelineTime, bool syncLinkedAudio);
    void trimVideoTail(const EditSession::Clip& clip, bool syncAudio);
    // Ripples the lane after a tail trim by how far the tail actually moved.
    void rippleAfterTailTrim(const std::string& clipId, int lane, double oldEnd,
                             const std::set<std::string>& types);

    std::shared_ptr<MainQueue> mainQueue_;
    std::shared_ptr<Clock> clock_;
    std::shared_ptr<PreviewCompositionBuilder> compositionBuilder_;
    MediaResolver::ReadabilityCheck readabilityCheck_;
    // The files of the installed build and of the newest build's worker, and what reading them
    // met; and the sources that cannot be read.
    PreviewSourceFiles sourceFiles_;
    std::map<std::string, std::string> unreadableSources_;
    // The clips' and the project's LUTs that grade nothing, and the status line's words of them.
    PreviewLutFindings luts_;
    // Each distinct LUT reference's answer for one media folder and project file, filled off the
    // main thread once the first picture is shown; renewed when either changes, and where one
    // changed when the LUT list is refreshed (lutAnswers).
    mutable PreviewLutAnswers lutAnswers_;
    const std::shared_ptr<LutResolving::Cache>& lutAnswers() const;
    // From the request of a build until its player's first seek has landed, or the build failed
    // or was dropped; and the work waiting for that (whenPictureShown).
    bool awaitingPicture_ = false;
    std::vector<std::function<void()>> workAfterPicture_;
    CleanFeedWindowOpener cleanFeedWindowOpener_;

    // Published state, main thread only.
    bool isPlaying_ = false;
    double playheadSeconds_ = 0;
    double playbackMotionSeconds_ = 0;
    double durationSeconds_ = 0;
    // The status line's words and its own writes (see status()).
    StatusLine statusLine_{[this] { return standingWarnings(); }, [this] { emit statusChanged(); }};
    // The standing warnings derived last (derivedWarnings), and for which session and revision.
    mutable std::optional<PreviewStandingWarnings> standing_;
    mutable std::pair<const EditSession*, int> standingFor_{};
    std::optional<std::string> lastError_;
    std::shared_ptr<PreviewPlayer> avPlayer_;
    bool gradePreviewEnabled_ = false;
    std::optional<std::string> selectedClipId_;
    std::optional<std::string> focusClipId_;
    int timelineRevision_ = 0;
    bool rippleEditEnabled_ = false;
    bool magneticSnapEnabled_ = true;
    std::shared_ptr<EditSession> session_;
    bool canUndo_ = false;
    bool canRedo_ = false;
    std::set<std::string> unlinkedMediaStems_;
    TimelineUndoStack undoStack_{maximumUndoSteps};
    std::string projectLutReference_;
    std::string projectLutCube_;
    AffineTransform previewVideoTransform_;
    int outputWidth_ = 1920;
    int outputHeight_ = 1080;
    std::uint64_t timelineScrollRequest_ = 0;
    TimelineScrollAnchor timelineScrollAnchor_ = TimelineScrollAnchor::center;
    int gradePreviewRevision_ = 0;
    double previewFadeOpacity_ = 1.0;
    bool gradePreviewInteractive_ = false;
    double snapThresholdSeconds_ = 0.35;

    // Private state, main thread only.
    std::optional<std::filesystem::path> sessionFileURL_;
    std::optional<PreviewPlayer::TimeObserverToken> timeObserver_;
    std::optional<std::filesystem::path> mediaFolderURL_;
    QPointer<CleanFeedWindowHandle> cleanFeedController_;
    std::shared_ptr<const GradeCompositionContext> gradeContext_;
    std::map<std::string, int> previewAudioBusByClipId_;
    bool exactSeekInFlight_ = false;
    std::uint64_t exactSeekToken_ = 0;
    bool pendingPlayAfterSeek_ = false;
    // Clock time of the last accepted play/pause toggle; none before the first.
    std::optional<double> lastTogglePlayAt_;
    std::optional<CancelHandle> rebuildWorkItem_;
    std::shared_ptr<TimelineScrubAudio> scrubAudio_;
    // Number of the newest rebuild; a build that comes back for an older one is dropped.
    std::uint64_t rebuildGeneration_ = 0;
    // A build of the current generation has been asked for and has not answered yet.
    bool compositionBuilding_ = false;
    bool normalisingTimeline_ = false;
    bool trimGestureActive_ = false;
    // True while a build's player is put in place: its own seek says nothing of unreadable files
    // (the build has just named them).
    bool installingComposition_ = false;
    std::unique_ptr<LutNameCatalog> lutNames_;
    // Where background work without a build of its own runs (the LUT listings' runner).
    LutNameCatalog::BackgroundRunner runInBackground_;
    // The opening's wait for which sources have files (openSession): its callback, its number (a
    // newer opening replaces it) and the session opened. Main thread only.
    std::function<void(MediaResolver::PreviewReadiness)> onSourcesResolved_;
    std::uint64_t sourcesResolvedNumber_ = 0;
    std::weak_ptr<const EditSession> sourcesResolvedFor_;
};

} // namespace velmora
