#pragma once

#include <optional>

// The arithmetic of the edge-scrolling toolbar, apart from its widgets. Widths and offsets are
// in device-independent pixels; the offset is how far the content is scrolled to the left (0 at
// its start), the document is the hosted content and the clip is the visible area between the
// two arrow strips.
namespace velmora::ToolbarEdgeScrollMath {

inline constexpr double edgeWidth = 30;        // a visible arrow strip
inline constexpr double hoverStep = 10;        // per hover tick, 60 ticks a second
inline constexpr double hoverInterval = 1.0 / 60.0;
inline constexpr double pageStep = 220;        // per click on an arrow strip
inline constexpr double arrowOverflow = 6;     // arrows show when the document overflows by more
inline constexpr double wheelOverflow = 2;     // the wheel scrolls when it overflows by more
inline constexpr double minimumHeight = 36;    // the document is never laid out lower

// Never below 0.
double maxOffset(double documentWidth, double clipWidth);
double clampOffset(double offset, double documentWidth, double clipWidth);

// The document's width: its preferred width, its minimum width and the whole toolbar's width,
// whichever is largest (so the content never stretches less than the toolbar).
double documentWidth(double preferredWidth, double minimumWidth, double toolbarWidth);

// Both arrows or none: shown while the document is more than 6 wider than the clip, whatever
// the offset.
bool edgesVisible(double documentWidth, double clipWidth);

// The offset after a click on an arrow strip: a page of 220 in the strip's direction (-1 left,
// +1 right), clamped.
double pagedOffset(double offset, int direction, double documentWidth, double clipWidth);

// The offset after a wheel or trackpad event with deltas dx and dy (positive dy: toward the
// end), or none when the toolbar leaves the event to its parents: when the document is at most
// 2 wider than the clip, or the gesture is vertical with |dy| <= 0.1. A horizontal gesture
// (|dy| <= |dx|) moves by -2·dx, a vertical one by 3·dy.
std::optional<double> wheelOffset(double offset, double dx, double dy, double documentWidth, double clipWidth);

// Putting a remembered offset back after the content or the size changed.
struct Restore {
    enum class Outcome {
        notRestored, // 0.5 or less: the toolbar shows its start
        restored,    // `offset` is the remembered one, or the largest possible when smaller
        pending,     // the document cannot scroll (maximum below 1): try again later
    };
    Outcome outcome;
    double offset; // the offset to show now
};
Restore restoreOffset(double remembered, double documentWidth, double clipWidth);

} // namespace velmora::ToolbarEdgeScrollMath
