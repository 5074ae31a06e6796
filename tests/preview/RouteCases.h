#pragma once

// Timelines generated from a seed for the comparison of the routes that show or write a
// timeline's pictures, and what each route answers for them without rendering (or, for a few,
// with it).

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

#include "EngineTestSupport.h"
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

// Movies (one per rate, about 1.6 s of frame stamps), a still, a sound file and LUT files
// (look.cube keeps black and white, two.cube has two points), made once; each case links the
// ones it needs into a media folder of its own.
class Library {
public:
    Library();
    std::filesystem::path movie(std::size_t rate) const;
    std::filesystem::path file(const std::string& name) const { return dir_.path() / name; }

private:
    TempDir dir_;
};

// One generated case: the session the editor holds, its media folder, and in words what it is.
struct Case {
    std::shared_ptr<EditSession> session;
    std::filesystem::path folder;
    Rate rate;
    // One clip alone at (or near) 0 with nothing else: the fast path and the single-video
    // export may take it.
    bool single = false;
    // The 10-bit workspace's job carries a job-wide LUT that is not there.
    bool jobLutMissing = false;
    // Made to be rendered: every LUT keeps black and white (frame stamps stay readable), and
    // nothing is missing.
    bool rendered = false;
    std::ostringstream summary;
};

// A case from `rng` in `c.folder`: sources placed in the folder (or not: same-named files in two
// folders, stand-ins, a file several sources name, sounds and stills missing or present), clips
// off the frame grid with speeds, gaps and two lanes, LUTs missing, 2-point, inline, file, both,
// switched off, and a project LUT.
void generate(Case& c, const Library& library, std::mt19937& rng);

// The engine takes the case's session as a build would answer it: with the files of the sources
// it looked up.
void adopt(EngineHarness& harness, const Case& c);

// What the timeline export decides before it writes anything, asked of the export's own set-up
// steps: the files it reads, the LUTs, the refusal, and its frame rule on its grid.
struct ExportPlan {
    std::optional<Error> refusal;
    std::map<std::string, std::filesystem::path> files;
    ResolvedLuts luts;
    FrameGrid grid;
    std::int64_t framesTotal = 0;
    TimelineFrameMap map;
};
ExportPlan exportPlan(const EditorJobV2& job, const std::filesystem::path& folder, const ResolvedMedia* resolved);

// A picture as a route names it: a file and a frame of it, or black.
struct Picture {
    std::optional<std::filesystem::path> file;
    std::int64_t frame = 0;
    bool operator==(const Picture&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Picture& picture);

// Output frame n of the export.
Picture exportPicture(const ExportPlan& plan, std::int64_t n);
// The source frame the paused monitor's still is decoded at (its clip and request as the graded
// still asks for them at the frame's start): what a reader gives at the still's source time in
// that file (its rate and frame count as the file tells them), black where the file has no such
// frame.
Picture monitorPicture(const TimelinePreviewEngine& engine, double at);

// How many files of exactly this name lie anywhere in the folder.
std::size_t filesNamed(const std::filesystem::path& folder, const std::string& name);
bool isMovie(const std::filesystem::path& file);
// Whether an export's refusal names `name`.
bool refusalNames(const Error& refusal, const std::string& name);
// The seed: VELMORA_ROUTE_SEED, else a fixed one.
std::uint32_t baseSeed();

// What a picture shows: its frame stamp and its mean level (8-bit red, 0…255).
struct Shown {
    int stamp = -1;
    double level = 0;
};
std::ostream& operator<<(std::ostream& out, const Shown& shown);
// Every frame of a movie, in order.
std::vector<Shown> movieFrames(const std::filesystem::path& movie);
// The paused monitor's graded still at `at`, decoded from its source as the program view asks
// for it; `number` keeps its cached base apart.
Shown monitorStill(const TimelinePreviewEngine& engine, double at, int number);
// What the job preview shows in `image`.
Shown shownInImage(const Image& image);
// The same stamp, the level within 2.
::testing::AssertionResult sameFrame(const Shown& monitor, const Shown& written);

} // namespace velmora::test::routes
