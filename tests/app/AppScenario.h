#pragma once

// Scenarios on the real application: its window made as main() makes it, on a virtual X server
// (tests/app/AppScenarioMain.cpp starts one), opening a generated project the way a project
// named on the command line opens, then driven with Qt Test events and screenshots of the
// screen saved in the build folder's "screenshots" folder.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QString>
#include <QMessageBox>
#include <QRect>
#include <gtest/gtest.h>

#include "workspace/EditorWorkspaceTestSupport.h"

class QFileDialog;
class QWidget;

namespace velmora {

class ContentView;
class EditorContentView;
class EditorExportSheet;
class ExportSheetController;
class GradedPreviewView;
class Image;
class TimelineStripModel;
class TimelineStripView;
class VelmoraDesktopShellView;

namespace test {

// "Scenes.tavlek" with its media folder "Scenes_media", a project of three lanes on a 320 × 180
// canvas at 30 fps, every picture a frame stamp:
//   V1  "A001.mp4" 0–3 s (its frames 0–89), graded with the clip LUT "Split.cube" beside the
//       media, which turns white red and black blue: (r, g, b) → (r, 0, 1 − r); then
//       "A002.mp4" 3–6 s from 1 s into that file (frames 30–119);
//   V2  the still "Card.png" 6–7.5 s;
//   A1  "Music.wav", a 440 Hz tone, 0.5–5.5 s;
// and markers at 1, 2.5 and 5 s.
struct ScenesProject {
    static constexpr double fps = 30;
    std::filesystem::path file;
    std::filesystem::path media;
};
ScenesProject writeScenesProject(const std::filesystem::path& folder);

// A project of one movie clip "c" on V1 from 0 for `seconds`, saved as `file` with the media
// folder `media`, which gets the movie `movie` (320 × 180, `frames` frames, "-preset ultrafast"
// and `pattern`) at the project's `fps`; `shape` changes the session and its clip before saving.
void writeOneMovieProject(const std::filesystem::path& file, const std::filesystem::path& media,
                          const std::string& projectName, const std::string& movie, int frames, double fps,
                          double seconds, const std::function<void(EditSession&, EditSession::Clip&)>& shape = {},
                          bool flatGrey = false);

// A copy of the job `jobURL` whose output is 1920 × 1080, written as "Scenes_1080.json" in
// `folder`: long enough to export that it still runs when a test needs it running.
std::filesystem::path writeLargerJob(const std::filesystem::path& jobURL, const std::filesystem::path& folder);

// The frame number a frame-stamp picture shows inside `frame` of `image`, read from the red
// channel (white and the Split LUT's red both read as set bits) along `row` of the 320 × 180
// canvas (its middle row when negative); -1 when unreadable.
int stampIn(const QImage& image, const QRect& frame, int row = -1);

// Whether a colour is within `tolerance` of another in each channel.
::testing::AssertionResult near(QRgb actual, QRgb expected, int tolerance);

// A picture of a flat-grey clip (ClipPattern::flatGrey) on the 320 × 180 canvas as a scenario
// reads it: the colour at its centre and the frame number its top quarter shows (read along the
// canvas's row 180 / 8; -1 when unreadable).
struct GreyPicture {
    static constexpr int stampRow = 180 / 8;
    QRgb centre = 0;
    int frame = -1;
};
// The same picture within `tolerance` in each channel and of the same frame.
::testing::AssertionResult samePicture(const GreyPicture& shown, const GreyPicture& expected, int tolerance);

// A widget's rectangle, or a rectangle in it, in global (screen) coordinates.
QRect globalRect(const QWidget& widget);
QRect globalRect(const QWidget& widget, const QRectF& local);

// The program view's picture frame (the canvas fitted into it) in global coordinates.
QRect programFrame(const GradedPreviewView& view);

// The block of a clip in the lanes, in the viewport's coordinates.
QRectF blockOf(const TimelineStripModel& model, const std::string& clipId);

// The file panel the application shows now (Qt's own, which the desktop's panels use), if any.
QFileDialog* shownFilePanel();
// Chooses `file` in the panel, as typing its path and pressing the panel's accept button does.
void choose(QFileDialog& panel, const std::filesystem::path& file);
// Clicks the button of `role` in `box`; fails the test when it has none. Returns the role
// pressed (InvalidRole when none).
QMessageBox::ButtonRole pressRole(QMessageBox& box, QMessageBox::ButtonRole role);

// One scenario: the user's folders in a temporary folder, the generated project, and the
// application's window showing it with its preview built.
class AppScenario : public ::testing::Test {
protected:
    AppScenario();
    ~AppScenario() override;

    void SetUp() override;

    VelmoraDesktopShellView& window() const { return *window_; }
    // The Edit workspace shown now (fails the test when the shell shows the other one).
    EditorContentView& edit() const;
    EditorWorkspaceController& workspace() const;
    TimelinePreviewEngine& engine() const;
    // The preview's player is installed and its status is the build's "Ready", or "Thumbnails
    // ready" when poster frames landed after it (storing them does not rebuild the preview).
    bool previewReady() const;
    // "Export Video…" and its sheet, with H.264 chosen.
    EditorExportSheet& openExportSheet();
    // Exports the timeline through that sheet to `movie`, chosen in its save panel, and waits for
    // the run to end; the sheet stays open.
    const ExportSheetController& exportTo(const std::filesystem::path& movie);
    GradedPreviewView& programView() const;
    TimelineStripView& timeline() const;

    // Runs the event loop until `done` holds, at most `seconds`.
    ::testing::AssertionResult waitFor(const std::function<bool()>& done, const std::string& what,
                                       double seconds = 60) const;
    // Waits for the window to show the 10-bit Export workspace, which `shown` then points at.
    ::testing::AssertionResult waitForTenBitWorkspace(ContentView*& shown) const;
    // "10-bit Export Tab →": waits for that workspace (`shown`) to hold the handed-over job.
    ::testing::AssertionResult handOverToTenBit(ContentView*& shown);
    // "Choose Output…" in the 10-bit Export workspace, `file` chosen in its panel.
    void chooseTenBitOutput(ContentView& tenBit, const std::filesystem::path& file);
    // The program monitor's picture on the screen now, read as a grey picture.
    GreyPicture monitorPicture() const;
    // Paused at `at` over a flat-grey clip: waits for the graded still of the frame there, saves
    // the screenshot `shot`, exports the timeline through the export sheet to `movie` (the sheet
    // stays open), and holds that the exported frame at `at` is that frame, of the colour
    // `written` within 3, and that the monitor showed it within 2.
    ::testing::AssertionResult monitorShowsTheExportedFrame(double at, const std::string& shot,
                                                            const std::filesystem::path& movie, QRgb written);
    // Waits for the program view to show the graded still of frame `frame` of a frame stamp,
    // read along `row` of the canvas as stampIn reads it.
    ::testing::AssertionResult waitForGradedStill(int frame, int row = -1) const;
    // "Import" in the media pool, `item` (a file or a folder) chosen in its panel; returns once
    // the panel has taken it.
    void importWithPanel(const std::filesystem::path& item);
    // Save As… to `file`; returns the project read back from it.
    EditSession saveAs(const std::filesystem::path& file);
    // The top bar's `button` ("Save" or "Save As…") and `file` chosen in the save panel it shows;
    // waits for the file and returns the name the panel suggested (empty when no panel showed).
    std::string saveThroughPanel(const QString& button, const std::filesystem::path& file);
    // The timeline header's picker chooses the timeline `timelineId`, as a click on its row does.
    void chooseTimeline(const std::string& timelineId);
    // The top bar's Clip LUT picker chooses `name` (a click on its row, enabled or not); false
    // when the picker does not list it.
    bool chooseClipLut(const std::string& name);

    // Clicks the timeline's ruler where it seeks to about `seconds` and waits for the playhead
    // to land on the start of the project's frame there; returns where it landed.
    double seekWithRuler(double seconds);

    // Makes the application's window as main() does, shows it and hands it `file` as a command
    // line naming it does; the file opens once the event loop runs. Fails the test when the
    // window never shows.
    void openInWindow(const std::filesystem::path& file);
    // The same with several files, as `velmora-editor <file> <file>…` names them.
    void openFilesInWindow(const std::vector<std::filesystem::path>& files);
    // Makes the application's window as main() does and shows it with no project, as the
    // application starts without a file named. Fails the test when the window never shows.
    void showWindow();

    // Repaints every shown window, grabs the screen, saves the part `area` covers (global
    // coordinates; the whole screen when empty) as build/screenshots/<name>, and returns the
    // whole screen, to be read in global coordinates.
    QImage screenshot(const std::string& name, QRect area = {}) const;

    // Ends the application as main() does once its window has closed: the window goes, what it
    // left to the event loop runs, and what its workspaces left running is stopped and joined.
    // Nothing of the window may be used after this.
    void endApplication();
    // Ends the application as main() ends it once its event loop has returned `status`
    // (EditorApplication::finish); may end the process without returning.
    int finishApplication(int status);

    UserFoldersScope folders;
    ScenesProject project;

private:
    std::unique_ptr<VelmoraDesktopShellView> window_;
};

} // namespace test
} // namespace velmora
