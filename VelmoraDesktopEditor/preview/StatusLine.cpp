#include "preview/StatusLine.h"

#include <utility>

namespace velmora {

StatusLine::StatusLine(std::function<std::vector<std::string>()> warnings, std::function<void()> changed)
    : warnings_(std::move(warnings)), changed_(std::move(changed))
{
}

void StatusLine::write(std::string news)
{
    news_ = std::move(news);
    ++newsNumber_;
    newsForgotten_ = false;
    announcementShown_ = false;
    // A build still running keeps its place after the news; one finished is replaced by it.
    if (build_ == Build::finished) {
        build_ = Build::none;
        outcome_ = nullptr;
    }
    show(true);
}

void StatusLine::forgetNews()
{
    newsForgotten_ = true;
    ++newsNumber_;
}

void StatusLine::dropNews()
{
    news_.reset();
    ++newsNumber_;
    newsForgotten_ = false;
    announcementShown_ = true;
    show(true);
}

void StatusLine::announceBuild(std::string words)
{
    if (newsForgotten_) {
        news_.reset();
        newsForgotten_ = false;
    }
    build_ = Build::announced;
    announcement_ = std::move(words);
    announcementShown_ = true;
    outcome_ = nullptr;
    show(true);
}

void StatusLine::reportBuildOutcome(std::function<std::string()> words)
{
    build_ = Build::finished;
    announcement_.clear();
    outcome_ = std::move(words);
    show(true);
}

void StatusLine::redraw()
{
    show(false);
}

std::string StatusLine::drawn() const
{
    std::string line;
    const auto add = [&line](const std::string& words) {
        if (words.empty()) {
            return;
        }
        if (!line.empty()) {
            line += separator;
        }
        line += words;
    };
    if (warnings_) {
        for (const std::string& warning : warnings_()) {
            add(warning);
        }
    }
    if (news_) {
        add(*news_);
    }
    if (build_ == Build::announced && announcementShown_) {
        add(announcement_);
    } else if (build_ == Build::finished && outcome_) {
        add(outcome_());
    }
    return line;
}

void StatusLine::show(bool notifyEqual)
{
    std::string line = drawn();
    if (!notifyEqual && line == text_) {
        return;
    }
    text_ = std::move(line);
    if (changed_) {
        changed_();
    }
}

} // namespace velmora
