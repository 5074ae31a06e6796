// The source viewer: loading, marks, transport and keys, the LUT pop-up and the hand-overs,
// still images, closing, indefinite durations, audio sources, and the whole round trip with
// the real engine and the grade inspector.

#include <cmath>

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStackedLayout>
#include <QTest>
#include <gtest/gtest.h>

#include "FakeSourcePlayer.h"
#include "InspectorTestSupport.h"
#include "controls/VelmoraDarkPopUpPicker.h"
#include "controls/VelmoraSymbols.h"
#include "grading/GradedStillRequester.h"
#include "inspectors/ContinuousGradeSlider.h"
#include "inspectors/ClipGradeInspectorSheet.h"
#include "inspectors/GradeInspectorWindowRoot.h"
#include "inspectors/SourceAudioWaveformView.h"
#include "inspectors/SourceGradedPreviewView.h"
#include "inspectors/SourceViewer.h"
#include "model/MediaFolderListing.h"
#include "preview/PreviewPictureImage.h"
#include "support/AudioFixtures.h"
#include "support/MediaFixtures.h"
#include "support/NamedPipe.h"

namespace velmora::test {
namespace {

using Controller = SourceViewerController;

TEST(SourceViewer, FormatTimeTruncatesEachPart)
{
    EXPECT_EQ(Controller::formatTime(0), "00:00:00");
    EXPECT_EQ(Controller::formatTime(75.5), "01:15:50");
    EXPECT_EQ(Controller::formatTime(3725.25), "62:05:25");
    EXPECT_EQ(Controller::formatTime(59.999), "00:59:99");
    EXPECT_EQ(Controller::formatTime(std::nan("")), "--:--:--");
    EXPECT_EQ(Controller::formatTime(INFINITY), "--:--:--");
    EXPECT_EQ(Controller::formatTime(1e300), "--:--:--");
}

struct HandOver {
    std::string kind;
    double in = 0;
    double out = 0;
    std::string lut;
    bool operator==(const HandOver&) const = default;
};

std::ostream& operator<<(std::ostream& out, const HandOver& h)
{
    return out << h.kind << " " << h.in << " " << h.out << " " << h.lut;
}

// A project with a 2-second clip "s1.mp4" (timeline clip "A" reads 0.5…1.5 of it), a picture
// "photo.png", a tone "tone.wav" and an inverting LUT "look.cube" in its media folder.
struct ViewerFixture {
    ViewerFixture()
    {
        static bool made = false;
        static TempDir* shared = nullptr;
        if (!made) {
            shared = new TempDir;
            ClipSettings settings;
            settings.audio = true;
            makeClip(*shared / "s1.mp4", settings);
            makeStillImage(*shared / "photo.png", 160, 96, 9);
            // 20 s of a swelling tone: long enough for one block per column of a wide view.
            runFFmpeg("-f lavfi -i " +
                      shellQuote("aevalsrc=0.8*sin(2*PI*220*t)*(0.3+0.7*abs(sin(PI*t/5))):s=48000:d=20") +
                      " -c:a pcm_s16le " + shellQuote((*shared / "tone.wav").string()));
            made = true;
        }
        for (const char* name : {"s1.mp4", "photo.png", "tone.wav"})
            std::filesystem::copy_file(*shared / name, h.media / name);
        writeTextFile(h.media / "look.cube", invertingCubeText());
        EditSession::Source video("s1", "s1.mp4", "video");
        video.width = 160;
        video.height = 96;
        video.framerate = 25;
        h.adopt({video, EditSession::Source("p1", "photo.png", "image"), EditSession::Source("t1", "tone.wav", "audio"),
                 EditSession::Source("m1", "missing.mp4", "video")},
                {videoClip("A", "s1", 0, 1, 0.5)});
    }

    EditSession::Source source(const std::string& id) const
    {
        for (const EditSession::Source& candidate : h.session().sources) {
            if (candidate.id == id)
                return candidate;
        }
        return {};
    }

    SourceViewerServices services()
    {
        SourceViewerServices result;
        result.mainQueue = h.queue;
        result.openPlayback = [this](const std::filesystem::path& file) {
            opened.push_back(file.filename().string());
            player = std::make_shared<FakeSourcePlayer>(h.queue);
            return SourcePlayback{player, [this] { return picture; }};
        };
        if (probe)
            result.probeDuration = probe;
        return result;
    }

    std::unique_ptr<SourceViewer> make(const std::string& sourceId, std::optional<std::string> clipId = std::nullopt,
                                       std::optional<double> in = std::nullopt,
                                       std::optional<double> out = std::nullopt)
    {
        const auto record = [this](const char* kind) {
            return [this, kind](double inPoint, double outPoint, const std::string& lut) {
                handOvers.push_back({kind, inPoint, outPoint, lut});
            };
        };
        return std::make_unique<SourceViewer>(
            h.engine, source(sourceId), mediaFolder, std::nullopt, std::move(clipId), in, out,
            [this] { return windowKey; }, record("update"), record("insert"), record("add"),
            [this] { handOvers.push_back({"close", 0, 0, ""}); }, [this] { ++lutChanges; }, services());
    }

    // Makes and shows a viewer and waits for its duration when it loads one.
    std::unique_ptr<SourceViewer> open(const std::string& sourceId, std::optional<std::string> clipId = std::nullopt,
                                       std::optional<double> in = std::nullopt,
                                       std::optional<double> out = std::nullopt)
    {
        auto viewer = make(sourceId, std::move(clipId), in, out);
        viewer->resize(800, 550);
        viewer->show();
        return viewer;
    }

    bool waitForMarks(SourceViewer& viewer)
    {
        return h.waitFor([&] { return viewer.controller().didApplyInitialMarks(); });
    }

    InspectorHarness h;
    std::optional<std::filesystem::path> mediaFolder = h.media.path();
    std::function<std::optional<double>(const std::filesystem::path&)> probe;
    std::shared_ptr<FakeSourcePlayer> player;
    QImage picture;
    std::vector<std::string> opened;
    std::vector<HandOver> handOvers;
    bool windowKey = true;
    int lutChanges = 0;
};

template <typename T>
T* child(QWidget& parent, const char* name)
{
    return parent.findChild<T*>(QString::fromLatin1(name));
}

QString text(QWidget& parent, const char* name)
{
    if (auto* label = child<QLabel>(parent, name))
        return label->text();
    if (auto* button = child<QPushButton>(parent, name))
        return button->text();
    return "<missing>";
}

TEST(SourceViewer, LoadFailuresShowTheirMessage)
{
    ViewerFixture f;
    // A named pipe in the file's place is no file: nothing opens it.
    const test::NamedPipe pipe(f.h.media / "missing.mp4");
    auto missing = f.open("m1");
    EXPECT_EQ(missing->controller().picture(), Controller::Picture::error);
    EXPECT_EQ(text(*missing, "errorLabel").toStdString(),
              "Could not find \u201Cmissing.mp4\u201D in the media folder");
    EXPECT_FALSE(missing->controller().player());
    EXPECT_TRUE(f.opened.empty());

    // No folder given and none in the engine.
    TimelinePreviewEngine folderless(TimelinePreviewEngine::Services{f.h.queue, f.h.clock, nullptr});
    folderless.adoptSession(f.h.engine.session(), std::nullopt, std::nullopt, false);
    SourceViewer noFolder(folderless, f.source("s1"), std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                          std::nullopt, {}, {}, {}, {}, {}, {}, f.services());
    noFolder.show();
    EXPECT_EQ(noFolder.controller().loadError(), "Media folder not set \u2014 import clips with Import in Media Pool");

    TimelinePreviewEngine empty(TimelinePreviewEngine::Services{f.h.queue, f.h.clock, nullptr});
    SourceViewer noProject(empty, f.source("s1"), f.h.media.path(), std::nullopt, std::nullopt, std::nullopt,
                           std::nullopt, {}, {}, {}, {}, {}, {}, f.services());
    EXPECT_EQ(noProject.controller().picture(), Controller::Picture::loading);
    noProject.show();
    EXPECT_EQ(noProject.controller().loadError(), "No project loaded");

    // The hand-overs still answer with the marks as they are.
    child<QPushButton>(*missing, "addButton")->click();
    EXPECT_EQ(f.handOvers.back(), (HandOver{"add", 0, 0, "None"}));
}

TEST(SourceViewer, AMediaPoolSourceMarksPlaysAndHandsOver)
{
    ViewerFixture f;
    auto viewer = f.open("s1");
    Controller& c = viewer->controller();
    ASSERT_EQ(f.opened, std::vector<std::string>{"s1.mp4"});
    EXPECT_EQ(f.player->observerCount(), 1u);
    EXPECT_EQ(f.player->observerInterval, 0.1);
    ASSERT_TRUE(f.waitForMarks(*viewer));
    EXPECT_NEAR(c.duration(), 2.0, 0.05);
    EXPECT_EQ(c.inPoint(), 0);
    EXPECT_EQ(c.outPoint(), c.duration());
    EXPECT_EQ(c.sourceLutReference(), "None");
    ASSERT_FALSE(f.player->seeks.empty());
    EXPECT_EQ(f.player->seeks.back(), 0);
    EXPECT_EQ(text(*viewer, "sizeLabel"), QString::fromUtf8("160\u00D796 \u00B7 25.00 fps"));
    EXPECT_EQ(child<QPushButton>(*viewer, "insertButton")->property("look"), "prominent");
    EXPECT_TRUE(child<QPushButton>(*viewer, "addButton"));
    EXPECT_FALSE(child<QPushButton>(*viewer, "updateTimelineButton"));
    EXPECT_TRUE(child<QSlider>(*viewer, "scrubSlider")->isEnabled());

    // The play position comes from the player; the marks take it unchanged, in any order.
    f.player->reportTime(3.0);
    QTest::keyClick(viewer.get(), Qt::Key_I);
    f.player->reportTime(1.0);
    QTest::keyClick(viewer.get(), Qt::Key_O);
    EXPECT_EQ(text(*viewer, "timeLabel"), "00:01:00");
    EXPECT_EQ(text(*viewer, "inButton"), "00:03:00");
    child<QPushButton>(*viewer, "insertButton")->click();
    child<QPushButton>(*viewer, "addButton")->click();
    EXPECT_EQ(f.handOvers, (std::vector<HandOver>{{"insert", 3, 1, "None"}, {"add", 3, 1, "None"}}));

    // Shift+I acts as I; keys pass while another window is key.
    f.player->reportTime(0.5);
    QTest::keyClick(viewer.get(), Qt::Key_I, Qt::ShiftModifier);
    EXPECT_EQ(c.inPoint(), 0.5);
    f.windowKey = false;
    QTest::keyClick(viewer.get(), Qt::Key_O);
    QTest::keyClick(viewer.get(), Qt::Key_Space);
    EXPECT_EQ(c.outPoint(), 1.0);
    EXPECT_FALSE(c.isPlaying());
    f.windowKey = true;

    // Space plays and pauses the player; the button shows the other symbol.
    QTest::keyClick(viewer.get(), Qt::Key_Space);
    EXPECT_TRUE(c.isPlaying());
    EXPECT_EQ(f.player->playCount, 1);
    EXPECT_EQ(child<QPushButton>(*viewer, "playButton")->property(VelmoraSymbols::propertyName), "pause.fill");
    child<QPushButton>(*viewer, "playButton")->click();
    EXPECT_FALSE(c.isPlaying());
    EXPECT_EQ(f.player->pauseCount, 1);

    // Scrubbing seeks the player; the read-out follows the player, not the slider.
    child<QSlider>(*viewer, "scrubSlider")->setValue(150);
    EXPECT_EQ(f.player->seeks.back(), 1.5);
    EXPECT_EQ(c.currentTime(), 0.5);

    child<QPushButton>(*viewer, "clearButton")->click();
    EXPECT_EQ(c.inPoint(), 0);
    EXPECT_EQ(c.outPoint(), c.duration());
    EXPECT_EQ(f.player->seeks.back(), 0);
    child<QPushButton>(*viewer, "closeButton")->click();
    EXPECT_EQ(f.handOvers.back().kind, "close");
}

// The viewer opens the file the engine decided for the source, as the monitor and the exports
// read it, without listing the media folder again on the main thread.
TEST(SourceViewer, OpensTheEnginesFileForTheSourceWithoutAListing)
{
    ViewerFixture f;
    ASSERT_TRUE(f.h.waitFor([&] { return f.h.engine.resolvedMedia().has_value(); }));
    const std::uint64_t listings = MediaResolver::detail::folderListingCount();
    auto viewer = f.open("s1");
    EXPECT_EQ(viewer->controller().fileURL(), f.h.engine.resolvedMedia()->files.at("s1"));
    EXPECT_EQ(MediaResolver::detail::folderListingCount(), listings);
}

// The viewer shows no file the map gives the source none of, as no route reads one: a sound
// source whose file is gone is not shown a movie of its name, nor a file that is no media file,
// whether the engine decided the map or the viewer looks in a folder of its own.
TEST(SourceViewer, OpensNoFileTheMapDoesNotGiveTheSource)
{
    ViewerFixture f;
    std::filesystem::copy_file(f.h.media / "s1.mp4", f.h.media / "voice.mp4");
    writeTextFile(f.h.media / "notes.braw", "raw");
    std::vector<EditSession::Source> sources = f.h.session().sources;
    sources.emplace_back("v1", "voice.wav", "audio");
    sources.emplace_back("r1", "notes.braw", "video");
    f.h.adopt(sources, {videoClip("A", "s1", 0, 1, 0.5)});
    ASSERT_TRUE(f.h.waitFor([&] { return f.h.engine.resolvedMedia().has_value(); }));
    ASSERT_FALSE(f.h.engine.resolvedMedia()->files.contains("v1"));
    for (const char* id : {"v1", "r1"}) {
        for (const bool ownFolder : {false, true}) {
            SCOPED_TRACE(std::string(id) + (ownFolder ? " in a folder of its own" : ""));
            TempDir copy;
            if (ownFolder) {
                std::filesystem::copy(f.h.media.path(), copy.path(), std::filesystem::copy_options::recursive);
                f.mediaFolder = copy.path();
            }
            auto viewer = f.open(id);
            EXPECT_EQ(viewer->controller().loadError(),
                      "Could not find \u201C" + f.source(id).fileName + "\u201D in the media folder");
            EXPECT_FALSE(viewer->controller().fileURL());
            f.mediaFolder = f.h.media.path();
        }
    }
    EXPECT_TRUE(f.opened.empty());
}

TEST(SourceViewer, ATimelineClipStartsFromItsMarksAndLut)
{
    ViewerFixture f;
    f.h.engine.setClipLutReference("look.cube", "A");
    auto backwards = f.open("s1", "A", 2.0, 1.0);
    ASSERT_TRUE(f.waitForMarks(*backwards));
    EXPECT_EQ(backwards->controller().inPoint(), 2.0);
    EXPECT_NEAR(backwards->controller().outPoint(), 2.04, 1e-12);
    EXPECT_EQ(backwards->controller().sourceLutReference(), "look.cube");
    EXPECT_EQ(child<QPushButton>(*backwards, "updateTimelineButton")->toolTip(),
              "Apply in/out + LUT to the selected timeline clip");
    EXPECT_EQ(child<QPushButton>(*backwards, "insertButton")->property("look"), "bordered");
    EXPECT_FALSE(child<QPushButton>(*backwards, "addButton"));

    auto negative = f.open("s1", "A", -3.0, std::nullopt);
    ASSERT_TRUE(f.waitForMarks(*negative));
    EXPECT_EQ(negative->controller().inPoint(), 0);
    EXPECT_EQ(negative->controller().outPoint(), negative->controller().duration());

    auto notANumber = f.open("s1", "A", std::nan(""), INFINITY);
    ASSERT_TRUE(f.waitForMarks(*notANumber));
    EXPECT_EQ(notANumber->controller().inPoint(), 0);
    EXPECT_EQ(notANumber->controller().outPoint(), notANumber->controller().duration());

    child<QPushButton>(*backwards, "updateTimelineButton")->click();
    EXPECT_EQ(f.handOvers.back(), (HandOver{"update", 2.0, 2.04, "look.cube"}));
}

TEST(SourceViewer, OpensAt800By550WithEveryControlWhole)
{
    ViewerFixture f;
    auto viewer = f.open("s1", "A");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer.get(), 60000));
    QCoreApplication::processEvents();
    // A window's content cannot be smaller than its least size: the viewer's must fit.
    EXPECT_EQ(viewer->size(), QSize(800, 550));
    for (const QWidget* control : viewer->findChildren<QPushButton*>()) {
        if (control->isVisible()) {
            EXPECT_GE(control->height(), control->minimumSizeHint().height()) << control->objectName().toStdString();
        }
    }
}

TEST(SourceViewer, ALutPickChangesTheTimelineClipAtOnce)
{
    ViewerFixture f;
    auto viewer = f.open("s1", "A");
    auto* picker = child<VelmoraDarkPopUpPicker>(*viewer, "lutPicker");
    ASSERT_NE(picker, nullptr);
    const std::vector<std::string> names = f.h.engine.availableLutNames();
    EXPECT_EQ(picker->selectableTags(), names);
    EXPECT_EQ(picker->selection(), "None");
    picker->pickIndex(static_cast<int>(std::find(names.begin(), names.end(), "look.cube") - names.begin()));
    EXPECT_EQ(f.h.session().clipLutReference("A"), "look.cube");
    EXPECT_EQ(f.lutChanges, 1);
    child<QPushButton>(*viewer, "insertButton")->click();
    EXPECT_EQ(f.handOvers.back().lut, "look.cube");

    // For a media-pool source the choice stays in the viewer and travels with the hand-over.
    auto pool = f.open("s1");
    auto* poolPicker = child<VelmoraDarkPopUpPicker>(*pool, "lutPicker");
    poolPicker->pickIndex(0);
    poolPicker->pickIndex(static_cast<int>(std::find(names.begin(), names.end(), "look.cube") - names.begin()));
    EXPECT_EQ(pool->controller().sourceLutReference(), "look.cube");
    EXPECT_EQ(f.lutChanges, 1);

    // The Grade switch is the engine's, both ways.
    auto* grade = child<QCheckBox>(*pool, "gradeToggle");
    const bool before = f.h.engine.gradePreviewEnabled();
    grade->click();
    EXPECT_NE(f.h.engine.gradePreviewEnabled(), before);
    f.h.engine.setGradePreviewEnabled(before);
    EXPECT_EQ(grade->isChecked(), before);
}

TEST(SourceViewer, AStillImageShowsItsFrameWithoutAPlayer)
{
    ViewerFixture f;
    f.h.engine.setGradePreviewEnabled(false);
    auto viewer = f.open("p1");
    Controller& c = viewer->controller();
    EXPECT_TRUE(f.opened.empty());
    EXPECT_FALSE(c.player());
    EXPECT_EQ(c.picture(), Controller::Picture::gradedPreview);
    EXPECT_FALSE(child<QSlider>(*viewer, "scrubSlider")->isEnabled());
    EXPECT_EQ(text(*viewer, "timeLabel"), "00:00:00");
    EXPECT_EQ(text(*viewer, "durationLabel"), "/ 00:00:00");

    // Grade off and no LUT: still the picture, not black.
    SourceGradedPreviewView& picture = *viewer->gradedPreview();
    ASSERT_TRUE(f.h.waitFor([&] { return picture.isShowingStill(); }));
    EXPECT_EQ(picture.lastGradeKey(), SourceGradedPreviewView::stillKey(f.h.media / "photo.png", 0, "None"));
    const QImage& still = picture.still();
    EXPECT_EQ(readFrameStamp([&](int x, int y) { return qGray(still.pixel(x, y)) / 255.0; }, still.width(),
                             still.height()),
              9);
    saveScreenshot(*viewer, "source-viewer-still");

    child<QPushButton>(*viewer, "playButton")->click();
    EXPECT_TRUE(c.isPlaying());
    EXPECT_EQ(child<QPushButton>(*viewer, "playButton")->property(VelmoraSymbols::propertyName), "pause.fill");
    EXPECT_TRUE(picture.lastGradeKey());
}

TEST(SourceViewer, ClosingReleasesThePlayerAndTheKeys)
{
    ViewerFixture f;
    f.picture = QImage(16, 9, QImage::Format_RGB32);
    f.picture.fill(Qt::red);
    auto viewer = f.open("s1");
    ASSERT_TRUE(f.waitForMarks(*viewer));
    std::weak_ptr<FakeSourcePlayer> weak = f.player;
    EXPECT_TRUE(viewer->isKeyMonitorInstalled());
    EXPECT_TRUE(viewer->gradedPreview()->isPollingLivePicture());
    QTest::keyClick(viewer.get(), Qt::Key_Space);
    ASSERT_TRUE(viewer->controller().isPlaying());

    viewer->close();
    EXPECT_EQ(f.player->pauseCount, 1);
    EXPECT_EQ(f.player->observerCount(), 0u);
    EXPECT_FALSE(viewer->controller().player());
    EXPECT_FALSE(viewer->isKeyMonitorInstalled());
    EXPECT_FALSE(viewer->gradedPreview()->isPollingLivePicture());
    f.player.reset();
    EXPECT_TRUE(weak.expired());

    // Keys reach nobody any more.
    QWidget other;
    other.show();
    const double out = viewer->controller().outPoint();
    QTest::keyClick(&other, Qt::Key_O);
    EXPECT_EQ(viewer->controller().outPoint(), out);

    // Deleting a viewer on screen does the same.
    auto second = f.open("s1");
    auto player = f.player;
    second.reset();
    EXPECT_EQ(player->pauseCount, 1);
    EXPECT_EQ(player->observerCount(), 0u);
}

TEST(SourceViewer, AnIndefiniteDurationReadsAsDashesAndHandsOverFiniteMarks)
{
    ViewerFixture f;
    f.probe = [](const std::filesystem::path&) -> std::optional<double> { return INFINITY; };
    auto viewer = f.open("s1");
    ASSERT_TRUE(f.waitForMarks(*viewer));
    EXPECT_EQ(text(*viewer, "durationLabel"), "/ --:--:--");
    auto* scrub = child<QSlider>(*viewer, "scrubSlider");
    EXPECT_FALSE(scrub->isEnabled());
    EXPECT_EQ(scrub->maximum(), 1);
    child<QPushButton>(*viewer, "addButton")->click();
    child<QPushButton>(*viewer, "clearButton")->click();
    child<QPushButton>(*viewer, "addButton")->click();
    EXPECT_EQ(f.handOvers, (std::vector<HandOver>{{"add", 0, 0, "None"}, {"add", 0, 0, "None"}}));

    f.probe = [](const std::filesystem::path&) -> std::optional<double> { return std::nan(""); };
    auto clip = f.open("s1", "A", 0.5, std::nullopt);
    ASSERT_TRUE(f.waitForMarks(*clip));
    EXPECT_EQ(text(*clip, "durationLabel"), "/ --:--:--");
    EXPECT_EQ(clip->controller().inPoint(), 0.5);
    EXPECT_NEAR(clip->controller().outPoint(), 0.54, 1e-12);

    // A duration that cannot be read at all leaves the marks at 0 and scrubbing off.
    f.probe = [](const std::filesystem::path&) -> std::optional<double> { return std::nullopt; };
    auto unread = f.open("s1");
    // The load's answer has come back once the pool is done and the main queue has run.
    finishBackgroundWork();
    f.h.queue->runUntilIdle();
    EXPECT_FALSE(unread->controller().didApplyInitialMarks());
    EXPECT_EQ(unread->controller().duration(), 0);
    EXPECT_FALSE(child<QSlider>(*unread, "scrubSlider")->isEnabled());
    child<QPushButton>(*unread, "clearButton")->click();
    EXPECT_EQ(unread->controller().outPoint(), 0);
}

TEST(SourceViewer, AnAudioSourceShowsItsWaveformWithTheMarks)
{
    ViewerFixture f;
    auto viewer = f.open("t1");
    EXPECT_FALSE(child<QWidget>(*viewer, "lutRow"));
    EXPECT_EQ(viewer->controller().picture(), Controller::Picture::waveform);
    SourceAudioWaveformView& waveform = *viewer->waveform();
    EXPECT_TRUE(waveform.isVisible());
    ASSERT_TRUE(f.waitForMarks(*viewer));
    ASSERT_TRUE(f.h.waitFor([&] { return waveform.isWaveformReady(); }));
    EXPECT_FALSE(waveform.waveformBitmap().isNull());
    EXPECT_NEAR(viewer->controller().duration(), 20, 0.01);
    f.player->reportTime(4);
    QTest::keyClick(viewer.get(), Qt::Key_I);
    f.player->reportTime(12);
    QTest::keyClick(viewer.get(), Qt::Key_O);
    f.player->reportTime(8);
    EXPECT_EQ(viewer->controller().inPoint(), 4);
    EXPECT_EQ(viewer->controller().outPoint(), 12);
    // The loudest columns reach near the top margin, the quietest stay near the middle.
    const QImage& bitmap = waveform.waveformBitmap();
    int tallest = 0;
    for (int x = 0; x < bitmap.width(); ++x) {
        for (int y = 0; y < bitmap.height() / 2; ++y) {
            if (qGray(bitmap.pixel(x, y)) > 60) {
                tallest = std::max(tallest, bitmap.height() / 2 - y);
                break;
            }
        }
    }
    EXPECT_GT(tallest, bitmap.height() / 4);
    saveScreenshot(*viewer, "source-viewer-waveform");
}

// The paused program frame of clip A as the program view grades it.
QImage programStill(InspectorHarness& h)
{
    const auto source = h.engine.visualGradeSource(0.5, std::string("A"));
    if (!source)
        return {};
    GradedStillRequest request;
    request.assetURL = source->url;
    request.sourceTime = source->sourceSeconds;
    request.clipId = "A";
    request.clipGrade = source->clipGrade;
    request.outW = 320;
    request.outH = 180;
    request.mediaFolder = h.media.path();
    const auto still = GradedStillRequester::gradeStill(GradedStillKind::paused, request);
    return still ? PreviewPictureImage::fromImage(*still) : QImage();
}

TEST(SourceViewer, RoundTripWithTheEngineAndTheGradeInspector)
{
    ViewerFixture f;
    TimelinePreviewEngine& engine = f.h.engine;
    bool dirty = false;
    // The viewer opened on timeline clip A, with the Edit workspace's callbacks.
    const EditSession::Clip clip = *f.h.session().clip("A");
    SourceViewer viewer(
        engine, f.source("s1"), f.h.media.path(), std::nullopt, std::string("A"), clip.inPoint, clip.outPoint,
        [] { return true; },
        [&](double in, double out, const std::string& lut) {
            engine.updateTimelineClipFromSource("A", in, out, lut);
            dirty = true;
        },
        {}, {}, {}, [&] { dirty = true; }, f.services());
    viewer.show();
    ASSERT_TRUE(f.waitForMarks(viewer));
    EXPECT_EQ(viewer.controller().inPoint(), 0.5);
    EXPECT_EQ(viewer.controller().outPoint(), 1.5);

    auto* picker = child<VelmoraDarkPopUpPicker>(viewer, "lutPicker");
    const auto& tags = picker->selectableTags();
    picker->pickIndex(static_cast<int>(std::find(tags.begin(), tags.end(), "look.cube") - tags.begin()));
    EXPECT_TRUE(dirty);
    f.player->reportTime(0.25);
    QTest::keyClick(&viewer, Qt::Key_I);
    child<QPushButton>(viewer, "updateTimelineButton")->click();
    EXPECT_EQ(f.h.session().clip("A")->inPoint, 0.25);
    EXPECT_EQ(f.h.session().clipLutReference("A"), "look.cube");
    EXPECT_EQ(engine.status(), "Updated timeline from source viewer");
    viewer.close();

    // The grade inspector, opened as the Edit workspace opens it.
    engine.recordUndoPoint();
    const ClipGradeEditState opening = ClipGradeEditState::from(f.h.session().clip("A"));
    int dirtyMarks = 0;
    GradeInspectorWindowRoot inspector(engine, opening, "A", "s1.mp4", engine.availableLutNames(), [] {},
                                       [&] { ++dirtyMarks; });
    engine.warmGradeSliderPreview("A", opening);
    const QImage before = programStill(f.h);
    ASSERT_FALSE(before.isNull());

    ContinuousGradeSlider* exposure = inspector.sheet().slider("exposure");
    exposure->applyUserValue(-1.0);
    exposure->applyUserValue(-2.0);
    emit exposure->released();
    EXPECT_EQ(dirtyMarks, 2);
    const QImage after = programStill(f.h);
    EXPECT_GT(std::abs(meanLevel(after) - meanLevel(before)), 10)
        << meanLevel(before) << " → " << meanLevel(after);

    // One undo takes the clip back to its grade before the inspector opened, LUT included.
    engine.undo();
    EXPECT_EQ(ClipGradeEditState::from(f.h.session().clip("A")), opening);
    EXPECT_EQ(f.h.session().clipLutReference("A"), "look.cube");
    EXPECT_NEAR(meanLevel(programStill(f.h)), meanLevel(before), 0.5);
}

} // namespace
} // namespace velmora::test
