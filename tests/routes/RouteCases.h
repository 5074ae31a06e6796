#pragma once

// Timelines generated from a seed for the comparison of the routes that show or write a
// timeline's pictures, the product's own entry points for each route, and what a picture shows.

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "preview/EngineTestSupport.h"
#include "preview/GradedStillJob.h"
#include "editing/TimelineFrameMap.h"
#include "model/EditorJobV2.h"
#include "model/LutResolution.h"
#include "model/ResolvedMedia.h"
#include "platform/foundation/Error.h"
#include "platform/image/Image.h"
#include "support/TestSupport.h"

namespace velmora::test::routes {

// A rate the cases run at, as the writer's fraction.
struct Rate {
    int num = 25;
    int den = 1;
    double fps() const { return static_cast<double>(num) / den; }
};
inline constexpr Rate kRates[] = {{25, 2}, {24000, 1001}, {25, 1}, {30000, 1001}, {60000, 1001}};
// The project's canvas and every movie's size.
inline constexpr int kCanvasWidth = 96;
inline constexpr int kCanvasHeight = 54;
// The stamp of the still; every movie's stamps start at 1000 or above, and black reads as 0.
inline constexpr int kStillStamp = 7;
// The LUT file a case rewrites between asks, a copy of its own in the case's folder, and the
// library's good table copied over it (one that moves a picture's mean level by far).
inline constexpr const char* kRewrittenLut = "Flip Läuft.cube";
inline constexpr const char* kSqueezingLut = "squeeze.cube";

// Movies (per rate a long one of 1.6 s and a short one of 0.8 s, each stamping its frames from a
// base of its own, so a stamp tells the movie and the frame), a still, a sound file and LUT files
// (look.cube, Look.cube, LookA.cube, "Warm Look.cube" and "Grün Été.cube" keep black and white,
// each bending the middle its own way; two.cube has two points, bad.cube is no LUT, trunc.cube and
// banana.cube name a size but the cube reader refuses them), made once; each case links the ones
// it needs into a media folder of its own.
class Library {
public:
    Library();
    std::filesystem::path movie(std::size_t rate, bool isShort = false) const;
    std::filesystem::path file(const std::string& name) const { return dir_.path() / name; }
    // The stamp frame `frame` of `file` (a link to one of the library's movies, or its still)
    // carries; none for a file the library did not make.
    std::optional<int> stampOf(const std::filesystem::path& file, std::int64_t frame) const;
    // Which movie and frame a stamp read from a picture names, in words ("movie2s.mp4 frame 16",
    // "black", "the still", "no stamp").
    static std::string describe(int stamp);

private:
    TempDir dir_;
};

// One generated case: the session the editor holds, its media folder, and in words what it is.
struct Case {
    std::shared_ptr<EditSession> session;
    std::filesystem::path folder;
    Rate rate;
    // One clip alone at (or near) 0 of a movie at the project's rate, with nothing else. Whether
    // the fast path takes a job is the fast path's to say, never the case's: other cases of one
    // clip may be taken too.
    bool single = false;
    // The 10-bit workspace's job carries a job-wide LUT that is not there.
    bool jobLutMissing = false;
    // The LUT override chosen in the 10-bit workspace: none, a file gone, or no usable .cube.
    std::optional<std::filesystem::path> lutOverride;
    // A clip that follows the previous clip of its file: its id and the in point a browser's job
    // gives it (before the same-source continuation).
    std::optional<std::pair<std::string, double>> continued;
    // Made to be rendered: every LUT keeps black and white (frame stamps stay readable), and
    // nothing is missing.
    bool rendered = false;
    // A clip opened in the Source Viewer, given other marks there and sent back with "Update
    // Timeline" before any route is asked.
    struct ViewerEdit {
        std::string clipId;
        double in = 0;
        double out = 0;
    };
    std::optional<ViewerEdit> viewerEdit;
    // The tail of the first clip found already past its file's end dragged further out by this
    // many seconds on the timeline, through the engine, before any route is asked.
    std::optional<double> outwardDrag;
    // A speed ramp the 10-bit workspace's own job (a browser's) gives its first clip, as the job's
    // keyframes (time in seconds, speed as stored). The editor keeps no ramp: only the job's
    // routes read it.
    std::vector<std::pair<double, double>> ramp;
    // A LUT file (kRewrittenLut) that a clip or the project names, rewritten after the routes
    // were first asked: a good table copied over a cut-short one (or the other way) and the list
    // refreshed, then back again, the routes asked after each.
    struct LutRewrite {
        // The clip whose LUT it is; none: the project's.
        std::optional<std::string> clipId;
        bool startsUsable = false;
    };
    std::optional<LutRewrite> lutRewrite;
    std::ostringstream summary;
};

// A case from `rng` in `c.folder` (RouteCaseGenerator.cpp): sources placed in the folder (or not:
// same-named files of different lengths in two folders, stand-ins, a file several sources name, a
// movie named like the sound clip, sounds and stills missing or present), clips off the frame grid
// (or on it, their in points a hair past a frame's start) with speeds as a file stores them
// (negative, none, percentages, past either limit, a hair off 1), gaps, back-to-back pieces of one
// file and two lanes (lower lanes running past their file's end at other speeds), LUTs missing,
// 2-point, inline, file, both, switched off, of mixed case, of a mixed-case name only a look-alike
// file answers (lookA.cube beside LookA.cube), naming a size the cube reader refuses, or named with
// spaces and letters outside ASCII, a project LUT (inline, by file, missing, unusable, cut short,
// mixed case, look-alike, outside ASCII), the 10-bit workspace's LUT override, a clip's Source
// Viewer edit, an outward drag of a clip past its file's end, a speed ramp in the 10-bit
// workspace's own job, and a LUT file rewritten between asks.
void generate(Case& c, const Library& library, std::mt19937& rng);

// What the window's preview build made of the case: the player's item and facts, or its error.
struct PlayerBuild {
    std::optional<TimelinePreviewEngine::PlayerItemBuild> built;
    std::optional<Error> failure;
};
// The engine adopts the case's session as the window does; its build is answered by the
// application's own build of the player item (TimelinePreviewEngine::makePlayerItem), with the
// facts the platform builder hands over.
PlayerBuild adopt(EngineHarness& harness, const Case& c);
// The newest build the engine asked for, answered as adopt answers it.
PlayerBuild answerBuild(EngineHarness& harness);

// After the monitor has decided: a file of a source's name appears directly in the folder
// (another movie) where the source's own lies in a subfolder, or a missing clip LUT appears.
// An export handed the monitor's answers reads what the monitor shows all the same.
void changeFolderAfterwards(Case& c, const Library& library, const ResolvedMedia& shown, std::mt19937& rng);

// A picture as a route names it: a file and a frame of it, or black. A route that asks for a
// frame past its file's end names that frame, with `pastEnd`.
struct Picture {
    std::optional<std::filesystem::path> file;
    std::int64_t frame = 0;
    bool pastEnd = false;
    bool operator==(const Picture&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Picture& picture);

// The paused monitor at `at`: the engine's clip and source time for its graded still, and the
// source frame a reader gives there in that file.
Picture monitorPicture(const TimelinePreviewEngine& engine, double at);
// The player's composition at item time `seconds`: the piece there, its file and the source frame
// it reads at that instant.
Picture playerPicture(const TimelinePreviewEngine::PlayerItemBuild& built, double seconds);
// Output frame n of an export's frame rule, over the files the export was handed.
Picture exportPicture(const TimelineFrameMap& map, const MediaResolver::SourceFileMap& files, std::int64_t n);

// The file opened as an asset (Asset::open), once for the file itself whatever path links to it,
// for any thread: every case links the library's files, which never change, into a folder of its
// own, and the routes' pictures ask of those few files frame after frame. forgetOpenedAssets
// forgets them once the library is gone.
std::shared_ptr<const Asset> openedAsset(const std::filesystem::path& file);
void forgetOpenedAssets();

// How many files of exactly this name lie anywhere in the folder.
std::size_t filesNamed(const std::filesystem::path& folder, const std::string& name);
bool isMovie(const std::filesystem::path& file);
// Whether an error names `name`.
bool names(const Error& refusal, const std::string& name);
// Whether the tests run under AddressSanitizer, which makes every route several times slower: a
// run then draws fewer cases, as many as still reach every check (the run's table shows it).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kUnderAddressSanitizer = true;
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif

// The seeds a run draws its cases from: VELMORA_ROUTE_SEED alone, else a handful of fixed ones.
// Case `index` of seed s is drawn from s + index.
const std::vector<std::uint32_t>& fixedSeeds();
std::vector<std::uint32_t> routeSeeds();
// The cases a developer asked to draw from each seed: VELMORA_ROUTE_CASES.
std::optional<int> casesAsked();
// Cases drawn from each seed: those asked, else 60 (30 under AddressSanitizer).
int casesPerSeed();
// Whether the run draws the fixed seeds' cases, as CI runs them: neither a seed nor a number of
// cases asked for.
bool drawsFixedCases();
// How a developer draws case `index` of `seed` alone again, in words for a failure's trace.
std::string repeatWith(std::uint32_t seed, int index);

// What a picture shows: its frame stamp and its mean level (8-bit red, 0…255).
struct Shown {
    int stamp = -1;
    double level = 0;
};
std::ostream& operator<<(std::ostream& out, const Shown& shown);
// Every frame of a movie, in order.
std::vector<Shown> movieFrames(const std::filesystem::path& movie);
// The paused monitor's graded still at `at`, decoded from its source as the program view asks
// for it, from a cached base of its own.
Shown monitorStill(const TimelinePreviewEngine& engine, double at);
// The same still as a job taken from the engine (none in a gap, where the monitor is black), and
// what it shows once run (any thread).
std::optional<GradedStillJob> monitorStillJob(const TimelinePreviewEngine& engine, double at);
Shown stillShown(const std::optional<GradedStillJob>& job);
// What an image shows.
Shown shownInImage(const Image& image);
Shown shownInImage(const QImage& image);
// The same stamp, the level within 2 (on failure: "<the first> | <the second>").
::testing::AssertionResult sameFrame(const Shown& monitor, const Shown& written);

} // namespace velmora::test::routes
