#pragma once

#include <deque>
#include <filesystem>
#include <utility>
#include <vector>

#include "platform/ui/FilePanels.h"
#include "platform/ui/FileRevealer.h"

namespace velmora::test {

// Records every panel request; a test answers the oldest open one with choose() or cancel().
class FakeFilePanels final : public FilePanels {
public:
    struct Open {
        FilePanelRequest request;
        FilePanelCompletion completion;
    };

    void run(const FilePanelRequest& request, FilePanelCompletion completion) override
    {
        requests.push_back(request);
        open.push_back({request, std::move(completion)});
    }

    bool hasOpenPanel() const { return !open.empty(); }
    const FilePanelRequest& current() const { return open.front().request; }

    void choose(std::vector<std::filesystem::path> paths)
    {
        auto panel = std::move(open.front());
        open.pop_front();
        panel.completion(std::move(paths));
    }
    void choose(const std::filesystem::path& path) { choose(std::vector<std::filesystem::path>{path}); }
    void cancel() { choose(std::vector<std::filesystem::path>{}); }

    std::vector<FilePanelRequest> requests; // every request, oldest first
    std::deque<Open> open;                  // not yet answered
};

class FakeFileRevealer final : public FileRevealer {
public:
    void reveal(const std::filesystem::path& file, Unavailable unavailable) override
    {
        revealed.push_back(file);
        if (!fileManager && unavailable)
            unavailable();
    }
    std::vector<std::filesystem::path> revealed;
    bool fileManager = true; // false: as a desktop with nothing that can show a file
};

} // namespace velmora::test
