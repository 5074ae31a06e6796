#pragma once

#include <string>

namespace velmora {

// One row of the timeline lanes view: a video or audio lane with its number, counted from 1
// within its kind. `id` is "v" or "a" followed by the number; `label` is "V" or "A" followed by
// the number, or "A1 (linked)" for a lone audio lane that only the videos' linked sound uses.
struct TimelineLane {
    enum class Kind { video, audio };

    std::string id;
    Kind kind = Kind::video;
    int number = 1;
    std::string label;

    TimelineLane() = default;
    TimelineLane(std::string id_, Kind kind_, int number_, std::string label_)
        : id(std::move(id_)), kind(kind_), number(number_), label(std::move(label_)) {}

    bool isVideo() const { return kind == Kind::video; }

    bool operator==(const TimelineLane&) const = default;
};

} // namespace velmora
