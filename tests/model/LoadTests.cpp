#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <nlohmann/json.hpp>

#include "model/EditSession.h"
#include "model/LutResolution.h"
#include "platform/foundation/Error.h"
#include "support/CubeTexts.h"
#include "support/TestSupport.h"

using namespace velmora;

namespace {

const char* const exportTool = "velmora-editor-desktop-export";

std::string jobDocument(const std::string& toolJson)
{
    return R"({"tool": )" + toolJson + R"(, "version": 2, "grade": {"lutCube": ""},
        "sources": [{"id": "s1", "fileName": "a.mov"}],
        "timelines": [{"id": "t1", "markers": [{"id": "m", "time": 1}],
                       "clips": [{"id": "c1", "type": "video", "sourceId": "s1", "startTime": 0, "duration": 4,
                                  "audioLevel": 0.5},
                                 {"id": "c2", "type": "text", "startTime": 1, "duration": 1}]}]})";
}

class LoadFile : public ::testing::Test {
protected:
    EditSession loadText(const std::string& text, const std::string& name = "doc.json")
    {
        const auto path = dir_ / name;
        test::writeTextFile(path, text);
        return EditSession::load(path);
    }

    Error loadFailure(const std::string& text)
    {
        try {
            loadText(text);
        } catch (const Error& error) {
            return error;
        }
        ADD_FAILURE() << "loaded: " << text;
        return Error("none", 0, "");
    }

    test::TempDir dir_;
};

} // namespace

TEST_F(LoadFile, EmptyFileIsCodeOne)
{
    const auto error = loadFailure("");
    EXPECT_EQ(error.domain(), "EditSession");
    EXPECT_EQ(error.code(), 1);
    // Named as the other refusals name it: the file may have come from the command line.
    EXPECT_EQ(error.localizedDescription(), "Could not load \u201Cdoc.json\u201D: JSON file is empty.");
}

TEST_F(LoadFile, BlankOrBrokenJsonIsCodeTwo)
{
    for (const char* text : {"  \n", "{\"timelines\": [", "not json",
                             R"({"timelines": [{"id": "t", "clips": [{"id": "a", "startTime": 1e999}]}]})"}) {
        const auto error = loadFailure(text);
        EXPECT_EQ(error.domain(), "EditSession");
        EXPECT_EQ(error.code(), 2);
        EXPECT_EQ(error.localizedDescription().rfind("Could not load \u201Cdoc.json\u201D: The given data was not valid JSON (", 0), 0u)
            << error.localizedDescription();
    }
}

TEST_F(LoadFile, AFrameRateAbove240IsRefusedWhereverTheDocumentHoldsIt)
{
    const std::string limit =
        " fps is not supported: a frame rate must be a finite number of at most 240 frames per second.";
    const std::vector<std::pair<std::string, std::string>> documents{
        // A render job (and, after it, the session reader that gets a second try).
        {R"({"tool": "velmora-editor-desktop-export", "version": 2, "grade": {"lutCube": ""}, "sources": [],
             "project": {"fps": 1e9}, "timelines": [{"id": "t", "clips": []}]})",
         "The frame rate 1000000000" + limit + " (at project.fps)"},
        // A saved project.
        {R"({"tool": "velmora-editor-desktop-edit", "project": {"fps": 240.5}, "timelines": []})", "The frame rate 240.5" + limit + " (at project.fps)"},
        // A browser project, under either of its keys.
        {R"({"state": {"projectSettings": {"fps": "1e9"}}, "timelines": []})",
         "The frame rate 1000000000" + limit + " (at state.projectSettings.fps)"},
        {R"({"state": {"projectSettings": {"frameRate": 300}}, "timelines": []})",
         "The frame rate 300" + limit + " (at state.projectSettings.frameRate)"},
    };
    for (const auto& [text, reason] : documents) {
        const Error error = loadFailure(text);
        EXPECT_EQ(error.domain(), "EditSession");
        EXPECT_EQ(error.code(), 2);
        EXPECT_EQ(error.localizedDescription(), "Could not load \u201Cdoc.json\u201D: " + reason);
    }
    EXPECT_EQ(loadText(R"({"tool": "velmora-editor-desktop-edit", "project": {"fps": 240}, "timelines": []})").project->fps, 240.0);
}

TEST_F(LoadFile, ACanvasSideOutsideOneTo16384IsRefusedWhereverTheDocumentHoldsIt)
{
    const std::string limit = " is not supported: a canvas side must be a whole number of 1 to 16384 pixels.";
    const std::vector<std::pair<std::string, std::string>> documents{
        {R"({"tool": "velmora-editor-desktop-export", "project": {"width": -1920}, "timelines": []})",
         "The canvas width -1920" + limit + " (at project.width)"},
        {R"({"tool": "velmora-editor-desktop-edit", "project": {"width": 1920, "height": 0}, "timelines": []})",
         "The canvas height 0" + limit + " (at project.height)"},
        {R"({"state": {"projectSettings": {"width": "16385", "height": 2160}}, "timelines": []})",
         "The canvas width 16385" + limit + " (at state.projectSettings.width)"},
    };
    for (const auto& [text, reason] : documents)
        EXPECT_EQ(loadFailure(text).localizedDescription(), "Could not load \u201Cdoc.json\u201D: " + reason);
    EXPECT_EQ(loadText(R"({"tool": "velmora-editor-desktop-edit", "project": {"width": 16384, "height": 1}, "timelines": []})").project->width, 16384);
}

TEST_F(LoadFile, TypeMismatchNamesTypeAndPath)
{
    const auto error = loadFailure(R"({"timelines": [{"id": "t", "clips": [{"id": "a", "type": 4}]}]})");
    EXPECT_EQ(error.code(), 2);
    EXPECT_EQ(error.localizedDescription(),
        "Could not load \u201Cdoc.json\u201D: The value at \u201Ctimelines[0].clips[0].type\u201D is 4, not text.");
    EXPECT_EQ(loadFailure("[]").localizedDescription(), "Could not load \u201Cdoc.json\u201D: The value at the top level is [], not an object.");
}

TEST_F(LoadFile, MissingOrUnreadableFilesPassTheSystemError)
{
    try {
        EditSession::load(dir_ / "missing.json");
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "file");
        EXPECT_EQ(error.code(), ENOENT);
        EXPECT_NE(error.localizedDescription().find("missing.json"), std::string::npos);
    }
    try {
        EditSession::load(dir_.path());
        FAIL();
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "file");
        EXPECT_EQ(error.code(), EISDIR);
    }
}

TEST_F(LoadFile, BrowserProjectWinsEvenWithAJobTool)
{
    const auto session = loadText(std::string(R"({"tool": ")") + exportTool
        + R"(", "version": 2, "grade": {"lutCube": ""}, "sources": [], "library": [],
            "timelines": [{"id": "t1", "clips": [{"id": "c", "type": "text"}]}]})");
    EXPECT_EQ(session.tool, "browser-tavlek");
    EXPECT_EQ(session.timelines.at(0).clips.size(), 1u);
}

TEST_F(LoadFile, RenderJobGoesThroughTheJobImport)
{
    const auto session = loadText(jobDocument(std::string("\"") + exportTool + "\""));
    EXPECT_EQ(session.tool, exportTool);
    ASSERT_EQ(session.timelines.size(), 1u);
    // The browser-export rules dropped the text clip; job clips carry no levels, and the
    // timeline's markers are kept.
    ASSERT_EQ(session.timelines[0].clips.size(), 1u);
    EXPECT_EQ(session.timelines[0].markers, (std::vector<EditSession::Marker>{{"m", 1.0, std::nullopt}}));
    EXPECT_FALSE(session.timelines[0].clips[0].audioLevel);
    EXPECT_EQ(session.timelines[0].pixelsPerSecond, 100.0);
    EXPECT_EQ(session.grade->lutCube, "None");
    ASSERT_TRUE(session.project);
    EXPECT_EQ(session.project->activeTimelineId, "t1");
}

// An edit-return file keeps its own LUT where it is text the cube reader grades with, sized as
// the reader reads it (the last size line): kept, it is what Save writes; refused, it is "None",
// as every route refuses it.
TEST_F(LoadFile, AnEditReturnKeepsItsOwnLutTextWhereTheCubeReaderGradesWithIt)
{
    const std::string entries = test::identityCubeText().substr(std::string("LUT_3D_SIZE 3\n").size());
    const std::string readAsThree = "LUT_3D_SIZE 2\nLUT_3D_SIZE 3\n" + entries;
    const std::string readAsTwo = "LUT_3D_SIZE 3\nLUT_3D_SIZE 2\n" + entries;
    const auto opened = [this](const std::string& lutCube) {
        nlohmann::json document = nlohmann::json::parse(jobDocument("\"velmora-editor-desktop-edit-return\""));
        document["grade"]["lutCube"] = lutCube;
        return loadText(document.dump(), "Trip_edit_return.json");
    };

    const std::string kept = readAsThree.substr(0, readAsThree.size() - 1); // trimmed
    EditSession session = opened(readAsThree);
    ASSERT_TRUE(session.grade);
    EXPECT_EQ(session.grade->lutCube, kept);
    EXPECT_TRUE(LutResolving::forJobReference(session.grade->lutCube, std::nullopt, std::nullopt).grades());
    session.saveProject(dir_ / "Trip.tavlek", std::nullopt);
    EXPECT_EQ(nlohmann::json::parse(test::readTextFile(dir_ / "Trip.tavlek"))["grade"]["lutCube"], kept);

    EXPECT_FALSE(LutResolving::forJobReference(readAsTwo, std::nullopt, std::nullopt).grades());
    session = opened(readAsTwo);
    ASSERT_TRUE(session.grade);
    EXPECT_EQ(session.grade->lutCube, "None");
}

TEST_F(LoadFile, PaddedToolIsAJobButNoBrowserExport)
{
    const auto session = loadText(jobDocument(R"(" velmora-editor-desktop-export\n")"));
    EXPECT_EQ(session.tool, " velmora-editor-desktop-export\n");
    EXPECT_EQ(session.timelines[0].clips.size(), 2u);
    EXPECT_EQ(session.timelines[0].markers.size(), 1u);
}

TEST_F(LoadFile, UnknownOrUpperCaseToolIsReadBySessionReader)
{
    for (const char* tool : {"\"VELMORA-EDITOR-DESKTOP-EXPORT\"", "\"something-else\""}) {
        const auto session = loadText(jobDocument(tool));
        ASSERT_EQ(session.timelines.size(), 1u) << tool;
        EXPECT_EQ(session.timelines[0].markers.size(), 1u) << tool;
        EXPECT_EQ(session.timelines[0].clips[0].audioLevel, 0.5) << tool;
        EXPECT_EQ(session.timelines[0].clips.size(), 2u);
    }
    // A tool that is no text fails both readers.
    EXPECT_EQ(loadFailure(jobDocument("7")).localizedDescription(), "Could not load \u201Cdoc.json\u201D: The value at \u201Ctool\u201D is 7, not text.");
}

TEST_F(LoadFile, SavedProjectKeepsWhatOnlyItHolds)
{
    const auto session = loadText(R"({"tool": "velmora-editor-desktop-edit", "version": 2, "grade": {"lutCube": "None"},
        "mediaFolder": "/media/clips", "sessionId": "S-1",
        "project": {"name": "Saved", "width": 1920, "height": 1080, "fps": 25, "activeTimelineId": "t1"},
        "sources": [{"id": "s1", "fileName": "a.mov", "type": "video"}],
        "timelines": [{"id": "t1", "name": "Timeline 1", "duration": 4, "pixelsPerSecond": 100,
                       "lockedTracks": ["audio-1"], "mutedTracks": [],
                       "markers": [{"id": "m1", "time": 2.5, "label": "Beat"}],
                       "clips": [{"id": "c1", "type": "video", "sourceId": "s1", "track": 1, "startTime": 0,
                                  "duration": 4, "inPoint": 0, "outPoint": 4, "speed": 1, "audioLevel": 0.7,
                                  "fadeIn": 0.5, "framerate": 25},
                                 {"id": "c1", "type": "audio", "sourceId": "s1", "startTime": 0, "duration": 4}]}]})");
    EXPECT_EQ(session.mediaFolder, "/media/clips");
    EXPECT_EQ(session.sessionId, "S-1");
    const auto& timeline = session.timelines.at(0);
    EXPECT_EQ(timeline.markers, (std::vector<EditSession::Marker>{{"m1", 2.5, std::string("Beat")}}));
    EXPECT_EQ(timeline.lockedTracks, std::vector<std::string>{"audio-1"});
    EXPECT_EQ(timeline.clips[0].audioLevel, 0.7);
    EXPECT_EQ(timeline.clips[0].framerate, 25.0);
    EXPECT_EQ(timeline.clips[0].fadeIn, 0.5);
    // Normalised on the way in: ids unique, timing filled.
    EXPECT_NE(timeline.clips[1].id, "c1");
    EXPECT_EQ(timeline.clips[1].outPoint, 4.0);
}

TEST_F(LoadFile, ProjectToolThatFailsTheSessionReaderFallsBackToTheJobReader)
{
    // A marker without id fails the session reader; the job reader keeps the markers that read.
    const auto session = loadText(R"({"tool": "velmora-editor-desktop-edit", "version": 2, "grade": {"lutCube": ""},
        "sources": [], "timelines": [{"id": "t1", "markers": [{"time": 1}, {"id": "m", "time": 2, "label": "B"}],
                                      "clips": [{"id": "c", "sourceId": 5}]}]})");
    EXPECT_EQ(session.tool, "velmora-editor-desktop-edit");
    ASSERT_EQ(session.timelines.at(0).clips.size(), 1u);
    EXPECT_EQ(session.timelines[0].markers, (std::vector<EditSession::Marker>{{"m", 2.0, std::string("B")}}));
    EXPECT_EQ(session.sources.at(0).id, "5");
}

TEST_F(LoadFile, JobToolWithBrokenJobBodyIsReadBySessionReader)
{
    const auto session = loadText(R"({"tool": "velmora-editor-desktop-export", "timelines": [{"id": "t1", "clips": []}]})");
    EXPECT_EQ(session.tool, "velmora-editor-desktop-export");
    EXPECT_EQ(session.timelines.size(), 1u);
    EXPECT_FALSE(session.grade);
}

TEST_F(LoadFile, BareDocumentsEndWithADefaultTimeline)
{
    // (A document with neither a job's tool nor a timeline is a single-video job to the export.)
    const auto session = loadText(R"({"tool": "velmora-editor-desktop-edit"})");
    ASSERT_EQ(session.timelines.size(), 1u);
    EXPECT_EQ(session.project->name, "Desktop Project");
    EXPECT_EQ(session.project->activeTimelineId, session.timelines[0].id);
}

TEST_F(LoadFile, ReportsTheSessionReadersFailureWhenBothRefuse)
{
    // Neither a session (type is a number) nor a job (no grade): the session reader's error is shown.
    const auto error = loadFailure(R"({"tool": "velmora-editor-desktop-export", "version": 2, "sources": [],
        "timelines": [{"id": "t", "clips": [{"id": "c", "type": 1}]}]})");
    EXPECT_EQ(error.localizedDescription(),
        "Could not load \u201Cdoc.json\u201D: The value at \u201Ctimelines[0].clips[0].type\u201D is 1, not text.");
}

TEST_F(LoadFile, DeeplyNestedDocumentFailsCleanly)
{
    const std::size_t depth = 200000;
    const auto error = loadFailure(R"({"timelines": )" + std::string(depth, '[') + std::string(depth, ']') + "}");
    // What it holds is quoted cut short, never written out to its whole depth.
    EXPECT_EQ(error.localizedDescription(), "Could not load \u201Cdoc.json\u201D: The value at \u201Ctimelines[0]\u201D is " +
                                                std::string(40, '[') + "\u2026, not an object.");
}

// Where the session reader is lenient, a job the job reader refuses opens whole; an edit-return
// file's markers are kept either way; a value of the wrong type anywhere else refuses the file, naming it,
// the field and the value: every such value found, the first three in the order read.
TEST_F(LoadFile, AJobOpensWhereTheSessionReaderIsLenientAndIsRefusedByNameElsewhere)
{
    using nlohmann::json;
    using Patches = std::vector<std::pair<std::string, json>>;
    const json editReturn = json::parse(jobDocument("\"velmora-editor-desktop-edit-return\""));
    // A patch of the value "(gone)" takes the key away.
    const auto patched = [&editReturn](const Patches& patches) {
        json document = editReturn;
        for (const auto& [pointer, value] : patches) {
            const json::json_pointer at(pointer);
            if (value == "(gone)")
                document[at.parent_pointer()].erase(at.back());
            else
                document[at] = value;
        }
        return document.dump();
    };
    struct Opens {
        Patches patches;
        std::function<void(const EditSession&)> check;
    };
    const auto& clip = [](const EditSession& session) -> const EditSession::Clip& {
        return session.timelines.at(0).clips.at(0);
    };
    const json flatLut = "look.cube";
    const std::vector<Opens> opens = {
        {{{"/timelines/0/clips/0/id", 7}}, [&](const EditSession& s) { EXPECT_EQ(clip(s).id, "7"); }},
        {{{"/timelines/0/clips/0/id", 2.5}}, [&](const EditSession& s) { EXPECT_EQ(clip(s).id, "2.5"); }},
        {{{"/timelines/0/id", 5}}, [](const EditSession& s) { EXPECT_EQ(s.timelines.at(0).id, "5"); }},
        {{{"/timelines/0/id", "(gone)"}}, [](const EditSession& s) { EXPECT_FALSE(s.timelines.at(0).id.empty()); }},
        {{{"/timelines/0/clips/0/sourceId", 1}}, [&](const EditSession& s) { EXPECT_EQ(clip(s).sourceId, "1"); }},
        {{{"/timelines/0/clips/0/groupId", 3}}, [&](const EditSession& s) { EXPECT_EQ(clip(s).groupId, "3"); }},
        {{{"/sources/0", {{"sourceKey", "s1"}, {"fileName", "a.mov"}}}},
         [](const EditSession& s) { EXPECT_EQ(s.sources.at(0).id, "s1"); }},
        {{{"/sources/0/fileName", "(gone)"}}, [](const EditSession& s) { EXPECT_EQ(s.sources.at(0).fileName, "media.mov"); }},
        {{{"/timelines/0/clips/0/id", "(gone)"}}, [&](const EditSession& s) { EXPECT_FALSE(clip(s).id.empty()); }},
        {{{"/timelines/0/clips/0/grade", "abc"}, {"/timelines/0/clips/0/lutFile", flatLut}},
         [&](const EditSession& s) { EXPECT_EQ(clip(s).grade->lutFile, "look.cube"); }},
        {{{"/timelines/0/clips/0/grade", {1}}, {"/timelines/0/clips/0/lutFile", flatLut}},
         [&](const EditSession& s) { EXPECT_EQ(clip(s).grade->lutFile, "look.cube"); }},
        {{{"/timelines/0/clips/0/grade", {{"hasLut", 1}}}, {"/timelines/0/clips/0/lutFile", flatLut}},
         [&](const EditSession& s) {
             EXPECT_EQ(clip(s).grade->lutFile, "look.cube");
             EXPECT_EQ(clip(s).grade->hasLut, true);
         }},
    };
    for (const Opens& open : opens) {
        const std::string text = patched(open.patches);
        const EditSession session = loadText(text);
        ASSERT_EQ(session.timelines.size(), 1u) << text;
        EXPECT_EQ(session.timelines[0].clips.size(), 2u) << text;
        // The markers are kept whichever reader read it.
        EXPECT_EQ(session.timelines[0].markers.size(), 1u) << text;
        open.check(session);
    }

    const std::string file = "Could not load \u201Cdoc.json\u201D: ";
    const std::vector<std::pair<Patches, std::string>> refused = {
        {{{"/timelines/0/clips/0/startTime", "abc"}},
         "The value at \u201Ctimelines[0].clips[0].startTime\u201D is \"abc\", not a number."},
        {{{"/timelines/0/clips/0/type", 4}}, "The value at \u201Ctimelines[0].clips[0].type\u201D is 4, not text."},
        {{{"/sources/0/id", 7}}, "The value at \u201Csources[0].id\u201D is 7, not text."},
        {{{"/timelines/0/clips/0/track", 1.5}},
         "The value at \u201Ctimelines[0].clips[0].track\u201D is 1.5, not a whole number."},
        {{{"/timelines/0/clips", "x"}}, "The value at \u201Ctimelines[0].clips\u201D is \"x\", not a list."},
        {{{"/timelines/0/clips/0/gradeParams", {{"exposure", "x"}}}},
         "The value at \u201Ctimelines[0].clips[0].gradeParams.exposure\u201D is \"x\", not a number."},
        {{{"/project", {{"fps", "abc"}}}},
         "The frame rate \"abc\" is not supported: a frame rate must be a finite number of at most 240 frames per "
         "second. (at project.fps)"},
        // What the reader is lenient about is no failure, also where it looks for all of them.
        {{{"/timelines/0/clips/0/grade", {{"hasLut", 1}}}, {"/timelines/0/clips/0/lutFile", flatLut},
          {"/timelines/0/clips/1/startTime", "abc"}},
         "The value at \u201Ctimelines[0].clips[1].startTime\u201D is \"abc\", not a number."},
        // Every failure is found; the first three are named, in the order the reader meets them.
        {{{"/timelines/0/clips/0/startTime", "abc"}, {"/timelines/0/clips/0/type", 4}, {"/sources/0/id", 7},
          {"/timelines/0/clips/0/track", 1.5}, {"/timelines/0/clips/1/duration", "x"}},
         "The value at \u201Csources[0].id\u201D is 7, not text. The value at \u201Ctimelines[0].clips[0].type\u201D is 4, "
         "not text. The value at \u201Ctimelines[0].clips[0].track\u201D is 1.5, not a whole number. And 2 more."},
    };
    for (const auto& [patches, said] : refused) {
        const Error error = loadFailure(patched(patches));
        EXPECT_EQ(error.code(), 2);
        EXPECT_EQ(error.localizedDescription(), file + said);
    }
    // A document broken throughout is read no further than a thousand failures.
    json broken = editReturn;
    broken["timelines"][0]["clips"] = json::array();
    for (int i = 0; i < 1200; ++i)
        broken["timelines"][0]["clips"].push_back({{"id", "c"}, {"type", i}});
    std::string said;
    for (int i = 0; i < 3; ++i)
        said += "The value at \u201Ctimelines[0].clips[" + std::to_string(i) + "].type\u201D is " + std::to_string(i) +
                ", not text. ";
    EXPECT_EQ(loadFailure(broken.dump()).localizedDescription(), file + said + "And at least 997 more.");
}

// A single-video job holds no timeline: it is refused by name with where it opens, never opened
// as an empty project (which Save would write over it). It is one by its kind, as the export reads
// it, whatever its values: those that do not read are named.
TEST_F(LoadFile, ASingleVideoJobIsRefusedWithWhereItOpens)
{
    const std::string refused = "\u201Cdoc.json\u201D is a single-video job: open it in the 10-bit Export workspace.";
    const std::vector<std::pair<std::string, std::string>> jobs = {
        {R"({"version": 1, "grade": {"lutCube": "look.cube"}, "sourceInSeconds": 2})", refused},
        {R"({"tool": "velmora-match-grade", "version": 1, "grade": {"lutCube": ""},
             "output": {"container": "mov"}, "timelines": []})",
         refused},
        {R"({"version": 1, "grade": {"lutCube": "look.cube"}, "sourceOutSeconds": "3.0"})",
         refused + " The value at \u201CsourceOutSeconds\u201D is \"3.0\", not a number."},
        {R"({"version": 1, "timelines": []})", refused + " The value at \u201Cgrade\u201D is missing."},
    };
    for (const auto& [text, said] : jobs) {
        const Error error = loadFailure(text);
        EXPECT_EQ(error.domain(), "EditSession");
        EXPECT_EQ(error.code(), 3);
        EXPECT_EQ(error.localizedDescription(), said);
        EXPECT_EQ(test::readTextFile(dir_ / "doc.json"), text);
    }
    // A document with a timeline is no single-video job: it stays a session document.
    EXPECT_EQ(loadText(R"({"version": 1, "timelines": [{"id": "t"}]})").timelines.size(), 1u);
}

// A number two million digits long is quoted by a few dozen characters, never whole.
TEST_F(LoadFile, AHugeTokenIsQuotedShortened)
{
    const std::string digits(2'000'000, '1');
    const Error error = loadFailure(R"({"timelines": [{"id": "t", "clips": [{"startTime": )" + digits + "}]}]}");
    EXPECT_EQ(error.localizedDescription(),
              "Could not load \u201Cdoc.json\u201D: The given data was not valid JSON (number overflow parsing '" +
                  std::string(20, '1') + "\u2026" + std::string(20, '1') + "').");
}
