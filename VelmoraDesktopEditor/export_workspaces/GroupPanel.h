#pragma once

#include <QWidget>

class QVBoxLayout;

namespace velmora {

// A titled group of the workspace: a label row (a tinted symbol and a semibold title, 8 apart)
// over a rounded box whose content is a vertical stack, leading, 10 apart.
class GroupPanel final : public QWidget {
    Q_OBJECT
public:
    GroupPanel(const char* symbolName, const QColor& symbolTint, const QString& title, QWidget* parent = nullptr);

    QVBoxLayout* content() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* box_ = nullptr;
    QVBoxLayout* content_ = nullptr;
};

} // namespace velmora
