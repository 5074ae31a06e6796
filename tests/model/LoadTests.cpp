#include <gtest/gtest.h>

#include <filesystem>

#include "model/EditSession.h"
#include "platform/foundation/Error.h"
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
    EXPECT_EQ(error.localizedDescription(), "JSON file is empty.");
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
        {R"({"project": {"fps": 240.5}, "timelines": []})", "The frame rate 240.5" + limit + " (at project.fps)"},
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
    EXPECT_EQ(loadText(R"({"project": {"fps": 240}, "timelines": []})").project->fps, 240.0);
}

TEST_F(LoadFile, ACanvasSideOutsideOneTo16384IsRefusedWhereverTheDocumentHoldsIt)
{
    const std::string limit = " is not supported: a canvas side must be a whole number of 1 to 16384 pixels.";
    const std::vector<std::pair<std::string, std::string>> documents{
        {R"({"tool": "velmora-editor-desktop-export", "project": {"width": -1920}, "timelines": []})",
         "The canvas width -1920" + limit + " (at project.width)"},
        {R"({"project": {"width": 1920, "height": 0}, "timelines": []})",
         "The canvas height 0" + limit + " (at project.height)"},
        {R"({"state": {"projectSettings": {"width": "16385", "height": 2160}}, "timelines": []})",
         "The canvas width 16385" + limit + " (at state.projectSettings.width)"},
    };
    for (const auto& [text, reason] : documents)
        EXPECT_EQ(loadFailure(text).localizedDescription(), "Could not load \u201Cdoc.json\u201D: " + reason);
    EXPECT_EQ(loadText(R"({"project": {"width": 16384, "height": 1}, "timelines": []})").project->width, 16384);
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
    // The browser-export rules dropped the text clip; job timelines carry no markers or levels.
    ASSERT_EQ(session.timelines[0].clips.size(), 1u);
    EXPECT_TRUE(session.timelines[0].markers.empty());
    EXPECT_FALSE(session.timelines[0].clips[0].audioLevel);
    EXPECT_EQ(session.timelines[0].pixelsPerSecond, 100.0);
    EXPECT_EQ(session.grade->lutCube, "None");
    ASSERT_TRUE(session.project);
    EXPECT_EQ(session.project->activeTimelineId, "t1");
}

TEST_F(LoadFile, PaddedToolIsAJobButNoBrowserExport)
{
    const auto session = loadText(jobDocument(R"(" velmora-editor-desktop-export\n")"));
    EXPECT_EQ(session.tool, " velmora-editor-desktop-export\n");
    EXPECT_EQ(session.timelines[0].clips.size(), 2u);
    EXPECT_TRUE(session.timelines[0].markers.empty());
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
    // A marker without id fails the session reader; the job reader ignores markers.
    const auto session = loadText(R"({"tool": "velmora-editor-desktop-edit", "version": 2, "grade": {"lutCube": ""},
        "sources": [], "timelines": [{"id": "t1", "markers": [{"time": 1}], "clips": [{"id": "c", "sourceId": 5}]}]})");
    EXPECT_EQ(session.tool, "velmora-editor-desktop-edit");
    ASSERT_EQ(session.timelines.at(0).clips.size(), 1u);
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
    const auto session = loadText("{}");
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
