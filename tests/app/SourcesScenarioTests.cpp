// The files the real window shows are the files the lookup finds: a browser project whose media
// lie in a "media" folder beside it gets the poster of every card from there. A browser editor's
// job named on the command line is not this editor's project: Save asks for a place of its own
// and the job stays as it was.
#include <algorithm>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "AppScenario.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class SourcesScenario : public AppScenario {
protected:
    // The scenario opens its own project.
    void SetUp() override {}

    // A browser editor's job "coast_desktop_v2_job.json" in `folder`, beside "media", which holds
    // a movie and a still; `more` is spliced into its object (with a leading comma) and
    // `moreClips` into its clips.
    static fs::path writeCoastJob(const fs::path& folder, const std::string& more = {},
                                  const std::string& moreClips = {})
    {
        fs::create_directories(folder / "media");
        ClipSettings settings;
        settings.width = 320;
        settings.height = 180;
        settings.videoArgs = "-preset ultrafast";
        makeClip(folder / "media" / "DJI_0042.MP4", settings);
        makeStillImage(folder / "media" / "Card.png", 320, 180, 5);
        const fs::path job = folder / "coast_desktop_v2_job.json";
        writeTextFile(job, R"({"tool": "velmora-editor-desktop-export", "version": 2, "grade": {"lutCube": ""},
        "project": {"name": "Coast", "width": 320, "height": 180, "fps": 30},
        "sources": [{"id": "s1", "fileName": "DJI_0042.MP4", "type": "video"},
                    {"id": "s2", "fileName": "Card.png", "type": "image"}],
        "timelines": [{"id": "t", "clips": [
            {"id": "c1", "type": "video", "sourceId": "s1", "name": "DJI_0042.MP4", "track": 1, "startTime": 0, "duration": 2},
            {"id": "c2", "type": "image", "sourceId": "s2", "name": "Card.png", "track": 1, "startTime": 2, "duration": 1})" +
                               moreClips + "]}]" + more + "}");
        return job;
    }
};

TEST_F(SourcesScenario, ABrowserProjectsCardsGetTheirPostersFromItsMediaFolder)
{
    const fs::path folder = folders.scratch() / "coast";
    const fs::path job = writeCoastJob(folder);
    openInWindow(job);
    ASSERT_FALSE(HasFatalFailure());

    const auto everyCardHasItsPoster = [this] {
        const std::shared_ptr<EditSession>& session = engine().session();
        return session && session->sources.size() == 2 &&
               std::all_of(session->sources.begin(), session->sources.end(),
                           [](const EditSession::Source& source) { return source.thumbnailData.has_value(); });
    };
    const bool postered = waitFor([&] { return previewReady() && everyCardHasItsPoster(); }, "every card's poster");
    screenshot("sources-1-posters-from-media-folder.png", globalRect(window()));
    EXPECT_TRUE(postered) << engine().status();
    EXPECT_EQ(workspace().mediaFolderURL(), folder);
    EXPECT_TRUE(workspace().relinkMissingNames().empty());
}

// Opened from the command line, a browser editor's job (with a text clip on a lane of its own and
// its output) is not saved yet; Save asks for a place beside it under the project's name, and
// the job is left byte for byte as it was; later saves go to the project saved.
TEST_F(SourcesScenario, ABrowserJobIsSavedAsAProjectOfItsOwnAndLeftAsItWas)
{
    const fs::path folder = folders.scratch() / "coast";
    const fs::path job = writeCoastJob(
        folder, R"(, "output": {"width": 320, "height": 180, "fps": 30, "container": "mp4"})",
        R"(, {"id": "c3", "type": "text", "name": "Title", "text": "Hello", "track": 2, "startTime": 0, "duration": 1})");
    const std::string bytes = readTextFile(job);
    openInWindow(job);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(waitFor([&] { return previewReady(); }, "the job's picture")) << engine().status();
    const QLabel& title = *edit().topBar()->projectNameLabel();
    EXPECT_EQ(title.text().toStdString(), "Coast \u2022");
    EXPECT_TRUE(workspace().projectDirty());

    const fs::path saved = folder / "Coast.tavlek";
    EXPECT_EQ(saveThroughPanel(QStringLiteral("Save"), saved), "Coast.tavlek");
    screenshot("sources-2-job-saved-as-project.png", globalRect(window()));
    EXPECT_EQ(readTextFile(job), bytes);
    EXPECT_EQ(EditSession::load(saved).tool, "velmora-editor-desktop-edit");
    EXPECT_EQ(title.text().toStdString(), "Coast");

    engine().addMarkerAtPlayhead();
    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("Save")), Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return !workspace().projectDirty(); }, "the save")) << workspace().errorText();
    EXPECT_EQ(shownFilePanel(), nullptr);
    EXPECT_EQ(EditSession::load(saved).timelines.at(0).markers.size(), 1u);
    EXPECT_EQ(readTextFile(job), bytes);
}

} // namespace
} // namespace velmora::test
