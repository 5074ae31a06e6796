#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <QColor>
#include <QIcon>
#include <QPixmap>

class QAbstractButton;
class QLabel;

// The application's symbols: small SVG icons drawn for this project (white on transparent, in
// the Qt resource ":/symbols/<name>.svg"), tinted when they are drawn. Every widget that shows a
// symbol carries its name in the dynamic property "symbol", so views and tests can tell which
// symbol a button or label shows. Main thread only (pixmaps).
namespace velmora::VelmoraSymbols {

inline constexpr const char* propertyName = "symbol";

// Every symbol name, sorted: "checkmark.circle.fill", "doc.text", "eye", "film.stack", "folder",
// "lock.fill", "lock.open", "pause.fill", "photo", "play.fill", "plus", "scissors",
// "speaker.slash.fill", "speaker.wave.2", "speaker.wave.2.fill", "square.and.arrow.down",
// "video", "wand.and.stars", "xmark".
const std::vector<std::string>& names();
bool contains(std::string_view name);

// The symbol drawn into a square of `size` device-independent pixels at the given device pixel
// ratio, every opaque pixel in `tint`. A null pixmap for an unknown name or a size below 1.
QPixmap pixmap(std::string_view name, int size, const QColor& tint, qreal devicePixelRatio = 1.0);
// The symbol at the sizes buttons and labels use (16, 24, 32 and 48 pixels).
QIcon icon(std::string_view name, const QColor& tint = QColor(255, 255, 255));

// Shows the symbol on a button (beside its text, if it has one) or as a label's picture, and
// records its name in the widget's "symbol" property.
void apply(QAbstractButton& button, std::string_view name, const QColor& tint = QColor(255, 255, 255));
void apply(QLabel& label, std::string_view name, int size, const QColor& tint = QColor(255, 255, 255));

} // namespace velmora::VelmoraSymbols
