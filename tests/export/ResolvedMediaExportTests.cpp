#include <gtest/gtest.h>

#include "TimelineExportTestSupport.h"
#include "export/FastSingleClipPath.h"
#include "export/JobPreviewStill.h"
#include "export/JobRouting.h"
#include "export/TimelineExportSetup.h"
#include "model/EditSession.h"
#include "model/MediaResolver.h"
#include "support/CubeTexts.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

namespace velmora::test {
namespace {

// Two camera cards with one file name: cam1/C0001.MP4 holds stamps 0–9, cam2/C0001.MP4 stamps
// 10–19. The editor resolves each source to its own card's file and hands that answer on.
class ResolvedMediaExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(media / "cam1");
        std::filesystem::create_directories(media / "cam2");
        makeStampClip(scratch / "all.mp4", 20);
        for (const auto& [folder, first] : {std::pair{"cam1", 0}, std::pair{"cam2", 10}}) {
            const CommandResult cut = runCommand(
                "ffmpeg -v error -y -i " + shellQuote((scratch / "all.mp4").string()) + " -vf "
                + shellQuote("select=between(n\\," + std::to_string(first) + "\\," + std::to_string(first + 9)
                             + "),setpts=N/25/TB")
                + " -r 25 -c:v libx264 -preset ultrafast -qp 0 -g 10 -bf 0 "
                + shellQuote((media / folder / "C0001.MP4").string()));
            ASSERT_EQ(cut.exitCode, 0) << cut.output;
        }
    }

    // The session as the editor holds it, and the job its export sheet writes from it.
    static EditSession session()
    {
        EditSession session;
        session.sources = {{"s1", "C0001.MP4", "video"}, {"s2", "C0001.MP4", "video"}};
        EditSession::Timeline timeline;
        timeline.id = "t1";
        for (const auto& [id, source, start] : {std::tuple{"c1", "s1", 0.0}, std::tuple{"c2", "s2", 0.2}}) {
            EditSession::Clip clip(id);
            clip.type = "video";
            clip.name = "C0001.MP4";
            clip.sourceId = source;
            clip.track = 1;
            clip.startTime = start;
            clip.duration = 0.2;
            clip.inPoint = 0;
            clip.outPoint = 0.2;
            timeline.clips.push_back(clip);
        }
        timeline.duration = 0.4;
        session.timelines.push_back(timeline);
        EditSession::Project project;
        project.activeTimelineId = "t1";
        project.fps = 25;
        project.width = kWidth;
        project.height = kHeight;
        session.project = project;
        return session;
    }

    TempDir media;
    TempDir scratch;
};

TEST_F(ResolvedMediaExport, EachSourceIsReadFromTheFileTheEditorResolvedItTo)
{
    const EditSession edited = session();
    const ResolvedMedia resolved{media.path(), MediaResolver::sourceFileMap(edited, media.path())};
    ASSERT_EQ(resolved.files.at("s2"), media / "cam2" / "C0001.MP4");
    const EditorJobV2 job = EditorJobV2::fromJSON(edited.renderJobText(&resolved.files));

    const std::map<std::string, std::filesystem::path> files =
        Exporter::resolveTimelineSourceFiles(job, media.path(), &resolved);
    EXPECT_EQ(files, (std::map<std::string, std::filesystem::path>(resolved.files.begin(), resolved.files.end())));

    const std::filesystem::path movie = scratch / "cut.mp4";
    Exporter::exportEditorTimeline(job, std::nullopt, media.path(), movie, 2000000, Exporter::EditorVideoCodec::h264,
                                   "rec709", 1, 1, 0, 0, std::nullopt, nullptr, nullptr, {}, &resolved);
    EXPECT_EQ(frameStamps(movie), (std::vector<int>{0, 1, 2, 3, 4, 10, 11, 12, 13, 14}));

    // The export reads the files it is given, not what a lookup of the names would find.
    const ResolvedMedia crossed{media.path(), {{"s1", media / "cam2" / "C0001.MP4"}, {"s2", media / "cam1" / "C0001.MP4"}}};
    Exporter::exportEditorTimeline(job, std::nullopt, media.path(), movie, 2000000, Exporter::EditorVideoCodec::h264,
                                   "rec709", 1, 1, 0, 0, std::nullopt, nullptr, nullptr, {}, &crossed);
    EXPECT_EQ(frameStamps(movie), (std::vector<int>{10, 11, 12, 13, 14, 0, 1, 2, 3, 4}));
}

// A file standing in for a source under a name that is not UTF-8 text: the job names the
// source's own file (JSON holds no such name), and the answer handed over reads the stand-in.
TEST_F(ResolvedMediaExport, AFileWhoseNameIsNotUtf8IsReadFromTheAnswerWhileTheJobKeepsTheSourcesName)
{
    std::filesystem::rename(media / "cam2" / "C0001.MP4", media / "cam2" / "C\xe9.MP4");
    const EditSession edited = session();
    const ResolvedMedia resolved{media.path(), {{"s1", media / "cam1" / "C0001.MP4"}, {"s2", media / "cam2" / "C\xe9.MP4"}}};
    const EditorJobV2 job = EditorJobV2::fromJSON(edited.renderJobText(&resolved.files));
    EXPECT_EQ(job.sources.at(1).fileName, "C0001.MP4");
    EXPECT_EQ(Exporter::resolveTimelineSourceFiles(job, media.path(), &resolved),
              (std::map<std::string, std::filesystem::path>(resolved.files.begin(), resolved.files.end())));
}

// Given files are the whole answer: a source they hold no file for has none, whatever the
// folder holds, and the export refuses it by name.
TEST_F(ResolvedMediaExport, ASourceTheGivenFilesLackHasNoFile)
{
    const EditSession edited = session();
    const ResolvedMedia resolved{media.path(), {{"s1", media / "cam2" / "C0001.MP4"}}};
    const EditorJobV2 job = EditorJobV2::fromJSON(edited.renderJobText(nullptr));
    EXPECT_EQ(Exporter::resolveTimelineSourceFiles(job, media.path(), &resolved),
              (std::map<std::string, std::filesystem::path>{{"s1", media / "cam2" / "C0001.MP4"}}));
    // Files resolved for another folder answer nothing for this one.
    const ResolvedMedia elsewhere{scratch.path(), {}};
    EXPECT_EQ(Exporter::resolveTimelineSourceFiles(job, media.path(), &elsewhere).size(), 2u);
    try {
        Exporter::exportEditorTimeline(job, std::nullopt, media.path(), scratch / "cut.mp4", 2000000,
                                       Exporter::EditorVideoCodec::h264, "rec709", 1, 1, 0, 0, std::nullopt, nullptr,
                                       nullptr, {}, &resolved);
        ADD_FAILURE() << "exported";
    } catch (const Error& error) {
        EXPECT_EQ(error.code(), 212);
        EXPECT_NE(error.message().find("C0001.MP4"), std::string::npos) << error.message();
    }
}

// The fast path streams the given file too.
TEST_F(ResolvedMediaExport, TheFastPathTakesTheGivenFile)
{
    EditSession edited = session();
    edited.timelines.front().clips.erase(edited.timelines.front().clips.begin());
    edited.timelines.front().clips.front().startTime = 0;
    const ResolvedMedia resolved{media.path(), {{"s2", media / "cam1" / "C0001.MP4"}}};
    const EditorJobV2 job = EditorJobV2::fromJSON(edited.renderJobText(nullptr));
    const auto candidate = Exporter::fastSingleClipCandidate(job, media.path(), &resolved);
    ASSERT_TRUE(candidate);
    EXPECT_EQ(candidate->inputURL, media / "cam1" / "C0001.MP4");
}

// The LUT answers handed over with the files are the 10-bit workspace's answers too: its export
// (through the fast path or the timeline export) and its preview refuse what the editor found
// missing, though a lookup of the name here would find a usable file.
TEST_F(ResolvedMediaExport, TheHandedLutAnswersAreTakenByTheExportAndThePreview)
{
    writeTextFile(media / "look.cube", identityCubeText());
    for (const bool single : {true, false}) {
        EditSession edited = session();
        auto& clips = edited.timelines.front().clips;
        if (single) {
            clips.erase(clips.begin() + 1);
        }
        EditorJobV2::ClipGrade grade;
        grade.hasLut = true;
        grade.lutFile = "look.cube";
        clips.front().grade = grade;
        ResolvedMedia resolved{media.path(), MediaResolver::sourceFileMap(edited, media.path())};
        const std::filesystem::path jobFile = scratch / "job.json";
        writeTextFile(jobFile, edited.renderJobText(&resolved.files));
        const auto exportWith = [&](const ResolvedMedia& given) {
            Exporter::routeJob(jobFile, std::nullopt, std::nullopt, media.path(), scratch / "cut.mp4", 2000000, "rec709",
                               1, 1, 0, 0, {}, {}, &given);
        };
        exportWith(resolved); // no answers given: the file is found and grades

        resolved.luts = ResolvedLuts{{{"c1", LutResolution{LutResolution::Kind::missing, "", "decided.cube", "", {}}}},
                                     LutResolution{}};
        for (const auto& route : std::vector<std::function<void()>>{
                 [&] { exportWith(resolved); },
                 [&] {
                     Exporter::renderPreviewFrame(jobFile, std::nullopt, std::nullopt, media.path(), 0.1, "rec709", 1,
                                                  1, 0, 0, &resolved);
                 }}) {
            try {
                route();
                ADD_FAILURE() << "rendered with a LUT the editor found missing (single clip: " << single << ")";
            } catch (const Error& error) {
                EXPECT_EQ(error.code(), 214);
                EXPECT_NE(error.message().find("decided.cube"), std::string::npos) << error.message();
            }
        }
    }
}

} // namespace
} // namespace velmora::test
