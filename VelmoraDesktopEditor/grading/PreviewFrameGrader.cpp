#include "grading/PreviewFrameGrader.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include "grading/BasicGrade.h"
#include "grading/CubeLUT.h"
#include "grading/GammaCompensation.h"
#include "grading/GradingCaches.h"
#include "grading/LutApplication.h"
#include "grading/MoodGrade.h"
#include "model/LutResolution.h"
#include "platform/foundation/Blake2b.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/StringText.h"
#include "platform/image/Composite.h"
#include "platform/image/Resample.h"
#include "platform/media/Asset.h"
#include "platform/media/ImageGenerator.h"

namespace velmora::PreviewFrameGrader {

namespace {

using ClipGrade = EditorJobV2::ClipGrade;
using OptionalPath = std::optional<std::filesystem::path>;

// Parsed clip LUTs are forgotten all at once when a new one arrives and this many are held.
constexpr std::size_t clipLutCacheLimit = 13;
constexpr std::size_t lutBaseCacheLimit = 12;
// Generators are forgotten all at once when a new one arrives and more than this many are held.
constexpr std::size_t generatorCacheLimit = 4;
// Source times become media times on this timescale: it holds the frame times of 23.976, 24,
// 25, 29.97, 30, 50, 59.94 and 60 fps exactly (1/60000 s does not hold 23.976's odd frames: a
// frame's start rounded onto it can fall just before the frame and decode the one before), and
// any other time within 5 ns, far inside the microsecond a frame's start may lie before the time
// (kFrameStartTolerance): on 1/120000 s a time 3 µs past a frame's start fell on that start and
// decoded that frame, where every other route shows the next.
constexpr std::int32_t sourceTimeScale = 120'000'000;

// The four caches behind one lock. Cube filters and images are immutable once stored, so a
// value taken out under the lock is used after releasing it without further care.
struct Caches {
    std::mutex cacheLock;
    // Guarded by cacheLock.
    std::unordered_map<std::string, Exporter::CachedCubeRef> clipLutCache;
    std::optional<std::string> projectCubeCacheKey;
    Exporter::CachedCubeRef projectCubeCache;
    std::unordered_map<std::string, Image> lutBaseCGCache;
    std::vector<std::string> lutBaseCacheLRU; // oldest first
    std::unordered_map<std::string, std::shared_ptr<ImageGenerator>> generatorCache;
};

// Never destroyed: work still queued at exit, on the preview queues or on rendering threads,
// may reach the caches while static objects are torn down.
Caches& caches()
{
    static Caches* const instance = new Caches;
    return *instance;
}

// The parsed cube and filter of a clip's LUT text, from the cache or parsed now. Nothing for
// text that does not parse; a failed parse is not remembered, so it is tried again next time.
Exporter::CachedCubeRef clipLutHit(const std::string& text)
{
    Caches& c = caches();
    {
        std::lock_guard lock(c.cacheLock);
        if (const auto it = c.clipLutCache.find(text); it != c.clipLutCache.end()) {
            return it->second;
        }
    }
    Exporter::CachedCubeRef entry;
    try {
        entry = Exporter::makeCachedCube(text);
    } catch (const std::exception&) {
        return nullptr;
    }
    std::lock_guard lock(c.cacheLock);
    if (c.clipLutCache.size() >= clipLutCacheLimit) {
        c.clipLutCache.clear();
    }
    c.clipLutCache.insert_or_assign(text, entry);
    return entry;
}

Exporter::CachedCubeRef projectCubeHit(const std::string& text)
{
    Caches& c = caches();
    {
        std::lock_guard lock(c.cacheLock);
        if (c.projectCubeCacheKey == text && c.projectCubeCache) {
            return c.projectCubeCache;
        }
    }
    Exporter::CachedCubeRef entry;
    try {
        entry = Exporter::makeCachedCube(text);
    } catch (const std::exception&) {
        return nullptr;
    }
    std::lock_guard lock(c.cacheLock);
    c.projectCubeCacheKey = text;
    c.projectCubeCache = entry;
    return entry;
}

double lutStrength(const std::optional<ClipGrade>& clipGrade)
{
    return clipGrade ? clipGrade->lutStrength.value_or(1.0) : 1.0;
}

// The clip-LUT step of the chain (the first step of applyLut).
std::optional<Image> applyClipLut(const Image& image, const std::optional<ClipGrade>& clipGrade,
                                  const OptionalPath& mediaFolder, const OptionalPath& sessionFile)
{
    return applyLutAnswer(image, clipLut(clipGrade, mediaFolder, sessionFile), lutStrength(clipGrade));
}

std::shared_ptr<ImageGenerator> generatorFor(const std::filesystem::path& assetURL, int outW, int outH,
                                             bool asExported)
{
    const std::string key = assetURL.string() + "|" + std::to_string(outW) + "x" + std::to_string(outH) +
                            (asExported ? "|exported" : "");
    Caches& c = caches();
    {
        std::lock_guard lock(c.cacheLock);
        if (const auto it = c.generatorCache.find(key); it != c.generatorCache.end()) {
            return it->second;
        }
    }
    auto generator = std::make_shared<ImageGenerator>(Asset::open(assetURL));
    generator->appliesPreferredTrackTransform = true;
    generator->maximumWidth = outW;
    generator->maximumHeight = outH;
    // The very frame asked for, not a neighbour within a window: a paused still must show the
    // frame the playhead is on, and reaching it costs at most a few more frames of decoding
    // after the seek.
    generator->requestedTimeToleranceBefore = MediaTime::zero();
    generator->requestedTimeToleranceAfter = MediaTime::zero();
    generator->takesFrameStartingAtOrAfter = asExported;
    std::lock_guard lock(c.cacheLock);
    if (c.generatorCache.size() > generatorCacheLimit) {
        c.generatorCache.clear();
    }
    c.generatorCache.insert_or_assign(key, generator);
    return generator;
}

} // namespace

// The queues live for the whole run: never destroyed, so no exit-time teardown waits on a
// still being decoded.
SerialQueue& gradeQueue()
{
    static SerialQueue* const queue = new SerialQueue("velmora.grade.preview.serial");
    return *queue;
}

SerialQueue& interactiveQueue()
{
    static SerialQueue* const queue = new SerialQueue("velmora.grade.preview.interactive");
    return *queue;
}

SerialQueue& pauseGradeQueue()
{
    static SerialQueue* const queue = new SerialQueue("velmora.grade.preview.pause");
    return *queue;
}

PixelSize gradePixelBudget(int outW, int outH, double maxEdge)
{
    const double w = std::max(1.0, static_cast<double>(outW));
    const double h = std::max(1.0, static_cast<double>(outH));
    double s = std::min(1.0, maxEdge / std::max(w, h));
    if (!(s > 0)) {
        // A budget of zero or below leaves nothing to scale by: the smallest still.
        s = 0;
    }
    const auto side = [s](double v) { return std::max(1, static_cast<int>(std::trunc(v * s))); };
    return {side(w), side(h)};
}

std::string lutBaseCacheKey(const std::string& clipId, const std::string& assetPath, std::int64_t frameIndex,
                            const std::string& lutKey, std::int64_t width, std::int64_t height)
{
    return clipId + "|" + assetPath + "|f" + std::to_string(frameIndex) + "|" + lutKey + "|" +
           std::to_string(width) + "x" + std::to_string(height);
}

std::string lutTextDigest(std::string_view text)
{
    // The digest the remembered verdicts are kept by: a text made to share a weaker one with
    // another LUT would be shown graded by that LUT's cached base.
    return Blake2b::hex(Blake2b::of(text)) + ":" + std::to_string(text.size());
}

std::string lutBaseKey(const std::string& frameKey, const LutResolution& answer, double strength)
{
    if (!answer.grades()) {
        return frameKey + "|none";
    }
    return frameKey + "|" + lutTextDigest(answer.text) + "@" + Exporter::formatSixDecimals(strength);
}

std::optional<Image> cachedLutBaseImage(const std::string& key)
{
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    if (const auto it = c.lutBaseCGCache.find(key); it != c.lutBaseCGCache.end()) {
        return it->second;
    }
    return std::nullopt;
}

std::optional<Image> fetchLutBaseCGImage(const std::string& cacheKey,
                                         const std::function<std::optional<Image>()>& buildBase, int outW,
                                         int outH)
{
    if (auto hit = cachedLutBaseImage(cacheKey)) {
        return hit;
    }
    const std::optional<Image> base = buildBase ? buildBase() : std::nullopt;
    if (!base) {
        return std::nullopt;
    }
    std::optional<Image> bitmap = renderCGImage(*base, outW, outH, false);
    if (!bitmap) {
        return std::nullopt;
    }
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    c.lutBaseCGCache.insert_or_assign(cacheKey, *bitmap);
    auto& order = c.lutBaseCacheLRU;
    order.erase(std::remove(order.begin(), order.end(), cacheKey), order.end());
    order.push_back(cacheKey);
    while (order.size() > lutBaseCacheLimit) {
        c.lutBaseCGCache.erase(order.front());
        order.erase(order.begin());
    }
    return bitmap;
}

LutBase fetchLutBase(const std::string& frameKey, const std::optional<ClipGrade>& grade,
                     const OptionalPath& mediaFolder, const OptionalPath& sessionFile,
                     const std::function<std::optional<Image>()>& decode, int outW, int outH)
{
    // Decided once: the base is keyed by the very text it is graded with.
    const LutResolution answer = clipLut(grade, mediaFolder, sessionFile);
    const double strength = lutStrength(grade);
    LutBase base;
    base.key = lutBaseKey(frameKey, answer, strength);
    base.image = fetchLutBaseCGImage(
        base.key,
        [&]() -> std::optional<Image> {
            std::optional<Image> frame = decode ? decode() : std::nullopt;
            if (!frame) {
                return std::nullopt;
            }
            if (std::optional<Image> graded = applyLutAnswer(*frame, answer, strength)) {
                return graded;
            }
            return frame;
        },
        outW, outH);
    return base;
}

void invalidateLutBaseCache()
{
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    c.lutBaseCGCache.clear();
    c.lutBaseCacheLRU.clear();
}

void invalidateProjectLutCache()
{
    {
        Caches& c = caches();
        std::lock_guard lock(c.cacheLock);
        c.projectCubeCacheKey.reset();
        c.projectCubeCache.reset();
    }
    invalidateLutBaseCache();
}

namespace {

struct SharedLutAnswers {
    std::mutex lock;
    std::vector<std::weak_ptr<LutResolving::Cache>> held; // guarded by lock; newest last
};

// Never destroyed, as the caches above: grading may still run while statics are torn down.
SharedLutAnswers& sharedLutAnswers()
{
    static SharedLutAnswers* const instance = new SharedLutAnswers;
    return *instance;
}

std::shared_ptr<LutResolving::Cache> sharedAnswersFor(const OptionalPath& mediaFolder, const OptionalPath& sessionFile)
{
    SharedLutAnswers& shared = sharedLutAnswers();
    std::lock_guard guard(shared.lock);
    for (auto it = shared.held.rbegin(); it != shared.held.rend(); ++it) {
        if (std::shared_ptr<LutResolving::Cache> answers = it->lock();
            answers && answers->mediaFolder() == mediaFolder && answers->sessionFile() == sessionFile) {
            return answers;
        }
    }
    return nullptr;
}

} // namespace

void shareLutAnswers(const std::shared_ptr<LutResolving::Cache>& answers)
{
    SharedLutAnswers& shared = sharedLutAnswers();
    std::lock_guard guard(shared.lock);
    std::erase_if(shared.held, [](const std::weak_ptr<LutResolving::Cache>& held) { return held.expired(); });
    if (answers) {
        shared.held.push_back(answers);
    }
}

LutResolution clipLut(const std::optional<ClipGrade>& grade, const OptionalPath& mediaFolder,
                      const OptionalPath& sessionFile)
{
    if (const std::shared_ptr<LutResolving::Cache> answers = sharedAnswersFor(mediaFolder, sessionFile)) {
        return answers->clip(grade);
    }
    return LutResolving::forClipGrade(grade, mediaFolder, sessionFile);
}

std::string resolvedProjectLutText(const std::optional<std::string>& projectLutCube, const OptionalPath& mediaFolder,
                                   const OptionalPath& sessionFile)
{
    // The job LUT answer every export of the session takes (LutResolving::forJobReference).
    const std::shared_ptr<LutResolving::Cache> answers = sharedAnswersFor(mediaFolder, sessionFile);
    LutResolution answer = answers ? answers->job(projectLutCube)
                                   : LutResolving::forJobReference(projectLutCube, mediaFolder, sessionFile);
    return answer.grades() ? std::move(answer.text) : std::string();
}

std::optional<Image> applyLutAnswer(const Image& image, const LutResolution& answer, double strength)
{
    if (!answer.grades()) {
        return std::nullopt;
    }
    const Exporter::CachedCubeRef hit = clipLutHit(answer.text);
    if (!hit) {
        return std::nullopt;
    }
    return Exporter::applyCubeLUTImage(image, hit->cube, hit->filter, strength);
}

Image applyLut(const Image& image, const std::optional<ClipGrade>& clipGrade,
               const std::optional<std::string>& projectLutCube, const OptionalPath& mediaFolder,
               const OptionalPath& sessionFile, bool useProjectFallback)
{
    if (auto graded = applyClipLut(image, clipGrade, mediaFolder, sessionFile)) {
        return *graded;
    }
    if (!useProjectFallback) {
        return image;
    }
    // Empty unless the project's LUT grades (the cube reader's answer).
    const std::string text = resolvedProjectLutText(projectLutCube, mediaFolder, sessionFile);
    if (text.empty()) {
        return image;
    }
    const Exporter::CachedCubeRef hit = projectCubeHit(text);
    if (!hit) {
        return image;
    }
    return Exporter::applyCubeLUTImage(image, hit->cube, hit->filter, 1.0);
}

Image applyGradeParams(const Image& image, const std::optional<ClipGrade>& clipGrade, int outW, int outH,
                       const std::string& gammaMode, double compContrast, double compSaturation,
                       double compBrightness, double compTint)
{
    Image out = image;
    if (clipGrade && clipGrade->gradeParams) {
        out = Exporter::applyMoodImage(out, clipGrade->gradeParams);
        out = Exporter::applyBasicGradeImage(out, clipGrade->gradeParams, outW, outH);
    }
    out = crop(out, IntRect{0, 0, std::max(outW, 1), std::max(outH, 1)});
    out = Exporter::applyLookAdjust(out, compContrast, compSaturation, compBrightness);
    out = Exporter::applyCompTintImage(out, compTint);
    return Exporter::applyGammaCompensation(out, Exporter::resolveGammaMode(gammaMode).gammaPower);
}

Image grade(const Image& image, const std::optional<ClipGrade>& clipGrade,
            const std::optional<std::string>& /*projectLutCube*/, int outW, int outH, const OptionalPath& mediaFolder,
            const OptionalPath& sessionFile, const std::string& gammaMode, double compContrast,
            double compSaturation, double compBrightness, double compTint)
{
    // The project LUT never grades a preview: a clip without a LUT of its own shows none.
    const Image lut = applyClipLut(image, clipGrade, mediaFolder, sessionFile).value_or(image);
    return applyGradeParams(lut, clipGrade, outW, outH, gammaMode, compContrast, compSaturation, compBrightness,
                            compTint);
}

std::optional<Image> renderCGImage(const Image& image, int width, int height, bool /*interactive*/)
{
    // Both contexts render the same pixels on this platform: Image keeps no intermediates
    // beyond its own shared rendering, and buffers come from the process-wide pool either way.
    if (image.isEmpty()) {
        return std::nullopt;
    }
    const IntRect area{0, 0, std::max(width, 1), std::max(height, 1)};
    try {
        const IntRect covered = integralRect(image.extent());
        const bool coversArea = image.isConstant() || intersection(covered, area) == area;
        Image bitmap = coversArea ? crop(image, area)
                                  : sourceOver(image, Image::constant(Color{0, 0, 0, 0}), area);
        bitmap = bitmap.rendered();
        if (!bitmap.hasPixels() || bitmap.width() != area.width || bitmap.height() != area.height) {
            return std::nullopt;
        }
        return bitmap;
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<Image> decodeSourceStill(const std::filesystem::path& assetURL, double sourceTime, int outW, int outH,
                                       bool asExported)
{
    if (!std::isfinite(sourceTime)) {
        return std::nullopt;
    }
    const int w = std::max(outW, 1);
    const int h = std::max(outH, 1);
    try {
        const std::shared_ptr<ImageGenerator> generator = generatorFor(assetURL, w, h, asExported);
        const std::shared_ptr<const Asset>& asset = generator->asset();
        if (!asset->isStillImage() && sourceTime > asset->durationSeconds()) {
            return std::nullopt;
        }
        const MediaTime time = MediaTime::fromSeconds(std::max(0.0, sourceTime), sourceTimeScale);
        const Image frame = generator->copyImage(time);
        return Exporter::fitToOutput(Exporter::tagCIImage(frame), w, h);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

Image letterboxToOutput(const Image& image, int outW, int outH)
{
    const int W = std::max(outW, 1);
    const int H = std::max(outH, 1);
    const IntRect area{0, 0, W, H};
    const Image black = Image::constant(Color{0, 0, 0, 1});
    if (image.isConstant()) {
        return sourceOver(image, black, area);
    }
    const IntRect e = integralRect(image.extent());
    if (e.width <= 0 || e.height <= 0) {
        return crop(black, area);
    }
    const double ew = static_cast<double>(e.width);
    const double eh = static_cast<double>(e.height);
    const double s = std::max(W / ew, H / eh);
    const AffineTransform transform =
        AffineTransform::translation(-static_cast<double>(e.x), -static_cast<double>(e.y))
            .concatenating(AffineTransform::scale(s, s))
            .concatenating(AffineTransform::translation((W - ew * s) / 2, (H - eh * s) / 2));
    return sourceOver(affineTransformCropped(image, transform, area), black, area);
}

namespace inspection {

std::size_t clipLutCacheCount()
{
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    return c.clipLutCache.size();
}

bool hasProjectCube()
{
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    return c.projectCubeCache != nullptr;
}

std::vector<std::string> lutBaseKeyOrder()
{
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    return c.lutBaseCacheLRU;
}

std::size_t generatorCacheCount()
{
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    return c.generatorCache.size();
}

void removeAll()
{
    Caches& c = caches();
    std::lock_guard lock(c.cacheLock);
    c.clipLutCache.clear();
    c.projectCubeCacheKey.reset();
    c.projectCubeCache.reset();
    c.lutBaseCGCache.clear();
    c.lutBaseCacheLRU.clear();
    c.generatorCache.clear();
}

} // namespace inspection

} // namespace velmora::PreviewFrameGrader
