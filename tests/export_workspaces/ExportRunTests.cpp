#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "WorkspaceTestSupport.h"
#include "export_workspaces/OrphanedExports.h"
#include "model/JsonDecoding.h"
#include "platform/foundation/Error.h"

namespace velmora::test {
namespace {

using OutputSettings::Compensation;

class ExportRun : public WorkspaceTest {
protected:
    // A single-video job with its input, exporting to dir/A001_velmora_10bit.mov.
    void readySingleVideoJob()
    {
        loadJob(writeSingleVideoJob());
        chooseInput(dir / "A001.MOV");
    }
    std::filesystem::path output() const { return dir / "A001_velmora_10bit.mov"; }
};

TEST_F(ExportRun, NeedsTheJobAndTheInputOfItsKind)
{
    controller->startExport();
    loadJob(writeSingleVideoJob());
    chooseMediaFolder(dir.path());
    EXPECT_FALSE(controller->canExport());
    controller->startExport();
    EXPECT_FALSE(panels->hasOpenPanel());
    EXPECT_FALSE(controller->isExporting());
    EXPECT_EQ(controller->statusText(), "Ready");
    loadJob(writeTimelineJob()); // the folder chosen before is what it needs
    EXPECT_TRUE(controller->canExport());

    makeController();
    loadJob(writeTimelineJob());
    chooseInput(dir / "A001.MOV");
    EXPECT_FALSE(controller->canExport());
}

TEST_F(ExportRun, WithoutAnOutputItAsksAndCancelChangesNothing)
{
    loadJob(writeTimelineJob());
    chooseMediaFolder(dir.path());
    recordStatuses();
    controller->startExport();
    EXPECT_EQ(panels->current().suggestedName, "trip_velmora_10bit.mp4");
    panels->cancel();
    EXPECT_FALSE(controller->isExporting());
    EXPECT_TRUE(statuses.empty());
    EXPECT_EQ(exporter->exportCount(), 0u);

    controller->startExport();
    panels->choose(dir / "trip_velmora_10bit.mp4");
    EXPECT_TRUE(controller->isExporting());
    EXPECT_EQ(exporter->exportCall(0).request.outputURL, dir / "trip_velmora_10bit.mp4");
}

TEST_F(ExportRun, ReportsStartProgressAndDoneInOrder)
{
    readySingleVideoJob();
    controller->setBitrateMbps("12,5");
    controller->setGammaMode("g22");
    controller->setCompensation(Compensation::contrast, 1.25);
    controller->setCompensation(Compensation::saturation, 0.8);
    controller->setCompensation(Compensation::brightness, -0.05);
    controller->setCompensation(Compensation::tint, -0.25);
    recordStatuses();
    controller->startExport();
    EXPECT_EQ(controller->exportButtonTitle(), "Exporting\u2026");
    EXPECT_FALSE(controller->canExport());

    // The run works on what was set when it started.
    controller->setGammaMode("srgb");
    FakeJobExporter::ExportCall& call = exporter->exportCall(0);
    EXPECT_EQ(call.request, (JobExportRequest{{dir / "grade.json", std::nullopt, dir / "A001.MOV", std::nullopt, std::nullopt},
                                              output(),
                                              12'500'000,
                                              {"g22", 1.25, 0.8, -0.05, -0.25}}));
    call.progress({0, 0, "Rendering video"});
    call.progress({2, 3, "Rendering video"});
    call.progress({100, 100, "Finalizing\u2026"});
    exporter->finishExport(0, {output(), 25, 160, 96});
    runUntil([&] { return !controller->isExporting(); });

    EXPECT_EQ(statuses, (std::vector<std::string>{
                            "Export started\u2026  Gamma=g22  Comp: C=1.25 S=0.80 B=-0.050 T=-0.250",
                            "Exporting\u2026 0% \u2014 Rendering video (0 / 0 frames)",
                            "Exporting\u2026 67% \u2014 Rendering video (2 / 3 frames)",
                            "Exporting\u2026 100% \u2014 Finalizing\u2026 (100 / 100 frames)",
                            "Done: " + output().string(),
                        }));
    EXPECT_EQ(controller->exportButtonTitle(), "Export 10-bit HEVC");
    EXPECT_FALSE(controller->showError());

    // Again: the same output, without asking.
    controller->startExport();
    EXPECT_FALSE(panels->hasOpenPanel());
    EXPECT_EQ(exporter->exportCall(1).request.outputURL, output());
    EXPECT_EQ(controller->statusText(), "Export started\u2026  Gamma=srgb  Comp: C=1.25 S=0.80 B=-0.050 T=-0.250");
}

// A movie at an output no save panel confirmed for this job is replaced only after asking;
// "Cancel" leaves it as it was. An output chosen for another job is dropped with that job.
TEST_F(ExportRun, AnUnconfirmedOrEarlierJobsOutputIsNeverReplacedWithoutAsking)
{
    writeFile("A001_velmora_10bit.mov", "earlier movie");
    readySingleVideoJob(); // the output is derived beside the input
    for (const bool replace : {false, true}) {
        controller->startExport();
        ASSERT_TRUE(controller->replaceQuestion());
        EXPECT_EQ(*controller->replaceQuestion(),
                  (ExportWorkspaceController::ReplaceQuestion{
                      "\u201CA001_velmora_10bit.mov\u201D already exists. Do you want to replace it?", "Replace",
                      "Cancel"}));
        controller->answerReplaceQuestion(replace);
        EXPECT_FALSE(controller->replaceQuestion());
        EXPECT_EQ(controller->isExporting(), replace);
        if (replace)
            EXPECT_EQ(exporter->exportCall(0).request.outputURL, output());
        else
            EXPECT_EQ(exporter->exportCount(), 0u);
        EXPECT_EQ(readTextFile(output()), "earlier movie");
    }
    exporter->finishExport(0, {output(), 25, 160, 96});
    runUntil([&] { return !controller->isExporting(); });
    controller->startExport(); // its own movie now
    EXPECT_FALSE(controller->replaceQuestion());
    EXPECT_EQ(exporter->exportCall(1).request.outputURL, output());
    exporter->finishExport(1, {output(), 25, 160, 96});
    runUntil([&] { return !controller->isExporting(); });

    // A name typed without extension is completed with the proposed container.
    loadJob(writeTimelineJob());
    chooseMediaFolder(dir.path());
    controller->pickOutput();
    EXPECT_EQ(panels->current().defaultSuffix, "mp4");
    panels->choose(dir / "master");
    EXPECT_EQ(controller->outputURL(), dir / "master.mp4");
    loadJob(writeTimelineJob("beach_job.json"));
    EXPECT_EQ(controller->outputURL(), std::nullopt);
    controller->startExport();
    ASSERT_TRUE(panels->hasOpenPanel());
    EXPECT_EQ(panels->current().suggestedName, "beach_velmora_10bit.mp4");
}

TEST_F(ExportRun, AFailureRaisesTheAlertWithTheFullDescription)
{
    readySingleVideoJob();
    std::vector<std::string> order;
    QObject::connect(controller.get(), &ExportWorkspaceController::errorTextChanged, [&] { order.push_back("text"); });
    QObject::connect(controller.get(), &ExportWorkspaceController::showErrorChanged, [&] { order.push_back("alert"); });
    QObject::connect(controller.get(), &ExportWorkspaceController::statusTextChanged, [&] {
        order.push_back(controller->statusText());
    });
    QObject::connect(controller.get(), &ExportWorkspaceController::isExportingChanged, [&] {
        order.push_back(controller->isExporting() ? "running" : "idle");
    });
    controller->startExport();
    exporter->failExport(0, std::make_exception_ptr(Error("export", 201, "Choose Input Video.")));
    runUntil([&] { return !controller->isExporting(); });
    EXPECT_EQ(order, (std::vector<std::string>{"running",
                                               "Export started\u2026  Gamma=rec709  Comp: C=1.00 S=1.00 B=0.000 T=+0.000",
                                               "text", "alert", "Failed.", "idle"}));
    EXPECT_EQ(controller->errorText(), "Error Domain=export Code=201 \"Choose Input Video.\"");
    controller->dismissError();
    EXPECT_FALSE(controller->showError());

    // Other failures render the same way.
    controller->startExport();
    exporter->failExport(1, std::make_exception_ptr(DecodingError(DecodingError::Kind::keyNotFound, {"output"},
                                                                  "fps", "No value for key fps.")));
    runUntil([&] { return !controller->isExporting(); });
    EXPECT_EQ(controller->errorText(), "Error Domain=decoding Code=3 \"output: No value for key fps.\"");
}

TEST_F(ExportRun, AnExportOutlivesItsWorkspace)
{
    readySingleVideoJob();
    controller->startExport();
    FakeJobExporter::ExportCall& call = exporter->exportCall(0);
    controller.reset();
    // The workspace made afresh, as switching the Mode does, is not the one the run was for.
    makeController();
    call.progress({1, 2, "Rendering video"});
    exporter->finishExport(0, {output(), 25, 160, 96});
    // The run still ends (its file is written); what it posts finds nobody and is dropped, and
    // its end joins its thread.
    waitForPosted(3);
    EXPECT_EQ(call.request.outputURL, output());
    EXPECT_EQ(queue->runUntilIdle(), 3);
    EXPECT_EQ(queue->pendingCount(), 0);
    EXPECT_EQ(exporter->exportCount(), 1u);
    EXPECT_FALSE(controller->isExporting());
    EXPECT_FALSE(controller->showError());
    EXPECT_EQ(controller->errorText(), "");
    EXPECT_EQ(controller->statusText(), "Ready");
}

TEST_F(ExportRun, AnExportItsWorkspaceLeftIsStoppedAndJoinedAtQuit)
{
    readySingleVideoJob();
    controller->startExport();
    FakeJobExporter::ExportCall& call = exporter->exportCall(0);
    controller.reset();
    EXPECT_FALSE(call.isCancelled());
    auto quitting = std::async(std::launch::async, [] { OrphanedExports::stopAll(); });
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!call.isCancelled() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::yield();
    ASSERT_TRUE(call.isCancelled());
    // Cancelled, the export has not ended yet: the quit waits for it.
    EXPECT_EQ(quitting.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    exporter->failExport(0, std::make_exception_ptr(Error("export", 248, "Export cancelled.")));
    EXPECT_EQ(quitting.wait_for(std::chrono::seconds(60)), std::future_status::ready);
}

// Nothing the workspace leaves running is detached: each thread is joined as soon as it ends, an
// export after finishing its movie, a render cancelled (never shown).
TEST_F(ExportRun, WhatItsWorkspaceLeftRunningIsJoinedWhenItEnds)
{
    readySingleVideoJob();
    controller->startExport();
    controller->refreshPreview();
    FakeJobExporter::ExportCall& call = exporter->exportCall(0);
    exporter->previewCall(0);
    controller.reset();
    EXPECT_EQ(OrphanedExports::count(), 2u);
    exporter->finishPreview(0, {QImage(8, 4, QImage::Format_RGBA8888), 0, 0, 0, 1, "L", "grade"});
    runUntil([] { return OrphanedExports::count() == 1; });
    exporter->finishExport(0, {output(), 25, 160, 96});
    runUntil([] { return OrphanedExports::count() == 0; });
    EXPECT_FALSE(call.isCancelled());
}

TEST_F(ExportRun, ShowInFolderNeedsTheFileOnDisk)
{
    readySingleVideoJob();
    EXPECT_FALSE(controller->canRevealOutput());
    controller->revealOutput();
    writeTextFile(output(), "movie");
    EXPECT_TRUE(controller->canRevealOutput());
    controller->revealOutput();
    EXPECT_EQ(revealer->revealed, std::vector<std::filesystem::path>{output()});
    // Nothing on this desktop can show it: the status line says so.
    revealer->fileManager = false;
    controller->revealOutput();
    EXPECT_EQ(controller->statusText(), "No file manager is available to show " + output().filename().string());
}

} // namespace
} // namespace velmora::test
