#include "EditorWorkspaceTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/foundation/NumberText.h"
#include "support/MediaFixtures.h"
#include "support/model/SessionBuilders.h"

namespace velmora::test {

namespace fs = std::filesystem;

namespace {

void setVariable(const std::string& name, const std::string& value)
{
    ::setenv(name.c_str(), value.c_str(), 1);
}

void touch(const fs::path& file)
{
    std::ofstream(file).put('\0');
}

} // namespace

UserFoldersScope::UserFoldersScope()
{
    for (const fs::path& folder : {home(), videos(), temporary(), scratch(), root_.path() / "resources"})
        fs::create_directories(folder);
    const std::vector<std::pair<std::string, std::string>> variables = {
        {"HOME", home().string()},
        {"XDG_CONFIG_HOME", (home() / ".config").string()},
        {"XDG_VIDEOS_DIR", videos().string()},
        {"TMPDIR", temporary().string()},
        {"VELMORA_RESOURCES_DIR", (root_.path() / "resources").string()},
    };
    for (const auto& [name, value] : variables) {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setVariable(name, value);
    }
}

UserFoldersScope::~UserFoldersScope()
{
    for (const auto& [name, old] : saved_) {
        if (old)
            setVariable(name, *old);
        else
            ::unsetenv(name.c_str());
    }
}

std::string longName(const std::string& stem, std::size_t count, const std::string& extension)
{
    std::string name = stem;
    name.reserve(stem.size() + 2 * count + extension.size());
    for (std::size_t i = 0; i < count; ++i)
        name += "\u00E9";
    return name + extension;
}

::testing::AssertionResult readsAs(const std::string& shown, const std::string& expected)
{
    if (shown == expected)
        return ::testing::AssertionSuccess();
    const auto ends = [](const std::string& text) {
        return NumberText::integer(static_cast<std::int64_t>(text.size())) + " bytes \"" + text.substr(0, 80) +
               "\" \u2026 \"" + text.substr(text.size() - std::min<std::size_t>(text.size(), 80)) + "\"";
    };
    return ::testing::AssertionFailure() << "reads " << ends(shown) << " instead of " << ends(expected);
}

GeneratedProject writeProject(const fs::path& folder, bool realMedia)
{
    GeneratedProject project{folder / "Trip.tavlek", folder / "Trip_media"};
    fs::create_directories(project.media);
    if (realMedia) {
        ClipSettings settings;
        settings.frameCount = 100; // 4 s at 25 fps
        settings.audio = true;
        settings.audioSeconds = 4;
        makeClip(project.media / "DJI_0001.MP4", settings);
        makeStillImage(project.media / "Still.png", 64, 48, 3);
    } else {
        touch(project.media / "DJI_0001.MP4");
        touch(project.media / "Still.png");
    }
    touch(project.media / "Music.wav");

    EditSession session = EditSession::blankProject("Trip", 1920, 1080, 25);
    session.sources = {EditSession::Source("src-video", "DJI_0001.MP4", "video"),
                       EditSession::Source("src-still", "Still.png", "image"),
                       EditSession::Source("src-music", "Music.wav", "audio")};
    EditSession::Clip video = clip("v1", "video", 0, 4, 1, "DJI_0001.MP4");
    video.sourceId = "src-video";
    video.groupId = "g1";
    EditSession::Clip audio = clip("a1", "audio", 0, 4, 1, "DJI_0001 (Audio)");
    audio.sourceId = "src-video";
    audio.groupId = "g1";
    EditSession::Clip still = clip("still", "image", 4, 2, 2, "Still.png");
    still.sourceId = "src-still";
    EditSession::Clip music = clip("music", "audio", 6, 3, 2, "Music.wav");
    music.sourceId = "src-music";
    session.timelines.front().clips = {video, audio, still, music};
    session.saveProject(project.file, project.media.string());
    return project;
}

std::string stableClipId(const std::string& id)
{
    const auto cut = id.find("_b_");
    return cut == std::string::npos ? id : id.substr(0, cut) + "_b_*";
}

std::vector<std::string> describeTimeline(const EditSession& session)
{
    std::vector<std::string> rows;
    const std::optional<EditSession::Timeline> timeline = session.activeTimeline();
    if (!timeline)
        return rows;
    for (const EditSession::Clip& clip : timeline->clips) {
        std::string row = stableClipId(clip.id) + " " + NumberText::shortest(clip.startTime.value_or(0)) + "+" +
                          NumberText::shortest(clip.duration.value_or(0)) + "@" +
                          NumberText::integer(clip.track.value_or(1));
        if (clip.fadeIn || clip.fadeOut)
            row += " fade " + NumberText::shortest(clip.fadeIn.value_or(0)) + "/" +
                   NumberText::shortest(clip.fadeOut.value_or(0));
        if (clip.grade && clip.grade->lutFile)
            row += " lut " + *clip.grade->lutFile;
        rows.push_back(row);
    }
    return rows;
}

WorkspaceHarness::WorkspaceHarness(Options options)
{
    if (options.fakePlayer)
        builder = std::make_shared<FakeCompositionBuilder>(queue);
    EditorWorkspaceController::Services services;
    services.engine = {queue, clock, builder};
    if (options.engineWorkInBackground)
        services.engine.runInBackground = [pending = background](std::function<void()> work) {
            pending->push_back(std::move(work));
        };
    services.filePanels = panels;
    services.fileRevealer = revealer;
    services.shortVersion = "2.1";
    services.buildNumber = "57";
    if (!options.ownBackgroundWorker) {
        services.runInBackground = [pending = background](std::function<void()> work) {
            pending->push_back(std::move(work));
        };
    }
    if (options.views == Views::workspace) {
        view_ = std::make_unique<EditorContentView>(workflow, services, options.pieces);
        view_->resize(1280, 850);
        workspace_ = &view_->controller();
    } else {
        ownController_ = std::make_unique<EditorWorkspaceController>(workflow, services);
        workspace_ = ownController_.get();
    }
}

WorkspaceHarness::~WorkspaceHarness()
{
    view_.reset();
    ownController_.reset();
}

void WorkspaceHarness::open(const GeneratedProject& project)
{
    workspace_->handleOpenURL(project.file);
    settle();
}

void WorkspaceHarness::runBackgroundWork()
{
    while (!background->empty()) {
        std::vector<std::function<void()>> work;
        work.swap(*background);
        std::thread worker([&work] {
            for (const auto& item : work)
                item();
        });
        worker.join();
        queue->runUntilIdle();
    }
}

void WorkspaceHarness::settle()
{
    queue->advance(0.5);
    if (builder && builder->buildCount() > answeredBuilds_) {
        answeredBuilds_ = builder->buildCount();
        builder->finish(engine().durationSeconds());
        queue->advance(0.5);
    }
}

} // namespace velmora::test
