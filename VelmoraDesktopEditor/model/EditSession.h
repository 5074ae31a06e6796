#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/EditorJobV2.h"

namespace velmora {

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
        std::optional<std::vector<std::uint8_t>> thumbnailData;

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
    std::optional<std::size_t> activeTimelineIndex() const;

    // Operations are grouped below by what they do; each group is implemented in its own
    // source file named after it (EditSessionReader.cpp, EditSessionSplitting.cpp, …).

    // ---- reading, normalisation, job import, browser import, opening files ----

    // ---- queries, new projects, lane keys ----

    // ---- writing documents, render jobs and edit-return files; media folder ----

    // ---- timeline editing (queries, split, move, trim, slip, ripple, gaps, markers, fades) ----
};

} // namespace velmora
