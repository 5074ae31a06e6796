#include "export/TextOverlay.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string_view>

#include "export/LowerThirdBar.h"
#include "platform/foundation/FiniteNumbers.h"
#include "platform/foundation/StringText.h"

namespace velmora::Exporter {

namespace {

constexpr Color kWhite{1, 1, 1, 1};
constexpr Color kBlack{0, 0, 0, 1};
// Caches of one export. Lines are small; a canvas keeps its last rendering (up to a frame of
// float pixels), so only a few are kept: as many as text clips usually share one frame.
constexpr std::size_t kMaxLayouts = 64;
constexpr std::size_t kMaxCanvases = 8;

bool isMode(const EditorJobV2::LowerThird& lt, std::string_view mode)
{
    return lt.ltCreditsMode && *lt.ltCreditsMode == mode;
}

// Splits at line breaks ("\n", "\r\n" or "\r"), keeping empty lines.
std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            lines.push_back(std::move(current));
            current.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            current.push_back(c);
        }
    }
    lines.push_back(std::move(current));
    return lines;
}

void appendNumber(std::string& out, double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace

std::string textOverlayText(const EditorJobV2::Clip& clip)
{
    if (!clip.text) {
        return {};
    }
    std::string text = StringText::trimmed(clip.text->textContent.value_or(""));
    if (!text.empty() || !clip.isLowerThird.value_or(false) || !clip.lowerThird) {
        return text;
    }
    const EditorJobV2::LowerThird& lt = *clip.lowerThird;
    if (isMode(lt, "roll") && lt.ltRollLines && !lt.ltRollLines->empty()) {
        for (std::size_t i = 0; i < lt.ltRollLines->size(); ++i) {
            if (i > 0) {
                text.push_back('\n');
            }
            text += (*lt.ltRollLines)[i];
        }
        return text;
    }
    if (isMode(lt, "crawl") && lt.ltCrawlText && !lt.ltCrawlText->empty()) {
        return *lt.ltCrawlText;
    }
    if (lt.ltSubText && !lt.ltSubText->empty()) {
        return *lt.ltSubText;
    }
    return {};
}

TextClipTransform textClipTransform(const EditorJobV2::Clip& clip, double localTime)
{
    const TextClipTransform own{clip.posX.value_or(0), clip.posY.value_or(0), clip.scale.value_or(1),
                                clip.rotation.value_or(0), clip.opacity.value_or(1)};
    if (!clip.text || !clip.text->transformKeyframes || clip.text->transformKeyframes->empty()) {
        return own;
    }
    using Keyframe = EditorJobV2::TransformKeyframe;
    std::vector<const Keyframe*> keys;
    for (const Keyframe& k : *clip.text->transformKeyframes) {
        keys.push_back(&k);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Keyframe* a, const Keyframe* b) {
        return a->time.value_or(0) < b->time.value_or(0);
    });

    const double duration = std::max(0.0, clip.duration.value_or(0));
    const double k = std::min(std::max(localTime, 0.0), duration);
    const Keyframe* a = keys.front();
    const Keyframe* b = keys.back();
    for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
        if (keys[i]->time.value_or(0) <= k && k <= keys[i + 1]->time.value_or(0)) {
            a = keys[i];
            b = keys[i + 1];
            break;
        }
    }
    const double ta = a->time.value_or(0);
    const double tb = b->time.value_or(ta);
    const double f = ta < tb ? (k - ta) / (tb - ta) : 0.0;
    const auto lerp = [f](const std::optional<double>& va, const std::optional<double>& vb,
                          double own) {
        const double from = va.value_or(own);
        return from + (vb.value_or(from) - from) * f;
    };
    return {lerp(a->posX, b->posX, own.posX), lerp(a->posY, b->posY, own.posY),
            lerp(a->scale, b->scale, own.scale), lerp(a->rotation, b->rotation, own.rotation),
            lerp(a->opacity, b->opacity, own.opacity)};
}

double textOverlayAlpha(const EditorJobV2::Clip& clip, double opacity, double localTime)
{
    double alpha = std::min(opacity, 1.0);
    if (!(alpha >= 0)) {
        alpha = 0;
    }
    if (clip.fadeIn && *clip.fadeIn > 0) {
        alpha *= std::clamp(localTime / *clip.fadeIn, 0.0, 1.0);
    }
    if (clip.fadeOut && *clip.fadeOut > 0) {
        const double remaining = clip.duration.value_or(0) - localTime;
        alpha *= std::clamp(remaining / *clip.fadeOut, 0.0, 1.0);
    }
    return std::isfinite(alpha) ? alpha : 0.0;
}

std::vector<const EditorJobV2::Clip*> textOverlayClips(
    const std::vector<const EditorJobV2::Clip*>& activeClips, bool includeText,
    bool includeLowerThirds)
{
    std::vector<const EditorJobV2::Clip*> out;
    for (const EditorJobV2::Clip* clip : activeClips) {
        if (clip == nullptr || !clip->type || *clip->type != "text") {
            continue;
        }
        if (clip->isLowerThird.value_or(false) ? includeLowerThirds : includeText) {
            out.push_back(clip);
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const EditorJobV2::Clip* a, const EditorJobV2::Clip* b) {
        return a->track.value_or(0) < b->track.value_or(0);
    });
    return out;
}

TextOverlayRenderer::TextOverlayRenderer(int outputWidth, int outputHeight)
    : width_(std::max(0, outputWidth)), height_(std::max(0, outputHeight))
{
}

TextOverlayRenderer::~TextOverlayRenderer() = default;

template <class Map>
void TextOverlayRenderer::evictOldest(Map& map, std::size_t keep)
{
    while (map.size() > keep) {
        auto oldest = std::min_element(map.begin(), map.end(), [](const auto& a, const auto& b) {
            return a.second.lastUse < b.second.lastUse;
        });
        map.erase(oldest);
    }
}

const TextOverlayRenderer::Layout& TextOverlayRenderer::layout(const std::string& text,
                                                               const std::string& fontName,
                                                               double pixelSize,
                                                               double letterSpacing,
                                                               double strokeWidth)
{
    std::string key = fontName;
    key.push_back('\0');
    appendNumber(key, pixelSize);
    key.push_back('\0');
    appendNumber(key, letterSpacing);
    key.push_back('\0');
    appendNumber(key, strokeWidth);
    key.push_back('\0');
    key += text;

    auto found = layouts_.find(key);
    if (found == layouts_.end()) {
        evictOldest(layouts_, kMaxLayouts - 1);
        Layout fresh;
        fresh.font = resolveTextFont(fontName, pixelSize);
        for (const std::string& line : splitLines(text)) {
            TextLine shaped = TextLine::make(line, fresh.font, letterSpacing);
            fresh.lines.push_back(strokeWidth > 0 ? shaped.withStrokeOutline(strokeWidth) : shaped);
        }
        found = layouts_.emplace(std::move(key), std::move(fresh)).first;
    }
    found->second.lastUse = ++useCounter_;
    return found->second;
}

TextCanvas& TextOverlayRenderer::canvasFor(const EditorJobV2::Clip& clip, const std::string& text)
{
    std::string key;
    if (clip.id) {
        key = "id:" + *clip.id;
    } else {
        key = "at:";
        appendNumber(key, clip.startTime.value_or(0));
        key.push_back('|');
        appendNumber(key, clip.track.value_or(0));
        key.push_back('|');
        key += text;
    }
    auto found = canvases_.find(key);
    if (found == canvases_.end()) {
        evictOldest(canvases_, kMaxCanvases - 1);
        ClipCanvas fresh;
        fresh.canvas = std::make_unique<TextCanvas>(width_, height_);
        found = canvases_.emplace(std::move(key), std::move(fresh)).first;
    }
    found->second.lastUse = ++useCounter_;
    return *found->second.canvas;
}

Image TextOverlayRenderer::textOverlayImage(const EditorJobV2::Clip& clip, double t)
{
    if (width_ <= 0 || height_ <= 0 || !std::isfinite(t)) {
        return Image();
    }
    const std::string text = textOverlayText(clip);
    if (text.empty() || !clip.duration || !(*clip.duration > 0)) {
        return Image();
    }
    const double duration = *clip.duration;
    const double u = t - clip.startTime.value_or(0);
    const TextClipTransform transform = textClipTransform(clip, u);
    const double alpha = textOverlayAlpha(clip, transform.opacity, u);
    if (!(alpha > 0.001)) {
        return Image();
    }

    const double W = width_;
    const double H = height_;
    const double s = H / 1080.0;
    const EditorJobV2::TextData& data = *clip.text;
    const bool lowerThird = clip.isLowerThird.value_or(false);
    const EditorJobV2::LowerThird* lt = lowerThird && clip.lowerThird ? &*clip.lowerThird : nullptr;
    const bool crawl = lt != nullptr && isMode(*lt, "crawl");
    const bool roll = lt != nullptr && isMode(*lt, "roll");

    OverlayAnchor anchor{transform.posX, transform.posY};
    if (crawl) {
        anchor = {};
    } else if (lowerThird) {
        anchor = lowerThirdAnchor(clip.lowerThird, height_);
    }

    const double fontPixels = s * data.fontSize.value_or(lowerThird ? 44 : 100);
    const double pitch = data.lineHeight.value_or(1.3) * fontPixels;
    const double kerning = s * data.letterSpacing.value_or(0);
    const double outline = s * data.outlineWidth.value_or(0);
    const Color fill = parseHexColor(data.color, kWhite);
    std::optional<TextStroke> stroke;
    if (outline > 0.1) {
        stroke = TextStroke{parseHexColor(data.outlineColor, kBlack), std::max(outline, 1.5 * s)};
    }
    const Layout& shaped = layout(text, data.fontFamily.value_or("Arial"), fontPixels, kerning,
                                  stroke ? stroke->width : 0.0);

    TextCanvas& canvas = canvasFor(clip, text);
    canvas.reset();
    const double tx = W / 2 + anchor.x * W;
    const double ty = H / 2 - anchor.y * H;
    canvas.saveState();
    canvas.translateBy(tx, ty);
    canvas.rotateBy(-transform.rotation * std::numbers::pi / 180.0);
    canvas.scaleBy(transform.scale, transform.scale);
    canvas.setAlpha(alpha);

    // Bars are placed in output pixels: the translation to the text's anchor is undone for them.
    Rect crawlBar;
    if (crawl) {
        crawlBar = lowerThirdBarRect(*lt, width_, height_);
        double barOpacity = 0.75;
        if (lt->ltCrawlBarOpacity) {
            barOpacity = std::clamp(finiteOr(*lt->ltCrawlBarOpacity, 0), 0.0, 1.0);
        } else if (lt->ltBarOpacity) {
            barOpacity = std::clamp(finiteOr(*lt->ltBarOpacity, 0), 0.0, 1.0);
        }
        Color barColor = parseHexColor(lt->ltCrawlBarColor ? lt->ltCrawlBarColor : lt->ltBarColor, kBlack);
        barColor.a = static_cast<float>(alpha * barOpacity);
        canvas.fillRect({crawlBar.x - tx, crawlBar.y - ty, crawlBar.width, crawlBar.height}, barColor);
    } else if (lt != nullptr) {
        canvas.saveState();
        canvas.translateBy(-tx, -ty);
        drawLowerThirdBar(canvas, *lt, width_, height_, alpha);
        canvas.restoreState();
    }

    const double progress = std::clamp(u / std::max(duration, 0.001), 0.0, 1.0);
    const double n = static_cast<double>(shaped.lines.size());
    const double rollBottom = -H / 2 - n * pitch + (H + 2 * n * pitch) * progress;
    for (std::size_t i = 0; i < shaped.lines.size(); ++i) {
        const TextLine& line = shaped.lines[i];
        const double w = line.width();
        const double centreOffset = (line.ascent() - line.descent()) / 2;
        double x = -w / 2;
        double y = 0;
        if (crawl) {
            x = crawlBar.maxX() - progress * (w + crawlBar.width) - tx;
            y = crawlBar.y + crawlBar.height / 2 - ty - centreOffset;
        } else if (roll) {
            // The first line leads the block upwards; each line is centred in its pitch.
            y = rollBottom + (n - 1 - static_cast<double>(i)) * pitch + pitch / 2 - centreOffset;
        } else {
            // The first line reads at the top of the block.
            y = pitch * ((n - 1) / 2 - static_cast<double>(i)) - line.height() / 2;
        }
        canvas.drawTextLine(line, x, y, fill, stroke);
    }
    canvas.restoreState();
    try {
        return canvas.render();
    } catch (const std::exception&) {
        // No memory for the overlay's pixels: the frame goes out without this clip's text.
        return Image();
    }
}

bool TextOverlayRenderer::drawTextOverlay(Image& composite, const EditorJobV2::Clip& clip, double t)
{
    const Image overlay = textOverlayImage(clip, t);
    if (!overlay.hasPixels()) {
        return false;
    }
    compositeOverlay(composite, overlay, overlayBlendMode(clip.blendMode), {0, 0, width_, height_});
    return true;
}

} // namespace velmora::Exporter
