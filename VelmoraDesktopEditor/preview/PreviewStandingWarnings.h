#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace velmora {

// The status line's standing warnings as the engine's answers give them (the LUTs that grade
// nothing, the files that cannot be read, the files shown in place of missing ones), derived once
// per change of those answers rather than each time the line is drawn: a scrub draws the line on
// every move, and deriving the LUT words passes over every clip. Main thread only.
struct PreviewStandingWarnings {
    // The LUTs that grade nothing, by name, each once, in the order the line names them (the
    // project's own LUT first), with what is wrong as the first failure of the name says.
    std::vector<std::string> missingLuts;
    std::vector<std::string> unusableLuts;
    // "Cannot read b.mp4 (…)"; none when every file can be read.
    std::optional<std::string> unreadableMedia;
    // The files shown in place of missing ones; empty when none is.
    std::string standIns;

    // The words of the LUTs that grade nothing ("LUT look.cube not found", "LUTs not usable: …"),
    // leaving out those named in `saidElsewhere`; none when no other is left.
    std::optional<std::string> lutText(const std::set<std::string>& saidElsewhere) const;
};

} // namespace velmora
