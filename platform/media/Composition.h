#pragma once

#include <filesystem>
#include <list>
#include <optional>
#include <vector>

#include "platform/foundation/SharedValue.h"
#include "platform/media/Asset.h"
#include "platform/media/MediaTime.h"

namespace velmora {

// One track of a media file, as a composition edit refers to it: the file and the track's
// `AssetTrack::trackID`. The composition never opens the file; renderers do.
struct CompositionSourceTrack {
    // Shared by the copies of the track: every edit of a source carries one.
    SharedPath url;
    int trackID = -1;
    MediaType mediaType = MediaType::audio;

    static CompositionSourceTrack of(const Asset& asset, const AssetTrack& track)
    {
        return CompositionSourceTrack{SharedPath(asset.url()), track.trackID, track.mediaType};
    }

    friend bool operator==(const CompositionSourceTrack&, const CompositionSourceTrack&) = default;
};

// One edit of a composition track: `sourceRange` of `source` plays over `targetRange` of the
// track. When the two durations differ the edit is scaled (played faster or slower). An edit
// without a source is empty: silence, or no picture.
struct CompositionTrackSegment {
    std::optional<CompositionSourceTrack> source;
    MediaTimeRange sourceRange;
    MediaTimeRange targetRange;

    bool isEmpty() const { return !source.has_value(); }
    // The source time the edit plays at track time `time`: as far into the source range as
    // `time` is into the target range, at the edit's rate (rounded to a microsecond when scaled).
    // What a renderer of the track decodes there.
    MediaTime sourceTime(const MediaTime& time) const;

    friend bool operator==(const CompositionTrackSegment&, const CompositionTrackSegment&) = default;
};

// A track of edits laid end to end from time zero. Editing follows the platform's
// insert-and-shift model: inserting at a time inside an edit splits that edit and moves
// everything after the insertion point later; inserting past the end first fills the gap with
// an empty edit. Adjacent empty edits are merged and zero-length edits dropped, so the
// segment list is always contiguous and canonical.
class CompositionTrack {
public:
    CompositionTrack(int trackID, MediaType mediaType);

    int trackID() const { return trackID_; }
    MediaType mediaType() const { return mediaType_; }
    const std::vector<CompositionTrackSegment>& segments() const { return segments_; }
    bool isEmpty() const { return segments_.empty(); }

    // Zero to the end of the last edit.
    MediaTimeRange timeRange() const;

    // Inserts `sourceRange` of `sourceTrack` at `atTime`. Throws Error (domain "media") when a
    // range or time is invalid or negative, or when the source's media type differs from the
    // track's. A zero-length range changes nothing.
    void insertTimeRange(const MediaTimeRange& sourceRange, const CompositionSourceTrack& sourceTrack,
                         const MediaTime& atTime);
    // Inserts an empty edit covering `timeRange`, shifting later edits.
    void insertEmptyTimeRange(const MediaTimeRange& timeRange);
    // Removes `timeRange`; later edits move earlier by the removed length.
    void removeTimeRange(const MediaTimeRange& timeRange);
    // Changes the track length covered by `timeRange` to `toDuration`: every edit inside it is
    // stretched or squeezed by the same factor (its source range is kept), and later edits
    // shift by the difference. The part of the range beyond the track's end is ignored; an
    // empty or invalid range, or a negative duration, changes nothing.
    void scaleTimeRange(const MediaTimeRange& timeRange, const MediaTime& toDuration);

    // The index of the edit playing at `time`, or none outside the track.
    std::optional<std::size_t> segmentIndex(const MediaTime& time) const;

private:
    // Makes `time` an edit boundary (splitting the edit that holds it) and returns the index
    // of the edit that starts there, or the edit count when `time` is at or past the end.
    std::size_t splitAt(const MediaTime& time);
    // Drops zero-length edits, merges adjacent empty ones and lays the edits end to end from
    // zero. Edits before `from` must be untouched since the track was last canonical; the
    // work is then linear in the edits from there on, so appending stays cheap.
    void normalize(std::size_t from);

    int trackID_;
    MediaType mediaType_;
    std::vector<CompositionTrackSegment> segments_;
};

// An editable timeline of tracks, the model both the preview player and the export mix-down
// read. Tracks are owned by the composition; pointers to them stay valid until the track is
// removed or the composition destroyed. Copies are deep and independent.
class Composition {
public:
    // Adds an empty track. `preferredTrackID` 0 picks one above the highest identifier in use
    // (1 when there is none), in constant time; a preferred identifier already in use gives
    // nullptr, and so does 0 when the highest in use is the largest int.
    CompositionTrack* addMutableTrack(MediaType mediaType, int preferredTrackID = 0);
    void removeTrack(int trackID);

    const std::list<CompositionTrack>& tracks() const { return tracks_; }
    std::vector<const CompositionTrack*> tracks(MediaType mediaType) const;
    CompositionTrack* track(int trackID);
    const CompositionTrack* track(int trackID) const;

    // The end of the longest track; zero without tracks.
    MediaTime duration() const;

private:
    std::list<CompositionTrack> tracks_;
    // The highest identifier in tracks_, 0 without tracks: kept so that adding a track does
    // not walk the others (a preview build adds one per sounding clip).
    int highestTrackID_ = 0;
};

} // namespace velmora
