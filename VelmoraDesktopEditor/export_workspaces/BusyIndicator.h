#pragma once

#include <QTimer>
#include <QWidget>

namespace velmora {

// A small circular busy indicator. It keeps its place in the layout when idle and only paints,
// and animates, while running.
class BusyIndicator final : public QWidget {
    Q_OBJECT
public:
    explicit BusyIndicator(QWidget* parent = nullptr);

    bool isRunning() const { return running_; }
    void setRunning(bool running);
    QSize sizeHint() const override { return {20, 20}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer timer_;
    bool running_ = false;
    int step_ = 0;
};

} // namespace velmora
