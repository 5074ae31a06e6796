#include "export/LowerThirdBar.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/foundation/StringText.h"
#include "platform/text/TextCanvas.h"

namespace velmora::Exporter {

namespace {

constexpr Color kBlack{0, 0, 0, 1};

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The characters (code points) of a UTF-8 text, each as its bytes.
std::vector<std::string_view> characters(std::string_view text)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t j = i + 1;
        while (j < text.size() && (static_cast<unsigned char>(text[j]) & 0xC0) == 0x80) {
            ++j;
        }
        out.push_back(text.substr(i, j - i));
        i = j;
    }
    return out;
}

// A channel from two characters; 255 when they are not two hex digits.
int channel(std::string_view first, std::string_view second)
{
    if (first.size() != 1 || second.size() != 1) {
        return 255;
    }
    const int hi = hexDigit(first[0]);
    const int lo = hexDigit(second[0]);
    return hi < 0 || lo < 0 ? 255 : hi * 16 + lo;
}

bool isCrawl(const EditorJobV2::LowerThird& lt)
{
    return lt.ltCreditsMode && *lt.ltCreditsMode == "crawl";
}

} // namespace

Color parseHexColor(const std::optional<std::string>& hex, const Color& defaultColor)
{
    if (!hex) {
        return defaultColor;
    }
    std::string text = StringText::trimmed(*hex);
    if (!text.empty() && text.front() == '#') {
        text.erase(0, 1);
    }
    const std::vector<std::string_view> chars = characters(text);
    if (chars.size() != 6) {
        return defaultColor;
    }
    return {static_cast<float>(channel(chars[0], chars[1]) / 255.0),
            static_cast<float>(channel(chars[2], chars[3]) / 255.0),
            static_cast<float>(channel(chars[4], chars[5]) / 255.0), 1.0f};
}

OverlayAnchor lowerThirdAnchor(const std::optional<EditorJobV2::LowerThird>& lowerThird,
                               int outputHeight)
{
    if (!lowerThird) {
        return {};
    }
    const double h = outputHeight;
    const double barH = lowerThird->ltBarHeight.value_or(0.1) * h;
    const double yOff = lowerThird->ltBarYOffset.value_or(0) * h;
    const std::string pos = lowerThird->ltBarPos.value_or("bottom-left");
    const double margin = pos == "bottom-full" ? 30 : 50;
    OverlayAnchor anchor;
    anchor.y = (1 - (barH + margin + yOff) / h) + 0.32 * barH / h - 0.5;
    if (pos.find("right") != std::string::npos) {
        anchor.x = 0.3;
    } else if (pos.find("center") != std::string::npos) {
        anchor.x = 0;
    } else {
        anchor.x = -0.3;
    }
    return anchor;
}

Rect lowerThirdBarRect(const EditorJobV2::LowerThird& lowerThird, int outputWidth, int outputHeight)
{
    const double w = outputWidth;
    const double h = outputHeight;
    if (isCrawl(lowerThird)) {
        const double s = h / 1080.0;
        const double height = s * lowerThird.ltCrawlFontSize.value_or(36) * 1.75;
        return {0, s * 20 + lowerThird.ltCrawlYOffset.value_or(0) * h, w, height};
    }
    const double barH = lowerThird.ltBarHeight.value_or(0.1) * h;
    const double y = lowerThird.ltBarYOffset.value_or(0) * h + 24;
    const std::string pos = lowerThird.ltBarPos.value_or("bottom-left");
    if (pos == "bottom-full") {
        return {0, y, w, barH};
    }
    const double x = pos.find("right") != std::string::npos ? 0.52 * w : 0.02 * w;
    return {x, y, 0.46 * w, barH};
}

void drawLowerThirdBar(TextCanvas& canvas, const EditorJobV2::LowerThird& lowerThird,
                       int outputWidth, int outputHeight, double alpha)
{
    const bool crawl = isCrawl(lowerThird);
    const double opacity = crawl ? lowerThird.ltCrawlBarOpacity.value_or(0.88)
                                 : lowerThird.ltBarOpacity.value_or(0.75);
    if (opacity < 1) {
        alpha *= std::max(opacity, 0.0);
    }
    if (!(alpha > 0.001)) {
        return;
    }
    Color color = parseHexColor(crawl ? lowerThird.ltCrawlBarColor : lowerThird.ltBarColor, kBlack);
    color.a = static_cast<float>(std::min(alpha, 1.0));
    canvas.fillRect(lowerThirdBarRect(lowerThird, outputWidth, outputHeight), color);
}

} // namespace velmora::Exporter
