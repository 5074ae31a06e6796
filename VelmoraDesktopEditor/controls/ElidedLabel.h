#pragma once

#include <QLabel>

namespace velmora {

// One line of text cut with "…" where it does not fit, at the end or in the middle; text() keeps
// the whole text. Its least width is nothing (a caller that wants more sets a minimum width), so a
// row gives its space to the widgets beside it first.
class ElidedLabel final : public QLabel {
public:
    ElidedLabel(Qt::TextElideMode mode, const QString& text, QWidget* parent = nullptr);

    QSize minimumSizeHint() const override;
    // The text as drawn at the label's present width: text(), or the part of it that fits with
    // "…" standing for the rest.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::TextElideMode mode_;
};

} // namespace velmora
