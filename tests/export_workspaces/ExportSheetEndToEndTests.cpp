#include <gtest/gtest.h>

#include <regex>

#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "ExportSheetTestSupport.h"
#include "export_workspaces/EditorExportSheet.h"
#include "export_workspaces/EditorExportTimelineRunner.h"
#include "model/EditorJobV2.h"
#include "support/MediaFixtures.h"

namespace velmora::test {
namespace {

// The sheet over the real export engine: the two-clip timeline's media on disk, render jobs
// written to a folder of the test's own.
class ExportSheetEndToEnd : public ::testing::Test {
protected:
    ExportSheetEndToEnd() : h(true, true, false)
    {
        ClipSettings settings; // 160 × 96, 25 fps, 50 frames
        makeClip(h.media / "a.mp4", settings);
        settings.pattern = ClipPattern::testsrc2;
        makeClip(h.media / "b.mp4", settings);
    }

    ExportSheetServices realServices()
    {
        ExportSheetServices services = h.services();
        services.exporter = std::make_shared<EditorExportTimelineRunner>(jobs.path());
        return services;
    }

    std::vector<std::filesystem::path> renderJobs() const
    {
        static const std::regex name("velmora_editor_export_[0-9A-F]{8}\\.json");
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(jobs.path())) {
            EXPECT_TRUE(std::regex_match(entry.path().filename().string(), name)) << entry.path();
            found.push_back(entry.path());
        }
        return found;
    }

    SheetHarness h;
    TempDir jobs;
    TempDir out;
};

struct Expected {
    const char* title;
    const char* movie;
    const char* codec;
    const char* profile;
    const char* pixelFormat;
    const char* brand; // MPEG-4 or QuickTime
};

TEST_F(ExportSheetEndToEnd, ExportsTheTimelineInEachFormatFromTheSheet)
{
    EditorExportSheet sheet(h.engine, h.mediaFolder, std::nullopt, h.onDismiss(), realServices());
    h.watch(sheet.controller());
    const std::vector<Expected> formats{
        {"10-bit HEVC (Master)", "cut.mp4", "hevc", "Main 10", "yuv420p10le", "isom"},
        {"H.264 (Delivery)", "cut.mp4", "h264", "High", "yuv420p", "isom"},
        {"ProRes 422 (Delivery)", "cut.mov", "prores", nullptr, "yuv422p10le", "qt  "},
    };
    std::vector<std::filesystem::path> revealed;
    for (const Expected& format : formats) {
        SCOPED_TRACE(format.title);
        for (QRadioButton* radio : sheet.findChildren<QRadioButton*>()) {
            if (radio->text() == format.title)
                QTest::mouseClick(radio, Qt::LeftButton);
        }
        const auto folder = out / format.codec;
        std::filesystem::create_directories(folder);
        QTest::mouseClick(sheet.findChild<QPushButton*>("exportButton"), Qt::LeftButton);
        ASSERT_TRUE(h.panels->hasOpenPanel());
        h.panels->choose(folder / "cut"); // the panel adds the format's extension
        ASSERT_TRUE(h.runUntil([&] { return !sheet.controller().isExporting(); }, 600));

        EXPECT_FALSE(sheet.controller().showError()) << sheet.controller().errorText();
        EXPECT_EQ(sheet.controller().status(), "Done \u2014 160\u00D796 @ 25.00 fps");
        EXPECT_EQ(sheet.controller().progressFraction(), 1);
        const auto movie = folder / format.movie;
        revealed.push_back(movie);
        EXPECT_EQ(h.revealer->revealed, revealed);

        const auto video = ffprobeStream(movie, "v:0", true);
        EXPECT_EQ(video["codec_name"], format.codec);
        if (format.profile) {
            EXPECT_EQ(video["profile"], format.profile);
        }
        EXPECT_EQ(video["pix_fmt"], format.pixelFormat);
        EXPECT_EQ(video["width"], 160);
        EXPECT_EQ(video["height"], 96);
        EXPECT_EQ(video["nb_read_frames"], "50");
        const auto container = ffprobe(movie)["format"];
        EXPECT_NEAR(std::stod(container["duration"].get<std::string>()), 2.0, 0.05);
        EXPECT_EQ(container["tags"]["major_brand"], format.brand);
    }
    EXPECT_EQ(std::vector<std::string>(h.statuses.begin(), h.statuses.begin() + 2),
              (std::vector<std::string>{"Preparing export job\u2026", "Rendering 10-bit HEVC (Master)\u2026"}));

    // One render job per run, each under a fresh name, left in place.
    const auto files = renderJobs();
    ASSERT_EQ(files.size(), 3u);
    const EditorJobV2 job = EditorJobV2::fromJSON(readTextFile(files.front()));
    EXPECT_EQ(job.tool, "velmora-editor-desktop-export");
    ASSERT_EQ(job.timelines.size(), 1u);
    EXPECT_EQ(job.timelines[0].clips.size(), 2u);
}

TEST_F(ExportSheetEndToEnd, CancelEndsTheRunWithoutAMovieAndTheNextRunWorks)
{
    h.watch(*(h.ownedController = std::make_unique<ExportSheetController>(h.engine, h.mediaFolder, std::nullopt,
                                                                            h.onDismiss(), realServices())));
    ExportSheetController& c = *h.controller;
    c.setFormat(EditorExportFormat::h264);
    const auto movie = out / "cut.mp4";
    h.startExport(movie);
    c.requestCancel(); // before the engine's first cancel query
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_EQ(c.errorText(), "Export cancelled.");
    EXPECT_EQ(c.status(), "Export failed.");
    EXPECT_FALSE(std::filesystem::exists(movie));
    EXPECT_TRUE(h.revealer->revealed.empty());

    c.setShowError(false);
    h.startExport(movie);
    ASSERT_TRUE(h.runUntil([&] { return !c.isExporting(); }, 600));
    EXPECT_FALSE(c.showError()) << c.errorText();
    EXPECT_TRUE(std::filesystem::exists(movie));
    EXPECT_EQ(renderJobs().size(), 2u);
}

TEST_F(ExportSheetEndToEnd, MissingMediaFailsWithTheEnginesMessage)
{
    std::filesystem::remove(h.media / "b.mp4");
    h.watch(*(h.ownedController = std::make_unique<ExportSheetController>(h.engine, h.mediaFolder, std::nullopt,
                                                                            h.onDismiss(), realServices())));
    h.startExport(out / "cut.mp4");
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_TRUE(h.controller->showError());
    EXPECT_EQ(h.controller->errorText(), "Missing source files in Media Folder:\nb.mp4\n\nTip: choose the top folder "
                                         "that contains your footage (subfolders are supported).");
    EXPECT_EQ(h.controller->status(), "Export failed.");
    EXPECT_EQ(renderJobs().size(), 1u);
}

} // namespace
} // namespace velmora::test
