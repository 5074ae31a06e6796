#include "platform/text/TextCanvas.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/dispatch/ConcurrentPerform.h"
#include "platform/text/TextLineData.h"

namespace velmora {

namespace {

// Pixels of antialiasing that may spill past a shape's exact bounds.
constexpr double kAntialiasMargin = 1.0;
// A band is worth a thread only with enough pixels under it: each band rasterises every outline
// that crosses it, and waking a worker costs about as much as painting a small title.
constexpr long long kMinBandPixels = 160 * 1024;
constexpr int kMinBandRows = 32;

QTransform toQt(const AffineTransform& t)
{
    return QTransform(t.a, t.b, t.c, t.d, t.tx, t.ty);
}

float unit(float v)
{
    return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 0.0f;
}

QColor toQt(const Color& c)
{
    return QColor::fromRgbF(unit(c.r), unit(c.g), unit(c.b), unit(c.a));
}

bool isFinite(const AffineTransform& t)
{
    return std::isfinite(t.a) && std::isfinite(t.b) && std::isfinite(t.c) && std::isfinite(t.d)
        && std::isfinite(t.tx) && std::isfinite(t.ty);
}

Rect outset(const Rect& r, double by)
{
    return {r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by};
}

// The transform from a line's reference-size, y-down outline to the canvas's user space.
AffineTransform outlineToUser(const TextLine::Data& line, double x, double y)
{
    return {line.scale, 0, 0, -line.scale, x, y};
}

} // namespace

bool TextCanvas::Command::sameDrawing(const Command& other) const
{
    return kind == other.kind && transform == other.transform && alpha == other.alpha
        && rect == other.rect && line.isSameLine(other.line) && x == other.x && y == other.y
        && color == other.color && stroke == other.stroke;
}

TextCanvas::TextCanvas(int width, int height)
    : width_(std::max(0, width)), height_(std::max(0, height))
{
}

void TextCanvas::reset()
{
    state_ = State{};
    stack_.clear();
    commands_.clear();
}

void TextCanvas::saveState() { stack_.push_back(state_); }

void TextCanvas::restoreState()
{
    if (!stack_.empty()) {
        state_ = stack_.back();
        stack_.pop_back();
    }
}

void TextCanvas::translateBy(double dx, double dy)
{
    state_.transform = AffineTransform::translation(dx, dy).concatenating(state_.transform);
}

void TextCanvas::rotateBy(double radians)
{
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    state_.transform = AffineTransform{c, s, -s, c, 0, 0}.concatenating(state_.transform);
}

void TextCanvas::scaleBy(double sx, double sy)
{
    state_.transform = AffineTransform::scale(sx, sy).concatenating(state_.transform);
}

void TextCanvas::setAlpha(double alpha)
{
    state_.alpha = std::isfinite(alpha) ? std::clamp(alpha, 0.0, 1.0) : 0.0;
}

void TextCanvas::fillRect(const Rect& rect, const Color& color)
{
    if (rect.isEmpty() || !(color.a > 0)) {
        return;
    }
    Command command;
    command.kind = Command::Kind::rect;
    command.rect = rect;
    command.color = color;
    record(std::move(command), outset(state_.transform.apply(rect), kAntialiasMargin));
}

void TextCanvas::drawTextLine(const TextLine& line, double x, double y, const Color& fill,
                              const std::optional<TextStroke>& stroke)
{
    const TextLine::Data* data = line.data();
    if (data == nullptr || data->ink.isEmpty()) {
        return;
    }
    std::optional<TextStroke> visibleStroke;
    if (stroke && stroke->color.a > 0 && stroke->width > 0 && std::isfinite(stroke->width)) {
        visibleStroke = stroke;
    }
    if (!(fill.a > 0) && !visibleStroke) {
        return;
    }
    Command command;
    command.kind = Command::Kind::text;
    command.line = line;
    command.x = x;
    command.y = y;
    command.color = fill;
    command.stroke = visibleStroke;
    Rect user{data->ink.x + x, data->ink.y + y, data->ink.width, data->ink.height};
    if (visibleStroke) {
        user = outset(user, visibleStroke->width / 2);
    }
    record(std::move(command), outset(state_.transform.apply(user), kAntialiasMargin));
}

void TextCanvas::record(Command command, const Rect& deviceBounds)
{
    if (!(state_.alpha > 0) || !isFinite(state_.transform)) {
        return;
    }
    // Limited to the frame in floating point first, so far-away shapes never meet integer limits.
    const double x0 = std::max(deviceBounds.x, 0.0);
    const double y0 = std::max(deviceBounds.y, 0.0);
    const double x1 = std::min(deviceBounds.maxX(), static_cast<double>(width_));
    const double y1 = std::min(deviceBounds.maxY(), static_cast<double>(height_));
    if (!(x1 > x0) || !(y1 > y0)) {
        return;
    }
    const IntRect device = integralRect({x0, y0, x1 - x0, y1 - y0});
    if (device.isEmpty()) {
        return;
    }
    command.transform = state_.transform;
    command.alpha = state_.alpha;
    command.device = device;
    commands_.push_back(std::move(command));
}

IntRect TextCanvas::coveredArea() const
{
    if (commands_.empty()) {
        return {};
    }
    long long x0 = commands_.front().device.x;
    long long y0 = commands_.front().device.y;
    long long x1 = x0 + commands_.front().device.width;
    long long y1 = y0 + commands_.front().device.height;
    for (const Command& c : commands_) {
        x0 = std::min(x0, c.device.x);
        y0 = std::min(y0, c.device.y);
        x1 = std::max(x1, c.device.x + c.device.width);
        y1 = std::max(y1, c.device.y + c.device.height);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

Image TextCanvas::render()
{
    const IntRect area = coveredArea();
    if (area.isEmpty()) {
        haveLast_ = false;
        lastCommands_.clear();
        lastImage_ = Image();
        return Image();
    }
    if (haveLast_ && lastCommands_.size() == commands_.size()
        && std::equal(commands_.begin(), commands_.end(), lastCommands_.begin(),
                      [](const Command& a, const Command& b) { return a.sameDrawing(b); })) {
        return lastImage_;
    }

    const int w = static_cast<int>(area.width);
    const int h = static_cast<int>(area.height);
    Image out = Image::allocate(w, h, static_cast<int>(area.x), static_cast<int>(area.y));
    float* base = out.mutableRow(0);
    const std::ptrdiff_t stride = out.rowStride();

    const std::size_t width = concurrencyWidth();
    const long long minRows = std::max<long long>(kMinBandRows, kMinBandPixels / w);
    const int bands = static_cast<int>(std::clamp<long long>(
        (h + minRows - 1) / minRows, 1, static_cast<long long>(width)));
    const int rowsPerBand = (h + bands - 1) / bands;
    const Command* commands = commands_.data();
    const std::size_t count = commands_.size();
    concurrentPerform(static_cast<std::size_t>(bands), 1, [&](std::size_t begin, std::size_t end) {
        for (std::size_t b = begin; b < end; ++b) {
            const int first = static_cast<int>(b) * rowsPerBand;
            const int rows = std::min(rowsPerBand, h - first);
            if (rows > 0) {
                paintBand(commands, count, area, first, rows, base + first * stride, stride);
            }
        }
    });

    lastCommands_ = commands_;
    lastImage_ = out;
    haveLast_ = true;
    return out;
}

void TextCanvas::paintBand(const Command* commands, std::size_t count, const IntRect& area,
                           int firstRow, int rowCount, float* rows, std::ptrdiff_t stride) const
{
    const int w = static_cast<int>(area.width);
    const std::size_t rowFloats = static_cast<std::size_t>(w) * 4;
    for (int r = 0; r < rowCount; ++r) {
        std::memset(rows + r * stride, 0, rowFloats * sizeof(float));
    }

    // y-up top edge of the band; storage row 0 of the band lies just below it.
    const long long top = area.y + area.height - firstRow;
    const IntRect band{area.x, top - rowCount, area.width, rowCount};
    const AffineTransform toBand{1, 0, 0, -1, -static_cast<double>(area.x), static_cast<double>(top)};

    {
        QImage target(reinterpret_cast<uchar*>(rows), w, rowCount,
                      static_cast<qsizetype>(stride * static_cast<std::ptrdiff_t>(sizeof(float))),
                      QImage::Format_RGBA32FPx4_Premultiplied);
        QPainter painter(&target);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setPen(Qt::NoPen);
        for (std::size_t i = 0; i < count; ++i) {
            const Command& c = commands[i];
            if (intersection(c.device, band).isEmpty()) {
                continue;
            }
            painter.setOpacity(c.alpha);
            if (c.kind == Command::Kind::rect) {
                painter.setTransform(toQt(c.transform.concatenating(toBand)));
                painter.fillRect(QRectF(c.rect.x, c.rect.y, c.rect.width, c.rect.height),
                                 toQt(c.color));
                continue;
            }
            const TextLine::Data& line = *c.line.data();
            painter.setTransform(
                toQt(outlineToUser(line, c.x, c.y).concatenating(c.transform).concatenating(toBand)));
            if (c.color.a > 0) {
                painter.fillPath(line.outline, toQt(c.color));
            }
            if (c.stroke && c.line.hasStrokeOutline(c.stroke->width)) {
                painter.fillPath(line.strokeOutline, toQt(c.stroke->color));
            } else if (c.stroke) {
                // The pen lives in the outline's reference-size space.
                QPen pen(toQt(c.stroke->color), c.stroke->width / line.scale, Qt::SolidLine,
                         Qt::RoundCap, Qt::RoundJoin);
                painter.strokePath(line.outline, pen);
            }
        }
    }

    for (int r = 0; r < rowCount; ++r) {
        float* px = rows + r * stride;
        for (int i = 0; i < w; ++i, px += 4) {
            const float a = std::clamp(px[3], 0.0f, 1.0f);
            if (a > 0) {
                const float inv = 1.0f / a;
                px[0] = std::clamp(px[0] * inv, 0.0f, 1.0f);
                px[1] = std::clamp(px[1] * inv, 0.0f, 1.0f);
                px[2] = std::clamp(px[2] * inv, 0.0f, 1.0f);
            } else {
                px[0] = px[1] = px[2] = 0;
            }
            px[3] = a;
        }
    }
}

} // namespace velmora
