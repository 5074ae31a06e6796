#include "platform/text/TextLine.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QPainterPathStroker>
#include <QString>

#include <cmath>

#include "platform/text/TextEngine.h"
#include "platform/text/TextLineData.h"

namespace velmora {

namespace {

QFont referenceFont(const TextFont& font, double letterSpacing)
{
    QFont f(QString::fromStdString(font.family));
    f.setPixelSize(static_cast<int>(TextLine::Data::referencePixelSize));
    f.setWeight(static_cast<QFont::Weight>(font.weight));
    f.setItalic(font.italic);
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setKerning(true);
    const double spacing = letterSpacing * TextLine::Data::referencePixelSize / font.pixelSize;
    if (std::isfinite(spacing) && spacing != 0) {
        f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    }
    return f;
}

// Fills the outline's lazily built bounds and vector-path caches on this thread.
void primeOutline(const QPainterPath& path)
{
    (void)path.boundingRect();
    (void)path.controlPointRect();
    QImage scratch(1, 1, QImage::Format_RGBA32FPx4_Premultiplied);
    QPainter painter(&scratch);
    painter.fillPath(path, Qt::white);
}

} // namespace

TextLine::TextLine() = default;

TextLine TextLine::make(std::string_view utf8, const TextFont& font, double letterSpacing)
{
    if (utf8.empty() || !std::isfinite(font.pixelSize) || font.pixelSize <= 0) {
        return TextLine();
    }
    ensureTextEngine();
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const QFont f = referenceFont(font, std::isfinite(letterSpacing) ? letterSpacing : 0.0);
    const QFontMetricsF metrics(f);

    auto data = std::make_shared<Data>();
    data->scale = font.pixelSize / Data::referencePixelSize;
    data->width = metrics.horizontalAdvance(text) * data->scale;
    data->ascent = std::max(0.0, metrics.ascent() * data->scale);
    data->descent = std::max(0.0, metrics.descent() * data->scale);
    data->leading = std::max(0.0, metrics.leading() * data->scale);
    data->outline.addText(0, 0, f, text);
    primeOutline(data->outline);
    const QRectF ink = data->outline.boundingRect();
    if (!ink.isEmpty()) {
        // y-down at the reference size to y-up at the requested size.
        data->ink = {ink.x() * data->scale, -ink.bottom() * data->scale,
                     ink.width() * data->scale, ink.height() * data->scale};
    }
    return TextLine(std::move(data));
}

TextLine TextLine::withStrokeOutline(double strokeWidth) const
{
    if (!data_ || !std::isfinite(strokeWidth) || strokeWidth <= 0) {
        return *this;
    }
    auto data = std::make_shared<Data>(*data_);
    QPainterPathStroker stroker;
    stroker.setWidth(strokeWidth / data->scale);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setCapStyle(Qt::RoundCap);
    data->strokeOutline = stroker.createStroke(data->outline);
    data->strokeWidth = strokeWidth;
    primeOutline(data->strokeOutline);
    return TextLine(std::move(data));
}

bool TextLine::hasStrokeOutline(double strokeWidth) const
{
    return data_ && data_->strokeWidth > 0 && data_->strokeWidth == strokeWidth;
}

double TextLine::width() const { return data_ ? data_->width : 0.0; }
double TextLine::ascent() const { return data_ ? data_->ascent : 0.0; }
double TextLine::descent() const { return data_ ? data_->descent : 0.0; }
double TextLine::leading() const { return data_ ? data_->leading : 0.0; }
Rect TextLine::inkBounds() const { return data_ ? data_->ink : Rect{}; }

} // namespace velmora
