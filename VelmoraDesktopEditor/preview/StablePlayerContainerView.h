#pragma once

#include <QWidget>

namespace velmora {

class PlayerPictureView;

// A plain, ungraded player host: holds one PlayerPictureView and keeps it exactly the size of
// the container on every resize and every update, so the picture never lags behind a window
// resize. No view of the editor embeds it at present (the program monitor is the graded view);
// VideoPlayerView makes and updates it.
//
// Main thread only. objectName "StablePlayerContainerView".
class StablePlayerContainerView final : public QWidget {
    Q_OBJECT
public:
    explicit StablePlayerContainerView(QWidget* parent = nullptr);

    PlayerPictureView* playerView() const { return playerView_; }

    // Carried from VideoPlayerView's pauseUpdates on every update; nothing consults it yet.
    bool pauseLayoutUpdates() const { return pauseLayoutUpdates_; }
    void setPauseLayoutUpdates(bool pause) { pauseLayoutUpdates_ = pause; }

    // The player view's frame = the container's bounds.
    void layoutPlayerFrame();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    PlayerPictureView* playerView_;
    bool pauseLayoutUpdates_ = false;
};

} // namespace velmora
