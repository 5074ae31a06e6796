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

// 16 bits a channel, as the timeline lanes use them.
QColor laneRgb(double red, double green, double blue, double opacity = 1.0)
{
    return QColor::fromRgbF(static_cast<float>(red), static_cast<float>(green), static_cast<float>(blue),
                            static_cast<float>(opacity));
}

QColor laneGrey(double white, double opacity = 1.0)
{
    return laneRgb(white, white, white, opacity);
}

QColor laneOrange(double opacity = 1.0)
{
    return laneRgb(1.0, 0.624, 0.039, opacity);
}

QColor laneRed(double opacity)
{
    return laneRgb(1.0, 0.271, 0.227, opacity);
}

QColor laneCyan(double opacity = 1.0)
{
    return laneRgb(0.392, 0.824, 1.0, opacity);
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

QColor orange(double opacity) { return QColor(255, 159, 10, channel(opacity)); }
QColor red(double opacity) { return QColor(255, 69, 58, channel(opacity)); }
QColor green(double opacity) { return QColor(48, 209, 88, channel(opacity)); }
QColor blue(double opacity) { return QColor(10, 132, 255, channel(opacity)); }
QColor purple(double opacity) { return QColor(191, 90, 242, channel(opacity)); }

QColor laneTrack() { return laneGrey(0.1); }
QColor mutedLaneTrack() { return laneGrey(0.06); }
QColor rulerTrack() { return laneGrey(0.14); }
QColor rulerText() { return laneGrey(0.4); }
QColor laneLabel() { return laneGrey(0.55); }
QColor laneWhite(double opacity) { return laneGrey(1.0, opacity); }
QColor laneMarker() { return laneOrange(); }
QColor lockedLaneLabel() { return laneOrange(0.9); }
QColor laneMuteOn() { return laneRed(0.85); }
QColor lanePlayhead() { return laneRed(0.9); }
QColor clipSelection() { return laneCyan(); }
QColor snapGuide() { return laneCyan(0.95); }

QColor videoLane(int number)
{
    static const QColor colours[4] = {laneRgb(0.35, 0.55, 0.95), laneRgb(0.25, 0.75, 0.55),
                                      laneRgb(0.9, 0.55, 0.25), laneRgb(0.75, 0.4, 0.85)};
    return colours[number >= 1 ? (number - 1) % 4 : 0];
}

QColor audioLane() { return laneRgb(0.78, 0.66, 0.32); }

QColor secondaryText() { return QColor(152, 152, 159); }
QColor groupFill() { return QColor(255, 255, 255, 14); }
QColor groupBorder() { return QColor(255, 255, 255, 28); }
QColor controlFill() { return QColor(58, 58, 60); }
QColor fieldFill() { return QColor(28, 28, 30); }

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

QPalette exportWorkspacePalette(QPalette palette)
{
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, editorBg());
        palette.setColor(group, QPalette::WindowText, editorText());
        palette.setColor(group, QPalette::Base, fieldFill());
        palette.setColor(group, QPalette::AlternateBase, controlFill());
        palette.setColor(group, QPalette::Text, editorText());
        palette.setColor(group, QPalette::Button, controlFill());
        palette.setColor(group, QPalette::ButtonText, editorText());
        palette.setColor(group, QPalette::Highlight, blue());
        palette.setColor(group, QPalette::HighlightedText, editorText());
        palette.setColor(group, QPalette::PlaceholderText, secondaryText());
    }
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, secondaryText());
    palette.setColor(QPalette::Disabled, QPalette::WindowText, secondaryText());
    palette.setColor(QPalette::Disabled, QPalette::Text, secondaryText());
    palette.setColor(QPalette::Disabled, QPalette::Button, fieldFill());
    palette.setColor(QPalette::Disabled, QPalette::Window, editorBg());
    return palette;
}

} // namespace velmora::VelmoraPalette
