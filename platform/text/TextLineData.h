#pragma once

#include <QPainterPath>

#include "platform/text/TextLine.h"

namespace velmora {

// Shaped at a fixed reference size and scaled linearly to the requested size, so fractional
// sizes keep exact proportions (outlines are unhinted at every size).
struct TextLine::Data {
    static constexpr double referencePixelSize = 1000.0;

    // Glyph outlines at the reference size in Qt's y-down space, origin on the baseline. Their
    // lazily computed caches are filled before the line is shared, so painting it from several
    // threads at once only reads.
    QPainterPath outline;
    double scale = 1;      // requested pixel size / reference size
    double width = 0;      // in requested pixels
    double ascent = 0;
    double descent = 0;
    double leading = 0;
    Rect ink;              // y-up, requested pixels
    // The area a stroke of strokeWidth requested pixels covers, at the reference size and
    // y-down like `outline`; empty when none was prepared.
    QPainterPath strokeOutline;
    double strokeWidth = 0;
};

} // namespace velmora
