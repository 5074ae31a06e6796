#include "export_workspaces/WorkspaceLabels.h"

#include <QLabel>

#include "controls/VelmoraPalette.h"
#include "controls/VelmoraSymbols.h"

namespace velmora::WorkspaceLabels {

namespace {

// Pixels a side of a group's symbol, a little taller than its 13-pixel title.
constexpr int symbolSize = 16;

int pixelSize(TextSize size)
{
    switch (size) {
    case TextSize::title2:
        return 22;
    case TextSize::body:
        return 13;
    case TextSize::callout:
        return 12;
    case TextSize::caption:
        return 11;
    }
    return 13;
}

void setColor(QLabel* label, const QColor& color)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    label->setPalette(palette);
}

} // namespace

QLabel* text(const QString& text, TextSize size, bool secondary, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize(size));
    if (size == TextSize::title2)
        font.setWeight(QFont::DemiBold);
    label->setFont(font);
    if (secondary)
        setColor(label, VelmoraPalette::secondaryText());
    return label;
}

QLabel* symbol(const char* name, const QColor& tint, QWidget* parent)
{
    auto* label = new QLabel(parent);
    VelmoraSymbols::apply(*label, name, symbolSize, tint);
    return label;
}

void makeSelectable(QLabel* label)
{
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setCursor(Qt::IBeamCursor);
}

} // namespace velmora::WorkspaceLabels
