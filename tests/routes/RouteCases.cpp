#include "RouteCases.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "platform/media/FrameStart.h"
#include "platform/media/PlayerItem.h"
#include "preview/GradedStillJob.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"
#include "support/model/SessionBuilders.h"

namespace velmora::test::routes {

namespace fs = std::filesystem;

namespace {

int stampBase(std::size_t rate, bool isShort)
{
    return 1000 * static_cast<int>(2 * rate + (isShort ? 2 : 1));
}

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
    case 5:
        summary << " lut=unusable";
        grade.hasLut = true;
        grade.lutFile = "bad.cube";
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

// The source frame a reader gives at `seconds` of `file`, or the frame past its end it would ask
// for there.
Picture sourcePicture(const fs::path& file, double seconds)
{
    const std::shared_ptr<const Asset> asset = Asset::open(file);
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

} // namespace

Library::Library()
{
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
            makeClip(movie(r, isShort), clip);
        }
    }
    makeStillImage(dir_.path() / "still.png", kCanvasWidth, kCanvasHeight, kStillStamp);
    ClipSettings sound;
    sound.videoCodec.clear();
    sound.audio = true;
    sound.audioSeconds = 1;
    sound.audioCodec = "pcm_s16le";
    makeClip(dir_.path() / "voice.wav", sound);
    writeTextFile(dir_.path() / "look.cube", bentMiddleCubeText(0.6, 0.5, 0.4));
    writeTextFile(dir_.path() / "two.cube", twoPointCubeText());
    writeTextFile(dir_.path() / "bad.cube", "TITLE \"no table\"\nLUT_3D_SIZE 2\n0 0 0\n");
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

void generate(Case& c, const Library& library, std::mt19937& rng)
{
    const auto uniform = [&rng](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    const auto chance = [&rng](double p) { return std::bernoulli_distribution(p)(rng); };
    const auto pick = [&rng](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    const auto place = [&](const fs::path& relative, const fs::path& from) {
        fs::create_directories((c.folder / relative).parent_path());
        fs::create_hard_link(from, c.folder / relative);
    };
    // Every draw is a statement of its own: the order of a call's arguments is the compiler's, and
    // a seed must make the same case whichever compiler built the test.
    const auto anyMovie = [&] {
        const bool isShort = chance(0.4);
        const std::size_t rate = pick(std::size(kRates));
        return library.movie(rate, isShort);
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
    place("bad.cube", library.file("bad.cube"));

    std::vector<std::string> videoSources;
    std::map<std::string, std::string> fileNames;
    const auto addSource = [&](const std::string& fileName, const char* type) {
        const std::string id = "s" + std::to_string(session->sources.size() + 1);
        session->sources.emplace_back(id, fileName, type);
        fileNames[id] = fileName;
        return id;
    };
    c.single = chance(0.2);
    if (c.single) {
        place("solo.mp4", library.movie(rateIndex, chance(0.3)));
        videoSources.push_back(addSource("solo.mp4", "video"));
        c.summary << " single";
    } else {
        if (chance(0.35)) { // two cards' first clips: one name in two folders, of two lengths
            const bool firstShort = chance(0.5);
            place("cam1/C0001.MP4", library.movie(pick(std::size(kRates)), firstShort));
            place("cam2/C0001.MP4", library.movie(pick(std::size(kRates)), !firstShort));
            videoSources.push_back(addSource("C0001.MP4", "video"));
            videoSources.push_back(addSource("C0001.MP4", "video"));
            c.summary << " cam1+cam2/C0001.MP4 (" << (firstShort ? "short+long" : "long+short") << ")";
        }
        if (!c.rendered && chance(0.3)) { // a file gone, one of another name in two folders
            place("a/x.mp4", anyMovie());
            if (chance(0.7))
                place("b/x.mp4", anyMovie());
            videoSources.push_back(addSource("g25.mp4", "video"));
            c.summary << " stand-in";
        }
        if (!c.rendered && chance(0.2)) { // one file that two or three sources name
            place("A001.mp4", anyMovie());
            const std::size_t sharing = 2 + pick(2);
            for (std::size_t i = 0; i < sharing; ++i)
                videoSources.push_back(addSource("A001.mp4", "video"));
            c.summary << " " << sharing << "xA001.mp4";
        }
        const std::size_t own = 1 + pick(2);
        for (std::size_t i = 0; i < own; ++i) {
            const std::string name = "clip" + std::to_string(i) + ".mp4";
            if (c.rendered || chance(0.85)) {
                const bool sub = chance(c.rendered ? 0.6 : 0.3);
                place(sub ? fs::path("sub") / name : fs::path(name), anyMovie());
                c.summary << (sub ? " sub/" : " ") << name;
            } else {
                c.summary << " " << name << "-absent";
            }
            videoSources.push_back(addSource(name, "video"));
        }
    }

    std::vector<EditSession::Clip> clips;
    double t = c.single ? 0 : (chance(0.5) ? 0 : uniform(0, 0.3));
    const int count = c.single ? 1 : 1 + static_cast<int>(pick(4));
    const auto clipOf = [&](const std::string& id, const std::string& source, double start, double duration,
                            int lane, double in) {
        // A clip carries its file's name, as one placed from the media pool does.
        EditSession::Clip clip = test::clip(id, "video", start, duration, lane, fileNames[source], in);
        clip.sourceId = source;
        return clip;
    };
    const auto describe = [&](const EditSession::Clip& clip) {
        c.summary << " [" << clip.id << " " << *clip.sourceId << " @" << clip.startTime.value_or(0) << " +" << clip.duration.value_or(0)
                  << " in " << clip.inPoint.value_or(0) << " x" << clip.speed.value_or(1) << " lane "
                  << clip.track.value_or(1) << "]";
    };
    for (int i = 0; i < count; ++i) {
        const std::string source = videoSources[pick(videoSources.size())];
        const bool upper = !c.single && i > 0 && chance(0.2);
        double start = upper ? uniform(0, t) : t + (chance(0.6) ? 0 : uniform(0.05, 0.6));
        if (c.single)
            start = std::array<double, 3>{0, 0.04, 0.02}[pick(3)];
        const double duration = uniform(0.15, 1.6);
        const double in = chance(0.7) ? uniform(0, 0.9) : 0;
        EditSession::Clip clip = clipOf("v" + std::to_string(i), source, start, duration, upper ? 2 : 1, in);
        if (!c.single) {
            const double speeds[] = {1, 1, 1, 0.5, 2, 1.5};
            if (const double speed = speeds[pick(std::size(speeds))]; speed != 1)
                clip.speed = speed;
            if (const std::size_t lut = pick(12); lut < 7)
                clip.grade = lutGrade(c.rendered ? 3 : static_cast<int>(lut), rng, c.summary);
        }
        describe(clip);
        clips.push_back(clip);
        if (!upper)
            t = start + duration;
        // The next piece of the same file, back to back, its in point before where this one
        // ended: the same-source continuation reads on from that end.
        if (!c.single && !upper && !clip.speed && chance(0.25)) {
            const double end = in + duration;
            const double rawIn = std::max(0.0, end - uniform(0.1, 0.4));
            const double length = uniform(0.15, 0.8);
            const double at = t + uniform(0, 0.05);
            EditSession::Clip next = clipOf("v" + std::to_string(i) + "b", source, at, length, 1, rawIn);
            c.continued = std::make_pair(next.id, rawIn);
            describe(next);
            c.summary << "(back to back)";
            clips.push_back(next);
            t = *next.startTime + *next.duration;
        }
    }
    // A lower lane running past its file's end at another speed, under a clip that ends first.
    if (!c.single && chance(0.3)) {
        const std::string source = videoSources[pick(videoSources.size())];
        const double in = uniform(0, 0.5);
        const double length = uniform(1.2, 2.6);
        const double start = uniform(0, 0.3);
        EditSession::Clip under = clipOf("u0", source, start, length, 2, in);
        under.speed = chance(0.5) ? 1.5 : 2;
        c.summary << " past-end-below";
        describe(under);
        clips.push_back(under);
        t = std::max(t, *under.startTime + *under.duration);
    }
    if (!c.single && !c.rendered && chance(0.3)) {
        const bool present = chance(0.6);
        if (present)
            place("still.png", library.file("still.png"));
        const int lane = chance(0.5) ? 1 : 2;
        const double length = uniform(0.2, 0.8);
        const double start = uniform(0, t);
        EditSession::Clip still = test::clip("i0", "image", start, length, lane, "still.png");
        still.sourceId = addSource("still.png", "image");
        c.summary << " still" << (present ? "" : "-absent");
        clips.push_back(still);
    }
    if (!c.single && chance(0.4)) {
        const bool present = c.rendered || chance(0.6);
        if (present)
            place("voice.wav", library.file("voice.wav"));
        // A movie named like the sound clip lies beside it (or in its place).
        const bool movieNamedLikeIt = chance(0.4);
        if (movieNamedLikeIt)
            place("voice.mp4", anyMovie());
        // The clip's name has no extension: the source says what it is.
        EditSession::Clip voice = test::clip("a0", "audio", 0, std::max(t, 0.5), 3, "voice");
        voice.sourceId = addSource("voice.wav", "audio");
        c.summary << " voice.wav" << (present ? "" : "-absent") << (movieNamedLikeIt ? " voice.mp4" : "");
        clips.push_back(voice);
    }
    if (!c.single && !c.rendered && chance(0.2)) {
        // A sound source named in words: its declared type says what it is.
        EditSession::Clip memo = test::clip("a1", "audio", 0, std::max(t, 0.5), 4, "Voice memo");
        memo.sourceId = addSource("Voice memo", "audio");
        c.summary << " Voice-memo";
        clips.push_back(memo);
    }
    if (!c.single && chance(c.rendered ? 0.3 : 0.4)) {
        const std::size_t kind = c.rendered ? 1 : pick(4);
        const char* references[] = {nullptr, "look.cube", "missing_project_look.cube", "bad.cube"};
        session->grade = EditSession::ProjectGrade{kind == 0 ? identityCubeText() : references[kind]};
        c.summary << " project-lut=" << (kind == 0 ? "inline" : references[kind]);
    }
    c.jobLutMissing = !c.single && !c.rendered && chance(0.12);
    if (c.jobLutMissing)
        c.summary << " job-lut-missing";
    if (!c.rendered && chance(0.1)) {
        c.lutOverride = chance(0.5) ? c.folder / "chosen_override.cube" : c.folder / "bad.cube";
        c.summary << " override=" << c.lutOverride->filename().string()
                  << (fs::exists(*c.lutOverride) ? "(unusable)" : "(gone)");
    }
    session->timelines.front().clips = std::move(clips);
    session->normalizeAllClipTiming();
    c.session = session;
}

PlayerBuild adopt(EngineHarness& harness, const Case& c)
{
    harness.engine.adoptSession(c.session, c.folder, std::nullopt, true);
    harness.queue->runUntilIdle();
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
        return {0, 0};
    GradedStillJob job;
    job.source = engine.visualGradeSource(at, clip->id);
    job.grade = clip->grade;
    job.mediaFolder = engine.previewMediaFolder();
    job.sessionFile = engine.lutSessionFileURL();
    job.gradePreviewEnabled = engine.gradePreviewEnabled();
    job.width = kCanvasWidth;
    job.height = kCanvasHeight;
    job.lutBaseKey = "routes|" + std::to_string(number);
    const QImage still = job.run().still;
    if (still.isNull())
        return {};
    return shownInImage(still);
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

Shown shownInImage(const QImage& image)
{
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    return shownIn([&](int x, int y, int c) { return rgba.constScanLine(y)[4 * x + c] / 255.0; }, rgba.width(),
                   rgba.height());
}

} // namespace velmora::test::routes
