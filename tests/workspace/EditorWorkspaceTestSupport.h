#pragma once

// A whole Edit workspace for tests: the real engine on a manual main queue and clock (no
// composition builder unless asked for), fake file panels and reveal, the user's folders inside
// a temporary folder, and generated projects to open.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractButton>
#include <QWidget>
#include <gtest/gtest.h>

#include "controls/VelmoraWorkflowState.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "preview/FakeCompositionBuilder.h"
#include "support/TestSupport.h"
#include "support/ui/FakeFilePanels.h"
#include "workspace/EditorContentView.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/shell/EditorWorkspacePieces.h"

namespace velmora::test {

// The button inside `parent` that shows `title` ("&&" in a button's text shows one "&").
inline QAbstractButton* buttonTitled(const QWidget& parent, const QString& title)
{
    for (QAbstractButton* button : parent.findChildren<QAbstractButton*>()) {
        if (button->text().replace(QStringLiteral("&&"), QStringLiteral("&")) == title)
            return button;
    }
    return nullptr;
}

// `stem`, `count` times "é", then `extension`: a name as long as a test needs it.
std::string longName(const std::string& stem, std::size_t count, const std::string& extension = "");
// Whether `shown` is `expected`; when not, says their sizes and how each starts and ends, never
// the whole of a text that may be megabytes long.
::testing::AssertionResult readsAs(const std::string& shown, const std::string& expected);

// HOME, the XDG configuration and videos folders, the temporary folder and an empty application
// resources folder, all inside one temporary folder, for as long as the object lives.
class UserFoldersScope {
public:
    UserFoldersScope();
    ~UserFoldersScope();
    UserFoldersScope(const UserFoldersScope&) = delete;
    UserFoldersScope& operator=(const UserFoldersScope&) = delete;

    std::filesystem::path home() const { return root_.path() / "home"; }
    std::filesystem::path videos() const { return home() / "Videos"; }
    std::filesystem::path temporary() const { return root_.path() / "tmp"; }
    // A fresh folder for a test's own files.
    std::filesystem::path scratch() const { return root_.path() / "files"; }

private:
    TempDir root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A project document "Trip.tavlek" with its media folder "Trip_media" beside it: source
// "DJI_0001.MP4" as video clip "v1" (0–4 s, lane 1, name "DJI_0001.MP4") with its linked audio
// "a1" ("DJI_0001 (Audio)", audio lane 1, same group), a still "still" ("Still.png", 4–6 s,
// lane 2) and a lone audio clip "music" ("Music.wav", 6–9 s, audio lane 2). The media files
// are empty files unless `realMedia`, which makes a short real movie for DJI_0001.MP4.
struct GeneratedProject {
    std::filesystem::path file;
    std::filesystem::path media;
};
GeneratedProject writeProject(const std::filesystem::path& folder, bool realMedia = false);

// A clip id with the random suffix of a cut's right part ("<id>_b_" and eight hex digits)
// replaced by "*".
std::string stableClipId(const std::string& id);

// Every clip of the active timeline as "id start+duration@lane fade in/out lut <file>", ids as
// stableClipId gives them.
std::vector<std::string> describeTimeline(const EditSession& session);

struct WorkspaceHarness {
    enum class Views { none, workspace };
    struct Options {
        Views views = Views::none;
        // Installs a fake player on every preview rebuild the test finishes.
        bool fakePlayer = false;
        // The pieces the workspace is given (Views::workspace); empty ones get stand-ins.
        EditorWorkspacePieces pieces = {};
        // Background work runs on the workspace's own worker instead of `background`.
        bool ownBackgroundWorker = false;
        // The engine's worker work (LUT listings, choosing an opened project's media folder)
        // waits in `background` too, instead of running at once.
        bool engineWorkInBackground = false;
    };

    WorkspaceHarness() : WorkspaceHarness(Options{}) {}
    explicit WorkspaceHarness(Options options);
    ~WorkspaceHarness();

    EditorWorkspaceController& workspace() const { return *workspace_; }
    TimelinePreviewEngine& engine() const { return workspace_->engine(); }
    EditSession& session() const { return *engine().session(); }
    // The Edit workspace's widget (Views::workspace only).
    EditorContentView& view() const { return *view_; }

    // Opens the project through the workspace's own open-file handler and lets deferred work run.
    void open(const GeneratedProject& project);
    // Runs the main queue for a while (debounced rebuilds); answers a rebuild with a fake player
    // when asked for.
    void settle();
    // Runs the work handed to the background (poster frames, the engine's with
    // engineWorkInBackground) on a thread of its
    // own, then what it posted back to the main queue, until none is left.
    void runBackgroundWork();

    UserFoldersScope folders;
    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(100.0);
    std::shared_ptr<FakeCompositionBuilder> builder;
    std::shared_ptr<FakeFilePanels> panels = std::make_shared<FakeFilePanels>();
    std::shared_ptr<FakeFileRevealer> revealer = std::make_shared<FakeFileRevealer>();
    // Background work handed over and not yet run.
    std::shared_ptr<std::vector<std::function<void()>>> background =
        std::make_shared<std::vector<std::function<void()>>>();
    VelmoraWorkflowState workflow;

private:
    std::unique_ptr<EditorContentView> view_;
    std::unique_ptr<EditorWorkspaceController> ownController_;
    EditorWorkspaceController* workspace_ = nullptr;
    std::size_t answeredBuilds_ = 0;
};

} // namespace velmora::test
