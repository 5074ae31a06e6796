// The files the real window shows are the files the lookup finds: a browser project whose media
// lie in a "media" folder beside it gets the poster of every card from there.
#include <algorithm>

#include "AppScenario.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "workspace/shell/VelmoraDesktopShellView.h"

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

class SourcesScenario : public AppScenario {
protected:
    // The scenario opens its own project.
    void SetUp() override {}
};

TEST_F(SourcesScenario, ABrowserProjectsCardsGetTheirPostersFromItsMediaFolder)
{
    // A browser editor's job beside "media", which holds a movie and a still.
    const fs::path folder = folders.scratch() / "coast";
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
            {"id": "c2", "type": "image", "sourceId": "s2", "name": "Card.png", "track": 1, "startTime": 2, "duration": 1}]}]})");
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

} // namespace
} // namespace velmora::test
