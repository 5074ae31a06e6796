#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "WorkspaceTestSupport.h"
#include "grading/StillsTestSupport.h"
#include "export_workspaces/EngineJobExporter.h"
#include "model/EditSession.h"
#include "media/MediaTestHelpers.h"

namespace velmora::test {
namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 96;

// A warm look: red kept, green at 0.6, blue at 0.2; yellow bars turn orange.
std::string warmCubeText()
{
    return stills::cubeText(3, [](float r, float g, float b) { return Color{r, 0.6f * g, 0.2f * b, 1}; });
}

EditorJobV2::ClipGrade::GradeParams exposure(double stops)
{
    EditorJobV2::ClipGrade::GradeParams params;
    params.exposure = stops;
    return params;
}


// The 10-bit Export workspace on the real engine, over a media folder with one second of colour
// bars and a LUT beside them.
class PreviewMatchesExport : public ::testing::Test {
protected:
    PreviewMatchesExport()
    {
        std::filesystem::create_directories(media());
        runFFmpeg("-f lavfi -i smptebars=s=160x96:r=25:d=1 -c:v libx264 -preset ultrafast -qp 0 -pix_fmt yuv420p " +
                  (media() / "bars.mp4").string());
        writeTextFile(media() / "warm.cube", warmCubeText());
        controller = std::make_unique<ExportWorkspaceController>(
            workflow, ExportWorkspaceServices{queue, std::make_shared<EngineJobExporter>(), panels,
                                              std::make_shared<FakeFileRevealer>()});
        controller->setBitrateMbps("20");
    }

    std::filesystem::path media() const { return dir / "media"; }

    // The session the Edit workspace holds: the bars as one clip with `grade`.
    static EditSession barsSession(const EditorJobV2::ClipGrade& grade)
    {
        EditSession session = EditSession::blankProject("Bars", kWidth, kHeight, 25);
        session.sources.emplace_back("s1", "bars.mp4", "video");
        EditSession::Clip clip("v1");
        clip.type = "video";
        clip.sourceId = "s1";
        clip.track = 1;
        clip.startTime = 0;
        clip.duration = 1;
        clip.inPoint = 0;
        clip.outPoint = 1;
        clip.grade = grade;
        session.timelines.front().clips.push_back(clip);
        return session;
    }

    QImage previewAt(double seconds)
    {
        controller->setPreviewTimeSeconds(seconds);
        controller->refreshPreview();
        EXPECT_TRUE(queue->runUntil([&] { return !controller->isPreviewing(); }, 60));
        EXPECT_EQ(controller->statusText(), "Preview updated");
        return controller->previewImage().convertToFormat(QImage::Format_RGBA8888);
    }

    std::filesystem::path exportMovie()
    {
        controller->startExport();
        const std::filesystem::path movie = dir / "out.mp4";
        panels->choose(movie);
        EXPECT_TRUE(queue->runUntil([&] { return !controller->isExporting(); }, 300));
        EXPECT_FALSE(controller->showError()) << controller->errorText();
        return movie;
    }

    // Every pixel of the still against the exported frame at the same time. The movie went
    // through a 10-bit encoder: pixels beside a colour edge may ring a little, flat areas (where
    // the still's 3 × 3 neighbourhood is even) must agree to within 8-bit rounding.
    void expectStillMatchesMovie(double seconds)
    {
        const QImage still = previewAt(seconds);
        ASSERT_EQ(still.size(), QSize(kWidth, kHeight));
        const Image frame = decodedFrame(exportMovie(), seconds);
        ASSERT_EQ(frame.width(), kWidth);
        const auto channel = [&](int x, int y, int c) { return still.constScanLine(y)[x * 4 + c] / 255.0; };
        int compared = 0;
        double worst = 0;
        for (int y = 2; y < kHeight - 2; ++y) {
            for (int x = 2; x < kWidth - 2; ++x) {
                bool flat = true;
                for (int dy = -2; dy <= 2 && flat; ++dy)
                    for (int dx = -2; dx <= 2 && flat; ++dx)
                        for (int c = 0; c < 3; ++c)
                            flat = flat && std::abs(channel(x + dx, y + dy, c) - channel(x, y, c)) < 1.5 / 255;
                if (!flat)
                    continue;
                ++compared;
                // A display shows the movie's values above white (or below black) as white (black).
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(std::clamp(frame.row(y)[x * 4 + c], 0.0f, 1.0f) - channel(x, y, c)));
            }
        }
        EXPECT_GT(compared, kWidth * kHeight / 2);
        EXPECT_LE(worst * 255, 1.0);
    }

    TempDir dir;
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<FakeFilePanels> panels = std::make_shared<FakeFilePanels>();
    VelmoraWorkflowState workflow;
    std::unique_ptr<ExportWorkspaceController> controller;
};

TEST_F(PreviewMatchesExport, AHandedOverTimelineShowsItsClipLutAndGrade)
{
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "warm.cube";
    grade.lutName = "warm.cube";
    grade.lutStrength = 1.0;
    grade.gradeParams = exposure(0.4);
    const std::filesystem::path job = dir / "velmora_render_job.json";
    barsSession(grade).writeRenderJob(job);
    workflow.openExportTab(job, media());
    ASSERT_TRUE(queue->runUntil([&] { return controller->inputsComplete(); }, 60));

    expectStillMatchesMovie(0.28);
}

TEST_F(PreviewMatchesExport, AJobChosenByHandShowsTheJobLutAndTheCompensation)
{
    EditorJobV2::ClipGrade grade;
    grade.gradeParams = exposure(0.4);
    EditSession session = barsSession(grade);
    session.grade = EditSession::ProjectGrade{"warm.cube"};
    session.writeRenderJob(dir / "bars_job.json");
    controller->pickJob();
    panels->choose(dir / "bars_job.json");
    controller->pickMediaFolder();
    panels->choose(media());
    controller->setCompensation(OutputSettings::Compensation::saturation, 0.8);
    controller->setCompensation(OutputSettings::Compensation::tint, 0.05);

    expectStillMatchesMovie(0.6);
}

TEST_F(PreviewMatchesExport, GradeSettingsStoredOnTheClipItselfAreExportedAsPreviewed)
{
    EditorJobV2::ClipGrade grade;
    grade.gradeParams = exposure(0.6);
    barsSession(grade).writeRenderJob(dir / "flat_job.json");
    // Browser jobs may keep a clip's grade settings on the clip, beside a grade without any.
    nlohmann::json job = nlohmann::json::parse(readTextFile(dir / "flat_job.json"));
    nlohmann::json& clip = job["timelines"][0]["clips"][0];
    clip["gradeParams"] = clip["grade"]["gradeParams"];
    clip["grade"].erase("gradeParams");
    writeTextFile(dir / "flat_job.json", job.dump());
    controller->pickJob();
    panels->choose(dir / "flat_job.json");
    controller->pickMediaFolder();
    panels->choose(media());

    expectStillMatchesMovie(0.6);
}

} // namespace
} // namespace velmora::test
