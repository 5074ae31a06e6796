#pragma once

#include <memory>

class QWidget;

namespace velmora {

class PreviewPlayer;
class StablePlayerContainerView;

// The description of a plain player view: which player to show, and whether layout updates are
// paused. Makes the StablePlayerContainerView that shows it and brings an existing one up to
// date, as a host does on every change of these values. Main thread only.
struct VideoPlayerView {
    std::shared_ptr<PreviewPlayer> player;
    bool pauseUpdates = false;

    // A new container showing `player`.
    StablePlayerContainerView* makeView(QWidget* parent) const;
    // Carries pauseUpdates over, hands the player view `player` only when it shows another one
    // (none and none are the same), and fits the player view to the container.
    void updateView(StablePlayerContainerView& container) const;
};

} // namespace velmora
