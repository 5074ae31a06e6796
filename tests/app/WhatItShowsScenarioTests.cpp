// What the real window shows at its default size is true: the graded paused picture has the
// levels of the exported frame, an export whose sound file has gone fails by the file's name and
// writes nothing, and the status line's words are on the screen.
#include <algorithm>

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "AppScenario.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "export_workspaces/EditorExportSheet.h"
#include "preview/GradedPreviewController.h"
#include "preview/GradedPreviewView.h"
#include "support/AudioFixtures.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "support/model/SessionBuilders.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditToolsBar.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// "Grey.tavlek" at 25 fps on a 320 × 180 canvas: on V1 "G01.mp4" (flat grey, R'G'B' 47) for 2 s,
// graded with "Tint.cube", which bends each channel's middle (0.5 to 0.7, 0.6 and 0.4) and so
// tints the grey to about (66, 56, 38) and keeps the stamp's black and white; on A1 "Voice.wav",
// a tone.
// "Two.cube" beside them is a LUT of 2 points, which cannot grade.
struct GreyProject {
    fs::path file;
    fs::path media;
};

GreyProject writeGreyProject(const fs::path& folder)
{
    GreyProject project{folder / "Grey.tavlek", folder / "Grey_media"};
    fs::create_directories(project.media);
    ClipSettings settings;
    settings.width = 320;
    settings.height = 180;
    settings.pattern = ClipPattern::flatGrey;
    settings.videoArgs = "-preset ultrafast";
    makeClip(project.media / "G01.mp4", settings);
    makeToneFile(project.media / "Voice.wav", {{440, 2}});
    writeTextFile(project.media / "Tint.cube", bentMiddleCubeText(0.7, 0.6, 0.4));
    writeTextFile(project.media / "Two.cube", twoPointCubeText());

    EditSession session = EditSession::blankProject("Grey", 320, 180, 25);
    session.sources = {EditSession::Source("src-g", "G01.mp4", "video"),
                       EditSession::Source("src-voice", "Voice.wav", "audio")};
    EditSession::Clip grey = clip("g", "video", 0.0, 2.0, 1, "G01.mp4");
    grey.sourceId = "src-g";
    grey.outPoint = 2.0;
    grey.grade = EditSession::clipGrade("Tint.cube");
    EditSession::Clip voice = clip("voice", "audio", 0.0, 2.0, 1, "Voice.wav");
    voice.sourceId = "src-voice";
    voice.outPoint = 2.0;
    session.timelines.front().clips = {grey, voice};
    session.saveProject(project.file, project.media.string());
    return project;
}

class WhatItShowsScenario : public AppScenario {
protected:
    void SetUp() override
    {
        grey = writeGreyProject(folders.scratch());
        openInWindow(grey.file);
        if (HasFatalFailure())
            return;
        // The poster frame lands after the build; the scenario starts once both are there.
        ASSERT_TRUE(waitFor(
            [this] {
                return workspace().sessionURL() == grey.file && previewReady() &&
                       engine().session()->sources.front().thumbnailData;
            },
            "the grey project's preview and poster frame"))
            << engine().status();
    }

    GreyProject grey;
};

TEST_F(WhatItShowsScenario, TheMonitorsGreyTheMissingSoundAndTheStatusLineAreTrue)
{
    EXPECT_EQ(window().size(), QSize(1280, 900));

    // Grade on, paused at 1 s: the monitor's tinted grey is the exported frame's, within 2 code
    // values, and its top quarter shows that frame's number.
    QTest::mouseClick(edit().topBar()->gradeToggle(), Qt::LeftButton);
    ASSERT_TRUE(waitFor([this] { return engine().gradePreviewEnabled(); }, "the grade preview"));
    // 47 × 1.4, × 1.2, × 0.8: the LUT grades it.
    EXPECT_TRUE(monitorShowsTheExportedFrame(seekWithRuler(1.0), "what-it-shows-1-graded-grey.png",
                                             folders.scratch() / "Grey_export.mp4", qRgb(66, 56, 38)));
    QTest::mouseClick(edit().exportSheet()->findChild<QPushButton*>(QStringLiteral("closeButton")), Qt::LeftButton);

    // A LUT of 2 points chosen for the clip: the status line says why it cannot be used, on the
    // screen at the end of the tools bar, the whole text in its tooltip.
    engine().setSelectedClipId(std::string("g"));
    VelmoraDarkPopUpPicker& picker = *edit().topBar()->clipLutPicker();
    ASSERT_TRUE(waitFor([&] { return picker.isEnabled(); }, "the clip LUT picker"));
    ASSERT_TRUE(waitFor(
        [&] {
            const std::vector<std::string>& tags = picker.selectableTags();
            return std::find(tags.begin(), tags.end(), "Two.cube") != tags.end();
        },
        "Two.cube among the picker's LUTs"));
    picker.pickIndex(VelmoraDarkPopUpPicker::rowForSelection(picker.selectableTags(), "Two.cube"));
    const std::string unusable = "LUT Two.cube cannot be used: LUT_3D_SIZE 2 (needs 3 or more) \u2014 picture left "
                                 "without it \u00B7 ";
    ASSERT_TRUE(waitFor([&] { return engine().status().starts_with(unusable); }, "the LUT's status")) << engine().status();
    const QLabel& status = *edit().findChild<EditToolsBar*>()->statusLabel();
    ASSERT_TRUE(waitFor([&] { return status.toolTip().toStdString() == engine().status(); }, "the status line"))
        << status.text().toStdString();
    EXPECT_TRUE(waitFor([&] { return globalRect(window()).contains(globalRect(status)); }, "the status line inside the window"));
    EXPECT_FALSE(status.visibleRegion().isEmpty());
    EXPECT_TRUE(status.text().startsWith(QStringLiteral("LUT Two.cube cannot be used"))) << status.text().toStdString();
    screenshot("what-it-shows-2-status-line.png", globalRect(window()));

    // The sound file gone from the media folder, the project opened again: its export fails with
    // the missing file's name, and nothing is written.
    fs::remove(grey.media / "Voice.wav");
    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("Open…")), Qt::LeftButton);
    QMessageBox* question = nullptr;
    ASSERT_TRUE(waitFor([&] { return (question = edit().discardDialog()) && question->isVisible(); }, "the question"));
    pressRole(*question, QMessageBox::DestructiveRole);
    QFileDialog* panel = nullptr;
    ASSERT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the open panel"));
    choose(*panel, grey.file);
    ASSERT_TRUE(waitFor([&] { return workspace().sessionURL() == grey.file && workspace().canExport(); },
                        "the project opened again"));
    const fs::path second = folders.scratch() / "Movies" / "Grey_again.mp4";
    fs::create_directories(second.parent_path());
    const ExportSheetController& failed = exportTo(second);
    EXPECT_EQ(failed.status(), "Export failed.");
    EXPECT_TRUE(failed.showError());
    EXPECT_TRUE(failed.errorText().starts_with("Missing source files in Media Folder:\nVoice.wav")) << failed.errorText();
    screenshot("what-it-shows-3-missing-sound.png");
    EXPECT_TRUE(fs::is_empty(second.parent_path()));
}

} // namespace
} // namespace velmora::test
