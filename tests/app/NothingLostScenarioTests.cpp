// Nothing is lost on the real window: cuts made in quick succession by keys all reach the saved
// project, an export never overwrites a movie the user did not agree to replace, and an export
// that cannot read its audio leaves no file behind.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <tuple>

#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QWindow>

#include "AppScenario.h"
#include "export_workspaces/EditorExportSheet.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "support/model/SessionBuilders.h"
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
        EditSession::Clip movie = clip("k" + std::to_string(k), "video", 4.0 * (k - 1), 4.0, 1, name);
        movie.sourceId = sourceId;
        movie.outPoint = 4.0;
        timeline.clips.push_back(movie);
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

    fs::path cuts;
};

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
    EXPECT_EQ(startFrames(saveAs(saved), fps), expectedFrames(28));

    rounds(3);
    ASSERT_TRUE(waitFor([this] { return previewReady(); }, "the last cut's preview")) << engine().status();
    pressKey(Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(waitFor([this] { return !workspace().projectDirty(); }, "Ctrl+S to save"));
    screenshot("nothinglost-2-saved.png", globalRect(window()));
    EXPECT_EQ(startFrames(EditSession::load(saved), fps), expectedFrames(37));
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A scenario that exports through the Edit workspace's sheet.
using ExportSheetScenario = AppScenario;

// A name typed without its extension, over a movie already in the folder: the save panel asks
// before replacing "out.mp4", and Cancel keeps the movie as it was, with no export run.
TEST_F(ExportSheetScenario, ATypedNameWithoutExtensionAsksBeforeReplacingTheMovie)
{
    const fs::path folder = folders.scratch() / "Movies";
    fs::create_directories(folder);
    const std::string earlier = "an earlier movie, not to be lost";
    std::ofstream(folder / "out.mp4", std::ios::binary) << earlier;

    EditorExportSheet& sheet = openExportSheet();
    QTest::mouseClick(sheet.findChild<QPushButton*>(QStringLiteral("exportButton")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the save panel"));
    auto* name = panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    // Set rather than typed: typing opens the completer, which takes the first Return.
    name->setText(QString::fromStdString((folder / "out").string()));
    QTest::keyClick(name, Qt::Key_Return);
    QPointer<QMessageBox> replace;
    ASSERT_TRUE(waitFor(
        [&] { return (replace = panel->findChild<QMessageBox*>(QStringLiteral("replaceQuestion"))) && replace->isVisible(); },
        "the replace question"));
    EXPECT_EQ(replace->text(), QStringLiteral("\u201Cout.mp4\u201D already exists. Do you want to replace it?"));
    screenshot("nothinglost-3-replace-question.png");
    QAbstractButton* cancel = buttonTitled(*replace, QStringLiteral("Cancel"));
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return !replace || !replace->isVisible(); }, "the question to close"));
    EXPECT_TRUE(panel->isVisible());
    panel->reject();
    ASSERT_TRUE(waitFor([] { return shownFilePanel() == nullptr; }, "the panel to close"));

    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"out.mp4"});
    EXPECT_TRUE(test::readTextFile(folder / "out.mp4") == earlier) << "the earlier movie changed";
    EXPECT_FALSE(sheet.controller().isExporting());
    EXPECT_EQ(sheet.controller().status(), "Choose format and destination.");
}

// "Clip.tavlek": the frame-stamp movie "V01.mp4" on V1 for 2 s, and on A1 "Voice.wav", whose
// bytes are no sound; opened as a file named on the command line.
class UnreadableAudioScenario : public ExportSheetScenario {
protected:
    void SetUp() override
    {
        media = folders.scratch() / "Clip_media";
        fs::create_directories(media);
        ClipSettings settings;
        settings.width = 320;
        settings.height = 180;
        settings.frameCount = 2 * static_cast<int>(fps);
        settings.videoArgs = "-preset ultrafast";
        makeClip(media / "V01.mp4", settings);
        std::ofstream(media / "Voice.wav", std::ios::binary) << "these bytes are not a sound";
        EditSession session = EditSession::blankProject("Clip", 320, 180, fps);
        session.sources = {EditSession::Source("src-v", "V01.mp4", "video"),
                           EditSession::Source("src-a", "Voice.wav", "audio")};
        EditSession::Timeline& timeline = session.timelines.front();
        for (const auto& [id, type, source, name] :
             {std::tuple{"v", "video", "src-v", "V01.mp4"}, std::tuple{"a", "audio", "src-a", "Voice.wav"}}) {
            EditSession::Clip clip(id);
            clip.type = type;
            clip.name = name;
            clip.sourceId = source;
            clip.track = 1;
            clip.startTime = 0.0;
            clip.duration = 2.0;
            clip.inPoint = 0.0;
            clip.outPoint = 2.0;
            timeline.clips.push_back(clip);
        }
        const fs::path file = folders.scratch() / "Clip.tavlek";
        session.saveProject(file, media.string());
        openInWindow(file);
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(waitFor([&] { return workspace().sessionURL() == file && workspace().canExport(); },
                            "the opened project"));
    }

    fs::path media;
};

// The export to a new name fails with the export's own error naming "Voice.wav" (FFmpeg's
// reason), shown in the sheet's alert, and the output folder holds neither the movie nor a
// hidden partial file.
TEST_F(UnreadableAudioScenario, AnExportWhoseAudioCannotBeReadFailsByNameAndLeavesNoFile)
{
    const fs::path folder = folders.scratch() / "Movies";
    fs::create_directories(folder);
    EditorExportSheet& sheet = openExportSheet();
    const ExportSheetController& run = sheet.controller();
    QTest::mouseClick(sheet.findChild<QPushButton*>(QStringLiteral("exportButton")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the save panel"));
    choose(*panel, folder / "Clip_export.mp4");
    ASSERT_TRUE(waitFor([&] { return !run.isExporting() && run.status() == "Export failed."; }, "the export to fail", 600))
        << run.status();

    EXPECT_TRUE(run.showError());
    ASSERT_NE(sheet.errorAlert(), nullptr);
    EXPECT_TRUE(sheet.errorAlert()->isVisible());
    EXPECT_EQ(run.errorText(),
              "Cannot open \"" + (media / "Voice.wav").string() + "\": Invalid data found when processing input");
    EXPECT_EQ(sheet.errorAlert()->text().toStdString(), run.errorText());
    screenshot("nothinglost-4-unreadable-audio.png");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{});
}

} // namespace
} // namespace velmora::test
