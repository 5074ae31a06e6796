#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "EditorWorkspaceTestSupport.h"
#include "controls/VelmoraToolbarSlider.h"
#include "editing/TimelineZoom.h"
#include "workspace/timeline/TimelineHeaderView.h"
#include "workspace/timeline/TimelineStripModel.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::WorkspaceHarness;

EditSession::Clip clipOn(std::string id, std::string type, int lane)
{
    EditSession::Clip clip(std::move(id));
    clip.type = std::move(type);
    clip.track = lane;
    clip.startTime = 0.0;
    clip.duration = 1.0;
    return clip;
}

TEST(TimelineHeader, ThePickerLanesZoomAndLaneHeight)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    h.open(test::writeProject(h.folders.scratch()));
    TimelineHeaderView header(w);
    EXPECT_TRUE(w.timelinePickerEntries().empty());
    EXPECT_TRUE(header.timelinePicker()->isHidden());
    EXPECT_EQ(header.zoomReadout()->text(), "100 px/s");
    EXPECT_EQ(header.laneHeightReadout()->text(), "44px");

    EditSession::Timeline broll;
    broll.id = "t2";
    broll.name = "B-roll";
    broll.pixelsPerSecond = 20;
    broll.clips = {clipOn("b1", "video", 3), clipOn("b2", "image", 1), clipOn("b3", "text", 1),
                   clipOn("b4", "audio", 2)};
    h.session().timelines.push_back(broll);
    h.engine().setTimelineRevision(h.engine().timelineRevision() + 1);
    EXPECT_EQ(w.timelinePickerEntries(),
              (std::vector<EditorWorkspaceController::TimelinePickerEntry>{{h.session().timelines[0].id,
                                                                            "Timeline 1 (2 clips)"},
                                                                           {"t2", "B-roll (2 clips)"}}));
    ASSERT_FALSE(header.timelinePicker()->isHidden());
    EXPECT_EQ(header.timelinePicker()->currentText(), "Timeline 1 (2 clips)");

    w.setProjectDirty(false);
    header.timelinePicker()->setCurrentIndex(1);
    emit header.timelinePicker()->activated(1);
    EXPECT_EQ(h.session().project->activeTimelineId, "t2");
    EXPECT_EQ(w.layoutVideoTracks(), 3);
    EXPECT_EQ(w.layoutAudioTracks(), 2);
    EXPECT_DOUBLE_EQ(w.timelineZoomUI(), TimelineZoom::ppsToUI(20));
    EXPECT_EQ(header.zoomReadout()->text(), "20 px/s");
    EXPECT_TRUE(w.projectDirty());

    // The lane buttons stop at 8 and 6.
    for (int press = 0; press < 7; ++press) {
        QTest::mouseClick(header.addVideoLaneButton(), Qt::LeftButton);
        QTest::mouseClick(header.addAudioLaneButton(), Qt::LeftButton);
    }
    EXPECT_EQ(w.layoutVideoTracks(), 8);
    EXPECT_EQ(w.layoutAudioTracks(), 6);

    header.zoomSlider()->applyUserValue(TimelineZoom::ppsToUI(250.4));
    EXPECT_NEAR(h.engine().activeTimelinePixelsPerSecond(), 250.4, 1e-9);
    EXPECT_EQ(header.zoomReadout()->text(), "250 px/s");

    // Lane heights go in steps of 2 and mark the project dirty.
    w.setProjectDirty(false);
    header.laneHeightSlider()->applyUserValue(45);
    EXPECT_EQ(w.laneRowHeight(), 46);
    EXPECT_EQ(header.laneHeightReadout()->text(), "46px");
    EXPECT_TRUE(w.projectDirty());

    // A session without a project record keeps its timeline.
    h.session().project.reset();
    w.chooseTimeline(h.session().timelines[0].id);
    EXPECT_FALSE(h.session().project.has_value());
}

// A job that stores no zoom (or one that is not a positive number) is read out at the zoom its
// lanes and ruler are drawn at, and the slider stands there.
TEST(TimelineHeader, TheZoomReadOutIsTheZoomTheLanesAreDrawnAt)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    TimelineHeaderView header(w);
    const auto drawnAt = [&] {
        TimelineStripModel lanes;
        lanes.setTimeline(*h.session().findActiveTimeline());
        return lanes.pps();
    };
    const fs::path job = h.folders.scratch() / "Coast.json";
    for (const char* zoom : {"", R"("pixelsPerSecond": -5, )"}) {
        test::writeTextFile(job, std::string(R"({"tool": "velmora-editor-desktop-edit", "version": 2,
            "timelines": [{"id": "t", "name": "Main", )") + zoom + R"("clips": []}]})");
        w.pickWebJobJSON();
        h.panels->choose(job);
        h.queue->runUntilIdle();
        ASSERT_TRUE(w.hasProject()) << w.errorText();
        EXPECT_EQ(drawnAt(), 80.0);
        EXPECT_EQ(header.zoomReadout()->text(), "80 px/s") << zoom;
        EXPECT_DOUBLE_EQ(w.timelineZoomUI(), TimelineZoom::ppsToUI(80));
        // Its snapping takes that zoom too (a negative one would widen the radius to 0.6 s).
        EXPECT_DOUBLE_EQ(h.engine().effectiveSnapThreshold(), 0.35);
    }

    // Below one pixel per second the read-out still names the zoom drawn.
    for (const auto& [position, readout] : {std::pair{0.0, "0.02 px/s"}, std::pair{20.0, "0.16 px/s"}}) {
        header.zoomSlider()->applyUserValue(position);
        EXPECT_DOUBLE_EQ(drawnAt(), TimelineZoom::uiToPps(position));
        EXPECT_EQ(header.zoomReadout()->text().toStdString(), readout);
    }
}

// ---- placing a source range ----

TEST(PlacingASource, WithoutAProjectTheDefaultOneTakesTheClipAndItsAudio)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    const EditSession::Source source("src", "DJI_0001.MP4", "video");
    w.addSourceToTimeline(source, 1, 5, "  ", std::nullopt, std::nullopt);
    ASSERT_TRUE(w.hasProject());
    EXPECT_EQ(h.session().project->name, "Untitled Project");
    EXPECT_EQ(h.session().sources, std::vector<EditSession::Source>{source});
    const std::vector<EditSession::Clip> clips = h.session().activeTimeline()->clips;
    ASSERT_EQ(clips.size(), 2u);
    EXPECT_EQ(test::describeTimeline(h.session()), (std::vector<std::string>{clips[0].id + " 0+4@1",
                                                                             clips[1].id + " 0+4@1"}));
    EXPECT_EQ(clips[0].type, "video");
    EXPECT_EQ(clips[0].inPoint, 1.0);
    EXPECT_FALSE(clips[0].grade);
    EXPECT_EQ(clips[1].type, "audio");
    EXPECT_EQ(clips[1].name, "DJI_0001.MP4 (Audio)");
    EXPECT_EQ(clips[1].groupId, clips[0].groupId);
    EXPECT_EQ(clips[1].sourceId, "src");
    EXPECT_EQ(h.engine().selectedClipId(), clips[0].id);
    EXPECT_TRUE(w.projectDirty());
}

TEST(PlacingASource, LanesAvoidOverlapsAndTheRangeGoesToTheEnd)
{
    WorkspaceHarness h;
    EditorWorkspaceController& w = h.workspace();
    w.startNewProject();
    const EditSession::Source music("src-music", "Music.wav", "audio");
    const EditSession::Source video("src-video", "DJI_0001.MP4", "video");
    const auto clips = [&] { return h.session().activeTimeline()->clips; };

    // An audio source takes a free audio lane and leaves the selection alone.
    w.addSourceToTimeline(music, 0, 4, "None", 0.0, std::nullopt);
    EXPECT_EQ(clips().at(0).track, 1);
    EXPECT_FALSE(h.engine().selectedClipId());

    // Audio lane 1 is taken over the range: the linked audio goes to the first free one.
    w.addSourceToTimeline(video, 0, 2, "Warm.cube", 0.0, std::nullopt);
    EXPECT_EQ(clips().at(1).track, 1);
    EXPECT_EQ(clips().at(1).grade->lutFile, "Warm.cube");
    EXPECT_EQ(clips().at(2).track, 2);
    EXPECT_EQ(h.engine().selectedClipId(), clips().at(1).id);

    // Touching the music's end within 0.0001 s is no overlap: the audio keeps lane 1.
    w.addSourceToTimeline(video, 0, 2, "None", 3.99995, std::nullopt);
    EXPECT_EQ(clips().at(3).track, 1);
    EXPECT_EQ(clips().at(4).track, 1);

    // Without a time the range starts where the timeline's pictures end; a picture has no audio.
    w.addSourceToTimeline(EditSession::Source("src-still", "Still.png", "image"), 0, 3, "None", std::nullopt,
                          std::nullopt);
    ASSERT_EQ(clips().size(), 6u);
    EXPECT_DOUBLE_EQ(*clips().at(5).startTime, 5.99995);
    const std::string still = clips().at(5).id;

    // A range of 0.1 s or less is placed 0.1 s long.
    w.addSourceToTimeline(music, 1, 1.05, "None", 0.0, std::nullopt);
    EXPECT_EQ(clips().back().track, 3);
    EXPECT_DOUBLE_EQ(*clips().back().duration, 0.1);
    EXPECT_EQ(h.engine().selectedClipId(), still);
    EXPECT_EQ(w.layoutAudioTracks(), 3);
}

} // namespace
} // namespace velmora
