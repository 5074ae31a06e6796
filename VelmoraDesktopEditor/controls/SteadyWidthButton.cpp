#include "controls/SteadyWidthButton.h"

#include <algorithm>

#include <QStyle>
#include <QStyleOptionButton>

namespace velmora {

SteadyWidthButton::SteadyWidthButton(QStringList titles, QWidget* parent)
    : QPushButton(titles.value(0), parent), titles_(std::move(titles))
{
}

QSize SteadyWidthButton::sizeHint() const
{
    QSize hint = QPushButton::sizeHint();
    // Each title measured as QPushButton measures its own text, through the style (and so its
    // style sheet's padding and borders).
    QStyleOptionButton option;
    initStyleOption(&option);
    const QFontMetrics metrics = fontMetrics();
    for (const QString& title : titles_) {
        option.text = title;
        const QSize text = metrics.size(Qt::TextShowMnemonic, title);
        option.rect.setSize(text);
        const QSize size = style()->sizeFromContents(QStyle::CT_PushButton, &option, text, this);
        hint.setWidth(std::max(hint.width(), size.width()));
    }
    return hint;
}

QSize SteadyWidthButton::minimumSizeHint() const
{
    QSize hint = QPushButton::minimumSizeHint();
    hint.setWidth(std::max(hint.width(), sizeHint().width()));
    return hint;
}

} // namespace velmora
