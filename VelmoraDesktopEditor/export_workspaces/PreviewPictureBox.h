#pragma once

#include <QImage>
#include <QWidget>

namespace velmora {

// The preview's picture: a black box 520 pixels high and as wide as it is given, with rounded
// corners, showing the still scaled to fit (centred, its own aspect ratio), or a placeholder
// text while there is none. A new still replaces the old one at once.
class PreviewPictureBox final : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPictureBox(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

} // namespace velmora
