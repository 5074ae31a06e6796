#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "export/OverlayCompositing.h"
#include "model/EditorJobV2.h"
#include "platform/image/Image.h"
#include "platform/text/TextCanvas.h"
#include "platform/text/TextFont.h"
#include "platform/text/TextLine.h"

// Text and credits overlays of the timeline export: titles, lower thirds, rolling and crawling
// credits drawn per output frame over the graded picture.
namespace velmora::Exporter {

// The picture transform of a text clip at one instant. Positions are offsets of the text's
// centre from the frame centre in fractions of the width and height, y downwards; rotation is
// in degrees, clockwise on screen.
struct TextClipTransform {
    double posX = 0;
    double posY = 0;
    double scale = 1;
    double rotation = 0;
    double opacity = 1;

    bool operator==(const TextClipTransform&) const = default;
};

// The text a clip draws: its trimmed `textContent`, or for an empty one on a lower third the
// roll lines (joined by line breaks), the crawl text or the sub text of its mode. Empty when it
// draws nothing (no `text` record, nothing to show).
std::string textOverlayText(const EditorJobV2::Clip& clip);

// The transform at clip-local time u (seconds since the clip's start): the clip's own values
// without keyframes, else linear along the keyframe pair around u (u limited to the clip), the
// first-to-last line extended outside the keyframes' span.
TextClipTransform textClipTransform(const EditorJobV2::Clip& clip, double localTime);

// The opacity above limited to 0 ... 1, faded in over `fadeIn` and out over `fadeOut`.
double textOverlayAlpha(const EditorJobV2::Clip& clip, double opacity, double localTime);

// The text lines of a "text"-type clip whose overlay switch is on, among `activeClips` (one
// frame's clips in timeline order), in drawing order: by lane ascending (missing lane 0),
// stable, so the highest lane ends on top.
std::vector<const EditorJobV2::Clip*> textOverlayClips(
    const std::vector<const EditorJobV2::Clip*>& activeClips, bool includeText,
    bool includeLowerThirds);

// Draws the text clips of one export at one output size. Sizes in jobs are for a 1080-line
// frame and are scaled by outputHeight / 1080.
//
// Per-frame cost: shaped lines are cached by text, font and size, and each clip's last drawing
// is kept, so a title that does not move or fade costs one comparison to draw again; only the
// pixels an overlay covers are painted and composited. One renderer per export; not
// thread-safe (the export's render queue owns it). Requires ensureTextEngine().
class TextOverlayRenderer {
public:
    TextOverlayRenderer(int outputWidth, int outputHeight);
    ~TextOverlayRenderer();
    TextOverlayRenderer(const TextOverlayRenderer&) = delete;
    TextOverlayRenderer& operator=(const TextOverlayRenderer&) = delete;

    int outputWidth() const { return width_; }
    int outputHeight() const { return height_; }

    // The clip's overlay at timeline time `t` (seconds): a straight-alpha image in output pixel
    // space (y-up, frame from (0, 0)), covering only the pixels it draws, or the empty image when
    // the clip draws nothing. Never fails.
    Image textOverlayImage(const EditorJobV2::Clip& clip, double t);

    // The overlay of textOverlayImage() blended into `composite` with the clip's blend mode,
    // within the output rectangle. Answers whether anything was drawn.
    bool drawTextOverlay(Image& composite, const EditorJobV2::Clip& clip, double t);

private:
    struct Layout {
        TextFont font;
        std::vector<TextLine> lines;
        std::uint64_t lastUse = 0;
    };
    struct ClipCanvas {
        std::unique_ptr<TextCanvas> canvas;
        std::uint64_t lastUse = 0;
    };

    const Layout& layout(const std::string& text, const std::string& fontName, double pixelSize,
                         double letterSpacing, double strokeWidth);
    TextCanvas& canvasFor(const EditorJobV2::Clip& clip, const std::string& text);
    template <class Map>
    void evictOldest(Map& map, std::size_t keep);

    int width_;
    int height_;
    std::uint64_t useCounter_ = 0;
    std::unordered_map<std::string, Layout> layouts_;
    std::unordered_map<std::string, ClipCanvas> canvases_;
};

} // namespace velmora::Exporter
