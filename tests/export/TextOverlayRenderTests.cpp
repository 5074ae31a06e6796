#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "export/TextOverlay.h"
#include "platform/text/TextFont.h"
#include "platform/text/TextLine.h"
#include "support/TextTestSupport.h"

namespace velmora::Exporter {
namespace {

using Clip = EditorJobV2::Clip;
using test::alphaBounds;
using test::maxAlpha;
using test::rowAlphaSum;

Clip title(const char* text, double duration = 10)
{
    Clip clip;
    clip.type = "text";
    clip.startTime = 0;
    clip.duration = duration;
    clip.text = EditorJobV2::TextData{};
    clip.text->textContent = text;
    return clip;
}

Clip lowerThird(const char* text, const char* mode = nullptr)
{
    Clip clip = title(text);
    clip.isLowerThird = true;
    clip.lowerThird = EditorJobV2::LowerThird{};
    if (mode != nullptr) {
        clip.lowerThird->ltCreditsMode = mode;
    }
    return clip;
}

TextLine arial(const char* text, double size)
{
    return TextLine::make(text, resolveTextFont("Arial", size), 0);
}

// The ink of `line` drawn with its origin at (x, y).
Rect inkAt(const TextLine& line, double x, double y)
{
    const Rect ink = line.inkBounds();
    return {ink.x + x, ink.y + y, ink.width, ink.height};
}

// Pixel bounds of the drawn text (alpha above one half) agree with the ink within a pixel.
void expectInk(const Image& image, const Rect& ink, Color filter = {1, 1, 1, 0})
{
    Rect drawn;
    if (filter.a == 0) {
        drawn = alphaBounds(image, 0.5f);
    } else {
        // Only pixels of the text's colour: bars under the text are a different colour.
        Image text = Image::allocate(image.width(), image.height(), image.originX(), image.originY());
        for (int r = 0; r < image.height(); ++r) {
            const float* src = image.row(r);
            float* dst = text.mutableRow(r);
            for (int i = 0; i < image.width() * 4; i += 4) {
                const bool match = std::fabs(src[i] - filter.r) < 0.1f
                    && std::fabs(src[i + 1] - filter.g) < 0.1f && std::fabs(src[i + 2] - filter.b) < 0.1f;
                dst[i] = dst[i + 1] = dst[i + 2] = 0;
                dst[i + 3] = match ? src[i + 3] : 0;
            }
        }
        drawn = alphaBounds(text, 0.5f);
    }
    ASSERT_FALSE(drawn.isEmpty());
    EXPECT_NEAR(drawn.x, ink.x, 1.0);
    EXPECT_NEAR(drawn.y, ink.y, 1.0);
    EXPECT_NEAR(drawn.maxX(), ink.maxX(), 1.0);
    EXPECT_NEAR(drawn.maxY(), ink.maxY(), 1.0);
}

TEST(TextOverlayPlacement, ATitleIsCentredWithItsOriginHalfALineBelowTheAnchor)
{
    TextOverlayRenderer renderer(1920, 1080);
    const Image image = renderer.textOverlayImage(title("Hello"), 1);
    const TextLine line = arial("Hello", 100);
    expectInk(image, inkAt(line, 960 - line.width() / 2, 540 - line.height() / 2));
    // The overlay covers only the text, in output pixel space.
    EXPECT_LT(image.width(), 400);
    EXPECT_LT(image.height(), 140);
    const Color inside = image.pixel(int(960 - line.width() / 2 + line.inkBounds().x + 3), 500);
    EXPECT_NEAR(inside.r, 1, 1e-3);
    EXPECT_NEAR(inside.a, 1, 1e-3);
}

TEST(TextOverlayPlacement, PositionsAreFractionsOfTheFrameWithYDownwards)
{
    Clip clip = title("Hello");
    clip.posX = 0.25;
    clip.posY = 0.1;
    TextOverlayRenderer renderer(1920, 1080);
    const TextLine line = arial("Hello", 100);
    expectInk(renderer.textOverlayImage(clip, 1),
              inkAt(line, 960 + 480 - line.width() / 2, 540 - 108 - line.height() / 2));
}

TEST(TextOverlayPlacement, LinesFormABlockCentredOnTheAnchorFirstLineOnTop)
{
    TextOverlayRenderer renderer(1920, 1080);
    const double pitch = 130; // 1.3 x 100
    const TextLine first = arial("Top", 100);
    const TextLine second = arial("Bottom", 100);
    const Image block = renderer.textOverlayImage(title("Top\nBottom"), 1);
    const Rect topInk = inkAt(first, 960 - first.width() / 2, 540 + pitch / 2 - first.height() / 2);
    const Rect bottomInk = inkAt(second, 960 - second.width() / 2, 540 - pitch / 2 - second.height() / 2);
    const Rect both{std::min(topInk.x, bottomInk.x), bottomInk.y,
                    std::max(topInk.maxX(), bottomInk.maxX()) - std::min(topInk.x, bottomInk.x),
                    topInk.maxY() - bottomInk.y};
    expectInk(block, both);

    // Empty lines keep their place in the block.
    const Rect spreadTop = inkAt(first, 960 - first.width() / 2, 540 + pitch - first.height() / 2);
    const Rect spreadBottom = inkAt(second, 960 - second.width() / 2, 540 - pitch - second.height() / 2);
    expectInk(renderer.textOverlayImage(title("Top\n\nBottom"), 1),
              {both.x, spreadBottom.y, both.width, spreadTop.maxY() - spreadBottom.y});
}

TEST(TextOverlayPlacement, LineHeightAndLetterSpacingScaleWithTheFrame)
{
    Clip clip = title("A\nA");
    clip.text->lineHeight = 2;
    clip.text->letterSpacing = 10;
    TextOverlayRenderer renderer(1280, 720); // s = 2/3
    const TextLine line = TextLine::make("A", resolveTextFont("Arial", 200.0 / 3), 20.0 / 3);
    const double pitch = 2 * 200.0 / 3;
    const Rect top = inkAt(line, 640 - line.width() / 2, 360 + pitch / 2 - line.height() / 2);
    const Rect bottom = inkAt(line, 640 - line.width() / 2, 360 - pitch / 2 - line.height() / 2);
    expectInk(renderer.textOverlayImage(clip, 0), {top.x, bottom.y, top.width, top.maxY() - bottom.y});
}

TEST(TextOverlaySize, SizesAreForA1080LineFrame)
{
    // Cap height of the Arial metric twin: 1409/2048 of the size.
    const double capHeight = 1409.0 / 2048.0;
    struct Case {
        int w;
        int h;
        double pixels;
    };
    for (const Case c : {Case{3840, 2160, 200}, Case{1920, 1080, 100}, Case{1280, 720, 66.6667}}) {
        TextOverlayRenderer renderer(c.w, c.h);
        const Rect drawn = alphaBounds(renderer.textOverlayImage(title("H"), 0), 0.5f);
        EXPECT_NEAR(drawn.height, capHeight * c.pixels, 1.0) << c.h;
    }
}

TEST(TextOverlaySize, AClipWithoutAFontSizeOnALowerThirdUses44)
{
    Clip clip = lowerThird("H");
    clip.lowerThird->ltBarOpacity = 0; // no bar
    TextOverlayRenderer renderer(1920, 1080);
    const Rect drawn = alphaBounds(renderer.textOverlayImage(clip, 0), 0.5f);
    EXPECT_NEAR(drawn.height, 44 * 1409.0 / 2048.0, 1.0);
}

TEST(TextOverlayFont, AFamilyThatIsNotInstalledFallsBackToTheHeavySystemFont)
{
    Clip clip = title("Wide words");
    clip.text->fontFamily = "NoSuchFontFamilyXyz";
    TextOverlayRenderer renderer(1920, 1080);
    const Rect drawn = alphaBounds(renderer.textOverlayImage(clip, 0), 0.5f);
    const TextFont fallback = resolveTextFont("NoSuchFontFamilyXyz", 100);
    ASSERT_TRUE(fallback.isFallback);
    const TextLine line = TextLine::make("Wide words", fallback, 0);
    EXPECT_NEAR(drawn.width, line.inkBounds().width, 1.5);
    EXPECT_GT(std::fabs(drawn.width - arial("Wide words", 100).inkBounds().width), 5);
}

TEST(TextOverlayKeyframes, PositionFollowsTheKeyframesAtTheTimelineTime)
{
    Clip clip = title("Hello", 4);
    clip.startTime = 10;
    EditorJobV2::TransformKeyframe a;
    a.time = 0;
    a.posX = 0;
    EditorJobV2::TransformKeyframe b;
    b.time = 2;
    b.posX = 0.4;
    clip.text->transformKeyframes = std::vector{a, b};
    TextOverlayRenderer renderer(1920, 1080);
    const TextLine line = arial("Hello", 100);
    // Local 0.5 s: posX 0.1; local 3 s: 0.6 (the line goes on past the last keyframe).
    expectInk(renderer.textOverlayImage(clip, 10.5),
              inkAt(line, 960 + 192 - line.width() / 2, 540 - line.height() / 2));
    const Image past = renderer.textOverlayImage(clip, 13);
    EXPECT_FALSE(past.hasPixels()); // posX 0.6 puts the text outside the frame
    clip.text->transformKeyframes->at(1).posX = 0.2;
    expectInk(renderer.textOverlayImage(clip, 13),
              inkAt(line, 960 + 576 - line.width() / 2, 540 - line.height() / 2));
}

TEST(TextOverlayTransform, ScaleGrowsTheTextAboutItsAnchor)
{
    Clip clip = title("Hello");
    TextOverlayRenderer renderer(1920, 1080);
    const Rect plain = alphaBounds(renderer.textOverlayImage(clip, 0), 0.5f);
    clip.scale = 2;
    const Rect scaled = alphaBounds(renderer.textOverlayImage(clip, 0), 0.5f);
    EXPECT_NEAR(scaled.width, 2 * plain.width, 2);
    EXPECT_NEAR(scaled.height, 2 * plain.height, 2);
    EXPECT_NEAR(scaled.x - 960, 2 * (plain.x - 960), 2);
}

TEST(TextOverlayTransform, RotationIsClockwiseOnScreen)
{
    // A "T" turned a quarter clockwise has its bar upright on the right and its stem pointing
    // left.
    Clip clip = title("T", 10);
    clip.rotation = 90;
    TextOverlayRenderer renderer(1920, 1080);
    const Image image = renderer.textOverlayImage(clip, 0);
    const Rect drawn = alphaBounds(image, 0.5f);
    ASSERT_GT(drawn.height, drawn.width * 0.8);
    const double right = test::columnAlphaSum(image, int(drawn.maxX()) - 3);
    const double left = test::columnAlphaSum(image, int(drawn.x) + 3);
    EXPECT_GT(right, 3 * left);
}

TEST(TextOverlayAlphaPixels, OpacityAndFadesSetTheDrawnAlpha)
{
    Clip clip = title("Hello");
    clip.opacity = 0.5;
    clip.fadeIn = 1;
    TextOverlayRenderer renderer(1920, 1080);
    EXPECT_NEAR(maxAlpha(renderer.textOverlayImage(clip, 0.5)), 0.25f, 0.003f);
    clip.fadeIn = 0;
    EXPECT_NEAR(maxAlpha(renderer.textOverlayImage(clip, 0.5)), 0.5f, 0.003f);
}

TEST(TextOverlayAlphaPixels, NearlyTransparentTextDrawsNothing)
{
    Clip clip = title("Hello", 5);
    clip.fadeIn = 1;
    clip.fadeOut = 1;
    TextOverlayRenderer renderer(1920, 1080);
    EXPECT_FALSE(renderer.textOverlayImage(clip, 0).hasPixels());
    EXPECT_FALSE(renderer.textOverlayImage(clip, 0.0009).hasPixels());
    EXPECT_TRUE(renderer.textOverlayImage(clip, 0.002).hasPixels());
    EXPECT_FALSE(renderer.textOverlayImage(clip, 5).hasPixels());
    clip.opacity = 0.0005;
    EXPECT_FALSE(renderer.textOverlayImage(clip, 2).hasPixels());
}

TEST(TextOverlayOutline, StrokeWidthScalesWithTheFrameWithAMinimum)
{
    struct Case {
        int h;
        double outlineWidth;
        double stroke; // pixels added across a stem
    };
    for (const Case c : {Case{1080, 0.05, 0}, Case{1080, 1, 1.5}, Case{1080, 4, 4}, Case{2160, 1, 3},
                         Case{2160, 4, 8}}) {
        const int w = c.h * 16 / 9;
        TextOverlayRenderer renderer(w, c.h);
        Clip plain = title("I");
        Clip outlined = plain;
        outlined.text->outlineWidth = c.outlineWidth;
        const Image without = renderer.textOverlayImage(plain, 0);
        const Image with = renderer.textOverlayImage(outlined, 0);
        const int row = c.h / 2; // through the stem
        EXPECT_NEAR(rowAlphaSum(with, row) - rowAlphaSum(without, row), c.stroke, 0.05)
            << c.h << " " << c.outlineWidth;
    }
}

TEST(TextOverlayOutline, OutlineAndFillColoursComeFromTheClip)
{
    Clip clip = title("I");
    clip.text->color = "#FF0000";
    clip.text->outlineColor = "#0000FF";
    clip.text->outlineWidth = 6;
    TextOverlayRenderer renderer(1920, 1080);
    const Image image = renderer.textOverlayImage(clip, 0);
    const Rect drawn = alphaBounds(image, 0.99f);
    const Color edge = image.pixel(int(drawn.x) + 1, 540);
    const Color middle = image.pixel(int(drawn.x + drawn.width / 2), 540);
    EXPECT_NEAR(edge.b, 1, 0.01);
    EXPECT_NEAR(edge.r, 0, 0.01);
    EXPECT_NEAR(middle.r, 1, 0.01);
    EXPECT_NEAR(middle.b, 0, 0.01);
}

TEST(TextOverlayLowerThird, TheBarLiesInOutputPixelsUnderItsText)
{
    TextOverlayRenderer renderer(1920, 1080);
    const Image image = renderer.textOverlayImage(lowerThird("Name"), 1);
    ASSERT_TRUE(image.hasPixels());
    // Default bar (38.4, 24, 883.2, 108) at 0.75.
    const Color corner = image.pixel(39, 24);
    EXPECT_NEAR(corner.a, 0.75f, 1e-3f);
    EXPECT_NEAR(corner.r, 0, 1e-3f);
    EXPECT_NEAR(image.pixel(920, 131).a, 0.75f, 1e-3f);
    EXPECT_EQ(image.pixel(37, 60).a, 0);
    EXPECT_EQ(image.pixel(100, 132).a, 0);
    EXPECT_EQ(image.pixel(100, 23).a, 0);
    // The text sits at the lower third's anchor (-0.3, 0.3857...), inside the bar.
    const TextLine line = arial("Name", 44);
    const double anchorY = 540 - (1 - 158.0 / 1080 + 0.032 - 0.5) * 1080;
    expectInk(image, inkAt(line, 384 - line.width() / 2, anchorY - line.height() / 2), {1, 1, 1, 0.5f});
}

TEST(TextOverlayLowerThird, TheBarFadesWithTheClipOnTopOfItsOwnAlpha)
{
    Clip clip = lowerThird("Name");
    clip.opacity = 0.5;
    TextOverlayRenderer renderer(1920, 1080);
    EXPECT_NEAR(renderer.textOverlayImage(clip, 1).pixel(60, 30).a, 0.5f * 0.5f * 0.75f, 1e-3f);
}

TEST(TextOverlayLowerThird, ASubTextIsShownWhenTheClipHasNoText)
{
    Clip clip = lowerThird("   ");
    clip.lowerThird->ltSubText = "Host";
    TextOverlayRenderer renderer(1920, 1080);
    EXPECT_TRUE(renderer.textOverlayImage(clip, 1).hasPixels());
    EXPECT_FALSE(renderer.textOverlayImage(title("   "), 1).hasPixels());
}

TEST(TextOverlayCrawl, TheTextCrossesTheBarFromRightToLeft)
{
    Clip clip = lowerThird("News");
    clip.lowerThird->ltCreditsMode = "crawl";
    TextOverlayRenderer renderer(1920, 1080);
    const TextLine line = arial("News", 44);
    const double w = line.width();
    // Bar (0, 20, 1920, 63); the line's box is centred on its middle.
    const double baseline = 20 + 31.5 - (line.ascent() - line.descent()) / 2;

    const Image half = renderer.textOverlayImage(clip, 5);
    expectInk(half, inkAt(line, 1920 - 0.5 * (w + 1920), baseline), {1, 1, 1, 0.5f});

    // Progress 0: the text's left edge at the bar's right end, so only the bar shows.
    const Image start = renderer.textOverlayImage(clip, 0);
    EXPECT_EQ(alphaBounds(start), (Rect{0, 20, 1920, 63}));
    EXPECT_NEAR(maxAlpha(start), 0.75f, 1e-3f);
    // Progress 1: its right edge at the bar's left end.
    EXPECT_NEAR(maxAlpha(renderer.textOverlayImage(clip, 10)), 0.75f, 1e-3f);
    // Just after the start the first letter enters at the right.
    const Image entering = renderer.textOverlayImage(clip, 0.3);
    EXPECT_NEAR(maxAlpha(entering), 1.0f, 1e-3f);
}

TEST(TextOverlayCrawl, BarColourAndOpacity)
{
    Clip clip = lowerThird("News", "crawl");
    clip.lowerThird->ltBarColor = "#FF0000";
    clip.lowerThird->ltBarOpacity = 0.5;
    TextOverlayRenderer renderer(1920, 1080);
    Color bar = renderer.textOverlayImage(clip, 0).pixel(100, 40);
    EXPECT_NEAR(bar.r, 1, 1e-3);
    EXPECT_NEAR(bar.a, 0.5, 1e-3);

    clip.lowerThird->ltCrawlBarColor = "#00FF00";
    clip.lowerThird->ltCrawlBarOpacity = 2;
    clip.opacity = 0.5;
    bar = renderer.textOverlayImage(clip, 0).pixel(100, 40);
    EXPECT_NEAR(bar.g, 1, 1e-3);
    EXPECT_NEAR(bar.a, 0.25, 1e-3); // alpha x opacity 1, with the clip's alpha on top
}

TEST(TextOverlayRoll, TheBlockTravelsUpThroughTheFrame)
{
    Clip clip = lowerThird("", "roll");
    clip.lowerThird->ltRollLines = std::vector<std::string>{"A", "B"};
    clip.lowerThird->ltBarOpacity = 0; // no bar
    TextOverlayRenderer renderer(1920, 1080);
    const double pitch = 1.3 * 44;
    const double anchorX = 384;
    const double anchorY = 540 - (1 - 158.0 / 1080 + 0.032 - 0.5) * 1080;
    const TextLine a = arial("A", 44);
    const TextLine b = arial("B", 44);
    const auto blockInk = [&](double progress) {
        const double bottom = anchorY - 540 - 2 * pitch + (1080 + 4 * pitch) * progress;
        const Rect first = inkAt(a, anchorX - a.width() / 2,
                                 bottom + pitch + pitch / 2 - (a.ascent() - a.descent()) / 2);
        const Rect second = inkAt(b, anchorX - b.width() / 2,
                                  bottom + pitch / 2 - (b.ascent() - b.descent()) / 2);
        const double x0 = std::min(first.x, second.x);
        return Rect{x0, second.y, std::max(first.maxX(), second.maxX()) - x0, first.maxY() - second.y};
    };
    expectInk(renderer.textOverlayImage(clip, 5), blockInk(0.5));
    expectInk(renderer.textOverlayImage(clip, 4), blockInk(0.4));
    EXPECT_FALSE(renderer.textOverlayImage(clip, 0).hasPixels()); // below the frame
}

TEST(TextOverlayRoll, ARollDrawsTheLowerThirdBar)
{
    Clip clip = lowerThird("", "roll");
    clip.lowerThird->ltRollLines = std::vector<std::string>{"A"};
    TextOverlayRenderer renderer(1920, 1080);
    EXPECT_NEAR(renderer.textOverlayImage(clip, 0).pixel(40, 30).a, 0.75f, 1e-3f);
}

TEST(TextOverlayEmpty, ClipsThatDrawNothing)
{
    TextOverlayRenderer renderer(1920, 1080);
    Clip noText;
    noText.duration = 5;
    EXPECT_FALSE(renderer.textOverlayImage(noText, 1).hasPixels());
    Clip noDuration = title("Hello");
    noDuration.duration = std::nullopt;
    EXPECT_FALSE(renderer.textOverlayImage(noDuration, 1).hasPixels());
    EXPECT_FALSE(renderer.textOverlayImage(title("Hello", 0), 0).hasPixels());
    EXPECT_FALSE(renderer.textOverlayImage(title("Hello", -1), 0).hasPixels());
    Clip tiny = title("Hello");
    tiny.text->fontSize = 0;
    EXPECT_FALSE(renderer.textOverlayImage(tiny, 1).hasPixels());
    TextOverlayRenderer zero(0, 0);
    EXPECT_FALSE(zero.textOverlayImage(title("Hello"), 1).hasPixels());
}

TEST(TextOverlayEmpty, AbsurdSizesNeitherCrashNorHang)
{
    TextOverlayRenderer renderer(640, 360);
    Clip huge = title("Hello");
    huge.text->fontSize = 1e7;
    // Whatever is drawn stays inside the 640 x 360 output frame.
    const auto expectInsideTheFrame = [](const Image& image) {
        if (!image.hasPixels()) {
            return;
        }
        const Rect e = image.extent();
        EXPECT_GE(e.x, 0);
        EXPECT_GE(e.y, 0);
        EXPECT_LE(e.maxX(), 640);
        EXPECT_LE(e.maxY(), 360);
    };
    expectInsideTheFrame(renderer.textOverlayImage(huge, 1));
    Clip scaled = title("Hello");
    scaled.scale = 1e9;
    expectInsideTheFrame(renderer.textOverlayImage(scaled, 1));
    Clip far = title("Hello");
    far.posX = 1e300;
    EXPECT_FALSE(renderer.textOverlayImage(far, 1).hasPixels());
    Clip nan = title("Hello");
    nan.rotation = std::nan("");
    EXPECT_FALSE(renderer.textOverlayImage(nan, 1).hasPixels());
}

TEST(TextOverlayThreads, RendersOnAWorkerThreadLikeOnTheMainThread)
{
    Clip clip = title("Worker");
    clip.text->outlineWidth = 2;
    TextOverlayRenderer mainRenderer(1280, 720);
    const Rect expected = alphaBounds(mainRenderer.textOverlayImage(clip, 1), 0.5f);
    Rect drawn;
    std::thread worker([&] {
        TextOverlayRenderer renderer(1280, 720);
        drawn = alphaBounds(renderer.textOverlayImage(clip, 1), 0.5f);
    });
    worker.join();
    EXPECT_EQ(drawn, expected);
    EXPECT_FALSE(drawn.isEmpty());
}

TEST(TextOverlayCache, AStillTitleIsPaintedOnceAndAMovingOneEveryFrame)
{
    TextOverlayRenderer renderer(1920, 1080);
    Clip still = title("Still");
    still.id = "still";
    const Image first = renderer.textOverlayImage(still, 1);
    EXPECT_TRUE(renderer.textOverlayImage(still, 2).isIdenticalTo(first));

    Clip crawl = lowerThird("Moving", "crawl");
    crawl.id = "crawl";
    const Image a = renderer.textOverlayImage(crawl, 2);
    const Image b = renderer.textOverlayImage(crawl, 3);
    EXPECT_FALSE(a.isIdenticalTo(b));
    // The still title's cached drawing survives the other clip's frames.
    EXPECT_TRUE(renderer.textOverlayImage(still, 3).isIdenticalTo(first));
}

TEST(TextOverlayCache, ManyClipsInTurnStillDrawCorrectly)
{
    TextOverlayRenderer renderer(640, 360);
    std::vector<Clip> clips;
    for (int i = 0; i < 20; ++i) {
        Clip clip = title(i % 2 ? "Odd" : "Even");
        clip.id = "c" + std::to_string(i);
        clip.posX = -0.4 + 0.04 * i;
        clips.push_back(clip);
    }
    for (int round = 0; round < 2; ++round) {
        for (const Clip& clip : clips) {
            const Image image = renderer.textOverlayImage(clip, 1);
            const TextLine line = arial(clip.text->textContent->c_str(), 100.0 / 3);
            expectInk(image, inkAt(line, 320 + *clip.posX * 640 - line.width() / 2,
                                   180 - line.height() / 2));
        }
    }
}

TEST(DrawTextOverlay, BlendsWithTheClipsModeOverTheFrame)
{
    TextOverlayRenderer renderer(320, 180);
    Clip clip = title("I");
    clip.text->color = "#FF0000";
    clip.text->fontSize = 400;
    const Image overlay = renderer.textOverlayImage(clip, 0);
    const Rect solid = alphaBounds(overlay, 0.999f);
    const int x = int(solid.x + solid.width / 2);
    const int y = int(solid.y + solid.height / 2);

    const auto frameAfter = [&](const char* mode) {
        Image frame = Image::filled(320, 180, {0.4f, 0.4f, 0.4f, 1});
        Clip c = clip;
        if (mode != nullptr) {
            c.blendMode = mode;
        }
        EXPECT_TRUE(renderer.drawTextOverlay(frame, c, 0));
        return frame.pixel(x, y);
    };
    EXPECT_NEAR(frameAfter(nullptr).r, 1, 1e-3);
    EXPECT_NEAR(frameAfter("MULTIPLY").r, 0.4, 1e-3);
    EXPECT_NEAR(frameAfter("MULTIPLY").g, 0, 1e-3);
    EXPECT_NEAR(frameAfter("screen").g, 0.4, 1e-3);
    EXPECT_NEAR(frameAfter("overlay").r, 0.8, 1e-3);
    EXPECT_NEAR(frameAfter("difference").r, 0.6, 1e-3);
    EXPECT_NEAR(frameAfter("lighten").g, 0.4, 1e-3);
    EXPECT_NEAR(frameAfter("darken").r, 0.4, 1e-3);
    EXPECT_NEAR(frameAfter("dissolve").g, 0, 1e-3);

    Image frame = Image::filled(320, 180, {0.4f, 0.4f, 0.4f, 1});
    EXPECT_FALSE(renderer.drawTextOverlay(frame, title("   "), 0));
    EXPECT_NEAR(frame.pixel(x, y).r, 0.4, 1e-6);
}

} // namespace
} // namespace velmora::Exporter
