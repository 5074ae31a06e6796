#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QObject>

#include "grading/ClipGradeEditState.h"
#include "model/EditSession.h"
#include "preview/TimelinePreviewEngine.h"
#include "workspace/keys/EditorKeyboardHandler.h"
#include "workspace/shell/GradeInspectorWindowArguments.h"
#include "workspace/shell/SourceViewerWindowArguments.h"

namespace velmora {

class FilePanels;
class FileRevealer;
struct FilePanelRequest;
class BackgroundWorker;
class VelmoraWorkflowState;

// The Edit workspace without its widgets: it owns the workspace's TimelinePreviewEngine, holds
// every piece of state the bars, panels, windows and project flows share, and carries their
// rules and operations, so tests drive the whole workspace without a screen. The widgets
// (EditorContentView and its bars) only show this state and forward input to it.
//
// Alerts, the discard dialog, the sheets and the tool windows are flags here; the widget layer
// opens a non-blocking box or window when a flag rises and lowers the flag when it closes.
// File panels and the file-manager reveal are injected.
//
// Threads: main thread only. Every property has a getter and a change signal emitted after the
// change; an equal value notifies as well. Times are seconds, lanes count from 1.
class EditorWorkspaceController final : public QObject {
    Q_OBJECT
public:
    struct Services {
        // The engine's queue, clock and composition builder (empty ones get the application's).
        TimelinePreviewEngine::Services engine;
        // Open and save panels and the reveal in the file manager; required.
        std::shared_ptr<FilePanels> filePanels;
        std::shared_ptr<FileRevealer> fileRevealer;
        // The application's version and build number for the top bar's badge; none shows "?".
        std::optional<std::string> shortVersion;
        std::optional<std::string> buildNumber;
        // Runs work off the main thread (the media pool's poster frames). The work owns what it
        // touches, posts its results to the main queue, and returns soon once the controller is
        // gone. Empty: one worker thread of the controller's own, joined when the controller is
        // destroyed (after the poster frame it is making), so that none is still being encoded
        // while the application tears FFmpeg and Qt down.
        std::function<void(std::function<void()>)> runInBackground;
    };

    // The commands of the edit tools bar and the keyboard: a button and its key run the same one.
    enum class EditCommand {
        undo,
        redo,
        deleteSelection,
        split,
        toggleAudioLink,
        trimIn,
        trimOut,
        closeGap,
        addMarker,
        cancelTrim,
        cleanFeed,
        playPause,
        previousFrame, // one whole frame back
        nextFrame,     // one whole frame forward
    };

    // One button of the clip picker bar.
    struct PickerClip {
        std::string id;
        std::string title; // the clip's name as it is shown (shownText), "Clip" without one

        bool operator==(const PickerClip&) const = default;
    };

    // What the program area shows while there is no preview player.
    struct PreviewPlaceholder {
        enum class Action { newProject, importWebJob, openProject, importMedia, retryPreview };
        struct Button {
            std::string title;
            Action action;
            bool prominent = false;

            bool operator==(const Button&) const = default;
        };
        bool projectReady = false; // the green "Project ready" label
        std::string heading;
        bool headingIsWarning = false; // orange heading ("Preview failed")
        std::string explanation;       // empty: none
        std::vector<Button> buttons;

        bool operator==(const PreviewPlaceholder&) const = default;
    };

    // One card of the media pool.
    struct MediaPoolCard {
        std::string sourceId;
        std::string fileName; // as it is shown (shownText)
        // The source's picture (JPEG) when it has one, sharing the session's bytes; the card
        // shows `placeholderSymbol` on grey when there is none or it does not decode.
        std::optional<SharedBytes> thumbnailData;
        std::string placeholderSymbol; // "video", "photo" or "speaker.wave.2"
        // "1920×1080 · 29.97 fps", "1920×1080", empty, or why the file cannot be read
        // ("Permission denied").
        std::string detail;
        bool selected = false;

        bool operator==(const MediaPoolCard&) const = default;
    };

    // One row of the timeline picker.
    struct TimelinePickerEntry {
        std::string id;
        std::string title; // "Timeline 2 (4 clips)"

        bool operator==(const TimelinePickerEntry&) const = default;
    };

    // What would lose the project's unsaved changes.
    enum class DiscardReason {
        newProject, // New, the placeholder's New Project
        open,       // Open…, Import Web Job JSON…, a file handed to the application
        switchMode, // the Mode picker's "10-bit Export", "10-bit Export Tab →"
        quit,       // closing the window, Ctrl+Q
    };

    // The question before unsaved changes are lost: the title, the button that discards them and
    // goes on, and the one that keeps everything as it is.
    struct DiscardQuestion {
        DiscardReason reason = DiscardReason::newProject;
        std::string title;         // "Discard unsaved changes?"
        std::string discardButton; // "Discard & New Project", "Discard & Open", "Discard & Switch", "Discard & Quit"
        std::string cancelButton;  // "Cancel"

        bool operator==(const DiscardQuestion&) const = default;
    };

    // The question after an import whose first video runs at another rate than the project.
    struct FrameRateQuestion {
        std::string message;         // "Match project frame rate to clip?"
        std::string informativeText; // names the file and both rates
        std::string useClipRate;     // "Use 25 fps", the default button
        std::string keepProjectRate; // "Keep 59.94 fps"

        bool operator==(const FrameRateQuestion&) const = default;
    };

    // Limits of the lane controls.
    static constexpr int maximumVideoLanes = 8;
    static constexpr int maximumAudioLanes = 6;
    // The extensions an import takes (compared in lower case), in this order.
    static const std::vector<std::string>& importableExtensions();

    EditorWorkspaceController(VelmoraWorkflowState& workflow, Services services, QObject* parent = nullptr);
    ~EditorWorkspaceController() override;

    VelmoraWorkflowState& workflow() const { return *workflow_; }
    TimelinePreviewEngine& engine() const { return *engine_; }

    // ---- stored state ----

    // The file the open project was read from or last saved as, beside which its media folder
    // and LUT files are looked up; none for a project never saved nor opened from a file.
    const std::optional<std::filesystem::path>& sessionURL() const { return sessionURL_; }
    // The project document Save writes over: sessionURL when that is this editor's project
    // document (saved by Save As, or opened as one). A project opened from another program's
    // file (a browser project, a job, an edit-return file) has none until saved: that file holds
    // what the editor leaves out and stays as it was.
    std::optional<std::filesystem::path> boundProjectFile() const;
    const std::optional<std::filesystem::path>& mediaFolderURL() const { return mediaFolderURL_; }
    bool showError() const { return showError_; }
    const std::string& errorText() const { return errorText_; }
    double laneRowHeight() const { return laneRowHeight_; } // points, 28 to 128
    int layoutVideoTracks() const { return layoutVideoTracks_; }
    int layoutAudioTracks() const { return layoutAudioTracks_; }
    double timelineZoomUI() const { return timelineZoomUI_; } // 0 to 100
    bool showMediaPool() const { return showMediaPool_; }
    const std::optional<std::string>& selectedSourceId() const { return selectedSourceId_; }
    bool showExportSheet() const { return showExportSheet_; }
    bool showProjectSettings() const { return showProjectSettings_; }
    bool showGradeInspector() const { return showGradeInspector_; }
    bool importHintDismissed() const { return importHintDismissed_; }
    const ClipGradeEditState& gradeEditState() const { return gradeEditState_; }
    const std::optional<std::string>& gradeInspectorClipId() const { return gradeInspectorClipId_; }
    bool projectDirty() const { return projectDirty_; }
    bool suppressDirtyMark() const { return suppressDirtyMark_; }
    // The open discard question; none while nothing is asked.
    const std::optional<DiscardQuestion>& discardQuestion() const { return discardQuestion_; }
    // The discard question is open and asks about a new project.
    bool confirmDiscardForNewProject() const
    {
        return discardQuestion_ && discardQuestion_->reason == DiscardReason::newProject;
    }
    const std::string& lutPickerSelection() const { return lutPickerSelection_; }
    bool showRelinkMedia() const { return showRelinkMedia_; }
    const std::vector<std::string>& relinkMissingNames() const { return relinkMissingNames_; }
    bool openedWebTavlek() const { return openedWebTavlek_; }
    const std::optional<std::string>& sourceViewerTimelineClipId() const { return sourceViewerTimelineClipId_; }
    double clipGainUI() const { return clipGainUI_; }       // percent
    double clipFadeInUI() const { return clipFadeInUI_; }   // seconds
    double clipFadeOutUI() const { return clipFadeOutUI_; } // seconds

    // `url` bound for Save (boundProjectFile) unless `projectDocument` is false.
    void setSessionURL(std::optional<std::filesystem::path> url, bool projectDocument = true);
    void setMediaFolderURL(std::optional<std::filesystem::path> url);
    void setShowError(bool show);
    void setErrorText(std::string text);
    // Also asks the timeline to redraw (one revision step), which marks the project dirty.
    void setLaneRowHeight(double height);
    void setLayoutVideoTracks(int count);
    void setLayoutAudioTracks(int count);
    void setTimelineZoomUI(double position);
    void setShowMediaPool(bool show);
    void setSelectedSourceId(std::optional<std::string> id);
    void setShowExportSheet(bool show);
    void setShowProjectSettings(bool show);
    void setShowGradeInspector(bool show);
    void setImportHintDismissed(bool dismissed);
    void setGradeEditState(ClipGradeEditState state);
    void setGradeInspectorClipId(std::optional<std::string> id);
    void setProjectDirty(bool dirty);
    void setSuppressDirtyMark(bool suppress);
    void setLutPickerSelection(std::string selection);
    void setShowRelinkMedia(bool show);
    void setRelinkMissingNames(std::vector<std::string> names);
    void setOpenedWebTavlek(bool opened);
    void setSourceViewerTimelineClipId(std::optional<std::string> id);
    void setClipGainUI(double percent);
    void setClipFadeInUI(double seconds);
    void setClipFadeOutUI(double seconds);

    // ---- the root: messages, files handed over, lanes ----

    // The question that `reason` asks.
    static DiscardQuestion discardQuestionFor(DiscardReason reason);
    // Runs `proceed` at once while the project has no unsaved changes. Otherwise opens the
    // discard question, and `proceed` runs only when the user discards, `declined` when the user
    // keeps the project. A newer request replaces a question still open; neither of the replaced
    // one's runs.
    void confirmDiscard(DiscardReason reason, std::function<void()> proceed, std::function<void()> declined = {});
    // The user's answer; closes the question. Discarding runs what was asked for, cancelling
    // changes nothing. Nothing happens while no question is open.
    void answerDiscardQuestion(bool discard);

    // The message of the "Relink media" alert.
    std::string relinkMessage() const;
    // A file the system hands to the workspace: ".json" (any letter case) opens with the
    // media-folder prompt allowed, ".tavlek" without it, either once unsaved changes may be
    // discarded; any other file raises the "Error" alert naming it and what opens this way.
    void handleOpenURL(const std::filesystem::path& url);
    // Files handed over together (a command line's): the window holds one project, so the
    // files that open this way are tried in order, as handleOpenURL opens one, until one opens.
    // Once that is known the "Error" alert names every other file, each on a line of its own in
    // the order given: one refused with its refusal, one of another kind with how to bring it
    // in, one not tried as not opened because the window holds one project.
    void handleOpenURLs(const std::vector<std::filesystem::path>& urls);
    // Reads a project document, browser project or job file and makes it the open project, its
    // media folder found beside it; Save writes over it only when it is a project document
    // (boundProjectFile), and another kind opens with the unsaved-changes mark. A file that cannot
    // be read raises the "Error" alert and changes nothing else.
    void loadSession(const std::filesystem::path& url, bool promptForMediaFolderIfNeeded);
    // The lanes shown at least after a project was opened, created or switched: the highest
    // visual lane (at least 2) and the highest audio lane (at least 1) of its active timeline.
    void resetLayoutTrackCounts(const EditSession& session);
    // Lanes the timeline lanes view shows, and its height in points.
    int timelineLaneCount() const;
    double timelineStripHeight() const;
    // The lanes view's drop callback: raises the lane count to the dropped lane, capped.
    void clipDroppedOnTrack(int lane, bool video);

    // ---- the edit tools bar and the keyboard ----

    void perform(EditCommand command);
    // The key monitor's closures, each running the command of its tools-bar button.
    EditorKeyboardHandler keyboardHandler();
    // Asked on Space: the source viewer window is the active window. Supplied by the widgets.
    void setSourceViewerActiveQuery(std::function<bool()> query) { sourceViewerActive_ = std::move(query); }
    bool undoEnabled() const { return engine_->canUndo(); }
    bool redoEnabled() const { return engine_->canRedo(); }
    // "Audio Linked", "Audio Unlinked" or "Link Audio" for the selection.
    std::string linkLabel() const;
    // Every label linkLabel gives, "Link Audio" first.
    static const std::vector<std::string>& linkLabels();
    // The "Grade" button shows for a selected video or image clip, "Source V" for a selected
    // video clip with a source.
    bool gradeInspectorButtonShown() const;
    bool sourceViewerButtonShown() const;

    // ---- the grade inspector and source viewer windows ----
    // One window of each kind at a time: opening one replaces the open one. The widgets make the
    // windows when the requests below arrive and close them when asked to; a window closed with
    // its title-bar button is only hidden and not reported.

    // Records one undo point, loads the clip's grade, raises showGradeInspector and asks for the
    // inspector window; nothing without a session or the clip on the timeline on screen.
    void openGradeInspector(const std::string& clipId);
    // Asks for the inspector window to close, forgets its clip and lowers showGradeInspector.
    void closeGradeInspector();
    // Selects the clip (without seeking) and opens the source viewer on its source for
    // re-trimming it; nothing when the clip (on the timeline on screen), its source id or the
    // source is not found.
    void openSourceViewerForTimelineClip(const std::string& clipId);
    // Opens the source viewer on a source, for re-trimming a timeline clip when an id is given
    // (its marks then start at the clip's in and out points).
    void openSourceViewer(const EditSession::Source& source, const std::optional<std::string>& timelineClipId);
    // The source viewer closes: the media pool selection and the clip it edited are forgotten.
    void closeSourceViewer();
    // "Source Viewer — <file> (Timeline)" for a timeline clip, else "Source Viewer - <file>".
    static std::string sourceViewerTitle(const EditSession::Source& source, bool forTimelineClip);

    // ---- placing a source range on the timeline ----

    // Puts the source's range [inPoint, outPoint] (seconds of the source; 0.1 s at least) on the
    // active timeline at `at`, or at its end without it: a video or image clip on the first
    // free picture lane (with the LUT unless it is "None" or blank), a video's linked audio on
    // its lane number unless that overlaps, an audio clip on the first free audio lane. Creates
    // the default blank project when none is open; adds the source to the pool when missing;
    // rebuilds the preview (then at `seekAfterReload` when given); selects a new picture clip;
    // marks the project dirty. One undo step of the open project; the history before it stays.
    void addSourceToTimeline(const EditSession::Source& source, double inPoint, double outPoint,
                             const std::string& lutReference, std::optional<double> at,
                             std::optional<double> seekAfterReload);

    // ---- media pool ----

    // One card per source of the open project, in the project's order.
    std::vector<MediaPoolCard> mediaPoolCards() const;
    // Brings `cards` to mediaPoolCards() in place; true when any card changed. What every
    // refresh of the pool runs: a card that stayed the same costs a comparison, not a copy.
    bool refreshMediaPoolCards(std::vector<MediaPoolCard>& cards) const;
    // A click on a card: the source is selected, the timeline selection cleared.
    void selectPoolSource(const std::string& sourceId);
    // A double click on a card: the source viewer on that source.
    void openPoolSource(const std::string& sourceId);
    // The import hint banner shows for an open project without sources until dismissed.
    bool importHintShown() const;

    // ---- timeline header ----

    // The picker's rows; none (the picker hidden) unless the project has two or more timelines.
    std::vector<TimelinePickerEntry> timelinePickerEntries() const;
    // The id the picker shows: the active timeline's.
    std::string timelinePickerSelection() const;
    // Makes the timeline active and shows it; nothing for a project without a project record.
    void chooseTimeline(const std::string& timelineId);
    // "Video" and "Audio": one more lane shown, up to 8 and 6.
    void addVideoLane();
    void addAudioLane();
    // The zoom slider moved (0 to 100): the active timeline's zoom follows.
    void changeTimelineZoom(double position);
    // "80 px/s": the zoom the active timeline is drawn at, to whole pixels per second, below one
    // to two significant digits ("0.02 px/s").
    std::string timelineZoomReadout() const;
    // "44px": the lane height.
    std::string laneHeightReadout() const;

    // ---- clip picker, gain, fades, clip LUT ----

    // The active timeline's video and image clips by start time (stable for equal starts).
    std::vector<PickerClip> pickerClips() const;
    void pickClip(const std::string& clipId);
    // The gain slider shows while the engine names a gain target.
    bool clipGainShown() const;
    // The slider moved to `percent` (0 to 300): applied at once, no undo point, no rebuild.
    void changeClipGain(double percent);
    // The fade controls act on the selected clip when it is a video clip.
    std::optional<std::string> fadeBarClipId() const;
    // Applies the two fade fields to the clip as one undo step (negative or not-a-number
    // values count as 0) and marks the project dirty.
    void applyClipFadesFromUI(const std::string& clipId);
    // Empties both fields and removes the clip's fades as one undo step.
    void clearClipFades(const std::string& clipId);
    // The clip LUT picker: its entries, the entry it shows, whether it can be used. The entries
    // come from listing the LUT folders: a caller that has them passes them on.
    std::vector<std::string> lutPickerOptions() const;
    std::string lutPickerShownValue() const;
    std::string lutPickerShownValue(const std::vector<std::string>& options) const;
    // The title the Clip LUT picker shows for one of lutPickerOptions(): the name, marked
    // "(missing)" or "(unusable)" when it grades nothing, as the selected clip's LUT or as a
    // listed one (LutResolving::pickerTitle).
    std::string lutPickerTitle(const std::string& name) const;
    // The titles of `names` (each as lutPickerTitle gives it), the selected clip looked up once.
    std::vector<std::string> lutPickerTitles(const std::vector<std::string>& names) const;
    bool lutPickerEnabled() const { return engine_->selectedClipId().has_value(); }
    // The user chose an entry: written into the selected clip only; marks the project dirty.
    // Nothing without a selection.
    void chooseClipLut(const std::string& name);

    // ---- transport and program area ----

    // The rate the project runs at (projectFrameRate: 59.94 when it states none, or 0 or less).
    double projectFrameRate() const;
    std::string canvasLabel() const;
    // "Source: <file> · V<lane>" for the clip under the playhead, or empty.
    std::string linkedSourceLabel() const;
    PreviewPlaceholder previewPlaceholder() const;
    void runPlaceholderAction(PreviewPlaceholder::Action action);
    // A project with sources whose media folder is unset or holds no media file. The folder is
    // looked into once after each change of the media folder (an import sets it too), not on
    // every refresh of the program area, and on the engine's worker: until that answer lands
    // (mediaFolderHoldsMediaChanged), a set folder is taken to hold media.
    bool needsMediaImport() const;
    // Reloads the engine's session from the media folder (resolving one when none is set).
    void reloadPreview();

    // ---- project commands ----

    bool hasProject() const { return engine_->session() != nullptr; }
    // The project's name unless it is a placeholder, else the document's name, else
    // "Untitled Project"; as it is shown (shownText).
    std::string resolvedProjectDisplayName() const;
    std::string versionBadgeText() const;
    // "New": asks first when there are unsaved changes.
    void newProject();
    // A blank project replaces the open one, without unsaved changes.
    void startNewProject();
    // The default media folder of a project, created when missing, stored as the media folder.
    std::filesystem::path ensureProjectMediaFolder(const EditSession* session);
    // The open panels, shown once unsaved changes may be discarded.
    void pickSession();
    void pickWebJobJSON();
    void pickMediaFolderForRelink();
    // Makes the folder the media folder of the workspace and of the open project, reports what
    // is still missing, and makes the missing poster frames when nothing is.
    void applyMediaFolder(const std::filesystem::path& url);
    // "Import": one panel of media files and folders, several at once; a chosen folder
    // contributes its direct contents.
    void importMedia();
    // Copies the files into the project's media folder (a project is created when none is open)
    // and adds each as a source, in order. Files of other kinds are skipped, names already in the
    // pool (any letter case) are refused, and a file that cannot be copied is reported. Copies
    // never replace a file: an identical file already there counts as copied, a different one is
    // a failure. Marks the project dirty, asks for poster frames and, on a later turn of the main
    // queue, asks whether to take the first video's frame rate.
    void processImportedFiles(const std::vector<std::filesystem::path>& urls);
    // The folder the copies go to (created when missing): the media folder, else the project's
    // saved one when it exists, else the project's default one.
    std::filesystem::path importMediaDestinationFolder(const EditSession& session);
    // Queues the frame-rate question for the first video among the sources when its rate differs
    // from the rate the project runs at (projectFrameRate) by 0.45 fps or more.
    void promptProjectFpsFromImportedClips(const std::vector<std::string>& sourceIds);
    // The open frame-rate question, none while nothing is asked.
    const std::optional<FrameRateQuestion>& frameRateQuestion() const { return frameRateQuestion_; }
    // The user's answer: the clip's rate becomes the project's, or nothing changes.
    void answerFrameRateQuestion(bool useClipRate);
    // Makes poster frames of the listed video sources (type exactly "video") and card pictures of
    // the stills (type exactly "image") that have none, and reads the size and rate of those
    // without a size, on a worker. A source's file is the one `files` (the lookup's map of the
    // session in `mediaFolder`) gives it, else the file of its name directly in `mediaFolder`.
    // On the main queue
    // sizes go to sources still without one and each picture to its source unless the source
    // has gained one meanwhile, and mediaPoolPicturesChanged tells the pool; the preview, the
    // undo history and the unsaved-changes mark stay. Results for a project other than the open one
    // (another was opened or created meanwhile) are dropped. Returns at once.
    void generateThumbnailsForSources(const std::vector<std::string>& ids, const std::filesystem::path& mediaFolder,
                                      const MediaResolver::SourceFileMap* files = nullptr);
    void saveProject();
    // The save panel, then the chosen file with the project extension. When that extension
    // names another existing file than the one chosen (and not the project's own document),
    // the "Error" alert says so and nothing is bound or written.
    void saveProjectAs();
    // Writes the project to `url`, storing the media folder (MediaFolderPath::storedText: left out
    // of the document, and said so, when it cannot be stored). The project takes its name from the
    // file only once the document is written; a failure raises the "Error" alert and changes
    // nothing else.
    void persistProject(const std::filesystem::path& url, bool forceNameFromFile);
    void exportReturn();
    // Once unsaved changes may be discarded: writes the render job and switches to the 10-bit
    // Export workspace with it.
    void handoffToExportTab();
    // "10-bit Export Tab →" and "Export Video…" need a project and a media folder.
    bool canExport() const { return hasProject() && mediaFolderURL_.has_value(); }

signals:
    void sessionURLChanged();
    void mediaFolderURLChanged();
    // Whether the media folder holds media is known (see needsMediaImport).
    void mediaFolderHoldsMediaChanged();
    void showErrorChanged();
    void errorTextChanged();
    void laneRowHeightChanged();
    void layoutVideoTracksChanged();
    void layoutAudioTracksChanged();
    void timelineZoomUIChanged();
    void showMediaPoolChanged();
    // Sources gained card pictures, sizes or rates made from their files.
    void mediaPoolPicturesChanged();
    void selectedSourceIdChanged();
    void showExportSheetChanged();
    void showProjectSettingsChanged();
    void showGradeInspectorChanged();
    void importHintDismissedChanged();
    void gradeEditStateChanged();
    void gradeInspectorClipIdChanged();
    void projectDirtyChanged();
    void suppressDirtyMarkChanged();
    void discardQuestionChanged();
    void lutPickerSelectionChanged();
    void showRelinkMediaChanged();
    void relinkMissingNamesChanged();
    void openedWebTavlekChanged();
    void sourceViewerTimelineClipIdChanged();
    void clipGainUIChanged();
    void clipFadeInUIChanged();
    void clipFadeOutUIChanged();
    void frameRateQuestionChanged();
    // A source viewer window is to open with this content (replacing an open one).
    void sourceViewerRequested(const velmora::SourceViewerWindowArguments& arguments);
    // The source viewer window is to close.
    void sourceViewerCloseRequested();
    // A grade inspector window is to open with this content (replacing an open one).
    void gradeInspectorRequested(const velmora::GradeInspectorWindowArguments& arguments);
    // The grade inspector window is to close.
    void gradeInspectorCloseRequested();

private:
    template <typename T, typename Signal>
    void assign(T& member, T value, Signal changed);
    // Raises the "Error" alert with a failure's message.
    void reportError(const std::string& message);
    // Runs `work`; a failure it throws raises the "Error" alert with its message. True when
    // `work` finished.
    bool reportingFailure(const std::function<void()>& work);
    void followSelection();
    // The source viewer and grade inspector close once their clip has left the timeline on
    // screen (another timeline chosen, the clip removed).
    void followTimeline();
    // The Clip LUT picker's remembered value follows the selected clip's LUT when something other
    // than the picker changed it (the grade inspector's Reset, the source viewer, undo).
    void followClipLut();
    void applyDirtyRule();
    // Runs a panel; the completion runs only while this controller exists.
    void runPanel(const FilePanelRequest& request, std::function<void(std::vector<std::filesystem::path>)> done);
    // Runs a panel for one path: the completion gets the first one chosen, and runs only when
    // something was chosen while this controller exists.
    void runPanelForOne(const FilePanelRequest& request, std::function<void(const std::filesystem::path&)> done);
    void finishSaveAs(const std::filesystem::path& chosen);
    void finishExportReturn(const std::filesystem::path& chosen);
    void sendTimelineToExportTab();
    // The engine takes its own session again, with the workspace's media folder and file, the
    // unsaved-changes mark and the undo history as they were; `reloadPreview` rebuilds the preview.
    void readoptSession(bool reloadPreview);
    // Before another project is taken: nothing of the open one (picture, selected clip and its
    // LUT, grade switch, tool windows, undo history) may show in or act on the next one.
    void leavePreviousProject();
    // The media folder a Save As to `file` binds: the current one while it holds some of the
    // project's media, else the default folder beside the file (not created here).
    std::filesystem::path mediaFolderForSaveAs(const std::filesystem::path& file) const;
    // persistProject storing `mediaFolder` (none: the one the session holds); false when the
    // write failed (true without a project: nothing to write).
    bool persistProject(const std::filesystem::path& url, bool forceNameFromFile,
                        const std::optional<std::filesystem::path>& mediaFolder);
    // Hands a freshly read session to the engine; what was found is reported once its sources'
    // files are known (reportSourcesFound).
    // The rest of loadSession once the media folder is chosen.
    void takeLoadedSession(const std::shared_ptr<EditSession>& session, const std::filesystem::path& url,
                           const std::filesystem::path& mediaFolder);
    // Reads `url` on the engine's worker and takes it as loadSession does; then `opened` runs,
    // or `refused` with the words of the failure (not when another opening began meanwhile).
    void openFile(const std::filesystem::path& url, std::function<void()> opened,
                  std::function<void(std::string)> refused);
    // handleOpenURLs from the file at `next` on: `said` holds the words for each file given, empty
    // for one still to be tried.
    void openFirstThatOpens(std::vector<std::filesystem::path> urls, std::vector<std::string> said,
                            std::size_t next);
    void attachLoadedSession(const std::shared_ptr<EditSession>& session, const std::filesystem::path& sessionFile,
                             const std::filesystem::path& mediaFolder);
    // The opened session's relink names, status line, relink alert, dropped preview or poster
    // frames, from which of its sources have files in `mediaFolder`.
    void reportSourcesFound(const std::shared_ptr<EditSession>& session, const std::filesystem::path& mediaFolder,
                            MediaResolver::PreviewReadiness readiness);
    // Poster frames of every source of `session` once the preview shows its picture, from the
    // files the lookup found (`files`).
    void whenPictureShownMakePosters(const std::shared_ptr<EditSession>& session,
                                     const std::filesystem::path& mediaFolder, MediaResolver::SourceFileMap files);
    // Expands chosen folders into their direct contents and imports the lot.
    void importChosen(const std::vector<std::filesystem::path>& chosen);
    // The ids of every source of the session, in its order.
    static std::vector<std::string> allSourceIds(const EditSession& session);
    // The first source of the session with this id; none when there is none.
    static EditSession::Source* sourceWithId(EditSession& session, const std::string& id);
    // A video or image clip (its type normalised from its type and name); text clips are not.
    static bool isPictureClip(const EditSession::Clip& clip);
    // The project's stored name; none without a session, project record or name.
    static std::optional<std::string> projectName(const EditSession* session);
    // The engine's selected clip as the session holds it; none without a selection or session.
    std::optional<EditSession::Clip> selectedClip() const;
    // Sizes and rates read from the files of sources that lacked them, for the session
    // `requestedFor` names.
    struct SourceSize;
    void storeSourceSizes(const std::weak_ptr<EditSession>& requestedFor, const std::vector<SourceSize>& sizes);
    // Poster frames arrived for the session `requestedFor` names.
    void storeThumbnails(const std::weak_ptr<EditSession>& requestedFor,
                         std::vector<std::pair<std::string, std::vector<std::uint8_t>>> thumbnails);

    VelmoraWorkflowState* workflow_;
    std::shared_ptr<FilePanels> filePanels_;
    std::shared_ptr<FileRevealer> fileRevealer_;
    std::shared_ptr<MainQueue> mainQueue_;
    std::optional<std::string> shortVersion_;
    std::optional<std::string> buildNumber_;
    TimelinePreviewEngine* engine_; // child of this controller
    std::function<bool()> sourceViewerActive_;
    std::function<void(std::function<void()>)> runInBackground_;
    // The worker of the default runInBackground (its thread started on first use), joined by
    // the destructor.
    std::unique_ptr<BackgroundWorker> backgroundWorker_;
    // Raised by the destructor: background work still queued or running skips what is left.
    // Shared with that work, read on its thread.
    std::shared_ptr<std::atomic<bool>> closing_ = std::make_shared<std::atomic<bool>>(false);
    // Each opening of a window counts up; a window's closures act only while theirs is the
    // newest, so a replaced window can no longer reach the workspace.
    std::uint64_t sourceViewerGeneration_ = 0;
    std::uint64_t gradeInspectorGeneration_ = 0;
    // The frame-rate question's clip rate, file name, and the project asked about.
    std::optional<FrameRateQuestion> frameRateQuestion_;
    double questionedClipRate_ = 0;
    std::string questionedFileName_;
    std::shared_ptr<EditSession> questionedSession_;
    // The selection the follow-up last acted on: it acts only when the engine's one differs.
    std::optional<std::string> followedClipId_;
    // What the last import's status said of the files it left out ("not imported: …"; empty when
    // it left none out), and the engine's news number of the words that said it: posters that
    // land while no other news was written since keep them.
    std::string importLeftOutWords_;
    std::uint64_t importLeftOutNews_ = 0;

    // Workspace state, main thread only.
    std::optional<std::filesystem::path> sessionURL_;
    // sessionURL_ is this editor's project document, which Save writes over.
    bool sessionURLIsProjectDocument_ = false;
    std::optional<std::filesystem::path> mediaFolderURL_;
    // Whether the media folder holds a media file; none until asked after the folder was set.
    mutable std::optional<bool> mediaFolderHoldsMedia_;
    // The media folder whose contents were last asked about (needsMediaImport).
    mutable std::optional<std::filesystem::path> mediaFolderAskedAbout_;
    // Counts the openings of project files: an opening whose media folder is chosen after
    // another began (or another project was taken meanwhile) is dropped.
    std::uint64_t openingNumber_ = 0;
    bool showError_ = false;
    std::string errorText_;
    double laneRowHeight_ = 44;
    int layoutVideoTracks_ = 2;
    int layoutAudioTracks_ = 1;
    double timelineZoomUI_ = 60;
    bool showMediaPool_ = true;
    std::optional<std::string> selectedSourceId_;
    bool showExportSheet_ = false;
    bool showProjectSettings_ = false;
    bool showGradeInspector_ = false;
    bool importHintDismissed_ = false;
    ClipGradeEditState gradeEditState_;
    std::optional<std::string> gradeInspectorClipId_;
    bool projectDirty_ = false;
    bool suppressDirtyMark_ = false;
    std::optional<DiscardQuestion> discardQuestion_;
    // What runs when the open question is answered with discarding.
    std::function<void()> afterDiscard_;
    std::function<void()> afterKeeping_;
    std::string lutPickerSelection_;
    bool showRelinkMedia_ = false;
    std::vector<std::string> relinkMissingNames_;
    bool openedWebTavlek_ = false;
    std::optional<std::string> sourceViewerTimelineClipId_;
    double clipGainUI_ = 100;
    double clipFadeInUI_ = 0;
    double clipFadeOutUI_ = 0;
};

} // namespace velmora
