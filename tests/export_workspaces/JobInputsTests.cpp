#include <sys/inotify.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "WorkspaceTestSupport.h"
#include "support/NamedPipe.h"
#include "export_workspaces/OutputNaming.h"
#include "model/EditSession.h"

namespace velmora::test {
namespace {

using Kind = ExportWorkspaceController::JobKind;
using Path = std::filesystem::path;

class JobInputs : public WorkspaceTest {
protected:
    // Sets what a timeline job clears, then loads `job`.
    void loadOverInputs(const Path& job)
    {
        chooseInput(dir / "A001.MOV");
        controller->pickLutOverride();
        panels->choose(dir / "look.cube");
        controller->setOutputContainer("mov");
        chooseMediaFolder(dir.path());
        loadJob(job);
    }
    void drop(const std::vector<Path>& files)
    {
        QList<QUrl> urls;
        for (const Path& file : files)
            urls << QUrl::fromLocalFile(QString::fromStdString(file.string()));
        EXPECT_TRUE(controller->handleDrop(urls));
        queue->runUntilIdle();
    }
};

TEST_F(JobInputs, StartsEmptyAndReady)
{
    EXPECT_EQ(controller->jobKind(), Kind::none);
    EXPECT_EQ(controller->jobKindLabel(), "Select a job JSON to begin.");
    EXPECT_EQ(controller->dropHint(), "Drag & drop your Job JSON here");
    EXPECT_EQ(controller->statusText(), "Ready");
    EXPECT_EQ(controller->gammaMode(), "rec709");
    EXPECT_EQ(controller->outputContainer(), "mp4");
    EXPECT_EQ(controller->bitrateMbps(), "");
    EXPECT_FALSE(controller->canExport());
    EXPECT_FALSE(controller->canRefreshPreview());
    EXPECT_EQ(controller->exportButtonTitle(), "Export 10-bit HEVC");
}

TEST_F(JobInputs, ADesktopToolMakesATimelineJobAndClearsTheSingleVideoInputs)
{
    loadOverInputs(writeTimelineJob());
    EXPECT_EQ(controller->jobKind(), Kind::timeline);
    EXPECT_EQ(controller->jobKindLabel(), "Editor Desktop Job (timeline export)");
    EXPECT_EQ(controller->dropHint(), "Drag & drop your Job JSON here (Media Folder required below)");
    EXPECT_FALSE(controller->inputURL());
    EXPECT_FALSE(controller->lutOverrideURL());
    // A media folder chosen before stays, and so does the output derived from the input, with
    // the container its name says.
    EXPECT_EQ(controller->mediaFolderURL(), dir.path());
    EXPECT_EQ(controller->outputURL(), dir / "A001_velmora_10bit.mov");
    EXPECT_EQ(controller->outputContainer(), "mov");
    // With no output, a timeline job proposes an MPEG-4 name.
    makeController();
    loadJob(writeTimelineJob());
    EXPECT_EQ(controller->outputContainer(), "mp4");
}

TEST_F(JobInputs, TimelinesWithoutAToolAreRefusedWhenChosen)
{
    // Read as a timeline job, which needs its tool: refused by name when chosen, as its export
    // would refuse it.
    loadJob(writeFile("t.json", R"({"timelines": [{"id": "t"}], "tool": null})"));
    EXPECT_FALSE(controller->jobURL());
    EXPECT_EQ(controller->errorText(),
              "Could not load \u201Ct.json\u201D: The value at \u201Ctool\u201D is null, not text. The value at "
              "\u201Cversion\u201D is missing. The value at \u201Cgrade\u201D is missing. And 2 more.");
}

TEST_F(JobInputs, EverythingElseIsASingleVideoJob)
{
    chooseMediaFolder(dir.path());
    loadJob(writeFile("job.json", R"({"tool": "velmora-editor", "version": 1, "grade": {"lutCube": ""}})"));
    EXPECT_EQ(controller->jobKind(), Kind::singleVideo);
    EXPECT_EQ(controller->jobKindLabel(), "Match Grade Desktop Job (single video)");
    EXPECT_EQ(controller->dropHint(), "Drag & drop your Job JSON + input video here");
    EXPECT_FALSE(controller->mediaFolderURL());
}

// What the export of a job would refuse is refused when the job is chosen, by the same reader:
// a file that cannot be read, that is no job, or that lacks what its kind needs, naming the file
// and every field found (the first three); the job before stays.
TEST_F(JobInputs, AJobItsExportWouldRefuseIsRefusedWhenChosen)
{
    const Path before = writeTimelineJob();
    loadJob(before);
    nlohmann::json noSourceId = timelineJob({"a.mp4"});
    noSourceId["sources"][0].erase("id");
    nlohmann::json noTimelineId = timelineJob({"a.mp4"});
    noTimelineId["timelines"][0].erase("id");
    nlohmann::json noGrade = timelineJob({"a.mp4"});
    noGrade.erase("grade");
    nlohmann::json numberedTool = timelineJob({"a.mp4"});
    numberedTool["tool"] = 7;
    nlohmann::json several = noGrade;
    several["sources"][0].erase("id");
    several["timelines"][0]["clips"][0]["startTime"] = "abc";
    several["timelines"][0].erase("id");
    several["version"] = "2";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"[1,2,3]", "The value at the top level is [1,2,3], not an object."},
        {numberedTool.dump(), "The value at \u201Ctool\u201D is 7, not text."},
        {noSourceId.dump(), "The value at \u201Csources[0].id\u201D is missing."},
        {noTimelineId.dump(), "The value at \u201Ctimelines[0].id\u201D is missing."},
        {noGrade.dump(), "The value at \u201Cgrade\u201D is missing."},
        {several.dump(), "The value at \u201Cversion\u201D is \"2\", not a whole number. The value at \u201Cgrade\u201D is "
                         "missing. The value at \u201Csources[0].id\u201D is missing. And 2 more."},
    };
    for (const auto& [text, said] : files) {
        const Path job = writeFile("bad.json", text);
        for (const bool dropped : {false, true}) {
            if (dropped)
                drop({job});
            else
                loadJob(job);
            EXPECT_EQ(controller->jobURL(), before) << text;
            EXPECT_EQ(controller->jobKind(), Kind::timeline);
            EXPECT_EQ(controller->errorTitle(), "Job Not Loaded");
            EXPECT_EQ(controller->errorText(), "Could not load \u201Cbad.json\u201D: " + said);
            controller->dismissError();
        }
    }
    // A file that cannot be read is refused in the system's words.
    loadJob(dir / "missing.json");
    EXPECT_EQ(controller->jobURL(), before);
    EXPECT_EQ(controller->errorText(), "Could not open \u201Cmissing.json\u201D: No such file or directory.");
}

TEST_F(JobInputs, AFileThatIsNotJsonOrHoldsANumberOutOfRangeIsRefusedWhenChosenAndTheJobBeforeStays)
{
    loadJob(writeTimelineJob());
    nlohmann::json fast = timelineJob({"a.mp4"});
    fast["project"]["fps"] = 1e300;
    nlohmann::json negative = timelineJob({"a.mp4"});
    negative["output"] = {{"width", -1920}, {"height", 1080}};
    nlohmann::json wrongBitrate = timelineJob({"a.mp4"});
    wrongBitrate["output"] = {{"targetBitrate", "abc"}};
    nlohmann::json wrongRate = timelineJob({"a.mp4"});
    wrongRate["project"]["fps"] = "NaN";
    nlohmann::json wrongWidth = timelineJob({"a.mp4"});
    wrongWidth["output"] = {{"width", {1920}}, {"height", 1080}};
    const std::string rate = " fps is not supported: a frame rate must be a finite number of at most 240 frames per "
                             "second.";
    const std::string bitrate =
        " b/s is not supported: a bit rate must be a whole number of 1 to 10000000000 bits per second.";
    const std::vector<std::pair<std::string, std::string>> files = {
        {R"({"output": {"fps": NaN}})", "The given data was not valid JSON (parse error at line 1, column 20: "
                                        "syntax error while parsing value - invalid literal; last read: "
                                        "'\"fps\": N')."},
        {R"({"output": {"fps": 1e400}})", "The given data was not valid JSON (number overflow parsing '1e400')."},
        {fast.dump(), "The frame rate 1e+300" + rate + " (at project.fps)"},
        {negative.dump(), "The canvas width -1920 is not supported: a canvas side must be a whole number of 1 to "
                          "16384 pixels. (at output.width)"},
        {R"({"version": 1, "grade": {"lutCube": ""}, "output": {"fps": 1e300}})",
         "The frame rate 1e+300" + rate + " (at output.fps)"},
        {R"({"version": 1, "grade": {"lutCube": ""}, "output": {"targetBitrate": 1000000000000000000}})",
         "The bit rate 1000000000000000000" + bitrate + " (at output.targetBitrate)"},
        // A value of another type is refused in the words of one out of range.
        {wrongBitrate.dump(), "The bit rate \"abc\"" + bitrate.substr(4) + " (at output.targetBitrate)"},
        {R"({"version": 1, "grade": {"lutCube": ""}, "output": {"targetBitrate": 5.5}})",
         "The bit rate 5.5" + bitrate + " (at output.targetBitrate)"},
        {wrongRate.dump(), "The frame rate \"NaN\"" + rate.substr(4) + " (at project.fps)"},
        {wrongWidth.dump(), "The canvas width [1920] is not supported: a canvas side must be a whole number of 1 to "
                            "16384 pixels. (at output.width)"},
    };
    for (const auto& [text, said] : files) {
        // The refusal names the file it is about.
        const std::string message = "Could not load \u201Cbad.json\u201D: " + said;
        const Path job = writeFile("bad.json", text);
        loadJob(job);
        EXPECT_EQ(controller->jobURL(), dir / "trip_desktop_v2_job.json");
        EXPECT_EQ(controller->jobKind(), Kind::timeline);
        EXPECT_TRUE(controller->showError());
        EXPECT_EQ(controller->errorTitle(), "Job Not Loaded");
        EXPECT_EQ(controller->errorText(), message);
        controller->dismissError();
        drop({job});
        EXPECT_EQ(controller->jobURL(), dir / "trip_desktop_v2_job.json");
        EXPECT_EQ(controller->errorText(), message);
        controller->dismissError();
    }
}

// Every field of a job is read when it is chosen: a value of another type anywhere is refused in
// words naming the file, the field as written and the value; the job before stays. Opened in the
// Edit workspace, the same timeline job is refused in the same words.
TEST_F(JobInputs, AValueOfAnotherTypeAnywhereInAJobIsRefusedWhenChosenAndWhenOpenedForEditing)
{
    const Path before = writeTimelineJob();
    loadJob(before);
    struct Field {
        bool timeline;
        std::string pointer;
        std::string shown;
        std::string expected;
    };
    const std::vector<Field> fields = {
        {true, "/timelines/0/clips/0/startTime", "timelines[0].clips[0].startTime", "a number"},
        {true, "/timelines/0/clips/0/duration", "timelines[0].clips[0].duration", "a number"},
        {true, "/timelines/0/clips/0/inPoint", "timelines[0].clips[0].inPoint", "a number"},
        {true, "/timelines/0/clips/0/track", "timelines[0].clips[0].track", "a whole number"},
        {true, "/timelines/0/duration", "timelines[0].duration", "a number"},
        {true, "/sources/0/fileName", "sources[0].fileName", "text"},
        // Fields only the export reads.
        {true, "/timelines/0/clips/0/blendMode", "timelines[0].clips[0].blendMode", "text"},
        {true, "/output/fpsNum", "output.fpsNum", "a whole number"},
        {false, "/output/maxWidth", "output.maxWidth", "a whole number"},
        {false, "/output/fpsNum", "output.fpsNum", "a whole number"},
        {false, "/sourceInSeconds", "sourceInSeconds", "a number"},
    };
    const std::vector<nlohmann::json> values = {"abc", "NaN", 5, nlohmann::json::array({1}), {{"a", 1}}, true};
    const nlohmann::json singleVideo = {{"version", 1}, {"grade", {{"lutCube", "None"}}}};
    // Opened for editing, a field the session reader reads too refuses the file in the same
    // words; one only the export reads (a blend mode, the output) does not keep it from opening.
    const auto expectRefused = [&](const nlohmann::json& job, bool timeline, const std::string& said,
                                   bool sessionReads = true) {
        const std::string message = "Could not load \u201Cbad.json\u201D: " + said;
        const Path file = writeFile("bad.json", job.dump());
        loadJob(file);
        EXPECT_EQ(controller->jobURL(), before) << message;
        EXPECT_EQ(controller->errorTitle(), "Job Not Loaded");
        EXPECT_EQ(controller->errorText(), message);
        controller->dismissError();
        if (!timeline)
            return;
        try {
            const EditSession opened = EditSession::load(file);
            EXPECT_FALSE(sessionReads) << "opened for editing: " << message;
            EXPECT_EQ(opened.timelines.at(0).clips.size(), 1u);
        } catch (const Error& error) {
            EXPECT_TRUE(sessionReads) << error.localizedDescription();
            EXPECT_EQ(error.localizedDescription(), message);
        }
    };
    for (const Field& field : fields) {
        for (const nlohmann::json& value : values) {
            if (field.expected == "text" ? value.is_string() : value.is_number())
                continue;
            nlohmann::json job = field.timeline ? timelineJob({"a.mp4"}) : singleVideo;
            job[nlohmann::json::json_pointer(field.pointer)] = value;
            expectRefused(job, field.timeline,
                          "The value at \u201C" + field.shown + "\u201D is " + value.dump() + ", not " +
                              field.expected + ".",
                          field.pointer.find("blendMode") == std::string::npos && !field.pointer.starts_with("/output"));
        }
    }
    // A fraction where a whole number belongs.
    nlohmann::json lane = timelineJob({"a.mp4"});
    lane["timelines"][0]["clips"][0]["track"] = 1.5;
    expectRefused(lane, true, "The value at \u201Ctimelines[0].clips[0].track\u201D is 1.5, not a whole number.");
    for (const char* key : {"maxWidth", "fpsNum"}) {
        nlohmann::json job = singleVideo;
        job["output"][key] = 30000.5;
        expectRefused(job, false,
                      "The value at \u201Coutput." + std::string(key) + "\u201D is 30000.5, not a whole number.");
    }
}

TEST_F(JobInputs, ANamedPipeOrFolderChosenAsTheJobOrTheLutIsRefusedByNameAndWhatWasChosenStays)
{
    const Path job = writeSingleVideoJob();
    loadJob(job);
    controller->pickLutOverride();
    panels->choose(dir / "look.cube");
    const NamedPipe pipeJob(dir / "pipe.json");
    const NamedPipe pipeLut(dir / "pipe.cube");
    std::filesystem::create_directory(dir / "folder.json");
    const std::vector<std::pair<Path, std::string>> jobs = {
        {pipeJob.path(), "Could not read \u201Cpipe.json\u201D: Is a named pipe, not a file."},
        {dir / "folder.json", "Could not read \u201Cfolder.json\u201D: Is a folder, not a file."},
    };
    for (const auto& [file, message] : jobs) {
        loadJob(file);
        EXPECT_EQ(controller->jobURL(), job);
        EXPECT_EQ(controller->errorTitle(), "Job Not Loaded");
        EXPECT_EQ(controller->errorText(), message);
        controller->dismissError();
        drop({file});
        EXPECT_EQ(controller->jobURL(), job);
        EXPECT_TRUE(controller->showError());
        controller->dismissError();
    }
    const std::string lutRefusal = "Could not read \u201Cpipe.cube\u201D: Is a named pipe, not a file.";
    controller->pickLutOverride();
    panels->choose(pipeLut.path());
    EXPECT_EQ(controller->lutOverrideURL(), dir / "look.cube");
    EXPECT_EQ(controller->errorTitle(), "LUT Not Loaded");
    EXPECT_EQ(controller->errorText(), lutRefusal);
    controller->dismissError();
    drop({pipeLut.path()});
    EXPECT_EQ(controller->lutOverrideURL(), dir / "look.cube");
    EXPECT_EQ(controller->errorText(), lutRefusal);
    EXPECT_FALSE(pipeJob.opened() || pipeLut.opened());
}

TEST_F(JobInputs, CancelledPanelsChangeNothing)
{
    controller->pickJob();
    EXPECT_EQ(panels->current().extensions, std::vector<std::string>{"json"});
    panels->cancel();
    controller->pickMediaFolder();
    EXPECT_EQ(panels->current().kind, FilePanelRequest::Kind::openFolder);
    panels->cancel();
    controller->pickInput();
    panels->cancel();
    controller->pickLutOverride();
    panels->cancel();
    EXPECT_FALSE(controller->jobURL() || controller->mediaFolderURL() || controller->inputURL() ||
                 controller->lutOverrideURL() || controller->outputURL());
    // A panel answered after the workspace is gone changes nothing and does not crash.
    controller->pickJob();
    controller.reset();
    panels->choose(writeTimelineJob());
}

TEST_F(JobInputs, ChoosingAnInputDerivesTheOutputOnceAndAdoptsItsContainer)
{
    loadJob(writeSingleVideoJob());
    chooseInput(dir / "A001.MOV");
    EXPECT_EQ(controller->outputContainer(), "mov");
    EXPECT_EQ(controller->outputURL(), dir / "A001_velmora_10bit.mov");
    EXPECT_TRUE(controller->canExport());
    chooseInput(dir / "B002.m4v");
    EXPECT_EQ(controller->inputURL(), dir / "B002.m4v");
    EXPECT_EQ(controller->outputURL(), dir / "A001_velmora_10bit.mov");
    EXPECT_EQ(controller->outputContainer(), "mov");
}

TEST_F(JobInputs, TheContainerIsTheOneTheOutputsNameSays)
{
    loadJob(writeTimelineJob("my_job_desktop_v2_job.json"));
    controller->setOutputContainer("mov");
    controller->pickOutput();
    EXPECT_EQ(panels->current().kind, FilePanelRequest::Kind::saveFile);
    EXPECT_EQ(panels->current().extensions, (std::vector<std::string>{"mov", "mp4", "m4v"}));
    EXPECT_EQ(panels->current().suggestedName, "my_velmora_10bit.mov");
    // A name typed without a movie extension gets the proposed one.
    panels->choose(dir / "final");
    EXPECT_EQ(controller->outputURL(), dir / "final.mov");
    EXPECT_EQ(controller->outputContainer(), "mov");
    controller->pickOutput();
    EXPECT_EQ(panels->current().suggestedName, "final.mov");
    panels->choose(dir / "final.MP4");
    EXPECT_EQ(controller->outputURL(), dir / "final.MP4");
    EXPECT_EQ(controller->outputContainer(), "mp4");
    controller->setOutputContainer("mov");
    controller->pickOutput();
    panels->choose(dir / "final.m4v");
    EXPECT_EQ(controller->outputURL(), dir / "final.m4v");
    EXPECT_EQ(controller->outputContainer(), "mp4");
    controller->pickOutput();
    panels->choose(dir / "trip_master.mov");
    EXPECT_EQ(controller->outputContainer(), "mov");

    // Choosing the other container renames the chosen output to match; the same one keeps it.
    controller->setOutputContainer("mp4");
    EXPECT_EQ(controller->outputURL(), dir / "trip_master.mp4");
    controller->setOutputContainer("mp4");
    EXPECT_EQ(controller->outputURL(), dir / "trip_master.mp4");
    controller->setOutputContainer("mov");
    EXPECT_EQ(controller->outputURL(), dir / "trip_master.mov");

    // The save panel of an export without an output does the same.
    makeController();
    loadJob(writeTimelineJob());
    std::optional<Path> chosen;
    controller->ensureOutputURL([&](std::optional<Path> output) { chosen = output; });
    panels->choose(dir / "cut_master.mov");
    EXPECT_EQ(chosen, dir / "cut_master.mov");
    EXPECT_EQ(controller->outputContainer(), "mov");
}

TEST(OutputNaming, DefaultNames)
{
    using OutputNaming::defaultOutputName;
    EXPECT_EQ(defaultOutputName(Kind::timeline, Path("/j/Trip_desktop_v2_job.json"), std::nullopt, "mp4"),
              "Trip_velmora_10bit.mp4");
    EXPECT_EQ(defaultOutputName(Kind::timeline, Path("/j/my_job_desktop_v2_job.json"), std::nullopt, "mov"),
              "my_velmora_10bit.mov");
    EXPECT_EQ(defaultOutputName(Kind::timeline, std::nullopt, std::nullopt, "mp4"), "velmora_velmora_10bit.mp4");
    // Single-video names follow the input, never the container.
    EXPECT_EQ(defaultOutputName(Kind::singleVideo, Path("/j/g.json"), Path("/v/A001.MOV"), "mp4"),
              "A001_velmora_10bit.mov");
    EXPECT_EQ(defaultOutputName(Kind::singleVideo, Path("/j/g.json"), Path("/v/c.M4V"), "mov"), "c_velmora_10bit.mp4");
    EXPECT_EQ(defaultOutputName(Kind::singleVideo, Path("/j/g.json"), std::nullopt, "mp4"),
              "velmora_velmora_10bit.mov");
    EXPECT_EQ(defaultOutputName(Kind::none, std::nullopt, Path("/v/clip.mp4"), "mov"), "clip_velmora_10bit.mp4");
}

TEST_F(JobInputs, EnsureOutputAsksOnlyWhenItMust)
{
    std::vector<std::optional<Path>> answers;
    const auto record = [&](std::optional<Path> output) { answers.push_back(output); };

    loadJob(writeSingleVideoJob());
    controller->ensureOutputURL(record); // no input: no panel, no output
    EXPECT_FALSE(panels->hasOpenPanel());

    loadJob(writeTimelineJob());
    controller->ensureOutputURL(record);
    EXPECT_EQ(panels->current().suggestedName, "trip_velmora_10bit.mp4");
    panels->cancel();
    EXPECT_FALSE(controller->outputURL());
    controller->ensureOutputURL(record);
    panels->choose(dir / "trip_velmora_10bit.mp4");
    controller->ensureOutputURL(record); // chosen now: no panel
    EXPECT_FALSE(panels->hasOpenPanel());
    EXPECT_EQ(answers, (std::vector<std::optional<Path>>{std::nullopt, std::nullopt, dir / "trip_velmora_10bit.mp4",
                                                         dir / "trip_velmora_10bit.mp4"}));
}

TEST_F(JobInputs, DropsApplyAfterTheDropInOrder)
{
    std::filesystem::create_directories(dir / "footage");
    const Path job = writeTimelineJob();
    QList<QUrl> urls{QUrl(QStringLiteral("https://example.com/a.json")),
                     QUrl::fromLocalFile(QString::fromStdString((dir / "clip.MOV").string())),
                     QUrl::fromLocalFile(QString::fromStdString(job.string()))};
    EXPECT_FALSE(controller->handleDrop({}));
    EXPECT_FALSE(controller->handleDrop({urls[0]}));
    EXPECT_TRUE(controller->handleDrop(urls));
    EXPECT_FALSE(controller->inputURL()); // nothing is examined during the drop itself
    queue->runUntilIdle();
    // The video came first and is kept as input until the timeline job clears it; its output stays.
    EXPECT_EQ(controller->jobKind(), Kind::timeline);
    EXPECT_FALSE(controller->inputURL());
    EXPECT_EQ(controller->outputURL(), dir / "clip_velmora_10bit.mov");
    EXPECT_EQ(controller->outputContainer(), "mov");

    drop({dir / "LOOK.CUBE", dir / "footage"});
    EXPECT_FALSE(controller->lutOverrideURL());
    EXPECT_EQ(controller->mediaFolderURL(), dir / "footage");
}

TEST_F(JobInputs, DropsOfEachKindForASingleVideoJob)
{
    std::filesystem::create_directories(dir / "footage");
    std::filesystem::create_directories(dir / "reel.mov");
    drop({dir / "LOOK.CUBE"}); // no job yet: still the LUT override
    EXPECT_EQ(controller->lutOverrideURL(), dir / "LOOK.CUBE");
    loadJob(writeSingleVideoJob());
    drop({dir / "footage", dir / "notes.txt"});
    EXPECT_FALSE(controller->mediaFolderURL());
    EXPECT_FALSE(controller->inputURL());
    // The output derived from a dropped input brings its container along.
    drop({dir / "reel.mov"});
    EXPECT_EQ(controller->inputURL(), dir / "reel.mov");
    EXPECT_EQ(controller->outputURL(), dir / "reel_velmora_10bit.mov");
    EXPECT_EQ(controller->outputContainer(), "mov");
    drop({dir / "other.mp4"});
    EXPECT_EQ(controller->outputURL(), dir / "reel_velmora_10bit.mov");
}

TEST_F(JobInputs, HandOverTakesTheJobAndItsFolder)
{
    std::filesystem::create_directories(dir / "media");
    controller->applyWorkflowHandoff(); // nothing handed over
    EXPECT_FALSE(controller->jobURL());
    EXPECT_EQ(controller->statusText(), "Ready");

    // A single-video job clears the folder, which the hand-over then sets again.
    workflow.openExportTab(writeSingleVideoJob(), dir / "media");
    controller->applyWorkflowHandoff();
    EXPECT_EQ(controller->jobKind(), Kind::singleVideo);
    EXPECT_EQ(controller->mediaFolderURL(), dir / "media");
    EXPECT_EQ(controller->statusText(), "Loaded from Edit tab \u2014 set output and Export 10-bit HEVC");

    // Without a folder, the job's own "mediaFolder" is used when it names a folder.
    nlohmann::json job = timelineJob({"a.mp4"});
    job["mediaFolder"] = "  " + (dir / "media").string() + "\n";
    makeController();
    workflow.openExportTab(writeFile("r1.json", job.dump()), std::nullopt);
    controller->applyWorkflowHandoff();
    EXPECT_EQ(controller->mediaFolderURL(), dir / "media");
    for (const nlohmann::json& folder : {nlohmann::json((dir / "gone").string()), nlohmann::json(5)}) {
        job["mediaFolder"] = folder;
        makeController();
        workflow.openExportTab(writeFile("r2.json", job.dump()), std::nullopt);
        controller->applyWorkflowHandoff();
        EXPECT_EQ(controller->jobKind(), Kind::timeline);
        EXPECT_FALSE(controller->mediaFolderURL());
        EXPECT_EQ(controller->statusText(), "Loaded from Edit tab \u2014 set output and Export 10-bit HEVC");
    }

    // A hand-over that is not JSON is refused as a chosen job is, and never said to be loaded.
    makeController();
    workflow.openExportTab(writeFile("broken.json", "{"), dir / "media");
    controller->applyWorkflowHandoff();
    EXPECT_FALSE(controller->jobURL());
    EXPECT_TRUE(controller->showError());
    EXPECT_EQ(controller->errorTitle(), "Job Not Loaded");
    EXPECT_NE(controller->errorText().find("broken.json"), std::string::npos) << controller->errorText();
    EXPECT_EQ(controller->statusText(), "Ready");
}

// The job file is read once when chosen or handed over (counted as the kernel sees it opened).
TEST_F(JobInputs, AChosenOrHandedOverJobFileIsReadOnce)
{
    const auto opensOf = [](const Path& file, const std::function<void()>& load) {
        const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        EXPECT_GE(watch, 0) << "inotify: " << std::strerror(errno);
        // Closes are watched too: the kernel merges an event into an identical one still unread.
        EXPECT_GE(::inotify_add_watch(watch, file.c_str(), IN_OPEN | IN_CLOSE), 0)
            << "inotify watch: " << std::strerror(errno);
        load();
        int opens = 0;
        alignas(inotify_event) char events[4096];
        for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;) {
            for (ssize_t at = 0; at < n; at += static_cast<ssize_t>(sizeof(inotify_event))) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                opens += (event->mask & IN_OPEN) != 0;
                at += event->len;
            }
        }
        ::close(watch);
        return opens;
    };
    const Path chosen = writeTimelineJob();
    EXPECT_EQ(opensOf(chosen, [&] { loadJob(chosen); }), 1);

    nlohmann::json job = timelineJob({"a.mp4"});
    job["mediaFolder"] = dir.path().string();
    const Path handedOver = writeFile("render.json", job.dump());
    workflow.openExportTab(handedOver, std::nullopt);
    EXPECT_EQ(opensOf(handedOver, [&] { queue->runUntilIdle(); }), 1);
    EXPECT_EQ(controller->mediaFolderURL(), dir.path());
}

TEST_F(JobInputs, AHandOverWhileShownIsTakenOnceJobAndFolderAreSet)
{
    std::filesystem::create_directories(dir / "media");
    controller->applyWorkflowHandoff();
    workflow.openExportTab(writeTimelineJob(), dir / "media");
    EXPECT_FALSE(controller->jobURL());
    queue->runUntilIdle();
    EXPECT_EQ(controller->jobKind(), Kind::timeline);
    EXPECT_EQ(controller->mediaFolderURL(), dir / "media");
    // The workspace never writes the hand-over.
    EXPECT_EQ(workflow.exportJobURL(), dir / "trip_desktop_v2_job.json");
    // The same job again is no change.
    chooseMediaFolder(dir.path());
    workflow.setExportJobURL(dir / "trip_desktop_v2_job.json");
    queue->runUntilIdle();
    EXPECT_EQ(controller->mediaFolderURL(), dir.path());
}

} // namespace
} // namespace velmora::test
