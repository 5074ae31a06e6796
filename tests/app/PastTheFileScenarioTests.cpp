// A clip longer than its file on the real window: the paused monitor keeps the clip's speed up
// to the file's end and shows black after it, frame for frame as the exported movie.
#include <cmath>

#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "AppScenario.h"
#include "export_workspaces/EditorExportSheet.h"
#include "media/MediaTestHelpers.h"
#include "preview/GradedPreviewView.h"
#include "support/MediaFixtures.h"
#include "support/model/SessionBuilders.h"
#include "workspace/EditorContentView.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// The row of the 320 × 180 canvas amid its top quarter, where a flat grey clip's stamp is.
constexpr int kStampRow = 180 / 8;

// "Stretch.tavlek" at 25 fps on a 320 × 180 canvas: on V1 "F01.mp4" (50 frames of flat grey,
// 2 s, its frame numbers stamped in its top quarter) from 0 to 3 s at 1.5×, which reads the
// file's 2 s by 1.33 s and has nothing left to show after that.
fs::path writeStretchProject(const fs::path& folder)
{
    const fs::path file = folder / "Stretch.tavlek";
    writeOneMovieProject(file, folder / "Stretch_media", "Stretch", "F01.mp4", 50, 25, 3.0,
                         [](EditSession&, EditSession::Clip& stretched) { stretched.speed = 1.5; }, true);
    return file;
}

class PastTheFileScenario : public AppScenario {
protected:
    void SetUp() override
    {
        stretch = writeStretchProject(folders.scratch());
        openInWindow(stretch);
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(waitFor([this] { return workspace().sessionURL() == stretch && previewReady(); },
                            "the stretch project's preview"))
            << engine().status();
    }

    fs::path stretch;
};

// What a picture shows: its stamp, or -3 for black (no grey under the stamp).
constexpr int kBlack = -3;

TEST_F(PastTheFileScenario, ThePausedMonitorKeepsTheClipsSpeedAndShowsBlackPastTheFileAsTheMovie)
{
    ASSERT_EQ(engine().session()->timelines.front().clips.front().duration, std::optional<double>(3.0));
    ASSERT_FALSE(engine().gradePreviewEnabled());
    const auto shownOnScreen = [this] {
        const QRect monitor = programFrame(programView());
        const QImage now =
            window().screen()->grabWindow(0, monitor.x(), monitor.y(), monitor.width(), monitor.height()).toImage();
        if (qGray(now.pixel(now.rect().center())) < 12)
            return kBlack;
        return stampIn(now, now.rect(), kStampRow);
    };
    const FrameGrid grid = engine().frameGrid();
    const std::vector<std::int64_t> frames = {10, 20, 50};
    const std::vector<int> expected = {15, 30, kBlack};
    std::vector<int> shown;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        bool landed = false;
        engine().seek(grid.start(frames[k]), true, [&](bool) { landed = true; });
        ASSERT_TRUE(waitFor([&] { return landed; }, "the seek to frame " + std::to_string(frames[k])));
        EXPECT_TRUE(waitFor([&] { return shownOnScreen() == expected[k]; }, "the monitor at frame " +
                                                                                 std::to_string(frames[k])))
            << shownOnScreen();
        shown.push_back(shownOnScreen());
        screenshot("past-the-file-" + std::to_string(k + 1) + "-frame-" + std::to_string(frames[k]) + ".png",
                   globalRect(window()));
    }

    // The movie from the export sheet shows the same frames.
    const fs::path movie = folders.scratch() / "Stretch_export.mp4";
    const ExportSheetController& done = exportTo(movie);
    ASSERT_TRUE(done.status().starts_with("Done")) << done.status() << " " << done.errorText();
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const Image frame = decodedFrame(movie, grid.start(frames[k]));
        const float centre = frame.row(frame.height() / 2)[(frame.width() / 2) * 4];
        const int exported =
            centre < 0.05f ? kBlack
                           : readFrameStamp([&](int x, int y) { return double(frame.row(y)[4 * x]); }, frame.width(),
                                            frame.height(), frame.height() / 8);
        EXPECT_EQ(exported, shown[k]) << "frame " << frames[k];
    }
    QTest::mouseClick(edit().exportSheet()->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);
}

} // namespace
} // namespace velmora::test
