#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "model/EditorJobV2.h"
#include "platform/foundation/SharedValue.h"

namespace velmora {

class KeyedContainer;
struct TimelineSnapshot; // editing/TimelineSnapshot.h
struct ClipGradeEditState; // grading/ClipGradeEditState.h
class DecodingError;

// The open project: project settings, the project-wide LUT, the media pool and the timelines
// with their clips and markers. A reference object (held by std::shared_ptr) that lives on the
// main thread; every part of the editor reads and edits the same instance.
// All times are seconds; lanes are numbered from 1 within each kind.
class EditSession {
public:
    struct Project {
        std::optional<std::string> name;
        std::optional<int> width;
        std::optional<int> height;
        std::optional<double> fps;
        std::optional<std::string> activeTimelineId;

        bool operator==(const Project&) const = default;
    };

    struct ProjectGrade {
        // Inline .cube text, or "None" for no LUT.
        std::optional<std::string> lutCube;

        bool operator==(const ProjectGrade&) const = default;
    };

    struct Source {
        std::string id;
        std::string fileName;
        std::optional<std::string> type;
        std::optional<int> width;
        std::optional<int> height;
        std::optional<double> framerate;
        // The card picture (JPEG); copies of the session share its bytes.
        std::optional<SharedBytes> thumbnailData;

        Source() = default;
        Source(std::string id_, std::string fileName_, std::optional<std::string> type_ = std::nullopt)
            : id(std::move(id_)), fileName(std::move(fileName_)), type(std::move(type_)) {}

        bool operator==(const Source&) const = default;
    };

    struct Marker {
        std::string id;
        double time = 0;
        std::optional<std::string> label;

        bool operator==(const Marker&) const = default;
    };

    struct Clip {
        std::string id;
        std::optional<std::string> type;
        std::optional<std::string> name;
        std::optional<std::string> sourceId;
        std::optional<std::string> groupId;
        std::optional<int> track;
        std::optional<double> startTime;
        std::optional<double> duration;
        std::optional<double> inPoint;
        std::optional<double> outPoint;
        std::optional<double> speed;
        std::optional<double> fadeIn;
        std::optional<double> fadeOut;
        std::optional<double> audioLevel;
        std::optional<double> opacity;
        std::optional<double> scale;
        std::optional<double> posX;
        std::optional<double> posY;
        std::optional<double> rotation;
        std::optional<EditorJobV2::ClipGrade> grade;
        std::optional<double> framerate;

        Clip() = default;
        explicit Clip(std::string id_) : id(std::move(id_)) {}

        bool operator==(const Clip&) const = default;
    };

    struct Timeline {
        std::string id;
        std::optional<std::string> name;
        std::optional<double> duration;
        std::optional<double> pixelsPerSecond;
        std::vector<Clip> clips;
        std::vector<Marker> markers;
        std::vector<std::string> lockedTracks;
        std::vector<std::string> mutedTracks;

        bool operator==(const Timeline&) const = default;
    };

    // One run of timeline time during which one video clip is the visible one.
    struct VisualTimelineSegment {
        Clip clip;
        double timelineStart = 0;
        double timelineEnd = 0;

        bool operator==(const VisualTimelineSegment&) const = default;
    };

    EditSession() = default;

    std::optional<std::string> tool;
    std::optional<std::int64_t> version;
    std::optional<std::string> createdAt;
    std::optional<Project> project;
    std::optional<ProjectGrade> grade;
    std::vector<Source> sources;
    std::vector<Timeline> timelines;
    std::optional<std::string> mediaFolder;
    std::optional<std::string> sessionId;

    // The first timeline whose id equals project.activeTimelineId, else the first timeline.
    std::optional<Timeline> activeTimeline() const;
    // The same timeline in place, without copying its clips: null without timelines. The pointer
    // stays valid until `timelines` changes.
    const Timeline* findActiveTimeline() const;
    std::optional<std::size_t> activeTimelineIndex() const;

    // Operations are grouped below by what they do; each group is implemented in its own
    // source file named after it (EditSessionReader.cpp, EditSessionSplitting.cpp, …).

    // ---- reading, normalisation, job import, browser import, opening files ----

    // Opens any JSON file the editor accepts: a browser project, a desktop job or render job, an
    // edit-return file, a project document or a bare session document, tried in that order. The
    // result has a project, at least one timeline and an active timeline id. A file whose tool
    // names a job (or edit-return file) is read by the job reader first; whatever it refuses, and
    // every other file, by the session reader, lenient in its own places (numbers for ids, a
    // broken grade object dropped); what that refuses, by the job reader last. Fails with a
    // FileError when the file cannot be read; "EditSession" code 1 for an empty file ("Could not
    // load “trip.json”: JSON file is empty."); code 2 when no reader accepts it, naming the file
    // and every failure of the session reader (DesktopJobReading::refusal); code 3 for a
    // file the export reads as a single-video job, which holds no timeline, whether or not its
    // values read ("“grade.json” is a single-video job: open it in the 10-bit Export workspace.",
    // then its values that do not read: DesktopJobReading::singleVideoJobRefusalForEditing).
    // A job's timeline markers, which the job record does not hold, are kept.
    static EditSession load(const std::filesystem::path& url);

    // The session reader: strict JSON types except for the lenient identifiers, the flat grade
    // keys folded into `grade` and a dropped malformed `grade` object. Throws DecodingError.
    // Applies no normalisation apart from rebuilding empty `sources` from the clips.
    static EditSession decode(const KeyedContainer& container);
    static EditSession fromJSON(std::string_view bytes);
    // A string as is, a number as its decimal text, anything else nothing. Never fails.
    static std::optional<std::string> decodeFlexibleString(const KeyedContainer& container, std::string_view key);
    // One timeline marker as the session reader reads it: "id" text, "time" a number, "label"
    // text when present. Throws DecodingError.
    static Marker decodeMarker(const KeyedContainer& container);
    // One line naming the failure in plain words: the field by its path as written, array
    // positions in brackets, what it holds and what belongs there, e.g. "The value at
    // “timelines[0].clips[1].type” is 4, not text."; "The value at “grade” is missing."; a
    // refusal of its own words followed by " (at output.width)".
    static std::string decodingErrorDescription(const DecodingError& error);

    // The effective kind of a clip: "audio", "video", "image", "text" or another lower-cased
    // word, from the stated type and, failing that, the name's suffix.
    static std::string normalizedClipType(const std::optional<std::string>& type, const std::optional<std::string>& name);
    // Makes duration and inPoint present and non-negative and sets
    // outPoint = inPoint + duration × effectiveClipSpeed(speed).
    // `speed` and `startTime` are left as they are.
    static void normalizeTiming(Clip& clip);
    // normalizeTiming on every clip, then fixAbuttingSameSourceInPoints and
    // recomputeTimelineDuration; returns whether an in-point was moved.
    bool normalizeAllClipTiming();
    // A video clip that continues the previous clip of the same source (gap at most 0.08 s)
    // starts its media where that clip ended, unless its in-point is already within 0.05 s of
    // it or later. Returns whether an in-point was moved.
    bool fixAbuttingSameSourceInPoints();
    // The active timeline's duration = the end of its last video or image clip (0 without one).
    void recomputeTimelineDuration();
    // Gives every clip of the session a non-empty id that no earlier clip carries.
    void normalizeClipIds();
    // Adds a source for every clip source id the pool lacks. Existing sources keep their
    // positions (a later duplicate id replaces the earlier value in place); new ones follow in
    // order of first use.
    void syncSourcesFromTimelines();
    void rebuildSourcesFromClipsIfNeeded();

    // A decoded desktop job as a session; a browser export (tool exactly
    // DesktopJobTool::browserExport) is cleaned on the way in. Never fails.
    static EditSession fromEditorJobV2(const EditorJobV2& job);
    // What a browser clip grade keeps: usable inline LUT text as is, a LUT file reference as
    // written (".cube" added to a name without a dot), or parameters that differ from neutral;
    // otherwise nothing. Inline text that cannot grade, with no file named beside it and hasLut
    // not false, is kept as written too: refused as "(Embedded LUT)" on every route, never
    // dropped for an ungraded clip.
    static std::optional<EditorJobV2::ClipGrade> sanitizeWebImportClipGrade(const std::optional<EditorJobV2::ClipGrade>& grade);
    // The grade a clip of `job` holds once the job is opened (fromEditorJobV2): a browser
    // export's cleaned (sanitizeWebImportClipGrade), any other's as written. The job's exports
    // and previews find the clip's LUT from this grade, as the editor does for the opened clip.
    static std::optional<EditorJobV2::ClipGrade> openedClipGrade(const EditorJobV2& job,
                                                                 const std::optional<EditorJobV2::ClipGrade>& grade);
    // For a browser-export session only: visual clips that almost touch (gap in (-0.15 s, 0.5 s))
    // are moved to abut the previous one, across lanes.
    void normalizeWebDesktopImportLayout();

    // The browser editor's project file: an object with "timelines" and "library" or "state".
    static bool isWebTavlekPayload(const nlohmann::json& object);
    // Reads the browser project leniently; fails (DecodingError) only on a project frame rate
    // that FrameRateLimit refuses. The session's tool is "browser-tavlek".
    static EditSession fromWebTavlek(const nlohmann::json& object);
    // The lenient readers and clip builders of the browser import. `libraryByName` maps
    // lower-cased file names to source ids.
    static std::optional<Clip> clipFromWebDict(const nlohmann::json& clip, const std::map<std::string, std::string>& libraryByName);
    static EditorJobV2::ClipGrade clipGradeFromWebDict(const nlohmann::json& clip, const nlohmann::json* gradeParams);
    static std::optional<std::string> webString(const nlohmann::json* value);
    static std::optional<std::int64_t> intValue(const nlohmann::json* value);
    static std::optional<double> doubleValue(const nlohmann::json* value);


    // ---- queries, new projects, lane keys ----

    // Position of a clip: indexes into `timelines` and that timeline's `clips`.
    struct ClipLocation {
        std::size_t timelineIndex = 0;
        std::size_t clipIndex = 0;

        bool operator==(const ClipLocation&) const = default;
    };

    // A new project document session: one empty, active timeline "Timeline 1".
    static EditSession blankProject(const std::string& name = "Untitled Project", int width = 1920, int height = 1080,
        double fps = 24.0);
    // Gives a session without a project the default one and without timelines one empty
    // timeline, and makes sure the project names an active timeline.
    void ensureDefaultTimelineIfNeeded();
    static bool isAudioClip(const Clip& clip);
    // Video, image and text clips.
    static bool isVisualTimelineClip(const Clip& clip);
    // The first clip with exactly this id, over all timelines.
    std::optional<ClipLocation> clipLocation(const std::string& id) const;
    // Removes the first clip with this id from whichever timeline holds it.
    std::optional<Clip> deleteClip(const std::string& id);
    // Removes the clips with these ids from the active timeline; returns how many went.
    int deleteClips(const std::vector<std::string>& ids);


    // ---- writing documents, render jobs and edit-return files; media folder ----

    // The object every written file shares: tool, version, project, timelines, mediaFolder and
    // grade, with the writers' default for every absent value. Each key of `extraFields` (an
    // object) is set afterwards, replacing a key of the same name.
    nlohmann::json timelineJobPayload(const std::string& tool) const;
    nlohmann::json timelineJobPayload(const std::string& tool, const nlohmann::json& extraFields) const;
    // One {id, fileName, type} object per source, in order. A source with an entry in
    // `shownFiles` (source id to file) is named by that file's name.
    nlohmann::json sourcesPayload(const std::map<std::string, std::filesystem::path>* shownFiles = nullptr) const;
    // The render job's feature switches, from the active timeline's clips.
    nlohmann::json renderFlagsPayload() const;
    // The render job's output block: size, frame rate (with its exact fraction) and container.
    static nlohmann::json exportOutputDictionary(const std::optional<Project>& project);

    // The three writers save JSON pretty-printed with sorted keys, atomically: the previous file
    // stays intact on any failure. They throw a "JSON" Error for a value JSON cannot hold (NaN,
    // an infinity, text that is not UTF-8) and a FileError when the file cannot be written.
    //
    // The render job for the export engine (tool "velmora-editor-desktop-export"). Only reads
    // the session and applies no normalisation, so it may run off the main thread as long as
    // nothing edits the session meanwhile.
    void writeRenderJob(const std::filesystem::path& url) const;
    // The bytes writeRenderJob saves; throws the same "JSON" Error. Given the files the preview
    // shows for the sources (source id to file), the job names those files, so that the export
    // reads what the monitor showed; the session itself keeps the names it stored.
    std::string renderJobText(const std::map<std::string, std::filesystem::path>* shownFiles = nullptr) const;
    // The edit-return file for the browser editor. Main thread: stores a non-empty
    // mediaFolderPath, rebuilds the sources and normalises clip timing first.
    void saveReturnCopy(const std::filesystem::path& url, const std::optional<std::string>& mediaFolderPath);
    // The project document. Main thread: fills in tool, version, sessionId and createdAt when
    // absent, stores a non-empty mediaFolderPath, normalises clip timing and rebuilds the sources
    // first; those changes stay even when writing fails.
    void saveProject(const std::filesystem::path& url, const std::optional<std::string>& mediaFolderPath);

    // ---- timeline editing (queries, split, move, trim, slip, ripple, gaps, markers, fades) ----
    // Main thread only. Edits never throw: they answer whether they changed anything and leave
    // the timeline untouched when they refuse. A timeline index outside `timelines` makes a
    // query give its empty result and an edit change nothing. Times are seconds; a time or
    // delta that is not a finite number is refused. Implemented in editing/EditSession*.cpp.

    // Queries and lane state. An absent timeline index means the active timeline.
    double visualOpacity(double at, std::optional<std::size_t> timelineIndex = std::nullopt) const;
    std::optional<Clip> visualClip(double at, std::optional<std::size_t> timelineIndex = std::nullopt) const;
    static std::optional<Clip> winningVisualClip(const std::vector<Clip>& from);
    static std::vector<VisualTimelineSegment> flattenVisibleVideoSegments(const std::vector<Clip>& clips,
                                                                          double endTime);
    // The same runs naming their clips in place: each run's clip is one of `clips`, which must
    // outlive the runs. For large timelines, where copying a clip per run would cost memory.
    struct VisibleRun {
        const Clip* clip = nullptr;
        double timelineStart = 0;
        double timelineEnd = 0;
    };
    static std::vector<VisibleRun> flattenVisibleVideoRuns(const std::vector<const Clip*>& clips, double endTime);
    bool isTrackLocked(const std::string& laneKey, std::optional<std::size_t> timelineIndex = std::nullopt) const;
    bool isTrackMuted(const std::string& laneKey, std::optional<std::size_t> timelineIndex = std::nullopt) const;
    void toggleTrackLock(const std::string& laneKey);
    void toggleTrackMute(const std::string& laneKey);
    bool isClipOnLockedTrack(const Clip& clip, std::optional<std::size_t> timelineIndex = std::nullopt) const;
    std::optional<Clip> videoClipForSplit(double playhead, const std::optional<std::string>& preferredClipId) const;
    std::optional<Clip> audioClipForTrim(double playhead, const std::optional<std::string>& preferredClipId) const;
    static bool playheadInsideClip(double time, const Clip& clip);
    static std::string mediaStem(const std::string& name);
    static bool audioMatchesVideo(const Clip& audio, const Clip& video);

    // Splitting and audio pairing. The right-hand part of a cut gets the id
    // "<old id>_b_<8 upper-case hex digits>".
    struct SplitVideoResult {
        bool video = false;     // the video clip was cut
        int audioSplits = 0;    // audio clips cut on the way (0 or 1)
        std::optional<std::string> newRightVideoId;

        bool operator==(const SplitVideoResult&) const = default;
    };
    std::optional<std::string> splitClipReturningRightId(const std::string& id, double playhead,
                                                         std::size_t timelineIndex);
    std::optional<std::string> splitClipAtPlayheadReturningRight(const std::string& id, double playhead,
                                                                 std::size_t timelineIndex);
    bool splitClipAtPlayhead(const std::string& id, double playhead, std::size_t timelineIndex);
    bool splitAudioClipAtPlayhead(const std::string& id, double playhead, std::size_t timelineIndex);
    bool splitClip(const std::string& id, double playhead, std::size_t timelineIndex);
    SplitVideoResult splitVideoClipAtPlayhead(double playhead, const std::optional<std::string>& videoClipId,
                                              bool syncLinkedAudio);
    void collapseSliverClips(std::size_t timelineIndex, double minimumDuration);
    int splitAnyAudioAtPlayhead(double playhead, std::size_t timelineIndex);
    int splitPairedAudioForVideo(const Clip& video, double playhead, std::size_t timelineIndex);
    std::vector<std::string> audioClipIdsAtPlayhead(double playhead, std::size_t timelineIndex) const;
    std::optional<std::string> soleAudioBedAtPlayhead(double playhead, std::size_t timelineIndex) const;
    std::vector<std::string> linkedAudioClipIds(const Clip& video, double at, std::size_t timelineIndex) const;
    // Ids in timeline order, each once.
    std::vector<std::string> audioIdsPairedWithVideo(const Clip& video, double playhead,
                                                     std::size_t timelineIndex) const;
    bool linkedAudioOnLockedTrack(const Clip& video, double at, std::size_t timelineIndex) const;
    std::vector<std::string> audioClipIdsToSplitAtPlayhead(const Clip& video, double playhead,
                                                           std::size_t timelineIndex) const;
    int splitAllStemAudioAtPlayhead(const Clip& video, double playhead, std::size_t timelineIndex);
    int splitAudioOnPairedTrack(double at, int videoTrack, const std::optional<std::string>& stem,
                                std::size_t timelineIndex);
    std::vector<std::string> videoClipIdsWithStem(const Clip& clip, std::size_t timelineIndex) const;

    // Undo snapshots (TimelineSnapshot is declared in editing/TimelineSnapshot.h). A snapshot
    // is applied to the timeline it was taken from, and not at all when that one is gone.
    std::optional<TimelineSnapshot> snapshotActiveTimeline() const;
    void applySnapshot(const TimelineSnapshot& snapshot);

    // Trimming, on the active timeline. The file each source resolved to (by source id, as
    // MediaResolver::sourceFileMap decides it), when given, lets a tail extension reach the real
    // end of the clip's own file; a clip whose source has no file there keeps its own range.
    enum class TrimEdgeKind { head, tail };
    using SourceFiles = std::map<std::string, std::filesystem::path>;
    // Where a trimmed edge stopped: where it was asked to go, or at a limit. A refused trim names
    // why: it would move the edge too little, leave the clip too short, or the edge already stands
    // at the limit named.
    enum class TrimStop { asked, tooLittle, tooShort, timelineStart, fileStart, fileEnd, outPoint, longestTrim };
    // How far a clip's edges can move outward: the head back by `headRoom` seconds (into media
    // before the in point, never before the timeline's start: `headStop` says which stops it
    // first) and the tail to `longestDuration` (the end of its media, `tailStop` fileEnd; where
    // the media's length is not known, the out point it was given, outPoint; for a still or media
    // of unknown length without one, 120 s or its own length further per trim, longestTrim).
    // `sourceSeconds`: the length of the file its source reads; none when not known.
    struct TrimReach {
        double headRoom = 0;
        TrimStop headStop = TrimStop::timelineStart;
        double longestDuration = 0;
        TrimStop tailStop = TrimStop::longestTrim;
    };
    static TrimReach trimReach(const Clip& clip, std::optional<double> sourceSeconds);
    // Where a trim of `edge` toward the timeline time takes the clip (its new start and duration),
    // or why it is refused (trimmed false; the clip as it is). The one rule of the committed trim
    // and of what the lanes draw during the drag.
    struct TrimLanding {
        bool trimmed = false;
        TrimStop stop = TrimStop::tooLittle;
        double start = 0;
        double duration = 0;
    };
    static TrimLanding trimLanding(const Clip& clip, TrimEdgeKind edge, double toTimelineTime,
                                   std::optional<double> sourceSeconds);
    // Trims the clip's edge as trimLanding says, with the length of the file `sourceFiles` gives
    // its source (read from the file's header), partner audio following with syncLinkedAudio.
    // Refused (trimmed false, nothing changed) also without an active timeline, for a missing
    // clip and for one on a locked lane.
    TrimLanding trimClipEdge(const std::string& id, TrimEdgeKind edge, double toTimelineTime, bool syncLinkedAudio,
                             const SourceFiles* sourceFiles);
    // The same with the length of the file the clip's source reads given (none: not known), as the
    // preview engine knows it from the headers it read: reads no file.
    TrimLanding trimClipEdge(const std::string& id, TrimEdgeKind edge, double toTimelineTime, bool syncLinkedAudio,
                             std::optional<double> sourceSeconds);
    bool trimClipHead(const std::string& id, double toTimelineTime, bool syncLinkedAudio,
                      const SourceFiles* sourceFiles = nullptr);
    bool trimClipStartAtPlayhead(double playhead, bool syncLinkedAudio);
    bool trimClipTail(const std::string& id, double toTimelineTime, bool syncLinkedAudio,
                      const SourceFiles* sourceFiles = nullptr);
    bool trimClipEndAtPlayhead(double playhead, bool syncLinkedAudio);
    std::vector<std::string> partnerAudioIdsForVideoTrim(const Clip& video, std::size_t timelineIndex) const;
    std::vector<std::string> audioIdsOverlappingTimelineRange(double start, double end, const std::string& stem,
                                                              const std::optional<std::string>& videoSourceId,
                                                              std::size_t timelineIndex) const;
    void isolateAudioBedToVideoSpan(const std::string& audioId, double videoStart, double videoEnd,
                                    std::size_t timelineIndex);

    // Slip and ripple. Kinds are the normalised clip kinds.
    bool slipClip(const std::string& id, double sourceDelta);
    void rippleShiftOnTrack(int track, double afterTime, double delta,
                            const std::set<std::string>& types = {"video", "audio"});
    void rippleShiftFollowing(const std::string& excludingId, int track, double afterEnd, double delta,
                              std::size_t timelineIndex, const std::set<std::string>& types = {"video", "audio"});

    // Moving clips, overlaps and free lanes.
    bool moveClip(const std::string& id, double to, std::optional<int> track, bool moveLinked,
                  bool resolveOverlaps, bool rippleFollowing);
    void resolveVideoTrackOverlaps(std::size_t timelineIndex, int track);
    void resolveVisualTrackOverlaps(std::size_t timelineIndex, int track);
    void resolveAudioTrackOverlaps(std::size_t timelineIndex, int track);
    bool relocateAudioClipOnCollision(const std::string& id, std::size_t timelineIndex);
    int findFreeAudioTrack(double startTime, double duration, const std::string& excludingId,
                           std::size_t timelineIndex) const;
    int findFreeAudioTrackForInsert(double startTime, double duration, std::size_t timelineIndex) const;
    int findFreeVisualTrack(double startTime, double duration, int preferredTrack,
                            std::size_t timelineIndex) const;

    // Markers and snapping, on the active timeline.
    void addMarker(double at, const std::optional<std::string>& label = std::nullopt);
    void removeMarker(const std::string& id);
    bool removeNearestMarker(double at, double thresholdSeconds);
    double snapTime(double time, const std::optional<std::string>& excludeClipId, double playhead,
                    double threshold, double frameRate, bool preferPlayhead) const;
    double snapStartTime(double time, const std::string& movingClipId, double playhead,
                         double threshold = 0.28) const;

    // Closing gaps at the playhead, on the active timeline.
    bool closeGapsAtPlayhead(double playhead, std::optional<int> preferredTrack, bool preferredIsAudio);
    bool closeGapAtPlayhead(double playhead, int track, const std::set<std::string>& types = {"video", "audio"});

    // Fades, clip lookup and source trim. A clip found by id is the first one with that id in
    // the first timeline holding it.
    bool setClipFades(const std::string& clipId, std::optional<double> fadeIn, std::optional<double> fadeOut);
    std::optional<Clip> partnerVideoClip(const Clip& audio, std::size_t timelineIndex) const;
    std::optional<Clip> clip(const std::string& byId) const;
    std::optional<Clip> primaryVideoClip(const std::string& forSourceId) const;
    bool applySourceTrimToClip(const std::string& clipId, double inPoint, double outPoint,
                               const std::optional<std::string>& lutFile);

    // ---- clip grade editing (grading/EditSessionClipGrade.cpp) ----
    // Main thread only. None of these records an undo step or publishes a change.

    // A grade holding only the LUT of a file reference (trimmed): hasLut, lutFile, lutName =
    // its last path component, strength 1. Nothing for an empty reference or "None".
    static std::optional<EditorJobV2::ClipGrade> clipGrade(const std::string& fromLutReference);
    // Writes the edit state into the clip with this id (any timeline); false when no clip has it.
    bool applyClipGrade(const std::string& clipId, const ClipGradeEditState& editState);
    // The clip's LUT reference as its edit state reads it; "None" for an unknown id.
    std::string clipLutReference(const std::string& clipId) const;
    // The LUT picker entry that stands for the clip's LUT.
    std::string clipLutPickerValue(const std::string& clipId,
                                   const std::optional<std::filesystem::path>& mediaFolder,
                                   const std::optional<std::filesystem::path>& sessionFile) const;
    // The same over LUT names already listed (ProjectLUTResolver::availableLUTNames).
    std::string clipLutPickerValue(const std::string& clipId, const std::vector<std::string>& availableNames) const;
};

} // namespace velmora
