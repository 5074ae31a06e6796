#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "model/DesktopJobTool.h"
#include "model/TimelineTrackKey.h"

using namespace velmora;

TEST(DesktopJobToolIdentifiers, Texts)
{
    EXPECT_STREQ(DesktopJobTool::browserExport, "velmora-editor-desktop-export");
    EXPECT_STREQ(DesktopJobTool::editReturn, "velmora-editor-desktop-edit-return");
    EXPECT_STREQ(DesktopJobTool::editSession, "velmora-editor-desktop-edit");
}

TEST(IsTimelineRenderJob, TrimsButComparesCaseSensitively)
{
    EXPECT_TRUE(DesktopJobTool::isTimelineRenderJob(" velmora-editor-desktop-export\n"));
    EXPECT_TRUE(DesktopJobTool::isTimelineRenderJob("velmora-editor-desktop-edit-return"));
    EXPECT_TRUE(DesktopJobTool::isTimelineRenderJob("velmora-editor-desktop-edit"));
    EXPECT_FALSE(DesktopJobTool::isTimelineRenderJob("VELMORA-EDITOR-DESKTOP-EXPORT"));
    EXPECT_FALSE(DesktopJobTool::isTimelineRenderJob(""));
    EXPECT_FALSE(DesktopJobTool::isTimelineRenderJob(" \t"));
    EXPECT_FALSE(DesktopJobTool::isTimelineRenderJob(std::nullopt));
    EXPECT_FALSE(DesktopJobTool::isTimelineRenderJob("browser-tavlek"));
}

TEST(IsTimelineJobDocument, ToolOrNonEmptyTimelines)
{
    const auto isTimelineJob = [](const char* text) {
        return DesktopJobTool::isTimelineJobDocument(nlohmann::json::parse(text));
    };
    EXPECT_TRUE(isTimelineJob(R"({"timelines": [{}]})"));
    EXPECT_FALSE(isTimelineJob(R"({"timelines": []})"));
    EXPECT_FALSE(isTimelineJob(R"({"timelines": [], "version": 1, "grade": {"lutCube": ""}})"));
    EXPECT_TRUE(isTimelineJob(R"({"tool": 5, "timelines": [1]})"));
    EXPECT_FALSE(isTimelineJob(R"([{"timelines": [1]}])"));
    EXPECT_FALSE(isTimelineJob(R"({"tool": "other"})"));
    EXPECT_FALSE(isTimelineJob(R"({"version": 1, "grade": {"lutCube": ""}})"));
    EXPECT_TRUE(isTimelineJob(R"({"tool": "velmora-editor-desktop-edit"})"));
    EXPECT_TRUE(isTimelineJob(R"({"tool": " velmora-editor-desktop-edit-return\n"})"));
    EXPECT_TRUE(isTimelineJob(R"({"tool": "other", "timelines": [null]})"));
    EXPECT_FALSE(isTimelineJob(R"({"timelines": {"a": 1}})"));
}

TEST(OverlayRenderFlags, ExactTypesAndLowerThirds)
{
    using Clip = EditorJobV2::Clip;
    Clip text;
    text.type = "text";
    EXPECT_EQ(DesktopJobTool::overlayRenderFlags({text}), (DesktopJobTool::OverlayRenderFlags{true, false, false}));
    Clip capital;
    capital.type = "Text";
    EXPECT_EQ(DesktopJobTool::overlayRenderFlags({capital}), (DesktopJobTool::OverlayRenderFlags{}));
    Clip lowerThird;
    lowerThird.type = "text";
    lowerThird.isLowerThird = true;
    Clip image;
    image.type = "image";
    EXPECT_EQ(DesktopJobTool::overlayRenderFlags({lowerThird, image}), (DesktopJobTool::OverlayRenderFlags{false, true, true}));
    Clip explicitNo = text;
    explicitNo.isLowerThird = false;
    Clip untyped;
    EXPECT_EQ(DesktopJobTool::overlayRenderFlags({untyped, explicitNo}), (DesktopJobTool::OverlayRenderFlags{true, false, false}));
    EXPECT_EQ(DesktopJobTool::overlayRenderFlags({}), (DesktopJobTool::OverlayRenderFlags{}));
}

TEST(TimelineTrackKeys, LaneNumbersFloorAtOne)
{
    EXPECT_EQ(TimelineTrackKey::video(1), "video-1");
    EXPECT_EQ(TimelineTrackKey::video(0), "video-1");
    EXPECT_EQ(TimelineTrackKey::video(-3), "video-1");
    EXPECT_EQ(TimelineTrackKey::audio(12), "audio-12");
    EXPECT_EQ(TimelineTrackKey::video(INT64_MIN), "video-1");
}

TEST(TimelineTrackKeys, FromClipByKind)
{
    EditSession::Clip audio("a");
    audio.type = " Audio ";
    audio.track = 2;
    EXPECT_EQ(TimelineTrackKey::from(audio), "audio-2");
    EditSession::Clip voice("v");
    voice.name = "voice.wav";
    EXPECT_EQ(TimelineTrackKey::from(voice), "audio-1");
    EditSession::Clip shot("s");
    shot.track = 3;
    EXPECT_EQ(TimelineTrackKey::from(shot), "video-3");
    EditSession::Clip image("i");
    image.type = "image";
    EXPECT_EQ(TimelineTrackKey::from(image), std::nullopt);
    EditSession::Clip title("t");
    title.type = "text";
    EXPECT_EQ(TimelineTrackKey::from(title), std::nullopt);
    EditSession::Clip other("o");
    other.type = "lowerthird";
    EXPECT_EQ(TimelineTrackKey::from(other), std::nullopt);
}
