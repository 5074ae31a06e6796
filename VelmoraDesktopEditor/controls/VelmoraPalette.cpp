#include "controls/VelmoraPalette.h"

#include <algorithm>
#include <cmath>

namespace velmora::VelmoraPalette {

namespace {

// 8 bits a channel, as the style sheet and the painters use them.
int channel(double value)
{
    return static_cast<int>(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

QColor rgb(double red, double green, double blue, double opacity = 1.0)
{
    return QColor(channel(red), channel(green), channel(blue), channel(opacity));
}

} // namespace

QColor grey(double white, double opacity)
{
    return rgb(white, white, white, opacity);
}

QString css(const QColor& colour)
{
    if (colour.alpha() == 255)
        return colour.name(QColor::HexRgb);
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(colour.alpha());
}

QColor editorBg() { return QColor(0, 0, 0); }
QColor editorPanel() { return grey(0.08); }
QColor editorText() { return QColor(255, 255, 255); }
QColor editorMuted() { return grey(0.65); }

QColor toolbarBg() { return grey(0.06); }
QColor edgeZone() { return grey(0.12); }
QColor edgeZoneHover() { return grey(0.22); }
QColor fieldBg() { return grey(0.22); }
QColor segmentBorder() { return grey(0.30); }
QColor segmentChecked() { return grey(0.36); }

QColor accent() { return rgb(0.2, 0.45, 0.85); }
QColor clipBlock() { return rgb(0.35, 0.55, 0.95, 0.85); }

QColor playhead() { return QColor(255, 59, 48); }

QPalette darkPalette()
{
    QPalette palette;
    const QColor window = editorPanel();
    const QColor base = grey(0.12);
    const QColor button = grey(0.20);
    const QColor text = editorText();
    const QColor disabledText = grey(0.40);

    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, grey(0.16));
    palette.setColor(QPalette::ToolTipBase, grey(0.18));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, editorMuted());
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, playhead());
    palette.setColor(QPalette::Highlight, accent());
    palette.setColor(QPalette::HighlightedText, text);
    palette.setColor(QPalette::Link, accent().lighter(140));
    palette.setColor(QPalette::Light, grey(0.30));
    palette.setColor(QPalette::Midlight, grey(0.24));
    palette.setColor(QPalette::Mid, grey(0.16));
    palette.setColor(QPalette::Dark, grey(0.04));
    palette.setColor(QPalette::Shadow, editorBg());
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Button, grey(0.14));
    return palette;
}

} // namespace velmora::VelmoraPalette
