#include "export_workspaces/WorkspaceLabels.h"

#include <QLabel>

#include "controls/VelmoraPalette.h"
#include "controls/VelmoraStyleSheet.h"
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

} // namespace

QLabel* text(const QString& text, TextSize size, bool secondary, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(VelmoraStyleSheet::font(pixelSize(size), size == TextSize::title2 ? QFont::DemiBold : QFont::Normal));
    if (secondary)
        VelmoraStyleSheet::setTextColour(*label, VelmoraPalette::secondaryText());
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
