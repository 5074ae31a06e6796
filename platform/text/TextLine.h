#pragma once

#include <memory>
#include <string_view>

#include "platform/image/Geometry.h"
#include "platform/text/TextFont.h"

namespace velmora {

// One line of text shaped with a font: its typographic metrics and its glyph outlines.
// Geometry is in pixels in the y-up space of images, relative to the line's origin: the left
// end of its baseline. Immutable; copies share the outlines, so a TextLine is cheap to keep
// in caches and to pass around. May be read from several threads at once.
class TextLine {
public:
    // The empty line: no glyphs, every metric 0.
    TextLine();

    // Shapes `utf8` (one line: line breaks are not interpreted) with `font`, adding
    // `letterSpacing` pixels after every character. Characters the font lacks are drawn from
    // other installed fonts. An empty text, or a pixel size that is not a positive finite
    // number, gives the empty line. Requires ensureTextEngine(); safe on any thread.
    static TextLine make(std::string_view utf8, const TextFont& font, double letterSpacing);

    bool isEmpty() const { return !data_; }

    // This line with the outline of a stroke of `strokeWidth` pixels (centred on the glyph
    // outlines, round joins) worked out once, so that drawing it with that stroke frame after
    // frame costs a fill instead of a fresh stroke. Shares the glyphs; not isSameLine() as this.
    // A width that is not positive and finite gives the line unchanged.
    TextLine withStrokeOutline(double strokeWidth) const;
    // True when withStrokeOutline() prepared this line for `strokeWidth`.
    bool hasStrokeOutline(double strokeWidth) const;

    // Typographic advance of the whole line, letter spacing included (trailing blanks count).
    double width() const;
    // Distances above and below the baseline and the font's line gap, all >= 0.
    double ascent() const;
    double descent() const;
    double leading() const;
    // The line's typographic bounds (origin (0, -descent)): ascent + descent + leading high.
    double height() const { return ascent() + descent() + leading(); }
    // Bounds of the glyph outlines (ink), y-up, relative to the origin; empty for blank lines.
    Rect inkBounds() const;

    // True when both values share one shaping (copies of one make() result).
    bool isSameLine(const TextLine& other) const { return data_ == other.data_; }

    struct Data;
    const Data* data() const { return data_.get(); }

private:
    explicit TextLine(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
    std::shared_ptr<const Data> data_;
};

} // namespace velmora
