// Names that are not UTF-8 on the real window. A file named on the command line, as
// `velmora-editor $'…/Trip\xe9.tavlek'` hands it over: the window opens it by its bytes and names
// it with those bytes escaped. A media file so named in an imported folder: left out and named
// escaped, with what to do, while the rest is imported and the project saves. Files on the
// command line that do not open are named, quoting no more than a few dozen characters of them.
// A project in a folder so named: it saves, and opens again with its media. A project that names
// its missing media file and its clip's LUT by megabytes of text: every place shows them cut in
// the middle, and the window answers as it does for any project.
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "AppScenario.h"
#include "platform/foundation/ShownText.h"
#include "app/EditorApplication.h"
#include "workspace/shell/VelmoraDesktopShellView.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "support/model/SessionBuilders.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/program/PreviewArea.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class OddNameScenario : public AppScenario {
protected:
    // The scenario opens a project of its own.
    void SetUp() override {}
};

TEST_F(OddNameScenario, AProjectWhoseNameIsNotUtf8OpensFromTheCommandLine)
{
    const fs::path file = folders.scratch() / "Trip\xe9.tavlek";
    // A placeholder name: the window names the project after its file.
    writeOneMovieProject(file, folders.scratch() / "Trip_media", "Untitled Project", "a.mp4", 30, 30, 1.0);

    openInWindow(file);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitFor([&] { return previewReady(); }, "the project's picture")) << engine().status();
    EXPECT_EQ(workspace().sessionURL(), file);
    EXPECT_FALSE(workspace().showError()) << workspace().errorText();
    EXPECT_EQ(edit().topBar()->projectNameLabel()->text().toStdString(), "Trip\\xE9");
    screenshot("odd-name-1-opened.png", globalRect(window()));
}

TEST_F(OddNameScenario, AMediaFileWhoseNameIsNotUtf8IsLeftOutAtImportAndTheProjectSaves)
{
    const fs::path card = folders.scratch() / "card";
    fs::create_directories(card);
    ClipSettings clip;
    // At the rate of the project an import starts: no frame-rate question.
    clip.fpsNum = 24;
    clip.frameCount = 30;
    makeClip(card / "A001.mp4", clip);
    makeClip(card / "caf\xe9.mp4", clip);

    showWindow();
    ASSERT_FALSE(HasFatalFailure());
    importWithPanel(card);
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(waitFor([&] { return (alert = edit().errorAlert()) && alert->isVisible(); }, "the import's alert"))
        << engine().status();
    EXPECT_EQ(alert->informativeText().toStdString(),
              "Some files were not imported:\ncaf\\xE9.mp4: the name is not UTF-8 text, which a project cannot store "
              "(rename the file, then import it)");
    ASSERT_EQ(engine().session()->sources.size(), 1u);
    EXPECT_EQ(engine().session()->sources[0].fileName, "A001.mp4");
    EXPECT_FALSE(fs::exists(*workspace().mediaFolderURL() / "caf\xe9.mp4"));
    screenshot("odd-name-2-import-refused.png", globalRect(window()));
    pressRole(*alert, QMessageBox::RejectRole);

    const EditSession saved = saveAs(folders.scratch() / "Cafe.tavlek");
    EXPECT_FALSE(workspace().showError()) << workspace().errorText();
    ASSERT_EQ(saved.sources.size(), 1u);
    EXPECT_EQ(saved.sources[0].fileName, "A001.mp4");
}

// `velmora-editor huge.json Second.tavlek`, the job holding a number of two million digits and the
// other no timeline (a single-video job to the export): each is tried, and one alert names both
// with why, quoting the number by a few dozen digits, and closes when asked.
TEST_F(OddNameScenario, FilesFromTheCommandLineThatDoNotOpenAreNamedInFewWords)
{
    const fs::path huge = folders.scratch() / "huge.json";
    writeTextFile(huge, R"({"timelines": [{"id": "t", "clips": [{"startTime": )" + std::string(2'000'000, '1') + "}]}]}");
    const fs::path second = folders.scratch() / "Second.tavlek";
    writeTextFile(second, "{}");

    showWindow();
    ASSERT_FALSE(HasFatalFailure());
    EditorApplication::openFilesFromArguments(window(), {"velmora-editor", huge.string(), second.string()});
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(waitFor([&] { return (alert = edit().errorAlert()) && alert->isVisible(); }, "the opening's alert"));
    EXPECT_EQ(alert->informativeText().toStdString(),
              "Could not load \u201Chuge.json\u201D: The given data was not valid JSON (number overflow parsing '" +
                  std::string(20, '1') + "\u2026" + std::string(20, '1') +
                  "').\n\u201CSecond.tavlek\u201D is a single-video job: open it in the 10-bit Export workspace. The "
                  "value at \u201Cversion\u201D is missing. The value at \u201Cgrade\u201D is missing.");
    EXPECT_FALSE(workspace().sessionURL());
    screenshot("odd-name-3-command-line-refused.png", globalRect(window()));
    pressRole(*alert, QMessageBox::RejectRole);
    EXPECT_TRUE(waitFor([&] { return !alert->isVisible(); }, "the alert to close"));
}

// `velmora-editor sv.json p1.tavlek`, the first a single-video job with a value of the wrong
// kind: the job is refused, named with where it opens and the value, and the project opens.
TEST_F(OddNameScenario, OfFilesFromTheCommandLineTheFirstThatOpensOpens)
{
    const fs::path sv = folders.scratch() / "sv.json";
    const std::string job = R"({"version": 1, "grade": {"lutCube": "look.cube"}, "sourceOutSeconds": "3.0"})";
    writeTextFile(sv, job);
    const fs::path p1 = folders.scratch() / "p1.tavlek";
    writeOneMovieProject(p1, folders.scratch() / "p1_media", "P1", "a.mp4", 30, 30, 1.0);

    openFilesInWindow({sv, p1});
    ASSERT_FALSE(HasFatalFailure());
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(waitFor([&] { return (alert = edit().errorAlert()) && alert->isVisible(); }, "the opening's alert"));
    EXPECT_EQ(alert->informativeText().toStdString(),
              "\u201Csv.json\u201D is a single-video job: open it in the 10-bit Export workspace. The value at "
              "\u201CsourceOutSeconds\u201D is \"3.0\", not a number.");
    EXPECT_EQ(workspace().sessionURL(), p1);
    EXPECT_TRUE(waitFor([&] { return previewReady(); }, "the project's picture")) << engine().status();
    screenshot("odd-name-5-command-line-first-that-opens.png", globalRect(window()));
    pressRole(*alert, QMessageBox::RejectRole);
    EXPECT_EQ(readTextFile(sv), job);
    EXPECT_FALSE(fs::exists(folders.scratch() / "sv_media"));
}

TEST_F(OddNameScenario, AProjectInAFolderWhoseNameIsNotUtf8SavesAndOpensAgainWithItsMedia)
{
    // Written in "cafe" and the folder renamed, as a user renames one: the absolute media path the
    // document stores names nothing now, and the media are found beside it.
    writeOneMovieProject(folders.scratch() / "cafe" / "Trip.tavlek", folders.scratch() / "cafe" / "Trip_media", "Trip",
                         "a.mp4", 30, 30, 1.0);
    const fs::path folder = folders.scratch() / "caf\xe9";
    fs::rename(folders.scratch() / "cafe", folder);
    const fs::path file = folder / "Trip.tavlek";
    const auto open = [&] {
        openInWindow(file);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(waitFor([&] { return workspace().sessionURL() == file && previewReady(); }, "the project"))
            << engine().status();
        EXPECT_EQ(workspace().mediaFolderURL(), folder / "Trip_media");
        EXPECT_TRUE(workspace().relinkMissingNames().empty());
    };
    open();
    ASSERT_FALSE(HasFatalFailure());
    engine().addMarkerAtPlayhead();
    ASSERT_TRUE(workspace().projectDirty());

    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("Save")), Qt::LeftButton);
    ASSERT_TRUE(waitFor([&] { return !workspace().projectDirty() || workspace().showError(); }, "the save"));
    EXPECT_FALSE(workspace().showError()) << workspace().errorText();
    EXPECT_EQ(engine().status(), "Saved Trip.tavlek");
    screenshot("odd-name-4-saved-in-folder.png", globalRect(window()));

    endApplication();
    open();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(engine().activeMarkers().size(), 1u);
    screenshot("odd-name-5-opened-again.png", globalRect(window()));
}

// The names generated at three megabytes each: the relink alert lists the missing file's, the
// status line the LUT's, both cut in the middle; the alert closes, a click on the clip selects it
// and a click on the ruler seeks, each answered while the names stay whole in the project.
TEST_F(OddNameScenario, NamesOfMegabytesAreShownCutInTheMiddleAndTheWindowAnswers)
{
    std::string accents;
    accents.reserve(3'000'000);
    for (int i = 0; i < 1'500'000; ++i)
        accents += "\u00E9";
    const std::string gone = "Gone " + accents + ".mp4";
    const std::string look = "Look " + accents + ".cube";
    const fs::path file = folders.scratch() / "Long.tavlek";
    writeOneMovieProject(file, folders.scratch() / "Long_media", "Long", "a.mp4", 30, 30, 1.0,
                         [&](EditSession& session, EditSession::Clip& shot) {
                             session.sources.push_back(EditSession::Source("src-gone", gone, "video"));
                             shot.grade = EditSession::clipGrade(look);
                         });

    openInWindow(file);
    ASSERT_FALSE(HasFatalFailure());
    QMessageBox* alert = nullptr;
    ASSERT_TRUE(waitFor([&] { return (alert = edit().relinkAlert()) && alert->isVisible(); }, "the relink alert"))
        << engine().status().substr(0, 300);
    const std::string relink = alert->informativeText().toStdString();
    EXPECT_TRUE(relink.ends_with("\n\n" + shownText(gone))) << relink.substr(0, 300);
    EXPECT_EQ(workspace().relinkMissingNames(), std::vector<std::string>{gone});
    screenshot("odd-name-6-long-names-relink.png", globalRect(window()));
    pressRole(*alert, QMessageBox::RejectRole);
    ASSERT_TRUE(waitFor([&] { return !alert->isVisible(); }, "the alert to close"));

    const std::string lutNotFound = "LUT " + shownText(look) + " not found";
    ASSERT_TRUE(waitFor([&] { return previewReady() && engine().status().starts_with(lutNotFound); },
                        "the picture and the LUT's warning"))
        << engine().status().substr(0, 300);
    EXPECT_LT(engine().status().size(), 3 * shownTextBytes);

    TimelineStripView& strip = timeline();
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, blockOf(strip.model(), "c").center().toPoint());
    ASSERT_TRUE(waitFor([&] { return engine().selectedClipId() == "c"; }, "the clip to be selected"));
    EXPECT_EQ(workspace().lutPickerTitle(look), shownText(look) + " (missing)");
    seekWithRuler(0.5);
    EXPECT_EQ(edit().previewArea()->linkedSourceLabel()->text().toStdString(), "Source: a.mp4 \u00B7 V1");
    EXPECT_NE(engine().status().find(lutNotFound), std::string::npos);
    EXPECT_LT(engine().status().size(), 3 * shownTextBytes);
    EXPECT_EQ(engine().session()->sources.at(1).fileName, gone);
    screenshot("odd-name-7-long-names-selected.png", globalRect(window()));
}

} // namespace
} // namespace velmora::test
