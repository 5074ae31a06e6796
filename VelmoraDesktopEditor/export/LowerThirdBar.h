#pragma once

#include <optional>
#include <string>

#include "model/EditorJobV2.h"
#include "platform/image/Geometry.h"

namespace velmora {
class TextCanvas;
}

// Lower-third geometry and overlay colours of the timeline export. Sizes are in output pixels;
// rectangles are in the y-up space of the output frame (origin at the bottom left).
namespace velmora::Exporter {

// The colour a "#RRGGBB" / "RRGGBB" text names (blanks around it ignored, digits in any case),
// opaque. Missing text, any other length (the 3-digit and 8-digit forms included) gives
// `defaultColor`; a pair that is not two hex digits gives 255 for that channel.
Color parseHexColor(const std::optional<std::string>& hex, const Color& defaultColor);

// Where a lower third's text sits: offsets of its centre from the frame centre as fractions of
// the width and height, y downwards, used like a clip's posX/posY. (0, 0) without a lower third.
struct OverlayAnchor {
    double x = 0;
    double y = 0;
};
OverlayAnchor lowerThirdAnchor(const std::optional<EditorJobV2::LowerThird>& lowerThird,
                               int outputHeight);

// The lower third's background bar in output pixels: a full-width strip sized from the crawl
// font for a "crawl", else a bar over the left or right part of the frame (or its full width).
Rect lowerThirdBarRect(const EditorJobV2::LowerThird& lowerThird, int outputWidth, int outputHeight);

// Fills the bar of lowerThirdBarRect() with the bar colour at alpha x bar opacity, in the
// canvas's current transform and alpha (both apply on top). Nothing when that alpha is 0.001 or less.
void drawLowerThirdBar(TextCanvas& canvas, const EditorJobV2::LowerThird& lowerThird,
                       int outputWidth, int outputHeight, double alpha);

} // namespace velmora::Exporter
