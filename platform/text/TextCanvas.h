#pragma once

#include <optional>
#include <vector>

#include "platform/image/Geometry.h"
#include "platform/image/Image.h"
#include "platform/text/TextLine.h"

namespace velmora {

// Outline drawn around glyphs after they are filled, centred on the outline, with round joins.
struct TextStroke {
    Color color;
    double width = 0; // in the canvas's user space at the time of drawing

    bool operator==(const TextStroke&) const = default;
};

// A transparent frame of width x height pixels in the y-up space of images, drawn into like a
// bitmap graphics context: a current transform and alpha with save/restore, filled rectangles and
// text lines. Drawing only records; render() paints what was recorded into an Image that covers
// just the touched pixels, in parallel bands, antialiased, with float precision.
//
// A canvas is reused frame after frame: reset() forgets the drawing but keeps the last
// rendering, and render() hands that rendering back without painting when the same drawing
// (same lines, transforms, colours and alpha) is recorded again. Not thread-safe: one canvas
// belongs to one thread at a time.
class TextCanvas {
public:
    TextCanvas(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    // Forgets the recorded drawing and the state stack; the transform becomes the identity and
    // the alpha 1.
    void reset();

    void saveState();
    // Without a matching saveState(), does nothing.
    void restoreState();

    // Each applies before the current transform (user space changes, as in a graphics context).
    void translateBy(double dx, double dy);
    // Counter-clockwise in the y-up space for positive angles.
    void rotateBy(double radians);
    void scaleBy(double sx, double sy);
    const AffineTransform& transform() const { return state_.transform; }

    // Multiplies every later drawing's colour alpha; limited to 0 ... 1.
    void setAlpha(double alpha);
    double alpha() const { return state_.alpha; }

    // Fills `rect` (user space) with `color` (straight alpha).
    void fillRect(const Rect& rect, const Color& color);
    // Fills `line` with its origin at (x, y) in user space, then strokes its outline when
    // `stroke` is given. Each is composited on its own, as a graphics context does. A line
    // prepared with withStrokeOutline() for the stroke's width draws it much faster.
    void drawTextLine(const TextLine& line, double x, double y, const Color& fill,
                      const std::optional<TextStroke>& stroke = std::nullopt);

    // Whole pixels of the frame that the recorded drawing may touch (empty when none).
    IntRect coveredArea() const;

    // The recorded drawing as a straight-alpha image whose extent is coveredArea(), or the empty
    // image when nothing visible was drawn.
    Image render();

private:
    struct State {
        AffineTransform transform;
        double alpha = 1;
    };
    struct Command {
        enum class Kind { rect, text } kind = Kind::rect;
        AffineTransform transform;
        double alpha = 1;
        Rect rect;
        TextLine line;
        double x = 0;
        double y = 0;
        Color color;
        std::optional<TextStroke> stroke;
        IntRect device; // pixels it may touch, within the frame

        bool sameDrawing(const Command& other) const;
    };

    void record(Command command, const Rect& deviceBounds);
    void paintBand(const Command* commands, std::size_t count, const IntRect& area, int firstRow,
                   int rowCount, float* rows, std::ptrdiff_t stride) const;

    int width_;
    int height_;
    State state_;
    std::vector<State> stack_;
    std::vector<Command> commands_;

    std::vector<Command> lastCommands_;
    Image lastImage_;
    bool haveLast_ = false;
};

} // namespace velmora
