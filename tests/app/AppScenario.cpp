#include "AppScenario.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QStringList>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QToolButton>
#include <QWidget>

#include <nlohmann/json.hpp>

#include "app/EditorApplication.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "export_workspaces/ContentView.h"
#include "export_workspaces/EditorExportSheet.h"
#include "export_workspaces/ExportSheetController.h"
#include "export_workspaces/ExportWorkspaceController.h"
#include "media/MediaTestHelpers.h"
#include "platform/image/Image.h"
#include "preview/GradedPreviewController.h"
#include "preview/GradedPreviewView.h"
#include "support/AudioFixtures.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "workspace/EditorContentView.h"
#include "workspace/bars/EditorTopBar.h"
#include "workspace/pool/MediaPoolView.h"
#include "workspace/shell/VelmoraDesktopShellView.h"
#include "workspace/timeline/TimelineStripView.h"

namespace velmora::test {

namespace fs = std::filesystem;

namespace {

EditSession::Clip placed(std::string id, std::string type, std::string sourceId, double start, double duration,
                         int lane)
{
    EditSession::Clip clip(std::move(id));
    clip.type = std::move(type);
    clip.sourceId = std::move(sourceId);
    clip.startTime = start;
    clip.duration = duration;
    clip.inPoint = 0.0;
    clip.track = lane;
    return clip;
}

void makeStampMovie(const fs::path& file, int frames)
{
    ClipSettings clip;
    clip.width = 320;
    clip.height = 180;
    clip.fpsNum = static_cast<int>(ScenesProject::fps);
    clip.frameCount = frames;
    clip.videoArgs = "-preset ultrafast";
    makeClip(file, clip);
}

// The frame of `movie` at `seconds` (decodedFrame) read as a grey picture.
GreyPicture exportedPicture(const fs::path& movie, double seconds)
{
    const Image frame = decodedFrame(movie, seconds);
    const float* centre = frame.row(frame.height() / 2) + (frame.width() / 2) * 4;
    const auto level = [](float value) { return static_cast<int>(std::lround(value * 255)); };
    GreyPicture picture;
    picture.centre = qRgb(level(centre[0]), level(centre[1]), level(centre[2]));
    picture.frame = readFrameStamp([&](int x, int y) { return double(frame.row(y)[4 * x]); }, frame.width(),
                                   frame.height(), frame.height() * GreyPicture::stampRow / 180);
    return picture;
}

// A 3-point cube taking (r, g, b) to (r, 0, 1 − r); linear in r, so exact between its points.
void writeSplitCube(const fs::path& file)
{
    std::ofstream cube(file);
    cube << "TITLE \"Split\"\nLUT_3D_SIZE 3\n";
    for (int i = 0; i < 27; ++i) {
        const double red = (i % 3) / 2.0;
        cube << red << " 0 " << 1.0 - red << '\n';
    }
}

} // namespace

ScenesProject writeScenesProject(const fs::path& folder)
{
    ScenesProject project{folder / "Scenes.tavlek", folder / "Scenes_media"};
    fs::create_directories(project.media);
    makeStampMovie(project.media / "A001.mp4", 90);
    makeStampMovie(project.media / "A002.mp4", 120);
    makeStillImage(project.media / "Card.png", 320, 180, 0x5A5A);
    makeToneFile(project.media / "Music.wav", {{440, 5}});
    writeSplitCube(project.media / "Split.cube");

    EditSession session = EditSession::blankProject("Scenes", 320, 180, ScenesProject::fps);
    session.sources = {EditSession::Source("src-a001", "A001.mp4", "video"),
                       EditSession::Source("src-a002", "A002.mp4", "video"),
                       EditSession::Source("src-card", "Card.png", "image"),
                       EditSession::Source("src-music", "Music.wav", "audio")};
    EditSession::Timeline& timeline = session.timelines.front();
    EditSession::Clip first = placed("v1", "video", "src-a001", 0, 3, 1);
    first.name = "A001.mp4";
    first.outPoint = 3.0;
    first.grade = EditSession::clipGrade("Split.cube");
    EditSession::Clip second = placed("v2", "video", "src-a002", 3, 3, 1);
    second.name = "A002.mp4";
    second.inPoint = 1.0;
    second.outPoint = 4.0;
    EditSession::Clip card = placed("card", "image", "src-card", 6, 1.5, 2);
    card.name = "Card.png";
    EditSession::Clip music = placed("music", "audio", "src-music", 0.5, 5, 1);
    music.name = "Music.wav";
    timeline.clips = {first, second, card, music};
    timeline.markers = {{"m1", 1.0, "In"}, {"m2", 2.5, std::nullopt}, {"m3", 5.0, "Out"}};
    session.saveProject(project.file, project.media.string());
    return project;
}

void writeOneMovieProject(const fs::path& file, const fs::path& media, const std::string& projectName,
                          const std::string& movie, int frames, double fps, double seconds,
                          const std::function<void(EditSession&, EditSession::Clip&)>& shape, bool flatGrey)
{
    fs::create_directories(media);
    ClipSettings settings;
    settings.width = 320;
    settings.height = 180;
    settings.frameCount = frames;
    settings.fpsNum = static_cast<int>(fps);
    settings.videoArgs = flatGrey ? "-preset ultrafast -g 10" : "-preset ultrafast";
    if (flatGrey)
        settings.pattern = ClipPattern::flatGrey;
    makeClip(media / movie, settings);
    EditSession session = EditSession::blankProject(projectName, 320, 180, fps);
    session.sources = {EditSession::Source("src-movie", movie, "video")};
    EditSession::Clip shot = placed("c", "video", "src-movie", 0, seconds, 1);
    shot.name = movie;
    if (shape)
        shape(session, shot);
    session.timelines.front().clips = {shot};
    session.saveProject(file, media.string());
}

fs::path writeLargerJob(const fs::path& jobURL, const fs::path& folder)
{
    nlohmann::json larger = nlohmann::json::parse(readTextFile(jobURL));
    larger["output"]["width"] = 1920;
    larger["output"]["height"] = 1080;
    const fs::path file = folder / "Scenes_1080.json";
    std::ofstream(file) << larger.dump(2);
    return file;
}

int stampIn(const QImage& image, const QRect& frame, int row)
{
    const double across = frame.width() / 320.0;
    const double down = frame.height() / 180.0;
    return readFrameStamp(
        [&](int x, int y) {
            const QPoint at(frame.left() + static_cast<int>((x + 0.5) * across),
                            frame.top() + static_cast<int>((y + 0.5) * down));
            return qRed(image.pixel(at)) / 255.0;
        },
        320, 180, row);
}

::testing::AssertionResult near(QRgb actual, QRgb expected, int tolerance)
{
    if (std::abs(qRed(actual) - qRed(expected)) <= tolerance && std::abs(qGreen(actual) - qGreen(expected)) <= tolerance &&
        std::abs(qBlue(actual) - qBlue(expected)) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << QColor(actual).name().toStdString() << " is not within " << tolerance
                                         << " of " << QColor(expected).name().toStdString();
}

::testing::AssertionResult samePicture(const GreyPicture& shown, const GreyPicture& expected, int tolerance)
{
    if (shown.frame != expected.frame)
        return ::testing::AssertionFailure() << "frame " << shown.frame << " instead of " << expected.frame;
    return near(shown.centre, expected.centre, tolerance);
}

AppScenario::AppScenario() = default;

GreyPicture AppScenario::monitorPicture() const
{
    const QRect monitor = programFrame(programView());
    const QImage shown =
        window_->screen()->grabWindow(0, monitor.x(), monitor.y(), monitor.width(), monitor.height()).toImage();
    return {shown.pixel(shown.rect().center()), stampIn(shown, shown.rect(), GreyPicture::stampRow)};
}

bool AppScenario::previewReady() const
{
    const std::string& status = engine().status();
    // Warnings (a file or LUT not found) come before those words.
    return engine().avPlayer() && (status.starts_with("Ready") || status.find(" \u00B7 Ready \u2014 ") != std::string::npos ||
                                   status.find("Thumbnails ready") != std::string::npos);
}

AppScenario::~AppScenario()
{
    endApplication();
}

void AppScenario::endApplication()
{
    window_.reset();
    // What the closed windows left to the event loop (deferred deletes, results coming back)
    // runs now, while the project's folders still exist.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    EditorApplication::end();
}

int AppScenario::finishApplication(int status)
{
    return EditorApplication::finish(std::move(window_), status);
}

void AppScenario::SetUp()
{
    project = writeScenesProject(folders.scratch());
    openInWindow(project.file);
    if (HasFatalFailure())
        return;
    // Opening builds the preview and makes the videos' poster frames in the background; the
    // scenario starts once both are done, whichever lands last (its status says so).
    const auto posterFramesStored = [this] {
        const std::shared_ptr<EditSession>& session = engine().session();
        return session && std::all_of(session->sources.begin(), session->sources.end(), [](const auto& source) {
                   return source.type != "video" || source.thumbnailData;
               });
    };
    ASSERT_TRUE(waitFor(
        [&] { return posterFramesStored() && previewReady(); },
        "the preview of the opened project with its poster frames"))
        << engine().status();
    ASSERT_EQ(engine().session()->project->name, "Scenes");
    // Paused at the start of A001, which has a LUT.
    ASSERT_TRUE(waitForGradedStill(0));
}

void AppScenario::showWindow()
{
    window_ = EditorApplication::makeWindow();
    window_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get(), 60000)) << "the window never appeared on the screen";
}

void AppScenario::openInWindow(const fs::path& file)
{
    openFilesInWindow({file});
}

void AppScenario::openFilesInWindow(const std::vector<fs::path>& files)
{
    showWindow();
    if (::testing::Test::HasFatalFailure())
        return;
    // As `velmora-editor <file>…` opens them.
    std::vector<std::string> arguments = {"velmora-editor"};
    for (const fs::path& file : files)
        arguments.push_back(file.string());
    EditorApplication::openFilesFromArguments(*window_, arguments);
}

EditorContentView& AppScenario::edit() const
{
    auto* edit = qobject_cast<EditorContentView*>(window_->currentWorkspace());
    if (!edit)
        throw std::logic_error("the window does not show the Edit workspace");
    return *edit;
}

EditorWorkspaceController& AppScenario::workspace() const
{
    return edit().controller();
}

EditorExportSheet& AppScenario::openExportSheet()
{
    QTest::mouseClick(edit().topBar()->findChild<QPushButton*>(QStringLiteral("exportVideoButton")), Qt::LeftButton);
    EXPECT_TRUE(waitFor([&] { return edit().exportSheet() && edit().exportSheet()->isVisible(); }, "the export sheet"));
    auto& sheet = *qobject_cast<EditorExportSheet*>(edit().exportSheet());
    for (QRadioButton* format : sheet.findChildren<QRadioButton*>()) {
        if (format->text() == QStringLiteral("H.264 (Delivery)"))
            QTest::mouseClick(format, Qt::LeftButton);
    }
    return sheet;
}

const ExportSheetController& AppScenario::exportTo(const fs::path& movie)
{
    EditorExportSheet& sheet = openExportSheet();
    QTest::mouseClick(sheet.findChild<QPushButton*>(QStringLiteral("exportButton")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    EXPECT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the save panel"));
    if (panel)
        choose(*panel, movie);
    const ExportSheetController& run = sheet.controller();
    EXPECT_TRUE(waitFor([&] { return !run.isExporting() && run.status() != "Choose format and destination."; },
                        "the export", 300))
        << run.status();
    return run;
}

::testing::AssertionResult AppScenario::handOverToTenBit(ContentView*& shown)
{
    QTest::mouseClick(edit().topBar()->commandButton(QStringLiteral("10-bit Export Tab \u2192")), Qt::LeftButton);
    if (::testing::AssertionResult there = waitForTenBitWorkspace(shown); !there)
        return there;
    return waitFor([&] { return shown->controller().inputsComplete(); }, "the handed-over job");
}

void AppScenario::chooseTenBitOutput(ContentView& tenBit, const fs::path& file)
{
    QTest::mouseClick(tenBit.findChild<QPushButton*>(QStringLiteral("chooseOutput")), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    EXPECT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the output panel"));
    if (panel)
        choose(*panel, file);
}

void AppScenario::importWithPanel(const fs::path& item)
{
    QTest::mouseClick(edit().findChild<MediaPoolView*>()->importButton(), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    EXPECT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the import panel"));
    if (panel)
        choose(*panel, item);
}

EditSession AppScenario::saveAs(const fs::path& file)
{
    (void)saveThroughPanel(QStringLiteral("Save As…"), file);
    return EditSession::load(file);
}

std::string AppScenario::saveThroughPanel(const QString& button, const fs::path& file)
{
    QTest::mouseClick(edit().topBar()->commandButton(button), Qt::LeftButton);
    QFileDialog* panel = nullptr;
    EXPECT_TRUE(waitFor([&] { return (panel = shownFilePanel()) != nullptr; }, "the save panel"));
    if (!panel)
        return {};
    const QStringList suggested = panel->selectedFiles();
    const std::string name =
        suggested.isEmpty() ? std::string() : fs::path(suggested.front().toStdString()).filename().string();
    choose(*panel, file);
    EXPECT_TRUE(waitFor([&] { return fs::exists(file) && !workspace().projectDirty(); }, "the saved project"));
    return name;
}

void AppScenario::chooseTimeline(const std::string& timelineId)
{
    auto* picker = edit().findChild<QComboBox*>(QStringLiteral("timelinePicker"));
    ASSERT_NE(picker, nullptr);
    const int row = picker->findData(QString::fromStdString(timelineId));
    ASSERT_GE(row, 0) << timelineId;
    picker->setCurrentIndex(row);
    emit picker->activated(row);
}

bool AppScenario::chooseClipLut(const std::string& name)
{
    VelmoraDarkPopUpPicker& picker = *edit().topBar()->clipLutPicker();
    const int row = VelmoraDarkPopUpPicker::rowForSelection(picker.selectableTags(), name);
    if (row < 0)
        return false;
    picker.pickIndex(row);
    return true;
}

TimelinePreviewEngine& AppScenario::engine() const
{
    return workspace().engine();
}

GradedPreviewView& AppScenario::programView() const
{
    return *edit().findChild<GradedPreviewView*>(QStringLiteral("GradedPreviewView"));
}

TimelineStripView& AppScenario::timeline() const
{
    return *edit().findChild<TimelineStripView*>();
}

::testing::AssertionResult AppScenario::waitFor(const std::function<bool()>& done, const std::string& what,
                                                double seconds) const
{
    if (QTest::qWaitFor(done, static_cast<int>(seconds * 1000)))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "timed out after " << seconds << " s waiting for " << what;
}

::testing::AssertionResult AppScenario::monitorShowsTheExportedFrame(double at, const std::string& shot,
                                                                     const fs::path& movie, QRgb written)
{
    const int frame = static_cast<int>(engine().frameGrid().index(at));
    if (::testing::AssertionResult still = waitForGradedStill(frame, GreyPicture::stampRow); !still)
        return still;
    screenshot(shot, globalRect(*window_));
    const GreyPicture shown = monitorPicture();
    const ExportSheetController& done = exportTo(movie);
    if (!done.status().starts_with("Done"))
        return ::testing::AssertionFailure() << "the export: " << done.status() << " " << done.errorText();
    const GreyPicture exported = exportedPicture(movie, at);
    if (::testing::AssertionResult right = samePicture(exported, {written, frame}, 3); !right)
        return right << " (the exported frame)";
    return samePicture(shown, exported, 2) << " (the monitor against the exported frame)";
}

::testing::AssertionResult AppScenario::waitForTenBitWorkspace(ContentView*& shown) const
{
    return waitFor(
        [&] {
            shown = qobject_cast<ContentView*>(window_->currentWorkspace());
            return shown && shown->isVisible();
        },
        "the 10-bit Export workspace");
}

::testing::AssertionResult AppScenario::waitForGradedStill(int frame, int row) const
{
    const GradedPreviewController& program = programView().controller();
    ::testing::AssertionResult shown = waitFor(
        [&] {
            return program.isStillShown() && !program.isGradingInFlight() &&
                   stampIn(program.still(), program.still().rect(), row) == frame;
        },
        "the graded still of frame " + std::to_string(frame));
    if (!shown) {
        shown << " (still shown " << program.isStillShown() << ", grading " << program.isGradingInFlight()
              << ", the still's stamp " << stampIn(program.still(), program.still().rect(), row) << ")";
    }
    return shown;
}

double AppScenario::seekWithRuler(double seconds)
{
    TimelineStripView& strip = timeline();
    const TimelineStripModel& model = strip.model();
    const QPoint at(static_cast<int>(std::lround(model.viewportX(model.xForTime(seconds)))),
                    static_cast<int>(TimelineStripModel::rulerHeight / 2));
    QTest::mouseClick(strip.viewport(), Qt::LeftButton, {}, at);
    const double fps = engine().frameGrid().rate();
    const double expected = std::floor(model.rulerSeekTime(at.x()) * fps + 1e-6) / fps;
    EXPECT_TRUE(waitFor([&] { return std::abs(engine().playheadSeconds() - expected) < 1e-6; }, "the ruler's seek"))
        << engine().playheadSeconds() << " instead of " << expected;
    return engine().playheadSeconds();
}

QImage AppScenario::screenshot(const std::string& name, QRect area) const
{
    // Layouts asked for by the last events settle first, as they would before the next frame.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    for (QWidget* shown : QApplication::topLevelWidgets()) {
        if (shown->isVisible())
            shown->repaint();
    }
    QScreen* screen = window_->screen();
    const QImage shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
    if (area.isEmpty())
        area = shot.rect();
    const fs::path file = fs::path(VELMORA_BUILD_DIR) / "screenshots" / name;
    fs::create_directories(file.parent_path());
    EXPECT_TRUE(shot.copy(area).save(QString::fromStdString(file.string()), "PNG")) << file;
    return shot;
}

QRect globalRect(const QWidget& widget)
{
    return QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size());
}

QRect globalRect(const QWidget& widget, const QRectF& local)
{
    return QRect(widget.mapToGlobal(local.topLeft().toPoint()), local.size().toSize());
}

QRect programFrame(const GradedPreviewView& view)
{
    return globalRect(view, view.controller().contentFrameForProjectCanvas(QRectF(view.rect())));
}

QRectF blockOf(const TimelineStripModel& model, const std::string& clipId)
{
    std::vector<TimelineStripModel::Block> blocks;
    for (int row = 0; row < static_cast<int>(model.buildLanes().size()); ++row) {
        model.blocksInRow(row, 0, model.viewportWidth(), blocks);
        for (const TimelineStripModel::Block& block : blocks) {
            if (block.clip->id == clipId)
                return block.rect;
        }
    }
    ADD_FAILURE() << "no block of " << clipId;
    return {};
}

QFileDialog* shownFilePanel()
{
    for (QWidget* shown : QApplication::topLevelWidgets()) {
        auto* panel = qobject_cast<QFileDialog*>(shown);
        if (panel && panel->isVisible())
            return panel;
    }
    return nullptr;
}

void choose(QFileDialog& panel, const fs::path& file)
{
    panel.selectFile(QString::fromStdString(file.string()));
    static_cast<QDialog&>(panel).accept();
}

QMessageBox::ButtonRole pressRole(QMessageBox& box, QMessageBox::ButtonRole role)
{
    for (QAbstractButton* button : box.buttons()) {
        if (box.buttonRole(button) == role) {
            QTest::mouseClick(button, Qt::LeftButton);
            return role;
        }
    }
    ADD_FAILURE() << "no button of role " << role << " in " << box.text().toStdString();
    return QMessageBox::InvalidRole;
}

} // namespace velmora::test
