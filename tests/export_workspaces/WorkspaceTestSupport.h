#pragma once

#include <chrono>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "FakeJobExporter.h"
#include "controls/VelmoraWorkflowState.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "export_workspaces/OrphanedExports.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "support/ui/FakeFilePanels.h"

namespace velmora::test {

// A timeline job of the browser editor: one clip per file name, one after the other, each
// `clipSeconds` long, rendered at 160 × 96 and 25 fps.
inline nlohmann::json timelineJob(const std::vector<std::string>& fileNames, double clipSeconds = 0.4)
{
    nlohmann::json sources = nlohmann::json::array();
    nlohmann::json clips = nlohmann::json::array();
    for (std::size_t i = 0; i < fileNames.size(); ++i) {
        const std::string id = "s" + std::to_string(i + 1);
        sources.push_back({{"id", id}, {"fileName", fileNames[i]}});
        clips.push_back({{"id", "v" + std::to_string(i + 1)},
                         {"type", "video"},
                         {"sourceId", id},
                         {"startTime", clipSeconds * static_cast<double>(i)},
                         {"duration", clipSeconds},
                         {"inPoint", 0}});
    }
    return {{"tool", "velmora-editor-desktop-export"},
            {"version", 2},
            {"grade", {{"lutCube", "None"}}},
            {"project", {{"width", 160}, {"height", 96}, {"fps", 25}}},
            {"sources", sources},
            {"timelines", nlohmann::json::array({{{"id", "t1"}, {"clips", clips}}})}};
}

// A media folder holding a clip of `frames` frames (160 × 96, 25 fps) per name.
inline void writeMediaFolder(const std::filesystem::path& folder, const std::vector<std::string>& fileNames,
                             int frames = 10, ClipPattern pattern = ClipPattern::frameStamp)
{
    std::filesystem::create_directories(folder);
    ClipSettings clip;
    clip.frameCount = frames;
    clip.pattern = pattern;
    clip.videoArgs = "-preset ultrafast";
    for (const std::string& name : fileNames)
        makeClip(folder / name, clip);
}

// A controller on a manual main queue, with the fake exporter, panels and reveal, over a
// workflow state and a temporary folder of its own.
class WorkspaceTest : public ::testing::Test {
protected:
    WorkspaceTest() { makeController(); }

    ~WorkspaceTest() override
    {
        // No worker thread stays blocked in the fake; what they post later finds the controller gone.
        exporter->abandonPending();
        // The test ends as the application does: what the controller left running is joined.
        controller.reset();
        OrphanedExports::stopAll();
    }

    void makeController()
    {
        controller = std::make_unique<ExportWorkspaceController>(
            workflow, ExportWorkspaceServices{queue, exporter, panels, revealer});
    }

    std::filesystem::path writeFile(const std::string& name, const std::string& text)
    {
        writeTextFile(dir / name, text);
        return dir / name;
    }
    std::filesystem::path writeTimelineJob(const std::string& name = "trip_desktop_v2_job.json")
    {
        return writeFile(name, timelineJob({"a.mp4"}).dump());
    }
    std::filesystem::path writeSingleVideoJob(const std::string& name = "grade.json")
    {
        return writeFile(name, R"({"version": 1, "grade": {"lutCube": "None"}})");
    }

    // Loads a job through "Choose Job JSON…".
    void loadJob(const std::filesystem::path& job)
    {
        controller->pickJob();
        panels->choose(job);
    }
    void chooseInput(const std::filesystem::path& input)
    {
        controller->pickInput();
        panels->choose(input);
    }
    void chooseMediaFolder(const std::filesystem::path& folder)
    {
        controller->pickMediaFolder();
        panels->choose(folder);
    }

    // Runs posted work until `done` holds (waiting for worker threads, at most `seconds`).
    void runUntil(const std::function<bool()>& done, double seconds = 60)
    {
        ASSERT_TRUE(queue->runUntil(done, seconds));
    }

    // Waits, running nothing, until `count` items wait on the main queue (what worker threads post).
    void waitForPosted(int count)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (queue->pendingCount() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(queue->pendingCount(), count);
    }

    // Every status line the controller shows, in order.
    void recordStatuses()
    {
        QObject::connect(controller.get(), &ExportWorkspaceController::statusTextChanged, controller.get(),
                         [this] { statuses.push_back(controller->statusText()); });
    }

    TempDir dir;
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<FakeJobExporter> exporter = std::make_shared<FakeJobExporter>();
    std::shared_ptr<FakeFilePanels> panels = std::make_shared<FakeFilePanels>();
    std::shared_ptr<FakeFileRevealer> revealer = std::make_shared<FakeFileRevealer>();
    VelmoraWorkflowState workflow;
    std::unique_ptr<ExportWorkspaceController> controller;
    std::vector<std::string> statuses;
};

} // namespace velmora::test
