#include "RouteCases.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <future>
#include <mutex>
#include <utility>

#include <sys/stat.h>

#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "platform/media/FrameStart.h"
#include "platform/media/PlayerItem.h"
#include "preview/GradedStillJob.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"

namespace velmora::test::routes {

namespace fs = std::filesystem;

namespace {

int stampBase(std::size_t rate, bool isShort)
{
    return 1000 * static_cast<int>(2 * rate + (isShort ? 2 : 1));
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

// The source frame a reader gives at `seconds` of `file`, or the frame past its end it would ask
// for there.
Picture sourcePicture(const fs::path& file, double seconds)
{
    const std::shared_ptr<const Asset> asset = openedAsset(file);
    if (asset->isStillImage())
        return {file.lexically_normal(), 0, false};
    const AssetTrack* track = asset->firstTrack(MediaType::video);
    const std::optional<double> rate = track ? trackFrameRate(*track) : std::nullopt;
    const std::optional<std::int64_t> frame = rate ? firstFrameStartingAtOrAfter(seconds, *rate) : std::nullopt;
    if (!frame)
        return {file.lexically_normal(), -1, true};
    const SourceVideo video = SourceVideo::of(*asset);
    return {file.lexically_normal(), *frame, TimelineFrameMap::pickSourceFrame(video, seconds).pastEnd};
}

// The assets opened so far, by the file itself (its device and inode), not by its path: every
// case links the same few files of the library into a folder of its own.
struct OpenedAssets {
    std::mutex mutex;
    std::map<std::pair<dev_t, ino_t>, std::shared_ptr<const Asset>> byFile; // guarded by mutex
};

OpenedAssets& openedAssets()
{
    static OpenedAssets opened;
    return opened;
}

} // namespace

std::shared_ptr<const Asset> openedAsset(const fs::path& file)
{
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0)
        return Asset::open(file);
    const std::pair<dev_t, ino_t> key{status.st_dev, status.st_ino};
    OpenedAssets& opened = openedAssets();
    {
        const std::lock_guard lock(opened.mutex);
        if (const auto found = opened.byFile.find(key); found != opened.byFile.end())
            return found->second;
    }
    std::shared_ptr<const Asset> asset = Asset::open(file);
    const std::lock_guard lock(opened.mutex);
    return opened.byFile.emplace(key, std::move(asset)).first->second;
}

void forgetOpenedAssets()
{
    OpenedAssets& opened = openedAssets();
    const std::lock_guard lock(opened.mutex);
    opened.byFile.clear();
}

Library::Library()
{
    // Each movie and the sound by an encoder of its own, all at once.
    std::vector<std::future<void>> made;
    for (std::size_t r = 0; r < std::size(kRates); ++r) {
        for (const bool isShort : {false, true}) {
            ClipSettings clip;
            clip.width = kCanvasWidth;
            clip.height = kCanvasHeight;
            clip.fpsNum = kRates[r].num;
            clip.fpsDen = kRates[r].den;
            clip.frameCount = static_cast<int>(std::lround((isShort ? 0.8 : 1.6) * kRates[r].fps()));
            clip.videoArgs = "-preset ultrafast";
            clip.stampOffset = stampBase(r, isShort);
            made.push_back(std::async(std::launch::async, [file = movie(r, isShort), clip] { makeClip(file, clip); }));
        }
    }
    ClipSettings sound;
    sound.videoCodec.clear();
    sound.audio = true;
    sound.audioSeconds = 1;
    sound.audioCodec = "pcm_s16le";
    made.push_back(std::async(std::launch::async, [file = dir_.path() / "voice.wav", sound] { makeClip(file, sound); }));
    makeStillImage(dir_.path() / "still.png", kCanvasWidth, kCanvasHeight, kStillStamp);
    for (std::future<void>& each : made)
        each.get();
    writeTextFile(dir_.path() / "look.cube", bentMiddleCubeText(0.6, 0.5, 0.4));
    writeTextFile(dir_.path() / "Look.cube", bentMiddleCubeText(0.35, 0.5, 0.7));
    writeTextFile(dir_.path() / "LookA.cube", bentMiddleCubeText(0.8, 0.5, 0.3));
    writeTextFile(dir_.path() / "Warm Look.cube", bentMiddleCubeText(0.7, 0.45, 0.3));
    writeTextFile(dir_.path() / "Grün Été.cube", bentMiddleCubeText(0.3, 0.65, 0.45));
    // Red lifted into 0.4 … 1, green and blue kept: the frames' mean red moves by far (the movies
    // are black and white), and their stamps (read from green) stay readable.
    std::string squeeze = "LUT_3D_SIZE 3\n";
    for (const char* b : {"0", "0.5", "1"})
        for (const char* g : {"0", "0.5", "1"})
            for (const char* r : {"0.4", "0.7", "1"})
                squeeze += std::string(r) + " " + g + " " + b + "\n";
    writeTextFile(dir_.path() / kSqueezingLut, squeeze);
    writeTextFile(dir_.path() / "two.cube", twoPointCubeText());
    writeTextFile(dir_.path() / "bad.cube", "TITLE \"no table\"\nLUT_3D_SIZE 2\n0 0 0\n");
    writeTextFile(dir_.path() / "trunc.cube", truncatedCubeText());
    writeTextFile(dir_.path() / "banana.cube", bananaSizeCubeText());
}

fs::path Library::movie(std::size_t rate, bool isShort) const
{
    return dir_.path() / ("movie" + std::to_string(rate) + (isShort ? "s" : "") + ".mp4");
}

std::optional<int> Library::stampOf(const fs::path& file, std::int64_t frame) const
{
    std::error_code ec;
    if (fs::equivalent(file, this->file("still.png"), ec))
        return kStillStamp;
    for (std::size_t r = 0; r < std::size(kRates); ++r)
        for (const bool isShort : {false, true})
            if (fs::equivalent(file, movie(r, isShort), ec))
                return stampBase(r, isShort) + static_cast<int>(frame);
    return std::nullopt;
}

std::string Library::describe(int stamp)
{
    if (stamp == 0)
        return "black";
    if (stamp == kStillStamp)
        return "the still";
    if (stamp < 1000)
        return "no stamp";
    const int base = stamp / 1000;
    return "movie" + std::to_string((base - 1) / 2) + (base % 2 == 0 ? "s" : "") + ".mp4 frame " +
           std::to_string(stamp % 1000);
}

PlayerBuild adopt(EngineHarness& harness, const Case& c)
{
    harness.engine.adoptSession(c.session, c.folder, std::nullopt, true);
    harness.queue->runUntilIdle();
    return answerBuild(harness);
}

PlayerBuild answerBuild(EngineHarness& harness)
{
    PlayerBuild build;
    const PreviewCompositionBuilder::Request& request = harness.builder->requests.back();
    try {
        build.built = TimelinePreviewEngine::makePlayerItem(*request.session, request.mediaFolder,
                                                             TimelinePreviewEngine::previewTimescale, false, nullptr,
                                                             request.readabilityCheck);
    } catch (const Error& error) {
        build.failure = error;
    }
    if (build.built) {
        PreviewComposition composition;
        composition.transform = build.built->transform;
        composition.audioBusByClipId = build.built->audioBusByClipId;
        composition.sourceFiles = build.built->sourceFiles;
        composition.unreadableSources = build.built->unreadableSources;
        composition.assets = build.built->assets;
        harness.builder->finish(build.built->item->duration().seconds(), composition);
    } else {
        harness.builder->fail(*build.failure);
    }
    harness.queue->runUntilIdle();
    return build;
}

void changeFolderAfterwards(Case& c, const Library& library, const ResolvedMedia& shown, std::mt19937& rng)
{
    const auto chance = [&rng](double p) { return std::bernoulli_distribution(p)(rng); };
    // A job the 10-bit workspace opens itself looks its files up when it opens them.
    if (c.jobLutMissing || c.continued)
        return;
    if (chance(c.rendered ? 0.6 : 0.3)) {
        for (const auto& [id, file] : shown.files) {
            const fs::path direct = c.folder / file.filename();
            std::error_code ec;
            if (isMovie(file) && file.parent_path().lexically_normal() != c.folder.lexically_normal() &&
                !fs::exists(direct, ec)) {
                fs::create_hard_link(library.movie(rng() % std::size(kRates), true), direct);
                c.summary << " then " << file.filename().string() << " appears in the folder";
                break;
            }
        }
    }
    if (chance(0.5)) {
        for (const EditSession::Clip& clip : c.session->timelines.front().clips) {
            if (clip.grade && clip.grade->lutFile && clip.grade->lutFile->starts_with("gone") &&
                !fs::exists(c.folder / *clip.grade->lutFile)) {
                fs::create_hard_link(library.file("look.cube"), c.folder / *clip.grade->lutFile);
                c.summary << " then " << *clip.grade->lutFile << " appears";
                break;
            }
        }
    }
}

std::ostream& operator<<(std::ostream& out, const Picture& picture)
{
    if (!picture.file)
        return out << "black";
    out << picture.file->lexically_normal().filename().string() << " ("
        << picture.file->lexically_normal().parent_path().filename().string() << ") frame " << picture.frame;
    return picture.pastEnd ? out << " past its end" : out;
}

Picture monitorPicture(const TimelinePreviewEngine& engine, double at)
{
    const std::optional<EditSession::Clip> clip = engine.clipForPausedGrade(at);
    if (!clip)
        return {};
    const std::optional<TimelinePreviewEngine::VisualGradeSource> source = engine.visualGradeSource(at, clip->id);
    if (!source)
        return {};
    return sourcePicture(source->url, source->sourceSeconds);
}

Picture playerPicture(const TimelinePreviewEngine::PlayerItemBuild& built, double seconds)
{
    const auto& tracks = built.item->composition().tracks(MediaType::video);
    if (tracks.empty())
        return {};
    for (const CompositionTrackSegment& piece : tracks.front()->segments()) {
        const double from = piece.targetRange.start.seconds();
        const double to = piece.targetRange.end().seconds();
        if (seconds < from || seconds >= to)
            continue;
        if (piece.isEmpty())
            return {};
        const double scale = piece.sourceRange.duration.seconds() / piece.targetRange.duration.seconds();
        return sourcePicture(piece.source->url.get(), piece.sourceRange.start.seconds() + (seconds - from) * scale);
    }
    return {};
}

Picture exportPicture(const TimelineFrameMap& map, const MediaResolver::SourceFileMap& files, std::int64_t n)
{
    const ShownFrame shown = map.frame(n);
    if (shown.gap() || !shown.sourceId || !shown.sourceFrame)
        return {};
    const auto file = files.find(*shown.sourceId);
    if (file == files.end())
        return {};
    return {file->second.lexically_normal(), *shown.sourceFrame, false};
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

bool names(const Error& refusal, const std::string& name)
{
    return refusal.localizedDescription().find(name) != std::string::npos;
}

namespace {

std::optional<std::uint32_t> environmentNumber(const char* name)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return std::nullopt;
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
}

} // namespace

const std::vector<std::uint32_t>& fixedSeeds()
{
    static const std::vector<std::uint32_t> seeds{505, 51051, 100000, 271828, 314159};
    return seeds;
}

std::vector<std::uint32_t> routeSeeds()
{
    if (const std::optional<std::uint32_t> seed = environmentNumber("VELMORA_ROUTE_SEED"))
        return {*seed};
    return fixedSeeds();
}

std::optional<int> casesAsked()
{
    if (const std::optional<std::uint32_t> cases = environmentNumber("VELMORA_ROUTE_CASES"))
        return static_cast<int>(*cases);
    return std::nullopt;
}

int casesPerSeed()
{
    return casesAsked().value_or(kUnderAddressSanitizer ? 30 : 60);
}

bool drawsFixedCases()
{
    return !environmentNumber("VELMORA_ROUTE_SEED") && !casesAsked();
}

std::string repeatWith(std::uint32_t seed, int index)
{
    return "VELMORA_ROUTE_SEED=" + std::to_string(seed + static_cast<std::uint32_t>(index)) +
           " draws it first; VELMORA_ROUTE_CASES=1 draws no other";
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
    // Frames of a few dozen pixels, read on this thread: threads handing them on would cost more
    // than decoding them.
    output->decoderThreads = 1;
    output->decodesAhead = false;
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

Shown monitorStill(const TimelinePreviewEngine& engine, double at)
{
    return stillShown(monitorStillJob(engine, at));
}

std::optional<GradedStillJob> monitorStillJob(const TimelinePreviewEngine& engine, double at)
{
    // Every still's base is cached apart, whichever case, thread or seed asks for it.
    static std::atomic<std::uint64_t> number{0};
    const std::optional<EditSession::Clip> clip = engine.clipForPausedGrade(at);
    if (!clip)
        return std::nullopt;
    GradedStillJob job;
    job.source = engine.visualGradeSource(at, clip->id);
    job.grade = clip->grade;
    job.mediaFolder = engine.previewMediaFolder();
    job.sessionFile = engine.lutSessionFileURL();
    job.gradePreviewEnabled = engine.gradePreviewEnabled();
    job.width = kCanvasWidth;
    job.height = kCanvasHeight;
    job.lutBaseKey = "routes|" + std::to_string(++number);
    return job;
}

Shown stillShown(const std::optional<GradedStillJob>& job)
{
    if (!job)
        return {0, 0};
    const QImage still = job->run().still;
    if (still.isNull())
        return {};
    return shownInImage(still);
}

::testing::AssertionResult sameFrame(const Shown& monitor, const Shown& written)
{
    if (monitor.stamp >= 0 && monitor.stamp == written.stamp && std::abs(monitor.level - written.level) <= 2)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << monitor << " | " << written;
}

Shown shownInImage(const Image& image)
{
    return shownIn([&](int x, int y, int c) { return image.row(y)[4 * x + c]; }, image.width(), image.height());
}

Shown shownInImage(const QImage& image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    return shownIn([&](int x, int y, int c) { return rgba.constScanLine(y)[4 * x + c] / 255.0; }, rgba.width(),
                   rgba.height());
}

} // namespace velmora::test::routes
