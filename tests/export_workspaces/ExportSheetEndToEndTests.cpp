#include <gtest/gtest.h>

#include <regex>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "ExportSheetTestSupport.h"
#include "export_workspaces/EditorExportSheet.h"
#include "export_workspaces/EditorExportTimelineRunner.h"
#include "support/MediaFixtures.h"

namespace velmora::test {
namespace {

// The sheet over the real export engine: the two-clip timeline's media on disk, render jobs
// written to a folder of the test's own.
class ExportSheetEndToEnd : public ::testing::Test {
protected:
    ExportSheetEndToEnd()
    {
        ClipSettings settings; // 160 × 96, 25 fps, 50 frames
        makeClip(h.media / "a.mp4", settings);
        settings.pattern = ClipPattern::testsrc2;
        makeClip(h.media / "b.mp4", settings);
        services.exporter = std::make_shared<EditorExportTimelineRunner>(jobs.path());
    }

    void useController()
    {
        h.ownedController = std::make_unique<ExportSheetController>(h.engine, h.mediaFolder, std::nullopt,
                                                                    h.onDismiss(), services);
        h.watch(*h.ownedController);
    }

    // Render job files left behind, each checked for its name.
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

    SheetHarness h{true, true, false};
    TempDir jobs;
    TempDir out;
    ExportSheetServices services = h.services();
};

TEST_F(ExportSheetEndToEnd, ExportsTheTimelineInEachFormatFromTheSheet)
{
    EditorExportSheet sheet(h.engine, h.mediaFolder, std::nullopt, h.onDismiss(), services);
    h.watch(sheet.controller());
    struct Expected {
        const char* movie;
        const char* codec;
        const char* profile; // none for ProRes
        const char* pixelFormat;
        const char* brand; // MPEG-4 or QuickTime
    };
    const std::vector<Expected> formats{
        {"hevc/cut.mp4", "hevc", "Main 10", "yuv420p10le", "isom"},
        {"h264/cut.mp4", "h264", "High", "yuv420p", "isom"},
        {"prores/cut.mov", "prores", nullptr, "yuv422p10le", "qt  "},
    };
    std::vector<std::filesystem::path> movies;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const Expected& format = formats[i];
        SCOPED_TRACE(format.codec);
        QTest::mouseClick(sheet.findChildren<QRadioButton*>().at(static_cast<int>(i)), Qt::LeftButton);
        movies.push_back(out / format.movie);
        std::filesystem::create_directories(movies.back().parent_path());
        QTest::mouseClick(sheet.findChild<QPushButton*>("exportButton"), Qt::LeftButton);
        h.panels->choose(movies.back().parent_path() / "cut"); // the extension follows the format
        ASSERT_TRUE(h.runUntilIdle(600));

        EXPECT_FALSE(sheet.controller().showError()) << sheet.controller().errorText();
        EXPECT_EQ(sheet.controller().status(), "Done \u2014 160\u00D796 @ 25.00 fps");
        EXPECT_EQ(h.revealer->revealed, movies);
        const auto video = ffprobeStream(movies.back(), "v:0", true);
        EXPECT_EQ(video["codec_name"], format.codec);
        EXPECT_EQ(video["profile"], format.profile ? nlohmann::json(format.profile) : video["profile"]);
        EXPECT_EQ(video["pix_fmt"], format.pixelFormat);
        EXPECT_EQ(video["width"], 160);
        EXPECT_EQ(video["nb_read_frames"], "50");
        const auto container = ffprobe(movies.back())["format"];
        EXPECT_NEAR(std::stod(container["duration"].get<std::string>()), 2.0, 0.05);
        EXPECT_EQ(container["tags"]["major_brand"], format.brand);
    }

    // Each run's render job is gone with the run.
    EXPECT_TRUE(renderJobs().empty());
}

// A missing file that the preview shows by another movie of the folder: the export reads that
// movie, as the monitor showed it, instead of failing on the missing name.
TEST_F(ExportSheetEndToEnd, ReadsTheFileThePreviewShowsInPlaceOfAMissingOne)
{
    std::filesystem::rename(h.media / "b.mp4", h.media / "z.mp4");
    useController();
    const auto movie = out / "cut.mp4";
    h.startExport(movie);
    ASSERT_TRUE(h.runUntilIdle(600));
    EXPECT_FALSE(h.controller->showError()) << h.controller->errorText();
    EXPECT_EQ(ffprobeStream(movie, "v:0", true)["nb_read_frames"], "50");
}

TEST_F(ExportSheetEndToEnd, CancelBeforeTheFirstFrameLeavesNoMovieAndTheNextRunWorks)
{
    useController();
    const auto movie = out / "cut.mp4";
    h.startExport(movie);
    h.controller->requestCancel();
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_EQ(h.controller->errorText(), "Export cancelled.");
    EXPECT_EQ(h.controller->status(), "Export failed.");
    EXPECT_FALSE(std::filesystem::exists(movie));

    h.controller->setShowError(false);
    h.startExport(movie);
    ASSERT_TRUE(h.runUntilIdle(600));
    EXPECT_FALSE(h.controller->showError()) << h.controller->errorText();
    EXPECT_TRUE(std::filesystem::exists(movie));
    EXPECT_TRUE(renderJobs().empty());
}

TEST_F(ExportSheetEndToEnd, MissingMediaFailsWithTheEnginesMessageAndRemovesOnlyDeadRunsJobs)
{
    std::filesystem::remove(h.media / "b.mp4");
    // A killed run's job file (no lock) and a running export's (locked).
    test::writeTextFile(jobs / "velmora_editor_export_0BADF00D.json", "{}");
    const auto live = jobs / "velmora_editor_export_12345678.json";
    test::writeTextFile(live, "{}");
    const int liveLock = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(liveLock, LOCK_EX), 0);
    useController();
    h.startExport(out / "cut.mp4");
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_EQ(h.controller->errorText(), "Missing source files in Media Folder:\nb.mp4\n\nTip: choose the top folder "
                                         "that contains your footage (subfolders are supported).");
    EXPECT_EQ(h.controller->status(), "Export failed.");
    EXPECT_EQ(renderJobs(), std::vector<std::filesystem::path>{live});
    ::close(liveLock);
}

} // namespace
} // namespace velmora::test
