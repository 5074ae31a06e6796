// One picture everywhere on the real window: a project that states no frame rate steps, shows
// and reads out on the rate its export uses; another project opens at its start; a LUT the
// picker offers but that cannot grade is named in the status line.
#include <algorithm>
#include <cmath>
#include <fstream>

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <nlohmann/json.hpp>

#include "AppScenario.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "export_workspaces/EditorExportSheet.h"
#include "media/MediaTestHelpers.h"
#include "preview/GradedPreviewView.h"
#include "support/MediaFixtures.h"
#include "support/model/SessionBuilders.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/shell/VelmoraDesktopShellView.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

constexpr int kPoolSources = 16;

// "Numbered.tavlek" on a 320 × 180 canvas with no "fps" in its project: one clip of "N01.mp4"
// (100 frame-stamped frames at 25 fps) on V1 from 0 to 4 s, drawn at 600 pixels a second, and
// sixteen copies of that movie in the pool.
fs::path writeNumberedProject(const fs::path& folder)
{
    const fs::path media = folder / "Numbered_media";
    fs::create_directories(media);
    ClipSettings settings;
    settings.width = 320;
    settings.height = 180;
    settings.frameCount = 100;
    settings.videoArgs = "-preset ultrafast";
    makeClip(media / "N01.mp4", settings);
    EditSession session = EditSession::blankProject("Numbered", 320, 180, 25);
    for (int k = 1; k <= kPoolSources; ++k) {
        const std::string name = "N" + std::string(k < 10 ? "0" : "") + std::to_string(k) + ".mp4";
        if (k > 1)
            fs::copy_file(media / "N01.mp4", media / name);
        session.sources.emplace_back("src-" + std::to_string(k), name, "video");
    }
    EditSession::Timeline& timeline = session.timelines.front();
    timeline.pixelsPerSecond = 600;
    EditSession::Clip movie = clip("n1", "video", 0.0, 4.0, 1, "N01.mp4");
    movie.sourceId = "src-1";
    movie.outPoint = 4.0;
    timeline.clips.push_back(movie);
    const fs::path file = folder / "Numbered.tavlek";
    session.saveProject(file, media.string());
    // The document as another editor writes it: a project without a rate.
    nlohmann::json document = nlohmann::json::parse(readTextFile(file));
    document["project"].erase("fps");
    writeTextFile(file, document.dump(2));
    return file;
}

class OnePictureScenario : public AppScenario {
protected:
    void SetUp() override
    {
        numbered = writeNumberedProject(folders.scratch());
        openInWindow(numbered);
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(waitFor(
            [this] {
                return workspace().sessionURL() == numbered && previewReady();
            },
            "the numbered project's preview"))
            << engine().status();
    }

    fs::path numbered;
};

TEST_F(OnePictureScenario, StepsOnTheExportsRateOpensAtTheStartAndNamesAnUnusableLut)
{
    ASSERT_FALSE(engine().session()->project->fps.has_value());
    const auto shownFrame = [this] {
        const QRect monitor = programFrame(programView());
        const QImage now =
            window().screen()->grabWindow(0, monitor.x(), monitor.y(), monitor.width(), monitor.height()).toImage();
        return stampIn(now, now.rect());
    };
    const auto* readOut =
        edit().findChild<QWidget*>(QStringLiteral("playbackBar"))->findChild<QLabel*>(QStringLiteral("timeLabel"));

    // Seven frame steps: on the canvas label's 59.94 fps, each to the next frame's start, where
    // the 25 fps footage's frame starting at or after that time shows.
    const std::vector<int> footageFrames = {1, 1, 2, 2, 3, 3, 3};
    std::vector<double> steps;
    std::vector<int> shown;
    for (int k = 1; k <= 7; ++k) {
        window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 20000));
        QTest::keyClick(&window(), Qt::Key_Right);
        const double expected = k * 1001 / 60000.0;
        ASSERT_TRUE(waitFor([&] { return std::abs(engine().playheadSeconds() - expected) < 1e-9; }, "a frame step"))
            << engine().playheadSeconds();
        const int wanted = footageFrames[static_cast<std::size_t>(k - 1)];
        EXPECT_TRUE(waitFor([&] { return shownFrame() == wanted; }, "frame " + std::to_string(wanted)))
            << shownFrame();
        steps.push_back(engine().playheadSeconds());
        shown.push_back(shownFrame());
        EXPECT_EQ(readOut->text().toStdString(), "00:00:0" + std::to_string(k));
    }
    screenshot("one-picture-1-stepped.png", globalRect(window()));

    // The H.264 movie from the export sheet writes those frames at those times.
    EditorExportSheet& sheet = openExportSheet();
    ASSERT_FALSE(HasFatalFailure());
    QTest::mouseClick(sheet.findChild<QPushButton*>(QStringLiteral("exportButton")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the save panel"));
    const fs::path movie = folders.scratch() / "Numbered_export.mp4";
    choose(*panel, movie);
    const ExportSheetController& run = sheet.controller();
    ASSERT_TRUE(waitFor([&] { return !run.isExporting() && run.status().starts_with("Done"); }, "the export", 180))
        << run.status();
    // A desktop without a file manager adds that it cannot show the movie.
    EXPECT_TRUE(run.status().starts_with("Done \u2014 320\u00D7180 @ 59.94 fps")) << run.status();
    QTest::mouseClick(sheet.findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
    for (std::size_t k = 0; k < steps.size(); ++k) {
        const Image frame = decodedFrame(movie, steps[k]);
        EXPECT_EQ(stampOf(frame), shown[k]) << "exported at " << steps[k] << " s";
    }

    // Scrolled to the timeline's end and the pool's foot, Open… takes the Scenes project, with a
    // 2-point LUT beside its media: it shows from its start.
    const fs::path twoPoints = folders.scratch() / "Scenes_media" / "Two.cube";
    project = writeScenesProject(folders.scratch());
    {
        std::ofstream cube(twoPoints);
        cube << "LUT_3D_SIZE 2\n";
        for (int i = 0; i < 8; ++i)
            cube << 1 - (i & 1) << ' ' << 1 - ((i >> 1) & 1) << ' ' << 1 - (i >> 2) << '\n';
    }
    QScrollBar* across = timeline().horizontalScrollBar();
    across->setValue(across->maximum());
    ASSERT_GT(across->value(), 0);
    QScrollBar* poolDown = edit().findChild<QScrollArea*>(QStringLiteral("mediaPoolScroll"))->verticalScrollBar();
    ASSERT_TRUE(waitFor([&] { return poolDown->maximum() > 0; }, "a pool taller than its panel"));
    poolDown->setValue(poolDown->maximum());
    screenshot("one-picture-2-scrolled.png", globalRect(window()));
    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("Open…")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the open panel"));
    choose(*panel, project.file);
    ASSERT_TRUE(waitFor(
        [&] { return workspace().sessionURL() == project.file && previewReady(); },
        "the Scenes project"))
        << engine().status();
    EXPECT_EQ(across->value(), 0);
    EXPECT_EQ(timeline().model().scrollLeft(), 0);
    EXPECT_EQ(poolDown->value(), 0);
    screenshot("one-picture-3-another-project.png", globalRect(window()));

    // A002 (no LUT of its own) at 4 s, its file's frame 60: choosing the 2-point LUT, which would
    // invert it, names it and why, and the monitor keeps the frame ungraded.
    ASSERT_NEAR(seekWithRuler(4.0), 4.0, 0.05);
    const int frame = static_cast<int>(std::lround((engine().playheadSeconds() - 3.0 + 1.0) * 30));
    engine().setSelectedClipId(std::string("v2"));
    VelmoraDarkPopUpPicker& picker = *edit().topBar()->clipLutPicker();
    const std::vector<std::string>& tags = picker.selectableTags();
    // The project's LUT files are listed on a worker when it opens.
    ASSERT_TRUE(waitFor([&] { return picker.isEnabled() && std::find(tags.begin(), tags.end(), "Two.cube") != tags.end(); },
                        "the clip LUT picker with the project's LUTs"));
    picker.pickIndex(VelmoraDarkPopUpPicker::rowForSelection(tags, "Two.cube"));
    ASSERT_TRUE(waitFor([&] { return engine().status().starts_with("LUT Two.cube"); }, "the LUT's status"));
    EXPECT_TRUE(engine().status().starts_with("LUT Two.cube cannot be used: LUT_3D_SIZE 2 (needs 3 or more) \u2014 "
                                              "picture left without it \u00B7 "))
        << engine().status();
    // The status line shows it, cut short to its width.
    const QLabel* status = edit().findChild<EditToolsBar*>()->statusLabel();
    ASSERT_TRUE(waitFor([&] { return status->text().startsWith(QStringLiteral("LUT Two.cube cannot be used: LUT")); },
                        "the status line"))
        << status->text().toStdString();
    ASSERT_TRUE(waitForGradedStill(frame));
    EXPECT_TRUE(waitFor([&] { return shownFrame() == frame; }, "the ungraded frame on the screen")) << shownFrame();
    // The status line shows at the tools bar's end without scrolling the commands.
    EXPECT_TRUE(window().rect().contains(QRect(status->mapTo(&window(), QPoint(0, 0)), status->size())));
    screenshot("one-picture-4-unusable-lut.png", globalRect(window()));
}

} // namespace
} // namespace velmora::test
