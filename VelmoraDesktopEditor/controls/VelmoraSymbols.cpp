#include "controls/VelmoraSymbols.h"

#include <algorithm>

#include <QAbstractButton>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

// The resource lives in a static library: nothing references its registration object, so the
// linker would drop it unless it is initialised explicitly (outside any namespace).
static void initSymbolResources()
{
    Q_INIT_RESOURCE(VelmoraSymbols);
}

namespace velmora::VelmoraSymbols {
namespace {

QString resourcePath(std::string_view name)
{
    return QStringLiteral(":/symbols/") + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())) +
           QStringLiteral(".svg");
}

void ensureResources()
{
    static const bool registered = [] {
        initSymbolResources();
        return true;
    }();
    (void)registered;
}

} // namespace

const std::vector<std::string>& names()
{
    static const std::vector<std::string> all{
        "checkmark.circle.fill", "doc.text", "eye", "film.stack", "folder", "lock.fill", "lock.open",
        "pause.fill", "photo", "play.fill", "plus", "scissors", "speaker.slash.fill", "speaker.wave.2",
        "speaker.wave.2.fill", "square.and.arrow.down", "video", "wand.and.stars", "xmark",
    };
    return all;
}

bool contains(std::string_view name)
{
    return std::binary_search(names().begin(), names().end(), name);
}

QPixmap pixmap(std::string_view name, int size, const QColor& tint, qreal devicePixelRatio)
{
    if (size < 1 || !contains(name))
        return {};
    // Every workspace draws the same few symbols at the same sizes, and each is made anew when
    // the Mode switches: a symbol is drawn once and then taken from the application's pixmap
    // cache (main thread only, as pixmaps are).
    const QString key = QStringLiteral("velmora.symbol/%1/%2/%3/%4")
                            .arg(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())))
                            .arg(size)
                            .arg(tint.rgba(), 8, 16, QLatin1Char('0'))
                            .arg(devicePixelRatio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;
    ensureResources();
    QSvgRenderer renderer(resourcePath(name));
    if (!renderer.isValid())
        return {};

    const int side = std::max(1, qRound(size * devicePixelRatio));
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, side, side));
        // Keep the symbol's coverage, take the colour from the tint.
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(image.rect(), tint);
    }
    QPixmap result = QPixmap::fromImage(image);
    result.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, result);
    return result;
}

QIcon icon(std::string_view name, const QColor& tint)
{
    QIcon result;
    for (int size : {16, 24, 32, 48}) {
        const QPixmap drawn = pixmap(name, size, tint);
        if (!drawn.isNull())
            result.addPixmap(drawn);
    }
    return result;
}

void apply(QAbstractButton& button, std::string_view name, const QColor& tint)
{
    button.setIcon(icon(name, tint));
    button.setProperty(propertyName, QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
}

void apply(QLabel& label, std::string_view name, int size, const QColor& tint)
{
    label.setPixmap(pixmap(name, size, tint, label.devicePixelRatioF()));
    label.setProperty(propertyName, QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
}

} // namespace velmora::VelmoraSymbols
