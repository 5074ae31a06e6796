// The generator of the route comparison's cases: one small function per ingredient, drawn in a
// fixed order. Every draw is a statement of its own (the order of a call's arguments is the
// compiler's, and a seed must make the same case whichever compiler built the test); an
// ingredient that does not apply draws nothing, so that adding one at the end leaves the cases
// before it as they were.

#include <array>

#include "RouteCases.h"
#include "support/CubeTexts.h"
#include "support/model/SessionBuilders.h"

namespace velmora::test::routes {

namespace fs = std::filesystem;

namespace {

// One case while it is drawn: its session, sources and clips so far.
struct Draw {
    Draw(Case& c, const Library& library, std::mt19937& rng) : c(c), library(library), rng(rng) {}

    Case& c;
    const Library& library;
    std::mt19937& rng;
    std::shared_ptr<EditSession> session = sessionWith({});
    std::vector<std::string> videoSources;
    std::map<std::string, std::string> fileNames;
    // The frame rate of the one file a source reads, where the case knows it.
    std::map<std::string, double> sourceRates;
    // The rate of the movie anyMovie gave last.
    std::size_t lastRate = 0;
    std::vector<EditSession::Clip> clips;
    // Where the clips of lane 1 end so far.
    double end = 0;

    double uniform(double from, double to) { return std::uniform_real_distribution<double>(from, to)(rng); }
    bool chance(double p) { return std::bernoulli_distribution(p)(rng); }
    std::size_t pick(std::size_t n) { return static_cast<std::size_t>(rng() % n); }

    void place(const fs::path& relative, const fs::path& from)
    {
        fs::create_directories((c.folder / relative).parent_path());
        fs::create_hard_link(from, c.folder / relative);
    }
    fs::path anyMovie()
    {
        const bool isShort = chance(0.4);
        lastRate = pick(std::size(kRates));
        return library.movie(lastRate, isShort);
    }
    std::string addSource(const std::string& fileName, const char* type)
    {
        const std::string id = "s" + std::to_string(session->sources.size() + 1);
        session->sources.emplace_back(id, fileName, type);
        fileNames[id] = fileName;
        return id;
    }
    // A video clip carrying its file's name, as one placed from the media pool does.
    EditSession::Clip clipOf(const std::string& id, const std::string& source, double start, double duration, int lane,
                             double in)
    {
        EditSession::Clip clip = test::clip(id, "video", start, duration, lane, fileNames[source], in);
        clip.sourceId = source;
        return clip;
    }
    void describe(const EditSession::Clip& clip)
    {
        c.summary << " [" << clip.id << " " << *clip.sourceId << " @" << clip.startTime.value_or(0) << " +"
                  << clip.duration.value_or(0) << " in " << clip.inPoint.value_or(0) << " x" << clip.speed.value_or(1)
                  << " lane " << clip.track.value_or(1) << "]";
    }
};

// ---- the project and its LUT files ----

void startProject(Draw& d, std::size_t rate)
{
    d.c.rate = kRates[rate];
    d.c.summary << "fps " << d.c.rate.num << "/" << d.c.rate.den;
    d.session->project->fps = d.c.rate.fps();
    d.session->project->width = kCanvasWidth;
    d.session->project->height = kCanvasHeight;
    for (const char* lut : {"look.cube", "Look.cube", "LookA.cube", "two.cube", "bad.cube", "trunc.cube", "banana.cube",
                            "Warm Look.cube", "Grün Été.cube"})
        d.place(lut, d.library.file(lut));
}

// ---- sources ----

void addSoloSource(Draw& d, std::size_t rate)
{
    d.place("solo.mp4", d.library.movie(rate, d.chance(0.3)));
    d.videoSources.push_back(d.addSource("solo.mp4", "video"));
    d.sourceRates[d.videoSources.back()] = kRates[rate].fps();
    d.c.summary << " single";
}

// Two cards' first clips: one name in two folders, of two lengths.
void addCardSources(Draw& d)
{
    if (!d.chance(0.35))
        return;
    const bool firstShort = d.chance(0.5);
    d.place("cam1/C0001.MP4", d.library.movie(d.pick(std::size(kRates)), firstShort));
    d.place("cam2/C0001.MP4", d.library.movie(d.pick(std::size(kRates)), !firstShort));
    d.videoSources.push_back(d.addSource("C0001.MP4", "video"));
    d.videoSources.push_back(d.addSource("C0001.MP4", "video"));
    d.c.summary << " cam1+cam2/C0001.MP4 (" << (firstShort ? "short+long" : "long+short") << ")";
}

// A file gone, one of another name in one or two folders to stand in for it.
void addStandIn(Draw& d)
{
    if (d.c.rendered || !d.chance(0.3))
        return;
    d.place("a/x.mp4", d.anyMovie());
    if (d.chance(0.7))
        d.place("b/x.mp4", d.anyMovie());
    d.videoSources.push_back(d.addSource("g25.mp4", "video"));
    d.c.summary << " stand-in";
}

// One file that two or three sources name.
void addSharedFile(Draw& d)
{
    if (d.c.rendered || !d.chance(0.2))
        return;
    d.place("A001.mp4", d.anyMovie());
    const std::size_t sharing = 2 + d.pick(2);
    for (std::size_t i = 0; i < sharing; ++i)
        d.videoSources.push_back(d.addSource("A001.mp4", "video"));
    d.c.summary << " " << sharing << "xA001.mp4";
}

// One or two sources of their own files, in the folder or a subfolder, or absent.
void addOwnSources(Draw& d)
{
    const std::size_t own = 1 + d.pick(2);
    for (std::size_t i = 0; i < own; ++i) {
        const std::string name = "clip" + std::to_string(i) + ".mp4";
        std::optional<double> rate;
        if (d.c.rendered || d.chance(0.85)) {
            const bool sub = d.chance(d.c.rendered ? 0.6 : 0.3);
            d.place(sub ? fs::path("sub") / name : fs::path(name), d.anyMovie());
            rate = kRates[d.lastRate].fps();
            d.c.summary << (sub ? " sub/" : " ") << name;
        } else {
            d.c.summary << " " << name << "-absent";
        }
        d.videoSources.push_back(d.addSource(name, "video"));
        if (rate)
            d.sourceRates[d.videoSources.back()] = *rate;
    }
}

// ---- video clips ----

// A clip's LUT of kind `kind`: a file missing, two-point, inline, a file, both, unusable, switched
// off, a mixed-case file, a mixed-case name of which only a look-alike file is there, a file that
// names a size the cube reader refuses (entries cut short, a size that is no number), names with
// spaces and letters outside ASCII (present, missing, or only a look-alike of other case there).
EditorJobV2::ClipGrade lutGrade(Draw& d, std::size_t kind)
{
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    switch (kind) {
    case 0:
        d.c.summary << " lut=missing";
        grade.lutFile = "gone" + std::to_string(d.rng() % 3) + ".cube";
        break;
    case 1:
        d.c.summary << " lut=two-point";
        grade.lutFile = "two.cube";
        break;
    case 2:
        d.c.summary << " lut=inline";
        grade.hasLut.reset();
        grade.lutData = SharedText(invertingCubeText());
        break;
    case 3:
        d.c.summary << " lut=file";
        grade.lutFile = "look.cube";
        break;
    case 4:
        d.c.summary << " lut=both";
        grade.lutData = SharedText(invertingCubeText());
        grade.lutFile = "look.cube";
        break;
    case 5:
        d.c.summary << " lut=unusable";
        grade.lutFile = "bad.cube";
        break;
    case 6:
        d.c.summary << " lut=off";
        grade.hasLut = false;
        grade.lutFile = "look.cube";
        break;
    case 7:
        d.c.summary << " lut=Look.cube";
        grade.lutFile = "Look.cube";
        break;
    case 8:
        d.c.summary << " lut=lookA.cube(only LookA.cube)";
        grade.lutFile = "lookA.cube";
        break;
    case 9:
        d.c.summary << " lut=trunc.cube";
        grade.lutFile = "trunc.cube";
        break;
    case 10:
        d.c.summary << " lut=banana.cube";
        grade.lutFile = "banana.cube";
        break;
    case 11:
        d.c.summary << " lut=Warm Look.cube";
        grade.lutFile = "Warm Look.cube";
        break;
    case 12:
        d.c.summary << " lut=Grün Été.cube";
        grade.lutFile = "Grün Été.cube";
        break;
    case 13:
        d.c.summary << " lut=Gone Äpfel.cube(missing)";
        grade.lutFile = "Gone Äpfel.cube";
        break;
    default:
        d.c.summary << " lut=grün été.cube(only Grün Été.cube)";
        grade.lutFile = "grün été.cube";
        break;
    }
    return grade;
}

// What a stored project or job can hold as a clip's rate: factors, percentages (150 is 1.5×, 40
// is 0.4×), negative rates, none at all, rates past either limit (20000 % is 200×, 1e308 % more
// still, 0.01×) and one a hair off 1. Not a number and infinite are left out: no file holds them
// (the JSON reader refuses 1e999) and no edit makes them.
double drawSpeed(Draw& d)
{
    const double speeds[] = {1, 1, 1, 0.5, 2, 1.5, -0.5, -2, 150, 40, 20000, 1e308, 0.01, 0, -250, 1.0004};
    return speeds[d.pick(std::size(speeds))];
}

// A rendered case grades only with LUTs that keep black and white, and has nothing missing.
void addClipSpeedAndLut(Draw& d, EditSession::Clip& clip)
{
    if (const double speed = drawSpeed(d); speed != 1)
        clip.speed = speed;
    constexpr std::size_t kinds = 15;
    constexpr std::size_t rendered[] = {3, 7, 11, 12};
    if (const std::size_t lut = d.pick(kinds + 1); lut < kinds)
        clip.grade = lutGrade(d, d.c.rendered ? rendered[lut % std::size(rendered)] : lut);
}

// The next piece of the same file, back to back, its in point before where the piece before it
// ended: the same-source continuation reads on from that end.
void addContinuation(Draw& d, const EditSession::Clip& before, const std::string& source, int index)
{
    if (!d.chance(0.25))
        return;
    const double rawIn = std::max(0.0, before.inPoint.value_or(0) + *before.duration - d.uniform(0.1, 0.4));
    const double length = d.uniform(0.15, 0.8);
    const double at = d.end + d.uniform(0, 0.05);
    EditSession::Clip next = d.clipOf("v" + std::to_string(index) + "b", source, at, length, 1, rawIn);
    d.c.continued = std::make_pair(next.id, rawIn);
    d.describe(next);
    d.c.summary << "(back to back)";
    d.clips.push_back(next);
    d.end = *next.startTime + *next.duration;
}

// Clips off the frame grid, with gaps, speeds and LUTs, on lane 1 or over it on lane 2.
void addVideoClips(Draw& d)
{
    const bool single = d.c.single;
    d.end = single ? 0 : (d.chance(0.5) ? 0 : d.uniform(0, 0.3));
    const int count = single ? 1 : 1 + static_cast<int>(d.pick(4));
    for (int i = 0; i < count; ++i) {
        const std::string source = d.videoSources[d.pick(d.videoSources.size())];
        const bool upper = !single && i > 0 && d.chance(0.2);
        double start = upper ? d.uniform(0, d.end) : d.end + (d.chance(0.6) ? 0 : d.uniform(0.05, 0.6));
        if (single)
            start = std::array<double, 3>{0, 0.04, 0.02}[d.pick(3)];
        const double duration = d.uniform(0.15, 1.6);
        double in = d.chance(0.7) ? d.uniform(0, 0.9) : 0;
        // On the frame grid, its in point a hair after a frame of its file starts (microseconds,
        // less than half a tick of the player's composition, or a fraction of a millisecond):
        // where a route that rounds a source time, or reads a rate near 1 as 1, shows the frame
        // before the rule's.
        if (const auto rate = d.sourceRates.find(source); rate != d.sourceRates.end() && d.chance(0.3)) {
            const double fps = d.c.rate.fps();
            start = std::round(start * fps) / fps;
            const double hair = d.chance(0.5) ? d.uniform(0.5e-6, 4e-6) : d.uniform(0.00005, 0.0008);
            in = std::floor(in * rate->second) / rate->second + hair;
            d.c.summary << " (on the grid, in " << hair << " s past a frame)";
        }
        EditSession::Clip clip = d.clipOf("v" + std::to_string(i), source, start, duration, upper ? 2 : 1, in);
        if (!single)
            addClipSpeedAndLut(d, clip);
        d.describe(clip);
        d.clips.push_back(clip);
        if (!upper)
            d.end = start + duration;
        if (!single && !upper && !clip.speed)
            addContinuation(d, clip, source, i);
    }
}

// A lower lane running past its file's end at another speed, under a clip that ends first.
void addPastEndBelow(Draw& d)
{
    if (d.c.single || !d.chance(0.3))
        return;
    const std::string source = d.videoSources[d.pick(d.videoSources.size())];
    const double in = d.uniform(0, 0.5);
    const double length = d.uniform(1.2, 2.6);
    const double start = d.uniform(0, 0.3);
    EditSession::Clip under = d.clipOf("u0", source, start, length, 2, in);
    under.speed = d.chance(0.5) ? 1.5 : 2;
    d.c.summary << " past-end-below";
    d.describe(under);
    d.clips.push_back(under);
    d.end = std::max(d.end, *under.startTime + *under.duration);
}

// ---- stills and sounds ----

void addStill(Draw& d)
{
    if (d.c.single || d.c.rendered || !d.chance(0.3))
        return;
    const bool present = d.chance(0.6);
    if (present)
        d.place("still.png", d.library.file("still.png"));
    const int lane = d.chance(0.5) ? 1 : 2;
    const double length = d.uniform(0.2, 0.8);
    const double start = d.uniform(0, d.end);
    EditSession::Clip still = test::clip("i0", "image", start, length, lane, "still.png");
    still.sourceId = d.addSource("still.png", "image");
    d.c.summary << " still" << (present ? "" : "-absent");
    d.clips.push_back(still);
}

// A sound clip whose name has no extension: its source says what it is. A movie named like it
// lies beside it (or in its place).
void addVoice(Draw& d)
{
    if (d.c.single || !d.chance(0.4))
        return;
    const bool present = d.c.rendered || d.chance(0.6);
    if (present)
        d.place("voice.wav", d.library.file("voice.wav"));
    const bool movieNamedLikeIt = d.chance(0.4);
    if (movieNamedLikeIt)
        d.place("voice.mp4", d.anyMovie());
    EditSession::Clip voice = test::clip("a0", "audio", 0, std::max(d.end, 0.5), 3, "voice");
    voice.sourceId = d.addSource("voice.wav", "audio");
    d.c.summary << " voice.wav" << (present ? "" : "-absent") << (movieNamedLikeIt ? " voice.mp4" : "");
    d.clips.push_back(voice);
}

// A sound source named in words: its declared type says what it is.
void addVoiceMemo(Draw& d)
{
    if (d.c.single || d.c.rendered || !d.chance(0.2))
        return;
    EditSession::Clip memo = test::clip("a1", "audio", 0, std::max(d.end, 0.5), 4, "Voice memo");
    memo.sourceId = d.addSource("Voice memo", "audio");
    d.c.summary << " Voice-memo";
    d.clips.push_back(memo);
}

// ---- the project's, the job's and the 10-bit workspace's LUTs ----

// The project's LUT: inline, a file, missing, unusable, a mixed-case file, a mixed-case name of
// which only a look-alike file is there, or a file whose entries are cut short.
void setProjectLut(Draw& d)
{
    if (d.c.single || !d.chance(d.c.rendered ? 0.3 : 0.4))
        return;
    const char* references[] = {nullptr,      "look.cube",      "missing_project_look.cube", "bad.cube",
                                "Look.cube",  "lookA.cube",     "trunc.cube",                "Grün Été.cube",
                                "grün été.cube", "Warm Look.cube"};
    const std::size_t kind = d.c.rendered ? (d.chance(0.5) ? 1 : 7) : d.pick(std::size(references));
    d.session->grade = EditSession::ProjectGrade{kind == 0 ? identityCubeText() : references[kind]};
    d.c.summary << " project-lut=" << (kind == 0 ? "inline" : references[kind]);
}

// The 10-bit workspace's job carries a job-wide LUT that is not there, or the workspace a LUT
// override that cannot be used.
void setJobLuts(Draw& d)
{
    d.c.jobLutMissing = !d.c.single && !d.c.rendered && d.chance(0.12);
    if (d.c.jobLutMissing)
        d.c.summary << " job-lut-missing";
    if (d.c.rendered || !d.chance(0.1))
        return;
    d.c.lutOverride = d.chance(0.5) ? d.c.folder / "chosen_override.cube" : d.c.folder / "bad.cube";
    d.c.summary << " override=" << d.c.lutOverride->filename().string()
                << (fs::exists(*d.c.lutOverride) ? "(unusable)" : "(gone)");
}

// ---- edits before the routes are asked ----

// A video clip given other marks in the Source Viewer and sent back with "Update Timeline": the
// viewer hands back the LUT it shows, which stays the clip's own as written. Not where the 10-bit
// workspace is handed a browser's job: that job knows nothing of an edit made in the editor.
void editInSourceViewer(Draw& d)
{
    if (d.c.continued)
        return;
    std::vector<const EditSession::Clip*> videos;
    for (const EditSession::Clip& clip : d.clips)
        if (clip.type == "video")
            videos.push_back(&clip);
    if (videos.empty() || !d.chance(0.25))
        return;
    const EditSession::Clip& clip = *videos[d.pick(videos.size())];
    const double in = std::max(0.0, clip.inPoint.value_or(0) + d.uniform(-0.2, 0.3));
    const double length = d.uniform(0.2, 1.0);
    d.c.viewerEdit = Case::ViewerEdit{clip.id, in, in + length};
    d.c.summary << " viewer-update " << clip.id << " in " << in << " out " << in + length;
}

// The tail of a clip already past its file's end dragged further out.
void dragOutward(Draw& d)
{
    if (d.c.single || !d.chance(0.3))
        return;
    d.c.outwardDrag = d.uniform(0.05, 1.5);
    d.c.summary << " drag-out +" << *d.c.outwardDrag;
}

// The 10-bit workspace's own job (a browser's) ramps its first clip's speed: keyframe times in
// seconds, speeds as factors or percentages, one of them negative at times.
void rampFirstClip(Draw& d)
{
    if (!(d.c.continued || d.c.jobLutMissing) || d.clips.empty() || d.clips.front().type != "video" ||
        !d.chance(0.6))
        return;
    const double length = d.clips.front().duration.value_or(0);
    const std::size_t points = 2 + d.pick(2);
    d.c.summary << " ramp";
    for (std::size_t i = 0; i < points; ++i) {
        const double time = length * static_cast<double>(i) / static_cast<double>(points - 1) * d.uniform(0.6, 1.0);
        const double factors[] = {0.5, 1, 2, 3, 150, 50, -1};
        const double speed = factors[d.pick(std::size(factors))];
        d.c.ramp.emplace_back(time, speed);
        d.c.summary << " " << time << ":" << speed;
    }
}

// The first video clip's LUT, or the project's, is a file rewritten between asks.
void rewriteALut(Draw& d)
{
    if (d.c.rendered || !d.chance(0.15))
        return;
    Case::LutRewrite rewrite;
    rewrite.startsUsable = d.chance(0.5);
    const auto video = std::find_if(d.clips.begin(), d.clips.end(),
                                    [](const EditSession::Clip& clip) { return clip.type == "video"; });
    if (video != d.clips.end() && d.chance(0.7)) {
        rewrite.clipId = video->id;
        EditorJobV2::ClipGrade grade;
        grade.hasLut = true;
        grade.lutFile = kRewrittenLut;
        video->grade = grade;
    } else {
        d.session->grade = EditSession::ProjectGrade{kRewrittenLut};
    }
    writeTextFile(d.c.folder / kRewrittenLut,
                  readTextFile(d.library.file(rewrite.startsUsable ? kSqueezingLut : "trunc.cube")));
    d.c.summary << " rewritten-lut " << (rewrite.clipId ? *rewrite.clipId : std::string("project"))
                << (rewrite.startsUsable ? " good-then-cut" : " cut-then-good");
    d.c.lutRewrite = rewrite;
}

} // namespace

void generate(Case& c, const Library& library, std::mt19937& rng)
{
    Draw d{c, library, rng};
    const std::size_t rate = d.pick(std::size(kRates));
    startProject(d, rate);
    c.single = d.chance(0.2);
    if (c.single) {
        addSoloSource(d, rate);
    } else {
        addCardSources(d);
        addStandIn(d);
        addSharedFile(d);
        addOwnSources(d);
    }
    addVideoClips(d);
    addPastEndBelow(d);
    addStill(d);
    addVoice(d);
    addVoiceMemo(d);
    setProjectLut(d);
    setJobLuts(d);
    editInSourceViewer(d);
    dragOutward(d);
    rampFirstClip(d);
    rewriteALut(d);
    d.session->timelines.front().clips = std::move(d.clips);
    d.session->normalizeAllClipTiming();
    c.session = d.session;
}

} // namespace velmora::test::routes
