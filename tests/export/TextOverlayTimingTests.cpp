#include <gtest/gtest.h>

#include "export/TextOverlay.h"

namespace velmora::Exporter {
namespace {

using Clip = EditorJobV2::Clip;
using Keyframe = EditorJobV2::TransformKeyframe;

Keyframe key(std::optional<double> time, std::optional<double> posX)
{
    Keyframe k;
    k.time = time;
    k.posX = posX;
    return k;
}

Clip keyedClip(std::vector<Keyframe> keys, double duration = 10)
{
    Clip clip;
    clip.duration = duration;
    clip.text = EditorJobV2::TextData{};
    clip.text->transformKeyframes = std::move(keys);
    return clip;
}

TEST(TextOverlayText, PlainTextIsTrimmed)
{
    Clip clip;
    EXPECT_EQ(textOverlayText(clip), "");
    clip.text = EditorJobV2::TextData{};
    EXPECT_EQ(textOverlayText(clip), "");
    clip.text->textContent = " \n Title\nLine two \t\n";
    EXPECT_EQ(textOverlayText(clip), "Title\nLine two");
    clip.text->textContent = "   ";
    EXPECT_EQ(textOverlayText(clip), "");
}

TEST(TextOverlayText, AnEmptyLowerThirdShowsTheTextOfItsMode)
{
    Clip clip;
    clip.text = EditorJobV2::TextData{};
    clip.text->textContent = "   ";
    clip.isLowerThird = true;
    clip.lowerThird = EditorJobV2::LowerThird{};
    clip.lowerThird->ltSubText = "Host";
    EXPECT_EQ(textOverlayText(clip), "Host");

    clip.lowerThird->ltCreditsMode = "roll";
    clip.lowerThird->ltRollLines = std::vector<std::string>{"Director", "", "Editor"};
    EXPECT_EQ(textOverlayText(clip), "Director\n\nEditor");
    clip.lowerThird->ltRollLines = std::vector<std::string>{};
    EXPECT_EQ(textOverlayText(clip), "Host");

    clip.lowerThird->ltCreditsMode = "crawl";
    clip.lowerThird->ltCrawlText = "Breaking news";
    EXPECT_EQ(textOverlayText(clip), "Breaking news");
    clip.lowerThird->ltCrawlText = "";
    EXPECT_EQ(textOverlayText(clip), "Host");
    clip.lowerThird->ltSubText = "";
    EXPECT_EQ(textOverlayText(clip), "");
}

TEST(TextOverlayText, OwnTextWinsAndOnlyLowerThirdsFallBack)
{
    Clip clip;
    clip.text = EditorJobV2::TextData{};
    clip.text->textContent = "Own";
    clip.isLowerThird = true;
    clip.lowerThird = EditorJobV2::LowerThird{};
    clip.lowerThird->ltSubText = "Sub";
    EXPECT_EQ(textOverlayText(clip), "Own");

    clip.text->textContent = std::nullopt;
    clip.isLowerThird = false;
    EXPECT_EQ(textOverlayText(clip), "");
    clip.isLowerThird = true;
    clip.lowerThird = std::nullopt;
    EXPECT_EQ(textOverlayText(clip), "");
}

TEST(TextClipTransform, WithoutKeyframesTheClipsOwnValuesApply)
{
    Clip clip;
    clip.posX = 0.1;
    clip.posY = -0.2;
    clip.scale = 1.5;
    clip.rotation = 30;
    clip.opacity = 0.4;
    EXPECT_EQ(textClipTransform(clip, 3), (TextClipTransform{0.1, -0.2, 1.5, 30, 0.4}));
    clip.text = EditorJobV2::TextData{};
    clip.text->transformKeyframes = std::vector<Keyframe>{};
    EXPECT_EQ(textClipTransform(clip, 3), (TextClipTransform{0.1, -0.2, 1.5, 30, 0.4}));
    EXPECT_EQ(textClipTransform(Clip{}, 0), (TextClipTransform{0, 0, 1, 0, 1}));
}

TEST(TextClipTransform, LinearBetweenKeyframesAndExtendedPastTheLast)
{
    const Clip clip = keyedClip({key(0, 0), key(2, 0.4)}, 4);
    EXPECT_NEAR(textClipTransform(clip, 0.5).posX, 0.1, 1e-12);
    EXPECT_NEAR(textClipTransform(clip, 2).posX, 0.4, 1e-12);
    EXPECT_NEAR(textClipTransform(clip, 3).posX, 0.6, 1e-12);
    // Time is limited to the clip: 9 s on a 4 s clip is 4 s.
    EXPECT_NEAR(textClipTransform(clip, 9).posX, 0.8, 1e-12);
    EXPECT_NEAR(textClipTransform(clip, -1).posX, 0, 1e-12);
}

TEST(TextClipTransform, BeforeTheFirstKeyframeTheLineIsExtendedBackwards)
{
    const Clip clip = keyedClip({key(1, 0), key(2, 0.4)});
    EXPECT_NEAR(textClipTransform(clip, 0.5).posX, -0.2, 1e-12);
}

TEST(TextClipTransform, KeyframesAreSortedStablyByTime)
{
    const Clip clip = keyedClip({key(4, 0.8), key(0, 0), key(2, 0.2), key(2, 0.6)});
    // Segments after sorting: 0->2 (0 to 0.2), 2->2, 2->4 (0.6 to 0.8).
    EXPECT_NEAR(textClipTransform(clip, 1).posX, 0.1, 1e-12);
    EXPECT_NEAR(textClipTransform(clip, 3).posX, 0.7, 1e-12);
    EXPECT_NEAR(textClipTransform(clip, 2).posX, 0.2, 1e-12);
}

TEST(TextClipTransform, MissingValuesComeFromTheClipOrTheSegmentStart)
{
    Clip clip = keyedClip({key(0, std::nullopt), key(2, 0.5)});
    clip.posX = 0.1;
    clip.scale = 2;
    clip.text->transformKeyframes->at(1).scale = 3;
    clip.text->transformKeyframes->at(0).opacity = 0.2;
    const TextClipTransform at1 = textClipTransform(clip, 1);
    EXPECT_NEAR(at1.posX, 0.3, 1e-12);   // from the clip's 0.1 to 0.5
    EXPECT_NEAR(at1.scale, 2.5, 1e-12);  // from the clip's 2 to 3
    EXPECT_NEAR(at1.opacity, 0.2, 1e-12); // b has none: stays at a's
    EXPECT_NEAR(at1.posY, 0, 1e-12);
}

TEST(TextClipTransform, InterpolationNamesDoNotBendTheLine)
{
    Clip clip = keyedClip({key(0, 0), key(2, 1)});
    clip.text->transformKeyframes->at(0).interpolation = "easeInOut";
    clip.text->transformKeyframes->at(1).interpolation = "hold";
    EXPECT_NEAR(textClipTransform(clip, 0.5).posX, 0.25, 1e-12);
}

TEST(TextClipTransform, OneKeyframeOrMissingTimesHoldTheFirstValues)
{
    EXPECT_NEAR(textClipTransform(keyedClip({key(3, 0.7)}), 1).posX, 0.7, 1e-12);
    // Missing times count as 0: both keys at 0, so no span to interpolate over.
    EXPECT_NEAR(textClipTransform(keyedClip({key(std::nullopt, 0.2), key(std::nullopt, 0.9)}), 5).posX,
                0.2, 1e-12);
    // A missing later time matches only at 0 and then equals the earlier time: no span.
    const Clip open = keyedClip({key(-1, 0.2), key(std::nullopt, 0.9)});
    EXPECT_NEAR(textClipTransform(open, 0).posX, 0.2, 1e-12);
    EXPECT_NEAR(textClipTransform(open, 0.5).posX, 0.2, 1e-12);
}

TEST(TextOverlayAlpha, OpacityIsLimitedAndFaded)
{
    Clip clip;
    clip.duration = 4;
    EXPECT_DOUBLE_EQ(textOverlayAlpha(clip, 0.5, 1), 0.5);
    EXPECT_DOUBLE_EQ(textOverlayAlpha(clip, 1.5, 1), 1);
    EXPECT_DOUBLE_EQ(textOverlayAlpha(clip, -0.5, 1), 0);

    clip.fadeIn = 1;
    EXPECT_DOUBLE_EQ(textOverlayAlpha(clip, 0.5, 0.5), 0.25);
    EXPECT_DOUBLE_EQ(textOverlayAlpha(clip, 0.5, -0.2), 0);
    clip.fadeIn = 0;
    EXPECT_DOUBLE_EQ(textOverlayAlpha(clip, 0.5, 0.5), 0.5);

    clip.fadeOut = 2;
    EXPECT_DOUBLE_EQ(textOverlayAlpha(clip, 1, 3), 0.5);
    EXPECT_DOUBLE_EQ(textOverlayAlpha(clip, 1, 4.5), 0);
    EXPECT_DOUBLE_EQ(textOverlayAlpha(clip, 1, 1), 1);
}

TEST(TextOverlayClips, TextClipsWithTheirSwitchOnInLaneOrder)
{
    const auto make = [](const char* type, int track, bool lowerThird) {
        Clip clip;
        clip.type = type;
        clip.track = track;
        clip.isLowerThird = lowerThird;
        return clip;
    };
    const Clip lane3 = make("text", 3, false);
    const Clip lane1 = make("text", 1, true);
    const Clip lane2 = make("text", 2, false);
    const Clip video = make("video", 0, false);
    const Clip capital = make("Text", 0, false);
    Clip noLane = make("text", 0, false);
    noLane.track = std::nullopt;
    const Clip lane2b = make("text", 2, false);
    const std::vector<const Clip*> active{&lane3, &lane1, &lane2, &video, &capital, &noLane, &lane2b};

    EXPECT_EQ(textOverlayClips(active, true, true),
              (std::vector<const Clip*>{&noLane, &lane1, &lane2, &lane2b, &lane3}));
    EXPECT_EQ(textOverlayClips(active, true, false),
              (std::vector<const Clip*>{&noLane, &lane2, &lane2b, &lane3}));
    EXPECT_EQ(textOverlayClips(active, false, true), (std::vector<const Clip*>{&lane1}));
    EXPECT_TRUE(textOverlayClips(active, false, false).empty());
}

} // namespace
} // namespace velmora::Exporter
