#include "export_workspaces/WorkspaceLabels.h"

#include <QLabel>
#include <cstring>

#include "controls/VelmoraPalette.h"

namespace velmora::WorkspaceLabels {

namespace {

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

QString glyph(const char* name)
{
    struct Entry {
        const char* name;
        const char16_t* glyph;
    };
    static constexpr Entry glyphs[] = {{"doc.text", u"\u25A4"},
                                       {"film.stack", u"\u25A6"},
                                       {"wand.and.stars", u"\u2726"},
                                       {"square.and.arrow.down", u"\u2913"},
                                       {"eye", u"\u25C9"}};
    for (const Entry& entry : glyphs) {
        if (std::strcmp(entry.name, name) == 0)
            return QString::fromUtf16(entry.glyph);
    }
    return QStringLiteral("\u25CF");
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
    auto* label = new QLabel(glyph(name), parent);
    label->setProperty("symbol", QString::fromLatin1(name));
    QFont font = label->font();
    font.setPixelSize(15);
    label->setFont(font);
    setColor(label, tint);
    return label;
}

void makeSelectable(QLabel* label)
{
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setCursor(Qt::IBeamCursor);
}

} // namespace velmora::WorkspaceLabels
