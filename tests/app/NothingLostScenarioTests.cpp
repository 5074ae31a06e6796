// Nothing is lost on the real window: cuts made in quick succession by keys all reach the saved
// project.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include <QFileDialog>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "AppScenario.h"
#include "support/MediaFixtures.h"
#include "workspace/EditorContentView.h"
#include "workspace/shell/VelmoraDesktopShellView.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/timeline/TimelineStripModel.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

constexpr double fps = 25;
constexpr int clipCount = 10;
constexpr int framesPerClip = 100;

// "Cuts.tavlek" at 25 fps on a 320 × 180 canvas, zoomed to 100 px/s: V1 holds the frame-stamp
// movies "K01.mp4" … "K10.mp4" (4 s each) one after the other from 0 s, clip "k<n>" from source
// "src-<n>".
fs::path writeCutsProject(const fs::path& folder)
{
    const fs::path media = folder / "Cuts_media";
    fs::create_directories(media);
    EditSession session = EditSession::blankProject("Cuts", 320, 180, fps);
    EditSession::Timeline& timeline = session.timelines.front();
    timeline.pixelsPerSecond = 100;
    for (int k = 1; k <= clipCount; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "K%02d.mp4", k);
        ClipSettings settings;
        settings.width = 320;
        settings.height = 180;
        settings.frameCount = framesPerClip;
        settings.videoArgs = "-preset ultrafast";
        makeClip(media / name, settings);
        const std::string sourceId = "src-" + std::to_string(k);
        session.sources.emplace_back(sourceId, name, "video");
        EditSession::Clip clip("k" + std::to_string(k));
        clip.type = "video";
        clip.name = name;
        clip.sourceId = sourceId;
        clip.track = 1;
        clip.startTime = 4.0 * (k - 1);
        clip.duration = 4.0;
        clip.inPoint = 0.0;
        clip.outPoint = 4.0;
        timeline.clips.push_back(clip);
    }
    const fs::path file = folder / "Cuts.tavlek";
    session.saveProject(file, media.string());
    return file;
}

// The project opened as the user opens one: Open… and its panel, on a window started without a
// file; the scenario starts once the preview is built and the poster frames have landed, with
// Snap on and Ripple off.
class NothingLostScenario : public AppScenario {
protected:
    void SetUp() override
    {
        cuts = writeCutsProject(folders.scratch());
        showWindow();
        if (HasFatalFailure())
            return;
        QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("Open…")), Qt::LeftButton);
        QFileDialog* panel = nullptr;
        ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the open panel"));
        choose(*panel, cuts);
        const auto opened = [this] {
            const std::shared_ptr<EditSession>& session = engine().session();
            return workspace().sessionURL() == cuts && session &&
                   std::all_of(session->sources.begin(), session->sources.end(),
                               [](const EditSession::Source& source) { return !!source.thumbnailData; }) &&
                   previewReady();
        };
        ASSERT_TRUE(waitFor(opened, "the opened project's preview and poster frames")) << engine().status();
        ASSERT_TRUE(engine().magneticSnapEnabled());
        ASSERT_FALSE(engine().rippleEditEnabled());
    }

    // A key pressed on the application's window, delivered as the window system delivers one:
    // to the widget that has the focus.
    void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        window().activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window(), 20000));
        QTest::keyClick(window().windowHandle(), key, modifiers);
    }

    // Save As… to `file`; returns the project read back from it.
    EditSession saveAs(const fs::path& file)
    {
        QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("Save As…")), Qt::LeftButton);
        QFileDialog* panel = nullptr;
        EXPECT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the save panel"));
        if (panel)
            choose(*panel, file);
        EXPECT_TRUE(waitFor([&] { return fs::exists(file) && !workspace().projectDirty(); }, "the saved project"));
        return EditSession::load(file);
    }

    fs::path cuts;
};

// The frames at which the video clips of a project's active timeline start, in order.
std::vector<int> startFrames(const EditSession& session)
{
    std::vector<int> frames;
    const std::optional<EditSession::Timeline> timeline = session.activeTimeline();
    for (const EditSession::Clip& clip : timeline->clips)
        frames.push_back(static_cast<int>(std::lround(clip.startTime.value_or(-1) * fps)));
    std::sort(frames.begin(), frames.end());
    return frames;
}

// With the focus left in the lanes where the user clicked, Right ×10 and S cut K01 at frame 10;
// six times Right ×3 (0.3 s apart), S and a second's pause each add a cut 3 frames further on,
// while the rebuilds and poster frames of the earlier cuts land. Every cut is in the file saved
// with Save As…; three rounds more (31/25 − 28/25 s is just under 0.12 s in doubles) and Ctrl+S
// keep every cut as well.
TEST_F(NothingLostScenario, QuickSplitsByKeysAllReachTheSavedProject)
{
    TimelineStripView& strip = timeline();
    const QRectF first = blockOf(strip.model(), "k1");
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {},
                      QPoint(static_cast<int>(first.center().x()), static_cast<int>(first.bottom() + first.height())));
    ASSERT_EQ(engine().playheadSeconds(), 0.0);
    const auto clipsNow = [this] { return engine().session()->activeTimeline()->clips.size(); };
    const auto rounds = [&](int count) {
        for (int round = 0; round < count; ++round) {
            const std::size_t before = clipsNow();
            for (int k = 0; k < 3; ++k) {
                // The user's pace is the condition under test: the event loop runs for it.
                QTest::qWait(300);
                pressKey(Qt::Key_Right);
            }
            pressKey(Qt::Key_S);
            EXPECT_EQ(clipsNow(), before + 1) << engine().status();
            QTest::qWait(1000);
        }
    };
    const auto expectedFrames = [](int lastCut) {
        std::vector<int> frames{0};
        for (int cut = 10; cut <= lastCut; cut += 3)
            frames.push_back(cut);
        for (int k = 1; k < clipCount; ++k)
            frames.push_back(k * framesPerClip);
        return frames;
    };

    for (int k = 0; k < 10; ++k)
        pressKey(Qt::Key_Right);
    pressKey(Qt::Key_S);
    ASSERT_EQ(clipsNow(), 11u) << engine().status();
    rounds(6);
    ASSERT_TRUE(waitFor([this] { return previewReady(); }, "the last cut's preview")) << engine().status();
    screenshot("nothinglost-1-cuts.png", globalRect(window()));
    const fs::path saved = folders.scratch() / "Cuts saved.tavlek";
    EXPECT_EQ(startFrames(saveAs(saved)), expectedFrames(28));

    rounds(3);
    ASSERT_TRUE(waitFor([this] { return previewReady(); }, "the last cut's preview")) << engine().status();
    pressKey(Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([this] { return !workspace().projectDirty(); }, "Ctrl+S to save"));
    screenshot("nothinglost-2-saved.png", globalRect(window()));
    EXPECT_EQ(startFrames(EditSession::load(saved)), expectedFrames(37));
}

} // namespace
} // namespace velmora::test
