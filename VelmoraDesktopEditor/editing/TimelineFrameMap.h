#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "editing/PreviewFrameTiming.h"
#include "model/EditSession.h"
#include "model/EditorJobV2.h"
#include "platform/media/Asset.h"

namespace velmora {

// What the frame rule reads of a clip, taken from a session clip or a job clip alike, so that
// the monitor and every export count the same clips on the same numbers.
struct ClipTiming {
    std::optional<std::string> sourceId;
    // Missing: 1. The lowest lane is on top.
    int lane = 1;
    double start = 0;
    // A clip whose duration is not above 0 shows on no frame.
    double duration = 0;
    // Missing, negative or not finite: 0. In a TimelineFrameMap's clips(): the in point the rule
    // reads the clip from (continuedInPoints).
    double inPoint = 0;
    std::optional<double> outPoint;
    std::optional<double> speed;
    std::vector<EditorJobV2::SpeedKeyframe> speedKeyframes;
    // Whether the clip can be the picture of a frame at all (a video clip, or an image clip
    // where images are drawn); sound and text clips never are.
    bool picture = false;
    // Whether the clip is a video clip, one that continues a piece of its source before it.
    bool video = false;
    // What finds the clip again among the video clips: its id when not empty, else its source
    // id, start, lane and in point as written ("s1|2.0|1|0.5"; missing as "", 0.0, 0 and 0.0).
    std::string key;

    // A job clip: a picture when its type, trimmed and lower-cased, is "video", or "image" and
    // `includeImages`.
    static ClipTiming of(const EditorJobV2::Clip& clip, bool includeImages);
    // A session clip: a picture when its kind (EditSession::normalizedClipType) is "video" or
    // "image".
    static ClipTiming of(const EditSession::Clip& clip);
};

// What the rule knows of a source's picture. Unknown values leave the check they feed out.
struct SourceVideo {
    // Where the video track's last frame ends, in seconds (not the file's duration, which
    // counts its sound too).
    std::optional<double> videoEnd;
    // The rate the track's frames lie at (trackFrameRate).
    std::optional<double> frameRate;
    // A still picture shows the same at every time and never runs out.
    bool still = false;
    // The file's duration in seconds (picture and sound), where a piece of it that another piece
    // continues ends at the latest.
    std::optional<double> duration;

    // What an opened file tells: its first video track's end and rate; a still picture for a
    // still image; nothing known without a video track.
    static SourceVideo of(const Asset& asset);
};

// A number as clip keys write it: the shortest text that reads back to it, with ".0" on
// integral values ("12.5", "0.0", "3.0").
std::string clipKeyNumber(double value);

// The rate a source track's frames lie at, as far as the track tells: its nominal rate when above
// 1 and finite, else 1 / its shortest frame duration (at least 1) when that is above a
// microsecond; nothing when it tells neither. A rounded NTSC decimal (29.97) is read as its exact
// fraction (exactFrameRate). The one rate every export and preview snaps a source's times with.
std::optional<double> trackFrameRate(const AssetTrack& track);

// Output frame n of a timeline: the clip whose picture it shows, that clip's source, the source
// time it reads and the index of the source frame shown there. A gap has no clip and shows
// black.
struct ShownFrame {
    // Index into the clips the map was made with.
    std::optional<std::size_t> clip;
    std::optional<std::string> sourceId;
    // Seconds into the source; 0 for a gap.
    double sourceTime = 0;
    // The first source frame starting at or after sourceTime (what every reader decodes there);
    // 0 for a still, none when the source's rate is unknown or for a gap.
    std::optional<std::int64_t> sourceFrame;

    bool gap() const { return !clip; }
    bool operator==(const ShownFrame&) const = default;
};

// Output frames [first, end) on which one clip is on top (TimelineFrameMap::clipAt), or none is.
struct FrameRun {
    std::int64_t first = 0;
    std::int64_t end = 0;
    // Index into the clips; none where no picture clip covers the frames.
    std::optional<std::size_t> clip;

    bool operator==(const FrameRun&) const = default;
};

// The one rule that maps output frames of a timeline to source frames. The monitor (its paused
// still, read-out, frame steps and cut jumps), the fast path, the single-video export, the
// timeline export and the job preview all ask it, so no two of them can show different frames.
//
// Frame n stands for the instant it starts (grid.start(n)): the player shows there what the
// composition holds at that instant, so a clip shows from the first frame starting at or after
// its start (firstFrameAtOrAfter) up to, not including, the first frame starting at or after its
// end. Among the clips shown there the lowest lane wins, then the later start; full ties keep
// the earlier clip. A video clip that follows a piece of its own source (the one before it among
// the video clips by start, at most 0.08 s after that one ends) and whose in point lies more than
// 0.05 s before where that piece's source range ended continues from that end
// (continuedInPoints): a cut's second piece shows what comes after its first, never the same
// footage twice. The source time is the in point plus the clip's speed (or the integral of its
// speed ramp, held within its out point) times the time since the clip's start. A frame whose
// source frame would start at or past the end of the source's video is black: a clip longer
// than its file ends in black on every route, never on a held last frame.
//
// A plain value; any thread.
class TimelineFrameMap {
public:
    TimelineFrameMap() = default;
    // `clips` as written: the map keeps them with the in points the rule reads them from.
    TimelineFrameMap(std::vector<ClipTiming> clips, FrameGrid grid, std::map<std::string, SourceVideo> sources);

    const FrameGrid& grid() const { return grid_; }
    const std::vector<ClipTiming>& clips() const { return clips_; }

    // The frame shown at output frame `frame`.
    ShownFrame frame(std::int64_t frame) const;
    // The frame shown at `seconds` on the timeline (the grid's frame holding that time).
    ShownFrame at(double seconds) const { return frame(grid_.index(seconds)); }
    // The clip whose picture frame `frame` would show were every file long enough.
    std::optional<std::size_t> clipAt(std::int64_t frame) const;
    // Where clips[index] shows output frame `frame`: its source time and frame, or a gap past the
    // end of its file. The clip need not be the one on top there.
    ShownFrame clipFrame(std::size_t index, std::int64_t frame) const;

    // clipAt's answer for every frame in [first, end), as runs of one answer laid end to end
    // from `first` (no two neighbours alike), found in O(n log n) for n clips and never frame by
    // frame: a composition of a long timeline is laid out from them.
    std::vector<FrameRun> runs(std::int64_t first, std::int64_t end) const { return runs(clips_, grid_, first, end); }
    static std::vector<FrameRun> runs(const std::vector<ClipTiming>& clips, const FrameGrid& grid, std::int64_t first,
                                      std::int64_t end);
    // The first frame in [first, end) on which clips[index] is past the end of its file
    // (clipFrame gives a gap there), `end` when it is on none. A clip's source time never goes
    // back, so from that frame on it shows black to `end`.
    std::int64_t fileEndFrame(std::size_t index, std::int64_t first, std::int64_t end) const;

    // The source frame a reader shows at `sourceTime` of a source: the first starting at or after
    // it (0 for a still; none when the rate is unknown), and whether that frame would start at or
    // past the end of the source's video, where every route shows black.
    struct SourcePick {
        std::optional<std::int64_t> frame;
        bool pastEnd = false;
    };
    static SourcePick pickSourceFrame(const SourceVideo& video, double sourceTime);

    // The first frame starting at or after `seconds` on this map's grid: where a cut at that time
    // is first seen.
    std::int64_t firstFrameAtOrAfter(double seconds) const { return firstFrameAtOrAfter(grid_, seconds); }
    static std::int64_t firstFrameAtOrAfter(const FrameGrid& grid, double seconds);
    // The frames [first, end) a clip of `start` and `duration` seconds covers on `grid`.
    static std::pair<std::int64_t, std::int64_t> framesOf(const FrameGrid& grid, double start, double duration);

    // The source offset, in seconds from the in point, a clip has reached `local` seconds after
    // its start (clamped to 0 ... its duration): its speed times that, or with two or more speed
    // keyframes the integral of its speed curve (keyframe times in seconds, or fractions or
    // percent of a clip longer than 2 s, as their range says), linear between keyframes and
    // constant outside them.
    static double sourceOffset(const ClipTiming& clip, double local);
    // The source time clip shows `local` seconds after its start, before any end of file.
    static double sourceTime(const ClipTiming& clip, double local);
    // Whether the clip's speed keyframes leave 1 by more than 0.01 anywhere.
    static bool usesRamp(const ClipTiming& clip);

    // The in point each of `clips` (in point as written) is read from: its own, except for a
    // video clip with a source that comes, among the video clips stably sorted by start, right
    // after a clip of the same source ending no more than 0.08 s before it starts, when that
    // clip's source end as written (sourceRangeEnd without a file) lies more than 0.05 s past the
    // clip's own in point: then that end held within its file (its duration from `sources`). A
    // clip whose key another clip shares is placed where the first of them sorts. Sorts once.
    static std::vector<double> continuedInPoints(const std::vector<ClipTiming>& clips,
                                                 const std::map<std::string, SourceVideo>& sources);
    // Where a clip's source range ends: its in point plus its duration at its speed, extended to
    // an out point further on, held within a file duration above 0.05 s; never less than the in
    // point + 1 ms.
    static double sourceRangeEnd(const ClipTiming& clip, std::optional<double> fileDuration);

private:
    std::vector<ClipTiming> clips_;
    FrameGrid grid_;
    std::map<std::string, SourceVideo> sources_;
};

} // namespace velmora
