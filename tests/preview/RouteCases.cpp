#include "RouteCases.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "export/TimelineExportSetup.h"
#include "export/TimelineFrameRenderer.h"
#include "model/DesktopJobTool.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "platform/media/FrameStart.h"
#include "preview/GradedStillJob.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"
#include "support/model/SessionBuilders.h"

namespace velmora::test::routes {

namespace fs = std::filesystem;

namespace {

EditorJobV2::ClipGrade lutGrade(int kind, std::mt19937& rng, std::ostream& summary)
{
    EditorJobV2::ClipGrade grade;
    switch (kind) {
    case 0:
        summary << " lut=missing";
        grade.hasLut = true;
        grade.lutFile = "gone" + std::to_string(rng() % 3) + ".cube";
        break;
    case 1:
        summary << " lut=two-point";
        grade.hasLut = true;
        grade.lutFile = "two.cube";
        break;
    case 2:
        summary << " lut=inline";
        grade.lutData = SharedText(invertingCubeText());
        break;
    case 3:
        summary << " lut=file";
        grade.hasLut = true;
        grade.lutFile = "look.cube";
        break;
    case 4:
        summary << " lut=both";
        grade.hasLut = true;
        grade.lutData = SharedText(invertingCubeText());
        grade.lutFile = "look.cube";
        break;
    default:
        summary << " lut=off";
        grade.hasLut = false;
        grade.lutFile = "look.cube";
        break;
    }
    return grade;
}

Shown shownIn(const std::function<double(int x, int y, int channel)>& at, int width, int height)
{
    Shown shown;
    shown.stamp = readFrameStamp([&](int x, int y) { return at(x, y, 1); }, width, height);
    double sum = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            sum += at(x, y, 0);
    shown.level = 255 * sum / (static_cast<double>(width) * height);
    return shown;
}

} // namespace

Library::Library()
{
    for (std::size_t r = 0; r < std::size(kRates); ++r) {
        ClipSettings clip;
        clip.width = kCanvasWidth;
        clip.height = kCanvasHeight;
        clip.fpsNum = kRates[r].num;
        clip.fpsDen = kRates[r].den;
        clip.frameCount = static_cast<int>(std::lround(1.6 * kRates[r].fps()));
        clip.videoArgs = "-preset ultrafast";
        makeClip(movie(r), clip);
    }
    makeStillImage(dir_.path() / "still.png", kCanvasWidth, kCanvasHeight, 7);
    ClipSettings sound;
    sound.videoCodec.clear();
    sound.audio = true;
    sound.audioSeconds = 1;
    sound.audioCodec = "pcm_s16le";
    makeClip(dir_.path() / "voice.wav", sound);
    writeTextFile(dir_.path() / "look.cube", bentMiddleCubeText(0.6, 0.5, 0.4));
    writeTextFile(dir_.path() / "two.cube", twoPointCubeText());
}

fs::path Library::movie(std::size_t rate) const
{
    return dir_.path() / ("movie" + std::to_string(rate) + ".mp4");
}

void generate(Case& c, const Library& library, std::mt19937& rng)
{
    const auto uniform = [&rng](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    const auto chance = [&rng](double p) { return std::bernoulli_distribution(p)(rng); };
    const auto pick = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    const auto place = [&](const fs::path& relative, const fs::path& from) {
        fs::create_directories((c.folder / relative).parent_path());
        fs::create_hard_link(from, c.folder / relative);
    };

    const std::size_t rateIndex = pick(std::size(kRates));
    c.rate = kRates[rateIndex];
    c.summary << "fps " << c.rate.num << "/" << c.rate.den;
    auto session = sessionWith({});
    session->project->fps = c.rate.fps();
    session->project->width = kCanvasWidth;
    session->project->height = kCanvasHeight;
    place("look.cube", library.file("look.cube"));
    place("two.cube", library.file("two.cube"));

    std::vector<std::string> videoSources;
    const auto addSource = [&](const std::string& fileName, const char* type) {
        const std::string id = "s" + std::to_string(session->sources.size() + 1);
        session->sources.emplace_back(id, fileName, type);
        return id;
    };
    c.single = chance(0.2);
    if (c.single) {
        place("solo.mp4", library.movie(rateIndex));
        videoSources.push_back(addSource("solo.mp4", "video"));
        c.summary << " single";
    } else {
        if (chance(0.35)) { // two cards' first clips: one name in two folders
            place("cam1/C0001.MP4", library.movie(pick(std::size(kRates))));
            place("cam2/C0001.MP4", library.movie(pick(std::size(kRates))));
            videoSources.push_back(addSource("C0001.MP4", "video"));
            videoSources.push_back(addSource("C0001.MP4", "video"));
            c.summary << " cam1+cam2/C0001.MP4";
        }
        if (!c.rendered && chance(0.3)) { // a file gone, one of another name in two folders
            place("a/x.mp4", library.movie(pick(std::size(kRates))));
            if (chance(0.7))
                place("b/x.mp4", library.movie(pick(std::size(kRates))));
            videoSources.push_back(addSource("g25.mp4", "video"));
            c.summary << " stand-in";
        }
        if (!c.rendered && chance(0.2)) { // one file that two or three sources name
            place("A001.mp4", library.movie(pick(std::size(kRates))));
            const std::size_t sharing = 2 + pick(2);
            for (std::size_t i = 0; i < sharing; ++i)
                videoSources.push_back(addSource("A001.mp4", "video"));
            c.summary << " " << sharing << "xA001.mp4";
        }
        const std::size_t own = 1 + pick(2);
        for (std::size_t i = 0; i < own; ++i) {
            const std::string name = "clip" + std::to_string(i) + ".mp4";
            if (c.rendered || chance(0.85))
                place(chance(0.3) ? fs::path("sub") / name : fs::path(name), library.movie(pick(std::size(kRates))));
            else
                c.summary << " " << name << "-absent";
            videoSources.push_back(addSource(name, "video"));
        }
    }

    std::vector<EditSession::Clip> clips;
    double t = c.single ? 0 : (chance(0.5) ? 0 : uniform(0, 0.3));
    const int count = c.single ? 1 : 1 + static_cast<int>(pick(4));
    for (int i = 0; i < count; ++i) {
        const std::string source = videoSources[pick(videoSources.size())];
        const bool upper = !c.single && i > 0 && chance(0.2);
        double start = upper ? uniform(0, t) : t + (chance(0.6) ? 0 : uniform(0.05, 0.6));
        if (c.single)
            start = std::array<double, 3>{0, 0.04, 0.02}[pick(3)];
        const double duration = uniform(0.15, 1.6);
        const double in = chance(0.7) ? uniform(0, 0.9) : 0;
        EditSession::Clip clip = test::clip("v" + std::to_string(i), "video", start, duration, upper ? 2 : 1,
                                            "shot" + std::to_string(i), in);
        clip.sourceId = source;
        if (!c.single) {
            const double speeds[] = {1, 1, 1, 0.5, 2, 1.5};
            if (const double speed = speeds[pick(std::size(speeds))]; speed != 1)
                clip.speed = speed;
            if (const std::size_t lut = pick(10); lut < 6)
                clip.grade = lutGrade(c.rendered ? 3 : static_cast<int>(lut), rng, c.summary);
        }
        c.summary << " [" << clip.id << " " << source << " @" << start << " +" << duration << " in " << in << " x"
                  << clip.speed.value_or(1) << " lane " << clip.track.value_or(1) << "]";
        clips.push_back(clip);
        if (!upper)
            t = start + duration;
    }
    if (!c.single && !c.rendered && chance(0.3)) {
        const bool present = chance(0.6);
        if (present)
            place("still.png", library.file("still.png"));
        EditSession::Clip still = test::clip("i0", "image", uniform(0, t), uniform(0.2, 0.8), chance(0.5) ? 1 : 2,
                                             "still.png");
        still.sourceId = addSource("still.png", "image");
        c.summary << " still" << (present ? "" : "-absent");
        clips.push_back(still);
    }
    if (!c.single && chance(0.4)) {
        const bool present = c.rendered || chance(0.6);
        if (present)
            place("voice.wav", library.file("voice.wav"));
        // The clip's name has no extension: the source says what it is.
        EditSession::Clip voice = test::clip("a0", "audio", 0, std::max(t, 0.5), 3, "voice");
        voice.sourceId = addSource("voice.wav", "audio");
        c.summary << " voice.wav" << (present ? "" : "-absent");
        clips.push_back(voice);
    }
    if (!c.single && !c.rendered && chance(0.2)) {
        // A sound source named in words: its declared type says what it is.
        EditSession::Clip memo = test::clip("a1", "audio", 0, std::max(t, 0.5), 4, "Voice memo");
        memo.sourceId = addSource("Voice memo", "audio");
        c.summary << " Voice-memo";
        clips.push_back(memo);
    }
    if (!c.single && !c.rendered && chance(0.2)) {
        session->grade = EditSession::ProjectGrade{identityCubeText()};
        c.summary << " project-lut=inline";
    }
    c.jobLutMissing = !c.single && !c.rendered && chance(0.12);
    session->timelines.front().clips = std::move(clips);
    session->normalizeAllClipTiming();
    c.session = session;
}

ExportPlan exportPlan(const EditorJobV2& job, const fs::path& folder, const ResolvedMedia* resolved)
{
    using namespace Exporter;
    ExportPlan plan;
    const EditorJobV2::Timeline& timeline = exportTimeline(job);
    plan.files = resolveTimelineSourceFiles(job, folder, resolved);
    try {
        requireSourceFiles(job, timeline, plan.files);
        plan.luts = timelineLuts(job, timeline, folder, std::nullopt);
        requireLuts(timeline, plan.luts, std::nullopt);
    } catch (const Error& refusal) {
        plan.refusal = refusal;
        return plan;
    }
    const auto [width, height] = timelineOutputSize(job);
    TimelineRenderSetup setup;
    setup.clips = timeline.clips;
    setup.overlays = DesktopJobTool::overlayRenderFlags(timeline.clips);
    setup.width = width;
    setup.height = height;
    setup.sources = openExportSources(visualSourceIds(timeline), plan.files, width, height);
    const FrameTiming timing =
        timelineFrameTiming(job, setup.sources.empty() ? nullptr : setup.sources.begin()->second.asset.get());
    setup.timescale = timing.timescale;
    setup.step = timing.step;
    setup.frameDuration = static_cast<double>(timing.step) / timing.timescale;
    plan.framesTotal = timelineFramesTotal(timelineExportDuration(timeline), timing);
    setup.framesTotal = plan.framesTotal;
    plan.grid = FrameGrid{{timing.step, timing.timescale}};
    plan.map = TimelineFrameRenderer(std::move(setup)).frameMap();
    return plan;
}

std::ostream& operator<<(std::ostream& out, const Picture& picture)
{
    if (!picture.file)
        return out << "black";
    return out << picture.file->lexically_normal().string() << " frame " << picture.frame;
}

Picture exportPicture(const ExportPlan& plan, std::int64_t n)
{
    const ShownFrame shown = plan.map.frame(n);
    if (shown.gap() || !shown.sourceId || !shown.sourceFrame)
        return {};
    const auto file = plan.files.find(*shown.sourceId);
    if (file == plan.files.end())
        return {};
    return {file->second.lexically_normal(), *shown.sourceFrame};
}

Picture monitorPicture(const TimelinePreviewEngine& engine, double at)
{
    const std::optional<EditSession::Clip> clip = engine.clipForPausedGrade(at);
    if (!clip)
        return {};
    const std::optional<TimelinePreviewEngine::VisualGradeSource> source = engine.visualGradeSource(at, clip->id);
    if (!source)
        return {};
    const std::shared_ptr<const Asset> asset = Asset::open(source->url);
    if (asset->isStillImage())
        return {source->url.lexically_normal(), 0};
    const AssetTrack* track = asset->firstTrack(MediaType::video);
    const std::optional<double> rate = track ? trackFrameRate(*track) : std::nullopt;
    const std::optional<std::int64_t> frame =
        rate ? firstFrameStartingAtOrAfter(source->sourceSeconds, *rate) : std::nullopt;
    if (!frame || *frame >= std::llround(track->timeRange.end().seconds() * *rate))
        return {};
    return {source->url.lexically_normal(), *frame};
}

std::size_t filesNamed(const fs::path& folder, const std::string& name)
{
    std::size_t count = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        count += entry.is_regular_file() && entry.path().filename() == name ? 1 : 0;
    return count;
}

bool isMovie(const fs::path& file)
{
    const std::string extension = file.extension().string();
    return extension == ".mp4" || extension == ".MP4" || extension == ".mov";
}

bool refusalNames(const Error& refusal, const std::string& name)
{
    return refusal.localizedDescription().find(name) != std::string::npos;
}

void adopt(EngineHarness& harness, const Case& c)
{
    harness.engine.adoptSession(c.session, c.folder, std::nullopt, true);
    PreviewComposition composition;
    try {
        composition.sourceFiles = MediaResolver::sourceFileMap(*c.session, c.folder);
    } catch (const Error&) {
    }
    harness.builder->finish(10, composition);
    harness.queue->runUntilIdle();
}

std::uint32_t baseSeed()
{
    if (const char* text = std::getenv("VELMORA_ROUTE_SEED"))
        return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
    return 51051;
}

std::ostream& operator<<(std::ostream& out, const Shown& shown)
{
    return out << "stamp " << shown.stamp << " level " << shown.level;
}

std::vector<Shown> movieFrames(const fs::path& movie)
{
    auto asset = Asset::open(movie);
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::bgra);
    reader.add(output);
    if (!reader.startReading())
        throw std::runtime_error("cannot read " + movie.string());
    std::vector<Shown> frames;
    while (auto sample = output->copyNextSampleBuffer()) {
        if (!sample->hasImageBuffer())
            continue;
        const PixelBuffer& buffer = sample->imageBuffer;
        frames.push_back(shownIn(
            [&](int x, int y, int c) {
                // BGRA: red is the third byte.
                return (buffer.baseAddress(0) + buffer.bytesPerRow(0) * y)[4 * x + (c == 0 ? 2 : 1)] / 255.0;
            },
            buffer.width(), buffer.height()));
    }
    return frames;
}

Shown monitorStill(const TimelinePreviewEngine& engine, double at, int number)
{
    const std::optional<EditSession::Clip> clip = engine.clipForPausedGrade(at);
    if (!clip)
        return {};
    GradedStillJob job;
    job.source = engine.visualGradeSource(at, clip->id);
    job.grade = clip->grade;
    job.mediaFolder = engine.previewMediaFolder();
    job.sessionFile = engine.lutSessionFileURL();
    job.gradePreviewEnabled = engine.gradePreviewEnabled();
    job.width = kCanvasWidth;
    job.height = kCanvasHeight;
    job.lutBaseKey = "routes|" + std::to_string(number);
    const QImage still = job.run().still.convertToFormat(QImage::Format_RGBA8888);
    if (still.isNull())
        return {};
    return shownIn([&](int x, int y, int c) { return still.constScanLine(y)[4 * x + c] / 255.0; }, still.width(),
                   still.height());
}

::testing::AssertionResult sameFrame(const Shown& monitor, const Shown& written)
{
    if (monitor.stamp >= 0 && monitor.stamp == written.stamp && std::abs(monitor.level - written.level) <= 2)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the monitor shows " << monitor << ", the movie " << written;
}

Shown shownInImage(const Image& image)
{
    return shownIn([&](int x, int y, int c) { return image.row(y)[4 * x + c]; }, image.width(), image.height());
}

} // namespace velmora::test::routes
