#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "model/EditSession.h"
#include "model/EditorJobV2.h"
#include "model/LutResolution.h"
#include "support/CubeTexts.h"
#include "support/TestSupport.h"

using namespace velmora;
using ClipGrade = EditorJobV2::ClipGrade;
using GradeParams = ClipGrade::GradeParams;

namespace {

// A cube the cube reader grades with.
const std::string cubeText = "TITLE \"t\"\n" + test::identityCubeText();

// Points the application's resources folder at `folder` (or at none) for one test.
class ResourcesFolder {
public:
    explicit ResourcesFolder(const std::string& folder)
    {
        if (const char* old = std::getenv("VELMORA_RESOURCES_DIR")) {
            previous_ = old;
        }
        ::setenv("VELMORA_RESOURCES_DIR", folder.c_str(), 1);
    }
    ~ResourcesFolder()
    {
        if (previous_) {
            ::setenv("VELMORA_RESOURCES_DIR", previous_->c_str(), 1);
        } else {
            ::unsetenv("VELMORA_RESOURCES_DIR");
        }
    }

private:
    std::optional<std::string> previous_;
};

EditorJobV2::Clip jobClip(std::optional<std::string> id, std::optional<std::string> type, double start, double duration)
{
    EditorJobV2::Clip clip;
    clip.id = std::move(id);
    clip.type = std::move(type);
    clip.startTime = start;
    clip.duration = duration;
    return clip;
}

EditorJobV2 job(std::string tool, std::vector<EditorJobV2::Clip> clips, std::string lutCube = "")
{
    EditorJobV2 j;
    j.tool = std::move(tool);
    j.version = 2;
    j.grade.lutCube = std::move(lutCube);
    EditorJobV2::Timeline timeline;
    timeline.id = "t1";
    timeline.clips = std::move(clips);
    j.timelines.push_back(std::move(timeline));
    return j;
}

const std::string browser = "velmora-editor-desktop-export";
const std::string renderOther = "velmora-editor-desktop-edit-return";

std::vector<std::string> ids(const EditSession& session)
{
    std::vector<std::string> result;
    for (const auto& clip : session.timelines.at(0).clips) {
        result.push_back(clip.id);
    }
    return result;
}

std::vector<double> starts(const EditSession& session)
{
    std::vector<double> result;
    for (const auto& clip : session.timelines.at(0).clips) {
        result.push_back(clip.startTime.value_or(-1));
    }
    return result;
}

} // namespace

TEST(JobImport, CopiesSessionFieldsSourcesAndTimelines)
{
    auto j = job(renderOther, {jobClip("a", "video", 0, 4)}, std::string("  ") + cubeText + "\n");
    j.createdAt = "2026-01-01T00:00:00Z";
    j.project = EditorJobV2::Project{"P", 1280, 720, 25.0, std::string("t1")};
    j.sources = {EditorJobV2::Source{"s1", "a.mov", std::string("video")}};
    j.timelines[0].name = "Main";
    j.timelines[0].duration = 99;
    j.timelines[0].lockedTracks = std::vector<std::string>{"video-1"};
    auto& c = j.timelines[0].clips[0];
    c.sourceId = "s1";
    c.groupId = "g";
    c.track = 2;
    c.inPoint = 1;
    c.speed = 2;
    c.opacity = 0.5;
    c.fadeIn = 0.25;
    c.fadeOut = 0.75;
    c.scale = 3;
    c.posX = 4;
    c.blendMode = "screen";
    c.grade = ClipGrade{true, std::nullopt, std::string("Look.cube"), std::nullopt, 0.5, std::nullopt};

    const auto session = EditSession::fromEditorJobV2(j);
    EXPECT_EQ(session.tool, renderOther);
    EXPECT_EQ(session.version, 2);
    EXPECT_EQ(session.createdAt, "2026-01-01T00:00:00Z");
    EXPECT_EQ(*session.project, (EditSession::Project{"P", 1280, 720, 25.0, std::string("t1")}));
    EXPECT_EQ(session.grade->lutCube, cubeText.substr(0, cubeText.size() - 1));
    EXPECT_EQ(session.sources, (std::vector<EditSession::Source>{{"s1", "a.mov", std::string("video")}}));
    EXPECT_FALSE(session.mediaFolder);
    EXPECT_FALSE(session.sessionId);
    const auto& timeline = session.timelines.at(0);
    EXPECT_EQ(timeline.name, "Main");
    EXPECT_EQ(timeline.pixelsPerSecond, 100.0);
    EXPECT_EQ(timeline.duration, 4.0); // recomputed for the active timeline
    EXPECT_EQ(timeline.lockedTracks, std::vector<std::string>{"video-1"});
    EXPECT_TRUE(timeline.mutedTracks.empty());
    EXPECT_TRUE(timeline.markers.empty());
    const auto& clip = timeline.clips.at(0);
    EXPECT_EQ(clip.sourceId, "s1");
    EXPECT_EQ(clip.groupId, "g");
    EXPECT_EQ(clip.track, 2);
    EXPECT_EQ(clip.speed, 2.0);
    EXPECT_EQ(clip.outPoint, 9.0);
    EXPECT_EQ(clip.opacity, 0.5);
    EXPECT_EQ(clip.fadeIn, 0.25);
    EXPECT_EQ(clip.fadeOut, 0.75);
    EXPECT_FALSE(clip.scale);
    EXPECT_FALSE(clip.posX);
    EXPECT_FALSE(clip.audioLevel);
    EXPECT_EQ(clip.grade, c.grade);
}

TEST(JobImport, ProjectLutRules)
{
    EXPECT_EQ(EditSession::fromEditorJobV2(job(browser, {}, cubeText)).grade->lutCube, "None");
    EXPECT_EQ(EditSession::fromEditorJobV2(job(renderOther, {}, "D-Log to Rec.709.cube")).grade->lutCube, "None");
    EXPECT_EQ(EditSession::fromEditorJobV2(job(renderOther, {}, "LUT_3D_SIZE 2\n")).grade->lutCube, "None");
    // Kept only where the cube reader grades with it, as every route takes it.
    EXPECT_EQ(EditSession::fromEditorJobV2(job("anything", {}, "LUT_1D_SIZE 16")).grade->lutCube, "None");
    EXPECT_EQ(EditSession::fromEditorJobV2(job("anything", {}, "LUT_3D_SIZE 3\n0 0 0\n")).grade->lutCube, "None");
    EXPECT_EQ(EditSession::fromEditorJobV2(job("anything", {}, cubeText)).grade->lutCube, cubeText.substr(0, cubeText.size() - 1));
}

TEST(JobImport, BrowserExportDropsTextAndImageClips)
{
    const std::vector<EditorJobV2::Clip> clips{jobClip("v", "video", 0, 4), jobClip("a", "audio", 0, 4),
        jobClip("t", "text", 1, 1), jobClip("i", "Image ", 2, 1), jobClip(std::nullopt, "video", 4, 1)};
    // A clip without an id is kept in every job kind, with an id of its own, as the export keeps it.
    const auto withoutLast = [](std::vector<std::string> kept) {
        EXPECT_FALSE(kept.back().empty());
        EXPECT_EQ(std::count(kept.begin(), kept.end(), kept.back()), 1);
        kept.pop_back();
        return kept;
    };
    EXPECT_EQ(withoutLast(ids(EditSession::fromEditorJobV2(job(browser, clips)))), (std::vector<std::string>{"v", "a"}));
    EXPECT_EQ(withoutLast(ids(EditSession::fromEditorJobV2(job(renderOther, clips)))),
              (std::vector<std::string>{"v", "a", "t", "i"}));
    EXPECT_EQ(EditSession::fromEditorJobV2(job(browser, clips)).timelines[0].clips.back().startTime, 4.0);
    auto png = jobClip("p", std::nullopt, 0, 1);
    png.name = "title.png";
    EXPECT_EQ(ids(EditSession::fromEditorJobV2(job(browser, {png}))), std::vector<std::string>{"p"});
    // The comparison is exact: a padded identifier is no browser export.
    EXPECT_EQ(ids(EditSession::fromEditorJobV2(job(" " + browser, clips))).size(), 5u);
}

TEST(JobImport, ClipIdsBecomeUniqueAndSourcesAreRebuilt)
{
    auto first = jobClip("dup", "video", 0, 2);
    first.sourceId = "s1";
    first.name = "a.mov";
    auto second = jobClip("dup", "video", 2, 2);
    second.sourceId = "s2";
    second.name = "b.mov";
    auto third = jobClip("", "video", 4, 2);
    const auto session = EditSession::fromEditorJobV2(job(renderOther, {first, second, third}));
    const auto clipIds = ids(session);
    EXPECT_EQ(clipIds[0], "dup");
    EXPECT_EQ(clipIds[1].substr(0, 4), "dup_");
    EXPECT_EQ(clipIds[2], "clip_0_2");
    ASSERT_EQ(session.sources.size(), 2u);
    EXPECT_EQ(session.sources[1].fileName, "b.mov");

    // The id made from a clip's place steps aside for a clip that holds it, even a later one, the
    // same on every read: the export and the editor key the clip alike.
    EditorJobV2 taken = job(renderOther, {jobClip(std::nullopt, "video", 0, 2), jobClip("clip_0_0", "video", 2, 2),
                                          jobClip("clip_0_0_2", "video", 4, 2)});
    EXPECT_EQ(ids(EditSession::fromEditorJobV2(taken)), (std::vector<std::string>{"clip_0_0_3", "clip_0_0", "clip_0_0_2"}));
    taken.giveClipIds();
    EXPECT_EQ(taken.timelines[0].clips[0].id, "clip_0_0_3");
}

TEST(JobImport, BrowserLayoutClosesSmallGapsAcrossLanes)
{
    auto run = [](double secondStart) {
        auto second = jobClip("b", "video", secondStart, 2);
        second.track = 2;
        return starts(EditSession::fromEditorJobV2(job(browser, {jobClip("a", "video", 0, 4), second})));
    };
    EXPECT_EQ(run(4.3), (std::vector<double>{0, 4}));
    EXPECT_EQ(run(4.5), (std::vector<double>{0, 4.5}));
    EXPECT_EQ(run(3.9), (std::vector<double>{0, 4}));
    EXPECT_EQ(run(3.85), (std::vector<double>{0, 3.85}));
    // Another tool keeps its layout.
    EXPECT_EQ(starts(EditSession::fromEditorJobV2(job(renderOther, {jobClip("a", "video", 0, 4), jobClip("b", "video", 4.3, 2)}))),
        (std::vector<double>{0, 4.3}));
}

TEST(JobImport, BrowserLayoutWalksInStartOrderWithMovedClips)
{
    // Stored out of order; c follows b once b has moved to 4.
    const auto session = EditSession::fromEditorJobV2(job(browser,
        {jobClip("c", "video", 6.2, 1), jobClip("a", "video", 0, 4), jobClip("b", "video", 4.2, 2), jobClip("m", "audio", 4.4, 1)}));
    EXPECT_EQ(starts(session), (std::vector<double>{6, 0, 4, 4.4}));
    EXPECT_EQ(session.timelines[0].duration, 7.0);
}

TEST(JobImport, BrowserLayoutLeavesAudioOnlyTimelines)
{
    EditSession session;
    session.tool = browser;
    session.timelines = {EditSession::Timeline{"t", std::nullopt, 3.0, 100.0, {}, {}, {}, {}}};
    EditSession::Clip a("a");
    a.type = "audio";
    a.startTime = 0;
    a.duration = 1;
    EditSession::Clip b = a;
    b.id = "b";
    b.startTime = 1.2;
    session.timelines[0].clips = {a, b};
    session.normalizeWebDesktopImportLayout();
    EXPECT_EQ(session.timelines[0].clips[1].startTime, 1.2);
    EXPECT_EQ(session.timelines[0].duration, 0.0);

    session.tool = "velmora-editor-desktop-edit";
    session.timelines[0].duration = 3;
    session.normalizeWebDesktopImportLayout();
    EXPECT_EQ(session.timelines[0].duration, 3.0);
}

// Inline text is kept where the cube reader reads it, the rule every route grades it by: a size
// named twice is read by its last; a text that names a size but lacks its entries goes.
TEST(SanitizeBrowserGrade, UsableInlineLutPassesUnchanged)
{
    ResourcesFolder none("");
    GradeParams params;
    params.exposure = 0.0001;
    for (const std::string& text : {test::identityCubeText(), "LUT_3D_SIZE 2\n" + test::identityCubeText()}) {
        const ClipGrade grade{false, text, std::string("x"), std::nullopt, 0.3, params};
        EXPECT_EQ(EditSession::sanitizeWebImportClipGrade(grade), grade);
    }
    EXPECT_EQ(EditSession::sanitizeWebImportClipGrade(std::nullopt), std::nullopt);
    const ClipGrade truncated{true, test::truncatedCubeText(), std::string("Look.cube"), std::nullopt, 0.3, params};
    EXPECT_EQ(EditSession::sanitizeWebImportClipGrade(truncated),
              (ClipGrade{true, std::nullopt, std::string("Look.cube"), std::string("Look.cube"), 0.3, params}));
}

TEST(SanitizeBrowserGrade, LutFileReferenceWithoutDotGetsCubeExtension)
{
    ResourcesFolder none("");
    const ClipGrade grade{true, std::string("LUT_3D_SIZE 2"), std::string(" MyLook "), std::string("ignored"), std::nullopt,
        std::nullopt};
    const auto result = EditSession::sanitizeWebImportClipGrade(grade);
    ASSERT_TRUE(result);
    EXPECT_EQ(*result, (ClipGrade{true, std::nullopt, std::string("MyLook.cube"), std::string("MyLook.cube"), 1.0, std::nullopt}));

    const ClipGrade byName{true, std::nullopt, std::string(""), std::string("looks/Warm.v2"), 0.4, std::nullopt};
    EXPECT_EQ(*EditSession::sanitizeWebImportClipGrade(byName),
        (ClipGrade{true, std::nullopt, std::string("looks/Warm.v2"), std::string("Warm.v2"), 0.4, std::nullopt}));
}

// A LUT named only like an installed one keeps its own name: the installed file is not put in
// its place, so the clip is found, or refused, by the name the grade gives.
TEST(SanitizeBrowserGrade, LutFileIsKeptAsWrittenBesideAnInstalledLookAlike)
{
    test::TempDir resources;
    test::writeTextFile(resources / "MyLook.cube", cubeText);
    ResourcesFolder folder(resources.path().string());
    const ClipGrade grade{true, std::nullopt, std::string("mylook"), std::nullopt, 0.8, std::nullopt};
    const auto result = EditSession::sanitizeWebImportClipGrade(grade);
    EXPECT_EQ(result->lutFile, "mylook.cube");
    EXPECT_EQ(result->lutName, "mylook.cube");
    EXPECT_EQ(result->lutStrength, 0.8);
}

TEST(SanitizeBrowserGrade, ParametersMustDifferFromNeutral)
{
    ResourcesFolder none("");
    auto withParams = [](GradeParams p, std::optional<bool> hasLut = true) {
        return EditSession::sanitizeWebImportClipGrade(ClipGrade{hasLut, std::nullopt, std::nullopt, std::nullopt, 0.7, p});
    };
    GradeParams tiny;
    tiny.exposure = 0.0004;
    EXPECT_EQ(withParams(tiny), std::nullopt);
    GradeParams visible;
    visible.exposure = -0.001;
    EXPECT_EQ(withParams(visible), (ClipGrade{false, std::nullopt, std::nullopt, std::nullopt, 0.7, visible}));
    GradeParams warm;
    warm.temperature = 0.01;
    EXPECT_EQ(withParams(warm), std::nullopt);
    warm.tint = -0.02;
    EXPECT_TRUE(withParams(warm));
    GradeParams moodNone;
    moodNone.moodKey = "none";
    EXPECT_EQ(withParams(moodNone, false), std::nullopt);
    moodNone.moodKey = "None";
    EXPECT_TRUE(withParams(moodNone, false));
    GradeParams ignored;
    ignored.sharpen = 1;
    ignored.vignette = 1;
    ignored.debanding = 1;
    ignored.moodIntensity = 1;
    ignored.isMoodEnabled = FlexibleBool{true};
    ignored.moodKey = "";
    EXPECT_EQ(withParams(ignored), std::nullopt);
    GradeParams sharp;
    sharp.sharpness = 0.2;
    EXPECT_TRUE(withParams(sharp, std::nullopt));
    EXPECT_EQ(EditSession::sanitizeWebImportClipGrade(ClipGrade{true, std::nullopt, std::nullopt, std::nullopt, 1.0, std::nullopt}),
        std::nullopt);
}

TEST(JobImport, BrowserClipGradesAreSanitised)
{
    ResourcesFolder none("");
    auto graded = jobClip("v", "video", 0, 4);
    graded.grade = ClipGrade{true, std::nullopt, std::string("Film"), std::nullopt, std::nullopt, std::nullopt};
    auto plain = jobClip("w", "video", 4, 4);
    plain.grade = ClipGrade{false, std::nullopt, std::nullopt, std::nullopt, std::nullopt, GradeParams{}};
    const auto session = EditSession::fromEditorJobV2(job(browser, {graded, plain}));
    EXPECT_EQ(session.timelines[0].clips[0].grade->lutFile, "Film.cube");
    EXPECT_FALSE(session.timelines[0].clips[1].grade);
}

// Inline text that cannot grade is kept as written, parameters beside it or not, and named as any
// unusable LUT is (the status line and the pickers read this answer); never dropped for an
// ungraded clip.
TEST(JobImport, BrowserInlineTextThatCannotGradeIsKeptAndNamedUnusable)
{
    ResourcesFolder none("");
    test::TempDir folder;
    GradeParams exposed;
    exposed.exposure = 0.5;
    for (const std::optional<GradeParams>& params : {std::optional<GradeParams>(), std::optional(exposed)}) {
        const ClipGrade written{true, std::string("LUT_3D_SIZE 2\n0 0 0\n"), std::nullopt, std::nullopt, 0.6, params};
        EXPECT_EQ(EditSession::sanitizeWebImportClipGrade(written), written);
        nlohmann::json grade = {{"hasLut", true}, {"lutData", "LUT_3D_SIZE 2\n0 0 0\n"}, {"lutStrength", 0.6}};
        if (params) {
            grade["gradeParams"] = {{"exposure", 0.5}};
        }
        const nlohmann::json document = {
            {"tool", "velmora-editor-desktop-export"}, {"version", 2}, {"grade", {{"lutCube", "None"}}},
            {"sources", nlohmann::json::array({{{"id", "s1"}, {"fileName", "a.mp4"}}})},
            {"timelines", nlohmann::json::array({{{"id", "t1"},
                                                  {"clips", nlohmann::json::array({{{"id", "v"},
                                                                                    {"type", "video"},
                                                                                    {"sourceId", "s1"},
                                                                                    {"startTime", 0},
                                                                                    {"duration", 2},
                                                                                    {"grade", grade}}})}}})}};
        test::writeTextFile(folder / "job.json", document.dump());
        const EditSession opened = EditSession::load(folder / "job.json");
        ASSERT_EQ(opened.timelines.at(0).clips.size(), 1u);
        EXPECT_EQ(opened.timelines[0].clips[0].grade, written);
        const LutResolution answer = LutResolving::forClipGrade(opened.timelines[0].clips[0].grade, std::nullopt, std::nullopt);
        EXPECT_EQ(answer.description(), "(Embedded LUT) is not a usable LUT: LUT_3D_SIZE 2 (needs 3 or more)");
        EXPECT_EQ(LutResolving::pickerValue(answer).title(), "(Embedded LUT) (unusable)");
    }
}
