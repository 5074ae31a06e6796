#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// One progress report of an export, shown by the export workspaces as a percentage with the
// phase and the frame counts. Reports arrive on the export's own threads; a receiver that
// touches the user interface hops to the main queue itself.
struct TimelineExportProgress {
    std::int64_t framesCompleted = 0;
    std::int64_t framesTotal = 0;
    // Shown to the user as it stands; see TimelineExportPhase.
    std::string phase;

    // framesCompleted / framesTotal clamped to 0 ... 1; 0 when framesTotal is below 1.
    double fraction() const;

    bool operator==(const TimelineExportProgress&) const = default;
};

// The phases of a timeline export, in the order they are reported.
namespace TimelineExportPhase {
inline constexpr const char* renderingVideo = "Rendering video";
inline constexpr const char* encodingAudio = "Encoding audio\u2026";
inline constexpr const char* finalizing = "Finalizing\u2026";
inline constexpr const char* done = "Done";
} // namespace TimelineExportPhase

} // namespace velmora
