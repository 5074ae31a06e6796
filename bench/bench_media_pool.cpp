// Main-thread work of the media pool and the Clip LUT picker with 3,000 and 30,000 media files in
// the media folder and 4,000 sources: the pool's refresh, with and without the sources' poster
// pictures, and the clicks that refresh the picker's entries and value (a timeline clip, a pool
// card while a clip is selected), against the folder listings they once ran; and a scrub over
// 20,000 clips, half of them naming a LUT that is not there, which the status line names.

#include <time.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <benchmark/benchmark.h>

#include "QtBenchmarkMain.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "controls/VelmoraWorkflowState.h"
#include "model/MediaResolver.h"
#include "model/ProjectLUTResolver.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/ManualMainQueue.h"
#include "platform/ui/DesktopFileRevealer.h"
#include "platform/ui/QtFilePanels.h"
#include "workspace/EditorWorkspaceController.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/pool/MediaPoolView.h"

namespace {

namespace fs = std::filesystem;
using namespace velmora;

constexpr int kSources = 4000;

// A poster as the pool's cards get them: a 320 × 180 JPEG (its size is the poster_bytes counter).
std::vector<std::uint8_t> posterPicture()
{
    QImage picture(320, 180, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x * 255 / 320, y * 255 / 180, ((x / 16 + y / 9) % 2) * 200));
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG", 72);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// A media folder of `files` empty camera files and two LUTs, and a project of kSources sources
// named after the first of them, every other one a sound without a picture, with a clip each (the
// first graded with a LUT); with `posters`, each video source holds its poster, size and rate, as
// they are once the posters have landed. The folder is made once per size and kept.
struct PoolFixture {
    PoolFixture(int files, bool posters, int lutFiles = 0)
    {
        folder = fs::temp_directory_path() /
            ("velmora-bench-pool-" + std::to_string(files) + (lutFiles ? "-luts-" + std::to_string(lutFiles) : ""));
        if (!fs::exists(folder / "done")) {
            fs::create_directories(folder);
            for (int i = 0; i < files; ++i) {
                std::ofstream(folder / fileName(i));
            }
            // Empty: the picker lists LUTs by name and never reads them.
            for (int i = 0; i < lutFiles; ++i) {
                std::ofstream(folder / ("Look " + std::to_string(100000 + i) + ".cube"));
            }
            std::ofstream(folder / "done");
        }
        for (const char* lut : {"Warm.cube", "Cool.cube"}) {
            if (!fs::exists(folder / lut))
                std::ofstream(folder / lut) << "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
        }
        session = std::make_shared<EditSession>();
        EditSession::Timeline timeline;
        timeline.id = "tl";
        const std::vector<std::uint8_t> poster = posters ? posterPicture() : std::vector<std::uint8_t>();
        posterBytes = poster.size();
        for (int i = 0; i < kSources; ++i) {
            EditSession::Source source;
            source.id = "s" + std::to_string(i);
            source.fileName = fileName(i);
            source.type = i % 2 == 0 ? "video" : "audio";
            if (posters && source.type == "video") {
                source.thumbnailData = SharedBytes(poster);
                source.width = 3840;
                source.height = 2160;
                source.framerate = 29.97;
            }
            session->sources.push_back(source);
            EditSession::Clip clip("c" + std::to_string(i));
            clip.type = source.type;
            clip.sourceId = source.id;
            clip.name = source.fileName;
            clip.startTime = 2.0 * i;
            clip.duration = 2.0;
            if (i == 0)
                clip.grade = EditSession::clipGrade("Warm.cube");
            timeline.clips.push_back(clip);
        }
        EditSession::Project project;
        project.activeTimelineId = "tl";
        session->project = project;
        session->timelines.push_back(std::move(timeline));
    }

    static std::string fileName(int i) { return "DJI_" + std::to_string(100000 + i) + (i % 2 ? ".WAV" : ".MP4"); }

    fs::path folder;
    std::shared_ptr<EditSession> session;
    std::size_t posterBytes = 0;
};

// The Edit workspace's controller (no preview builder: nothing is decoded), its media pool and its
// top bar, whose Clip LUT picker follows the selection. The engine has no worker here, so what
// an opening hands to one (the listing of the LUT folders) runs at once, outside the timing.
struct Pool {
    explicit Pool(const PoolFixture& fixture)
    {
        EditorWorkspaceController::Services services;
        services.engine = {queue, std::make_shared<ManualClock>(0.0), nullptr};
        services.filePanels = std::make_shared<QtFilePanels>();
        services.fileRevealer = std::make_shared<DesktopFileRevealer>();
        workspace = std::make_unique<EditorWorkspaceController>(workflow, services);
        workspace->engine().adoptSession(fixture.session, fixture.folder, std::nullopt, false);
        queue->runUntilIdle();
        view = std::make_unique<MediaPoolView>(*workspace);
        bar = std::make_unique<EditorTopBar>(*workspace);
    }

    std::shared_ptr<ManualMainQueue> queue = std::make_shared<ManualMainQueue>();
    VelmoraWorkflowState workflow;
    std::unique_ptr<EditorWorkspaceController> workspace;
    std::unique_ptr<MediaPoolView> view;
    std::unique_ptr<EditorTopBar> bar;
};

void BM_PoolRefresh(benchmark::State& state)
{
    const PoolFixture fixture(static_cast<int>(state.range(0)), state.range(1) != 0);
    Pool pool(fixture);
    TimelinePreviewEngine& engine = pool.workspace->engine();
    for (auto _ : state) {
        emit engine.unreadableSourcesChanged(); // the pool view alone refreshes on it
    }
    state.counters["cards"] = static_cast<double>(pool.workspace->mediaPoolCards().size());
    state.counters["poster_bytes"] = static_cast<double>(fixture.posterBytes);
}
BENCHMARK(BM_PoolRefresh)
    ->ArgsProduct({{3000, 30000}, {0, 1}})
    ->ArgNames({"files", "posters"})
    ->Unit(benchmark::kMicrosecond);

// A click on a card: the selection moves between two cards, and the pool refreshes for it.
void BM_PoolCardSelected(benchmark::State& state)
{
    const PoolFixture fixture(3000, true);
    Pool pool(fixture);
    int i = 0;
    for (auto _ : state)
        pool.workspace->selectPoolSource(fixture.session->sources[static_cast<std::size_t>(i++ % 2)].id);
}
BENCHMARK(BM_PoolCardSelected)->Unit(benchmark::kMicrosecond);

// A click on a timeline clip: the selection moves between a clip with a LUT and one without.
void BM_TimelineClipClick(benchmark::State& state)
{
    const PoolFixture fixture(static_cast<int>(state.range(0)), true);
    Pool pool(fixture);
    TimelinePreviewEngine& engine = pool.workspace->engine();
    int clicks = 0;
    for (auto _ : state) {
        engine.selectClip(clicks++ % 2 == 0 ? "c0" : "c2", false);
        pool.queue->runUntilIdle();
    }
    state.counters["entries"] = static_cast<double>(engine.clipLutPickerOptions(engine.selectedClipId()).size());
}
BENCHMARK(BM_TimelineClipClick)->Arg(3000)->Arg(30000)->ArgName("files")->Unit(benchmark::kMillisecond);

// A click on a timeline clip with 30,000 `.cube` files beside the media: the Clip LUT picker is
// rebuilt with every name (its shown value changes), and the top bar is laid out for its new size.
void BM_TimelineClipClickManyLuts(benchmark::State& state)
{
    const PoolFixture fixture(3000, true, static_cast<int>(state.range(0)));
    Pool pool(fixture);
    TimelinePreviewEngine& engine = pool.workspace->engine();
    int clicks = 0;
    for (auto _ : state) {
        engine.selectClip(clicks++ % 2 == 0 ? "c0" : "c2", false);
        pool.queue->runUntilIdle();
        benchmark::DoNotOptimize(pool.bar->sizeHint());
    }
    state.counters["entries"] = static_cast<double>(engine.clipLutPickerOptions(engine.selectedClipId()).size());
}
BENCHMARK(BM_TimelineClipClickManyLuts)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(60000)
    ->ArgName("cube_files")
    ->Unit(benchmark::kMillisecond);

// Two lists of `count` LUT names for the picker. With `allRenamed` every name differs between
// them (a folder renamed), otherwise only the first.
std::array<std::vector<VelmoraDarkPopUpPicker::PopUpItem>, 2> pickerLists(std::int64_t count, bool allRenamed)
{
    std::array<std::vector<VelmoraDarkPopUpPicker::PopUpItem>, 2> lists;
    for (int list = 0; list < 2; ++list) {
        lists[list].push_back({list ? "Alt.cube" : "None", list ? "Alt.cube" : "None", false});
        const std::string stem = allRenamed && list ? "Grade " : "Look ";
        for (std::int64_t i = 0; i < count; ++i) {
            const std::string name = stem + std::to_string(100000 + i) + ".cube";
            lists[list].push_back({name, name, false});
        }
    }
    return lists;
}

// The Clip LUT picker given a new list (two lists taken in turn), and measured again for its new
// size: the rebuild a landing listing causes. names: the list's length; renamed: 0 when the lists
// differ in their first name, 1 when in every name.
void BM_LutPickerRebuild(benchmark::State& state)
{
    const auto lists = pickerLists(state.range(0), state.range(1) != 0);
    VelmoraDarkPopUpPicker picker;
    int rebuilds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<VelmoraDarkPopUpPicker::PopUpItem> items = lists[static_cast<std::size_t>(rebuilds++ % 2)];
        state.ResumeTiming();
        picker.setSelectionAndItems("Look 100007.cube", std::move(items));
        benchmark::DoNotOptimize(picker.sizeHint());
    }
    state.counters["rows"] = static_cast<double>(picker.count());
}
BENCHMARK(BM_LutPickerRebuild)
    ->ArgsProduct({{10000, 30000, 60000}, {0, 1}})
    ->ArgNames({"names", "renamed"})
    ->Unit(benchmark::kMillisecond);

// A click on a pool card while the clip with a LUT is selected.
void BM_PoolCardClick(benchmark::State& state)
{
    const PoolFixture fixture(static_cast<int>(state.range(0)), true);
    Pool pool(fixture);
    TimelinePreviewEngine& engine = pool.workspace->engine();
    for (auto _ : state) {
        state.PauseTiming();
        engine.selectClip("c0", false);
        pool.queue->runUntilIdle();
        state.ResumeTiming();
        pool.workspace->selectPoolSource("s2");
        pool.queue->runUntilIdle();
    }
}
BENCHMARK(BM_PoolCardClick)->Arg(3000)->Arg(30000)->ArgName("files")->Unit(benchmark::kMillisecond);

// The processor time of the calling thread, in milliseconds.
double threadMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// The pool's sources with `clips` video clips of one second back to back, one source's file each
// in turn; every other clip graded by one of 50 LUT files that are not in the folder.
std::shared_ptr<EditSession> failingLutSession(const PoolFixture& fixture, int clips)
{
    auto session = std::make_shared<EditSession>(*fixture.session);
    EditSession::Timeline& timeline = session->timelines.front();
    timeline.clips.clear();
    for (int i = 0; i < clips; ++i) {
        const EditSession::Source& source = session->sources[static_cast<std::size_t>(2 * (i % (kSources / 2)))];
        EditSession::Clip clip("c" + std::to_string(i));
        clip.type = "video";
        clip.sourceId = source.id;
        clip.name = source.fileName;
        clip.startTime = i;
        clip.duration = 1.0;
        if (i % 2 == 1)
            clip.grade = EditSession::clipGrade("Gone " + std::to_string(i % 50) + ".cube");
        timeline.clips.push_back(clip);
    }
    timeline.duration = clips;
    return session;
}

// A scrub while LUTs fail: the playhead dragged across clips, every other one on a clip whose LUT
// is not found, as far apart as a fast drag takes it; each move is drawn in the status line. The
// longest move's processor time is the counter longest_ms.
void BM_ScrubWhileALutFails(benchmark::State& state)
{
    const int clips = static_cast<int>(state.range(0));
    const PoolFixture fixture(3000, false);
    Pool pool(fixture);
    TimelinePreviewEngine& engine = pool.workspace->engine();
    engine.adoptSession(failingLutSession(fixture, clips), fixture.folder, std::nullopt, false);
    pool.queue->runUntilIdle();
    int moves = 0;
    double longest = 0;
    for (auto _ : state) {
        const double started = threadMilliseconds();
        engine.scrub(static_cast<double>((moves++ * 7919) % clips) + 0.5);
        pool.queue->runUntilIdle();
        longest = std::max(longest, threadMilliseconds() - started);
    }
    state.counters["longest_ms"] = longest;
    state.counters["status_bytes"] = static_cast<double>(engine.status().size());
}
BENCHMARK(BM_ScrubWhileALutFails)->Arg(20000)->ArgName("clips")->Unit(benchmark::kMillisecond);

// For comparison: one listing of the folders LUTs are found in, which each of those clicks ran.
void BM_LutFolderListing(benchmark::State& state)
{
    const PoolFixture fixture(static_cast<int>(state.range(0)), false);
    for (auto _ : state)
        benchmark::DoNotOptimize(ProjectLUTResolver::availableLUTNames(fixture.folder, std::nullopt));
}
BENCHMARK(BM_LutFolderListing)->Arg(3000)->Arg(30000)->ArgName("files")->Unit(benchmark::kMillisecond);

// For comparison: the recursive listing and matching that a refresh ran before its media files
// were kept.
void BM_FolderListingAndMatching(benchmark::State& state)
{
    const PoolFixture fixture(static_cast<int>(state.range(0)), false);
    for (auto _ : state) {
        benchmark::DoNotOptimize(MediaResolver::sourceFileMap(*fixture.session, fixture.folder));
    }
}
BENCHMARK(BM_FolderListingAndMatching)->Arg(3000)->Arg(30000)->ArgName("files")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return runQtBenchmarks(argc, argv);
}
