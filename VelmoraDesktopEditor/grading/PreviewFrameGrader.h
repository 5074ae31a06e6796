#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/EditorJobV2.h"
#include "model/LutResolution.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/image/Image.h"

// Graded stills for the preview: one source frame turned into the image the program view, the
// source viewer and playback show. The grade is the chain of the export in the same order: the
// clip's conversion LUT at its strength, mood, basic grade, a crop to the output size, look
// compensation, compensation tint, gamma compensation.
//
// A "LUT base" is a source frame with only its conversion LUT applied, rendered at the budget
// size; a slider change re-runs only the cheap steps after the LUT on that cached bitmap.
//
// Threads: every operation may run on any thread. The views grade on the three queues below;
// playback grades on its rendering threads. The caches (parsed clip LUTs, the project LUT,
// LUT bases and frame generators) sit behind one lock that is held only for a lookup or a
// store, never while decoding, parsing or rendering: two threads that miss at once both do
// the work and the later store wins. Nothing here reports an error: what cannot be read or
// made leaves the image as it was, or gives no image.
namespace velmora::PreviewFrameGrader {

// The source viewer's stills.
SerialQueue& gradeQueue();       // "velmora.grade.preview.serial"
// Re-grades while a grade slider is dragged.
SerialQueue& interactiveQueue(); // "velmora.grade.preview.interactive"
// The program view's paused frame.
SerialQueue& pauseGradeQueue();  // "velmora.grade.preview.pause"

// Longest edge of a graded still, in pixels: paused, and while a slider is dragged.
inline constexpr double previewMaxGradeEdgePaused = 4096.0;
inline constexpr double previewMaxGradeEdgeInteractive = 854.0;
// The gamma mode the program view grades with (the editor's display gamma). The player and
// exported movies are shown as decoded, so a still takes no compensation of its own: it has the
// levels the export writes at that time. The export's gamma modes are the job's choice alone.
inline constexpr const char* editorDisplayGammaMode = "rec709";

struct PixelSize {
    int w = 0;
    int h = 0;

    bool operator==(const PixelSize&) const = default;
};

// The size to grade an outW x outH output at: scaled down (never up) so that its longer side is
// at most maxEdge, each side truncated and at least 1. Sizes below 1 count as 1.
PixelSize gradePixelBudget(int outW, int outH, double maxEdge = previewMaxGradeEdgePaused);

// "<clipId>|<assetPath>|f<frameIndex>|<lutKey>|<width>x<height>".
std::string lutBaseCacheKey(const std::string& clipId, const std::string& assetPath, std::int64_t frameIndex,
                            const std::string& lutKey, std::int64_t width, std::int64_t height);

// A digest of LUT text for cache keys (Blake2b::of, as the remembered verdicts are kept): 64 hex
// digits, ":" and the length. Two different texts never share one.
std::string lutTextDigest(std::string_view text);

// The key a LUT base of the frame `frameKey` (lutBaseCacheKey) is cached under when `answer`
// (the clip's LUT, as clipLut decides it) grades it at `strength`: frameKey, then "|none" when the
// answer grades nothing, else "|", the digest of its text, "@" and the strength with six
// decimals. A base is found again only for the very text it was graded with, whatever the file
// is called and whenever it was rewritten.
std::string lutBaseKey(const std::string& frameKey, const LutResolution& answer, double strength);

// LUT bases, keyed by lutBaseKey (or any key a caller chooses): at most 12, the first stored
// evicted first (reading does not refresh an entry).
std::optional<Image> cachedLutBaseImage(const std::string& key);
// The cached base, or buildBase()'s image rendered at (0, 0, outW, outH) and stored. Nothing
// (and nothing stored) when buildBase gives nothing or the render fails.
std::optional<Image> fetchLutBaseCGImage(const std::string& cacheKey,
                                         const std::function<std::optional<Image>()>& buildBase, int outW,
                                         int outH);
// A LUT base and the key it is cached under.
struct LutBase {
    std::optional<Image> image; // none when the frame could not be had or rendered
    std::string key;
};
// The LUT base of one frame of a clip: the grade's LUT decided once (clipLut: reads its file),
// then the base cached under lutBaseKey of that answer, or decode()'s frame put through that
// same answer's text at the grade's strength (1 when absent), rendered at (0, 0, outW, outH)
// and stored.
LutBase fetchLutBase(const std::string& frameKey, const std::optional<EditorJobV2::ClipGrade>& grade,
                     const std::optional<std::filesystem::path>& mediaFolder,
                     const std::optional<std::filesystem::path>& sessionFile,
                     const std::function<std::optional<Image>()>& decode, int outW, int outH);
void invalidateLutBaseCache();
// Forgets the parsed project LUT, then every LUT base.
void invalidateProjectLutCache();

// The LUT answers an owner (the preview engine) keeps for its media folder and project file:
// while it holds them, a clip graded for that folder and file takes the answer they hold (looked
// up there once) rather than reading its LUT files again. Held weakly; the newest shared for a
// folder and file wins.
void shareLutAnswers(const std::shared_ptr<LutResolving::Cache>& answers);
// The clip grade's LUT as decided for that folder and file: through the shared answers when
// there are some, else looked up now.
LutResolution clipLut(const std::optional<EditorJobV2::ClipGrade>& grade,
                      const std::optional<std::filesystem::path>& mediaFolder,
                      const std::optional<std::filesystem::path>& sessionFile);

// The project LUT's text; empty for an absent, blank or "None" reference.
std::string resolvedProjectLutText(const std::optional<std::string>& projectLutCube,
                                   const std::optional<std::filesystem::path>& mediaFolder,
                                   const std::optional<std::filesystem::path>& sessionFile);

// The image through a LUT answer's text at `strength`; nothing when the answer grades nothing or
// its text does not parse.
std::optional<Image> applyLutAnswer(const Image& image, const LutResolution& answer, double strength);

// The clip's LUT at its strength (1 when absent); without one, the project LUT at full strength
// when useProjectFallback is set; otherwise the image as it came.
Image applyLut(const Image& image, const std::optional<EditorJobV2::ClipGrade>& clipGrade,
               const std::optional<std::string>& projectLutCube,
               const std::optional<std::filesystem::path>& mediaFolder,
               const std::optional<std::filesystem::path>& sessionFile, bool useProjectFallback = false);

// Everything after the LUT: mood and basic grade (when the grade has parameters), a crop to
// (0, 0, max(outW, 1), max(outH, 1)), look compensation, compensation tint and the gamma
// mode's compensation. The defaults change nothing after the crop.
Image applyGradeParams(const Image& image, const std::optional<EditorJobV2::ClipGrade>& clipGrade, int outW,
                       int outH, const std::string& gammaMode = "rec709", double compContrast = 1.0,
                       double compSaturation = 1.0, double compBrightness = 0.0, double compTint = 0.0);

// The clip's LUT (never the project LUT, whatever projectLutCube holds), then applyGradeParams.
Image grade(const Image& image, const std::optional<EditorJobV2::ClipGrade>& clipGrade,
            const std::optional<std::string>& projectLutCube, int outW, int outH,
            const std::optional<std::filesystem::path>& mediaFolder,
            const std::optional<std::filesystem::path>& sessionFile, const std::string& gammaMode = "rec709",
            double compContrast = 1.0, double compSaturation = 1.0, double compBrightness = 0.0,
            double compTint = 0.0);

// The image's pixels in (0, 0, width, height) (each at least 1) as a bitmap: an image with no
// pending steps and exactly that extent; transparent where the image has no pixels. Nothing
// for an empty image or a size too large to allocate. `interactive` picks the context of
// slider re-grades over the one of stills; both render the same pixels.
std::optional<Image> renderCGImage(const Image& image, int width, int height, bool interactive);

// The frame of the file displayed at sourceTime (seconds), or with `asExported` the one an
// export writes there (the first starting at or after it), at most outW x outH as decoded,
// rotated for display and fitted to cover outW x outH (extent (0, 0, outW, outH)). Nothing for a
// time past the file's end or not a number, or a file that cannot be opened or decoded.
// Generators are kept per file, size and choice (at most 5) and reused.
std::optional<Image> decodeSourceStill(const std::filesystem::path& assetURL, double sourceTime, int outW,
                                       int outH, bool asExported = false);

// The image scaled uniformly to cover max(outW, 1) x max(outH, 1), centred, the overflow cut
// off, over opaque black; extent (0, 0, W, H). An empty image gives plain black; a constant
// colour covers the whole output.
Image letterboxToOutput(const Image& image, int outW, int outH);

// Cache state, for tests.
namespace inspection {
std::size_t clipLutCacheCount();
bool hasProjectCube();
std::vector<std::string> lutBaseKeyOrder();
std::size_t generatorCacheCount();
// Empties every cache.
void removeAll();
} // namespace inspection

} // namespace velmora::PreviewFrameGrader
