#pragma once

#include <memory>

#include <QTimer>
#include <QWidget>

#include "preview/PlayerPictureFeed.h"

namespace velmora {

class PreviewPlayer;

// A player's picture without controls: fitted whole inside the view and centred on black (bars
// where the aspects differ), repainted as the player shows new frames.
//
// Main thread only. objectName "playerView".
class PlayerPictureView final : public QWidget {
    Q_OBJECT
public:
    explicit PlayerPictureView(QWidget* parent = nullptr);

    const std::shared_ptr<PreviewPlayer>& player() const { return player_; }
    // Shows `player`'s picture (none: black). Always takes the player, even the same one, and
    // tells playerChanged().
    void setPlayer(std::shared_ptr<PreviewPlayer> player);

    // The picture shown; null without one.
    const QImage& picture() const { return feed_.image(); }
    // Takes the player's newest frame and repaints when it changed; true then. The view's timer
    // calls it while the view is visible.
    bool pullPicture();

signals:
    void playerChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updatePolling();

    std::shared_ptr<PreviewPlayer> player_;
    PlayerPictureFeed feed_;
    QTimer pollTimer_;
};

} // namespace velmora
