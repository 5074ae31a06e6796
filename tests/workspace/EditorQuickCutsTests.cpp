// Cuts made by keys in quick succession while the background work of the open project (preview
// builds, poster frames) lands at random moments: every cut reaches the saved file where it was
// made.
#include <algorithm>
#include <cmath>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "support/MediaFixtures.h"
#include "support/model/SessionBuilders.h"
#include "workspace/keys/EditorKeyRouter.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;

constexpr double fps = 25;

// "Cuts.tavlek" in `folder` at 25 fps with its media in `media`: ten 4 s clips on V1 from 0 s, all
// of the movie "A.mp4" (one source, so each poster round decodes one file).
fs::path writeCutsProject(const fs::path& folder, const fs::path& media)
{
    fs::create_directories(folder);
    EditSession session = EditSession::blankProject("Cuts", 320, 180, fps);
    session.sources = {EditSession::Source("src-a", "A.mp4", "video")};
    for (int k = 0; k < 10; ++k) {
        EditSession::Clip clip("k" + std::to_string(k + 1));
        clip.type = "video";
        clip.name = "A.mp4";
        clip.sourceId = "src-a";
        clip.track = 1;
        clip.startTime = 4.0 * k;
        clip.duration = 4.0;
        clip.inPoint = 0.0;
        session.timelines.front().clips.push_back(clip);
    }
    const fs::path file = folder / "Cuts.tavlek";
    session.saveProject(file, media.string());
    return file;
}

TEST(QuickCuts, EveryCutByKeysSurvivesBackgroundResultsLandingAtRandomMoments)
{
    const std::vector<int> expected{0,   10,  13,  16,  19,  22,  25,  28,  31,  34,
                                    37, 100, 200, 300, 400, 500, 600, 700, 800, 900};
    const test::TempDir media;
    test::ClipSettings movie;
    movie.frameCount = 25;
    test::makeClip(media / "A.mp4", movie);
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        WorkspaceHarness h({WorkspaceHarness::Views::none, true});
        const fs::path file = writeCutsProject(h.folders.scratch(), media.path());
        EditorWorkspaceController& w = h.workspace();
        w.handleOpenURL(file);
        const EditorKeyboardHandler keys = w.keyboardHandler();
        std::mt19937 random(seed);
        std::vector<bool> answered;

        // One of the things that may happen between two keys, chosen at random.
        const auto somethingLands = [&] {
            switch (random() % 6) {
            case 0: { // a preview build finishes, the newest or an older one
                answered.resize(h.builder->buildCount(), false);
                std::vector<std::size_t> open;
                for (std::size_t i = 0; i < answered.size(); ++i) {
                    if (!answered[i])
                        open.push_back(i);
                }
                if (!open.empty()) {
                    const std::size_t index = open[random() % open.size()];
                    answered[index] = true;
                    h.builder->finish(h.engine().durationSeconds(), index);
                }
                break;
            }
            case 1: // the poster frames made so far land
                h.runBackgroundWork();
                break;
            case 2: { // a source loses its picture and asks for it again
                EditSession::Source& source = h.session().sources.front();
                source.thumbnailData.reset();
                w.generateThumbnailsForSources({source.id}, *w.mediaFolderURL());
                break;
            }
            case 3: // time passes: debounced rebuilds, seek watchdogs, scrub bursts
                h.queue->advance(0.05 * (random() % 40));
                break;
            default: // what is posted runs
                h.queue->runUntilIdle();
                break;
            }
        };
        const auto press = [&](EditorKey key) {
            somethingLands();
            EditorKeyPress keyPress;
            keyPress.key = key;
            ASSERT_TRUE(EditorKeyRouter::route(keyPress, keys));
        };

        for (int k = 0; k < 10; ++k)
            press(EditorKey::rightArrow);
        press(EditorKey::s);
        for (int round = 0; round < 9; ++round) {
            for (int k = 0; k < 3; ++k)
                press(EditorKey::rightArrow);
            press(EditorKey::s);
            ASSERT_EQ(h.session().timelines.front().clips.size(), 12u + round) << h.engine().status();
        }
        for (int k = 0; k < 8; ++k)
            somethingLands();
        h.runBackgroundWork();
        h.settle();

        w.saveProject();
        ASSERT_EQ(test::startFrames(EditSession::load(file), fps), expected);
    }
}

} // namespace
} // namespace velmora
