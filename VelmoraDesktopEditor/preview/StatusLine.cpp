// The status line: who may replace which words.
//
// An outcome's words replace the line. A build's announcement ("Building timeline…") is replaced
// by the build's own outcome; words written while it ran are news the user has not read yet, and
// the outcome follows them instead of wiping them:
//
//   "Building timeline…"  ->  import refused: "Import failed — C0001.MP4: …"
//                         ->  build installed: "Import failed — C0001.MP4: … · Ready — 6.00s · …"
//
// Warnings (files shown by another, files that cannot be read, LUTs that grade nothing) go in
// front of whatever the line says, where a line cut short still shows them.

#include "preview/StatusLine.h"

#include <utility>

namespace velmora {

StatusLine::StatusLine(std::function<void()> changed) : changed_(std::move(changed)) {}

void StatusLine::replace(std::string words, bool announcesBuild)
{
    text_ = std::move(words);
    announcesBuild_ = announcesBuild;
    if (changed_) {
        changed_();
    }
}

void StatusLine::write(std::string words)
{
    replace(std::move(words), false);
}

void StatusLine::announceBuild(std::string words)
{
    replace(std::move(words), true);
}

void StatusLine::reportBuildOutcome(const std::string& words)
{
    replace(announcesBuild_ ? words : text_ + std::string(separator) + words, false);
}

void StatusLine::restate(std::string line)
{
    replace(std::move(line), announcesBuild_);
}

void StatusLine::putWarningInFront(const std::string& warning)
{
    if (!warning.empty() && text_.find(warning) == std::string::npos) {
        restate(warning + std::string(separator) + text_);
    }
}

} // namespace velmora
