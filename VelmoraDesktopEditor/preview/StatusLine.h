#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// The engine's status line, drawn from three parts and never edited as text:
//
//   warnings                              news                       build
//   "LUT a.cube not found · Cannot read …" · "Marker added"          · "Ready — 6.00s · Grade ON · …"
//
// - The standing warnings are what the owner's answers say now (files shown by another, files
//   that cannot be read, LUTs that grade nothing), each named once; `warnings` gives them, in
//   the order shown, every time the line is drawn.
// - The news: the words of the user's last action (write), kept until the next one, through the
//   builds that action or anything else starts.
// - The build's part, after the news: its announcement ("Building timeline…"), replaced by its
//   outcome. News written while the build runs stands in the announcement's place, and the
//   outcome follows it; news written after the outcome replaces it (the outcome has been read).
//   The outcome is drawn afresh each time, so a word in it that follows an answer (the grade
//   word) says what the answer says now.
//
// Main thread only. `changed` is called after every write, announcement and outcome (of equal
// words too), and after a redraw that changed the line.
class StatusLine {
public:
    // Between words put side by side in the line.
    static constexpr std::string_view separator = " \u00B7 ";

    StatusLine(std::function<std::vector<std::string>()> warnings, std::function<void()> changed);

    const std::string& text() const { return text_; }
    // Counts the news written: a word tied to the news it came with holds while this stays.
    std::uint64_t newsNumber() const { return newsNumber_; }

    void write(std::string news);
    // The news is of another project than the one now taken: it goes with the next words written
    // or announced (the taking of a project says what it does at once).
    void forgetNews();
    // The news is of what is no longer on screen (another timeline is shown): it goes at once,
    // and a build's announcement it hid shows again.
    void dropNews();
    void announceBuild(std::string words);
    void reportBuildOutcome(std::function<std::string()> words);
    // Draws the line again from its parts: a warning or a word of the outcome may read otherwise.
    void redraw();

private:
    enum class Build { none, announced, finished };

    std::string drawn() const;
    void show(bool notifyEqual);

    std::function<std::vector<std::string>()> warnings_;
    std::function<void()> changed_;
    std::optional<std::string> news_ = std::string("Import Web Job JSON\u2026 then Media Folder\u2026");
    std::uint64_t newsNumber_ = 0;
    bool newsForgotten_ = false;
    Build build_ = Build::none;
    // The announcement, and whether it came after the news (news written since hides it).
    std::string announcement_;
    bool announcementShown_ = false;
    std::function<std::string()> outcome_;
    std::string text_ = *news_;
};

} // namespace velmora
