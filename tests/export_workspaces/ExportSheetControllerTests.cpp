#include <gtest/gtest.h>

#include <stdexcept>

#include "ExportSheetTestSupport.h"
#include "model/JsonDecoding.h"

namespace velmora::test {
namespace {

using Strings = std::vector<std::string>;
using Path = std::filesystem::path;

TEST(ExportSheetFormats, TitlesInPickerOrderAndProposedNames)
{
    Strings titles;
    for (EditorExportFormat format : EditorExportFormats::allCases) {
        titles.emplace_back(EditorExportFormats::rawValue(format));
        EXPECT_EQ(EditorExportFormats::fromRawValue(titles.back()), format);
    }
    EXPECT_EQ(titles, (Strings{"10-bit HEVC (Master)", "H.264 (Delivery)", "ProRes 422 (Delivery)"}));
    EXPECT_EQ(EditorExportFormats::fromRawValue("h.264 (delivery)"), std::nullopt);

    const auto name = [](std::optional<std::string> project, EditorExportFormat format) {
        return ExportSheetController::proposedOutputName(*twoClipSession(std::move(project)), format);
    };
    EXPECT_EQ(name("Holiday", EditorExportFormat::proRes422), "Holiday_export.mov");
    EXPECT_EQ(name(std::nullopt, EditorExportFormat::hevc10), "timeline_export.mp4");
    EXPECT_EQ(name(std::nullopt, EditorExportFormat::proRes422), "timeline_export.mov");
    EXPECT_EQ(name(" Trip 2 ", EditorExportFormat::h264), " Trip 2 _export.mp4"); // as it stands

    // The output panel: the file written is the completed name the panel asked about; a saved
    // project's panel starts in the project's folder.
    const auto output = [](const char* typed, EditorExportFormat format) {
        return ExportSheetController::outputPanelRequest(*twoClipSession("Holiday"), format, std::nullopt)
            .completedSaveName(typed);
    };
    EXPECT_EQ(output("/out/cut", EditorExportFormat::hevc10), Path("/out/cut.mp4"));
    EXPECT_EQ(output("/out/cut.MP4", EditorExportFormat::h264), Path("/out/cut.MP4"));
    EXPECT_EQ(output("/out/cut.mov", EditorExportFormat::hevc10), Path("/out/cut.mov"));
    EXPECT_EQ(output("/out/cut.mov", EditorExportFormat::proRes422), Path("/out/cut.mov"));
    EXPECT_EQ(output("/out/cut.mp4", EditorExportFormat::proRes422), Path("/out/cut.mov"));
    EXPECT_EQ(output("/out/cut.m4v", EditorExportFormat::hevc10), Path("/out/cut.m4v"));
    EXPECT_EQ(output("/out/cut.M4V", EditorExportFormat::h264), Path("/out/cut.M4V"));
    EXPECT_EQ(output("/out/cut.m4v", EditorExportFormat::proRes422), Path("/out/cut.mov"));
    EXPECT_EQ(output("/out/cut.v2", EditorExportFormat::proRes422), Path("/out/cut.v2.mov"));
    EXPECT_EQ(ExportSheetController::outputPanelRequest(*twoClipSession("Holiday"), EditorExportFormat::h264,
                                                        Path("/projects/trip/Trip.velmora"))
                  .directory,
              Path("/projects/trip"));
}

TEST(ExportSheetEstimate, ShownPastTwoPercentFromFiveSecondsAsSecondsOrMinutes)
{
    const auto eta = [](double fraction, double elapsed, bool exporting = true) {
        return ExportSheetController::estimatedTimeRemaining(exporting, fraction, 100.0, 100.0 + elapsed);
    };
    EXPECT_EQ(eta(0.02, 30), std::nullopt);
    EXPECT_EQ(eta(0.25, 30), "1m 30s");
    EXPECT_EQ(eta(0.5, 4), std::nullopt); // 4 s left
    EXPECT_EQ(eta(0.5, 5), "5s");
    EXPECT_EQ(eta(0.5, 10), "10s");
    EXPECT_EQ(eta(0.5, 42.9), "42s");
    EXPECT_EQ(eta(0.5, 65), "1m 05s");
    EXPECT_EQ(eta(0.5, 3725), "62m 05s");
    EXPECT_EQ(eta(0.25, 30, false), std::nullopt);
    EXPECT_EQ(ExportSheetController::estimatedTimeRemaining(true, 0.25, std::nullopt, 130), std::nullopt);
    EXPECT_EQ(eta(std::nan(""), 30), std::nullopt);
}

TEST(ExportSheetIdle, DefaultsWhatExportNeedsAndTheSavePanel)
{
    SheetHarness h;
    ExportSheetController& c = *h.controller;
    EXPECT_EQ(c.format(), EditorExportFormat::hevc10);
    EXPECT_EQ(c.bitrateText(), "150 Mbps");
    EXPECT_EQ(c.status(), "Choose format and destination.");
    EXPECT_EQ(c.exportButtonTitle(), "Choose Output & Export");
    EXPECT_TRUE(c.canExport());

    // No project, or no media folder: nothing to press and nothing happens.
    for (const auto& [withSession, withFolder] : {std::pair{false, true}, std::pair{true, false}}) {
        SheetHarness missing(withSession, withFolder);
        EXPECT_FALSE(missing.controller->canExport());
        missing.controller->pickOutputAndExport();
        EXPECT_FALSE(missing.panels->hasOpenPanel());
    }
    // A project opened while the sheet is up enables it.
    SheetHarness later(false, true);
    later.engine.adoptSession(twoClipSession(), later.media.path(), std::nullopt, true);
    EXPECT_TRUE(later.controller->canExport());

    // ProRes hides the bit rate and keeps it; the rate moves in steps of 5 from 20 to 250.
    c.setBitrateMbps(95);
    c.setFormat(EditorExportFormat::proRes422);
    EXPECT_FALSE(c.showsBitrateRow());
    c.setFormat(EditorExportFormat::h264);
    EXPECT_TRUE(c.showsBitrateRow());
    EXPECT_EQ(c.bitrateText(), "95 Mbps");
    for (const auto& [given, kept] : std::vector<std::pair<double, double>>{
             {20, 20}, {250, 250}, {5, 20}, {400, 250}, {147.4, 145}, {148, 150}, {std::nan(""), 150}}) {
        c.setBitrateMbps(150);
        c.setBitrateMbps(given);
        EXPECT_EQ(c.bitrateMbps(), kept) << given;
    }

    // The save panel proposes a name; cancelling it changes nothing.
    c.setFormat(EditorExportFormat::proRes422);
    c.pickOutputAndExport();
    EXPECT_EQ(h.panels->current().kind, FilePanelRequest::Kind::saveFile);
    EXPECT_EQ(h.panels->current().extensions, Strings{"mov"});
    EXPECT_EQ(h.panels->current().suggestedName, "Holiday_export.mov");
    h.panels->cancel();
    h.queue->runUntilIdle();
    EXPECT_FALSE(c.isExporting());
    EXPECT_EQ(h.statuses, Strings{});
    EXPECT_TRUE(h.runner->calls().empty());
}

TEST(ExportSheetRun, ShowsEveryTextInOrderAndRevealsTheMovie)
{
    SheetHarness h;
    ExportSheetController& c = *h.controller;
    const Path output = h.media / "cut.mp4";
    h.startExport(h.media / "cut");
    EXPECT_TRUE(c.isExporting());
    EXPECT_EQ(c.exportButtonTitle(), "Exporting\u2026");
    EXPECT_FALSE(c.canExport());
    EXPECT_FALSE(c.requestDismiss()); // Close and Escape do nothing now

    ASSERT_TRUE(h.runUntil([&] { return c.progressDetail() == "Starting encoder"; }));
    h.clock->advance(30);
    h.runner->report(617, 5000);
    ASSERT_TRUE(h.runUntil([&] { return c.progressFraction() > 0; }));
    EXPECT_EQ(c.percentText(), "12.3%");
    EXPECT_EQ(c.estimatedTimeRemaining(), "3m 33s"); // 30 s / 0.1234 − 30 s

    h.runner->report(2500, 5000, "Encoding audio\u2026");
    h.runner->finish({output, 59.94005994, 1920, 1080});
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_EQ(h.statuses, (Strings{"Preparing export job\u2026", "Rendering 10-bit HEVC (Master)\u2026",
                                   "Exporting\u2026 12.3%", "Exporting\u2026 50.0%",
                                   "Done \u2014 1920\u00D71080 @ 59.94 fps"}));
    EXPECT_EQ(h.details, (Strings{"", "Starting encoder", "Rendering video \u2014 frame 617 / 5000",
                                  "Encoding audio\u2026 \u2014 frame 2500 / 5000", "Saved to cut.mp4"}));
    EXPECT_EQ(c.progressFraction(), 1);
    EXPECT_EQ(c.estimatedTimeRemaining(), std::nullopt);
    EXPECT_EQ(h.revealer->revealed, std::vector<Path>{output});
    EXPECT_TRUE(c.canExport());
    EXPECT_TRUE(c.requestDismiss());
    EXPECT_EQ(h.dismissals, 1);

    const auto call = h.runner->calls().at(0);
    EXPECT_EQ(call.request.mediaFolder, h.media.path());
    EXPECT_EQ(call.request.outputURL, output);
    EXPECT_EQ(call.request.bitrateBps, 150'000'000);
    EXPECT_EQ(call.request.codec, Exporter::EditorVideoCodec::hevc10);
}

TEST(ExportSheetRun, TheBitrateAndCodecAreReadWhenTheRunStarts)
{
    SheetHarness h;
    ExportSheetController& c = *h.controller;
    const std::vector<std::tuple<EditorExportFormat, double, std::int64_t, Exporter::EditorVideoCodec>> runs{
        {EditorExportFormat::h264, 20, 20'000'000, Exporter::EditorVideoCodec::h264},
        {EditorExportFormat::h264, 250, 250'000'000, Exporter::EditorVideoCodec::h264},
        // Hidden for ProRes, but passed as it stands.
        {EditorExportFormat::proRes422, 85, 85'000'000, Exporter::EditorVideoCodec::proRes422},
    };
    for (const auto& [format, mbps, bps, codec] : runs) {
        c.setFormat(EditorExportFormat::h264);
        c.setBitrateMbps(mbps);
        c.setFormat(format);
        h.startExport(h.media / "out");
        c.setFormat(EditorExportFormat::hevc10); // locked while the run goes
        c.setBitrateMbps(100);
        EXPECT_EQ(c.format(), format);
        h.runner->finish({h.media / "out", 25, 160, 96});
        ASSERT_TRUE(h.runUntilIdle());
        const auto call = h.runner->calls().back();
        EXPECT_EQ(call.request.bitrateBps, bps);
        EXPECT_EQ(call.request.codec, codec);
    }
    EXPECT_EQ(c.status(), "Done \u2014 160\u00D796 @ 25.00 fps");

    // Nothing on this desktop can show the movie: the progress line says so beside its name,
    // and so does the status line, which stays in view once the run has ended.
    h.revealer->fileManager = false;
    c.setFormat(EditorExportFormat::h264);
    h.startExport(h.media / "out.mp4");
    h.runner->finish({h.media / "out.mp4", 25, 160, 96});
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_EQ(c.progressDetail(), "Saved to out.mp4 \u2014 no file manager is available to show it");
    EXPECT_EQ(c.status(), "Done \u2014 160\u00D796 @ 25.00 fps \u2014 no file manager is available to show out.mp4");
}

// The run is handed the LUT answers the engine decided, so that the export looks none up again;
// while one is not looked up yet, none are handed over.
TEST(ExportSheetRun, TheRunTakesTheEnginesLutAnswers)
{
    SheetHarness h;
    h.engine.session()->timelines[0].clips[0].grade = EditSession::clipGrade("gone.cube");
    h.startExport(h.media / "first.mp4");
    h.runner->finish({h.media / "first.mp4", 25, 160, 96});
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_EQ(h.runner->calls().back().request.luts, std::nullopt);

    h.engine.refreshLutNames(); // looks every LUT reference up again
    h.queue->runUntilIdle();
    h.startExport(h.media / "second.mp4");
    h.runner->finish({h.media / "second.mp4", 25, 160, 96});
    ASSERT_TRUE(h.runUntilIdle());
    const std::optional<ResolvedLuts> luts = h.runner->calls().back().request.luts;
    ASSERT_TRUE(luts);
    EXPECT_EQ(luts->job, LutResolution{});
    EXPECT_EQ(luts->clips.at("ca"), (LutResolution{LutResolution::Kind::missing, "", "gone.cube", "", {}}));
    EXPECT_EQ(luts->clips.at("cb"), LutResolution{});
}

TEST(ExportSheetRun, AFailureShowsTheBareMessageAndLeavesTheSheetIdle)
{
    SheetHarness h;
    ExportSheetController& c = *h.controller;
    const std::string missing = "Missing source files in Media Folder:\nb.mp4\n\nTip: choose the top folder that "
                                "contains your footage (subfolders are supported).";
    h.startExport(h.media / "out.mp4");
    h.runner->report(10, 100);
    h.runner->fail(Error("export", 212, missing));
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_TRUE(c.showError());
    EXPECT_EQ(c.errorText(), missing);
    EXPECT_EQ(c.status(), "Export failed.");
    EXPECT_EQ(c.progressFraction(), 0.1);
    EXPECT_TRUE(h.revealer->revealed.empty());
    c.setShowError(false);

    // A render job that does not decode says where.
    h.startExport(h.media / "out.mp4");
    h.runner->fail(std::make_exception_ptr(
        DecodingError(DecodingError::Kind::keyNotFound, {"timelines", "Index 0"}, "clips", "no value")));
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_EQ(c.errorText(), "The value at \u201Ctimelines[0].clips\u201D is missing.");
}

// A failure that came without words is shown by what it is, never as an empty alert.
TEST(ExportSheetRun, AFailureWithoutWordsIsShownByItsDomainAndCode)
{
    SheetHarness h;
    h.startExport(h.media / "out.mp4");
    h.runner->fail(Error("export", 7, ""));
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_EQ(h.controller->errorText(), "Failed with export error 7 (no description)");
    h.startExport(h.media / "out.mp4");
    h.runner->fail(std::make_exception_ptr(std::runtime_error("")));
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_EQ(h.controller->errorText(), "Failed with export error 0 (no description)");
}

TEST(ExportSheetRun, CancelStopsTheRunAndANewRunStartsClean)
{
    SheetHarness h;
    ExportSheetController& c = *h.controller;
    h.startExport(h.media / "out.mp4");
    h.runner->report(30, 100);
    ASSERT_TRUE(h.runUntil([&] { return c.progressFraction() > 0; }));
    c.requestCancel();
    EXPECT_EQ(c.status(), "Cancelling\u2026");
    EXPECT_TRUE(c.isExporting());
    EXPECT_EQ(c.progressFraction(), 0.3);

    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_EQ(c.errorText(), "Export cancelled.");
    EXPECT_TRUE(c.showError());
    EXPECT_EQ(c.status(), "Export failed.");
    c.setShowError(false);

    // The token was reset: the next run goes to the end, from nothing again.
    h.clock->advance(50);
    h.statuses.clear();
    h.startExport(h.media / "again.mp4");
    EXPECT_EQ(c.progressFraction(), 0);
    EXPECT_EQ(c.progressDetail(), "");
    EXPECT_EQ(c.exportStartedAt(), 150.0);
    h.runner->report(50, 100);
    h.runner->finish({h.media / "again.mp4", 25, 160, 96});
    ASSERT_TRUE(h.runUntilIdle());
    EXPECT_FALSE(c.showError());
    EXPECT_EQ(h.statuses, (Strings{"Preparing export job\u2026", "Rendering 10-bit HEVC (Master)\u2026",
                                   "Exporting\u2026 50.0%", "Done \u2014 160\u00D796 @ 25.00 fps"}));
}

TEST(ExportSheetFaults, TheRunWritesACopyOfTheSessionTakenAfterTheTimingSync)
{
    SheetHarness h;
    EditSession& live = *h.engine.session();
    live.timelines[0].clips[0].speed = 2.0; // out point 1 s until the sync makes it 2 s
    h.startExport(h.media / "out.mp4");

    // The user goes on editing while the export runs (the run looks at its session when it
    // ends, after these edits).
    live.project->name = "Renamed";
    live.timelines[0].clips.pop_back();
    h.runner->finish({h.media / "out.mp4", 25, 160, 96});
    ASSERT_TRUE(h.runUntilIdle());

    const auto call = h.runner->calls().at(0);
    EXPECT_NE(call.given, &live);
    EXPECT_EQ(call.session.project->name, "Holiday");
    ASSERT_EQ(call.session.timelines[0].clips.size(), 2u);
    EXPECT_EQ(call.session.timelines[0].clips[0].outPoint, 2.0);
}

TEST(ExportSheetFaults, AControllerGoneMidRunDropsTheReportsWhileTheExportFinishes)
{
    SheetHarness h;
    h.startExport(h.media / "out.mp4");
    h.runner->report(10, 100);
    h.ownedController.reset();
    h.runner->finish({h.media / "out.mp4", 25, 160, 96});
    ASSERT_TRUE(h.runUntil([&] { return h.runner->calls().size() == 1; }));
    h.queue->runUntilIdle();
    EXPECT_TRUE(h.revealer->revealed.empty());
    EXPECT_EQ(h.statuses, Strings{"Preparing export job\u2026"});
}

} // namespace
} // namespace velmora::test
