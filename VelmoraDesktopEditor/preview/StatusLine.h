#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace velmora {

// The engine's status line: its words, and which words replace which. Words of an outcome
// replace the line; the words that say a preview build is under way are replaced by that build's
// own outcome, which follows instead any words written while it ran. Main thread only; `changed`
// is called after every write, of equal words too.
class StatusLine {
public:
    // Between words put side by side in the line.
    static constexpr std::string_view separator = " \u00B7 ";

    explicit StatusLine(std::function<void()> changed);

    const std::string& text() const { return text_; }
    // Words of an outcome. announceBuild: words that a build is under way, which its outcome
    // replaces. reportBuildOutcome: that outcome. restate: the same line with a warning put in
    // front or a word settled, still of the kind it was.
    void write(std::string words);
    void announceBuild(std::string words);
    void reportBuildOutcome(const std::string& words);
    void restate(std::string line);
    // Puts a warning in front of the line unless the line says it already.
    void putWarningInFront(const std::string& warning);

private:
    void replace(std::string words, bool announcesBuild);

    std::function<void()> changed_;
    std::string text_ = "Import Web Job JSON… then Media Folder…";
    // The line announces a build under way (announceBuild).
    bool announcesBuild_ = false;
};

} // namespace velmora
