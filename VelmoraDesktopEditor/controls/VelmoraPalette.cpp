#include "controls/VelmoraPalette.h"

#include <algorithm>

namespace velmora::VelmoraPalette {

QColor grey(double white, double opacity)
{
    QColor colour;
    colour.setRgbF(static_cast<float>(std::clamp(white, 0.0, 1.0)), static_cast<float>(std::clamp(white, 0.0, 1.0)),
                   static_cast<float>(std::clamp(white, 0.0, 1.0)), static_cast<float>(std::clamp(opacity, 0.0, 1.0)));
    return colour;
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

QColor accent()
{
    QColor colour;
    colour.setRgbF(0.2f, 0.45f, 0.85f);
    return colour;
}

QColor clipBlock()
{
    QColor colour;
    colour.setRgbF(0.35f, 0.55f, 0.95f, 0.85f);
    return colour;
}

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
