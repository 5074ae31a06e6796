#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace velmora {

class EditorWorkspaceController;
class PlaybackScrubBar;

// The transport row under the program preview: play/pause, one-frame steps back and forward,
// the playhead time, the scrub bar over the whole timeline, the duration and the canvas
// read-out. Nothing here is ever disabled; what a command does without a project is the
// engine's. Main thread only.
class PlaybackBar final : public QWidget {
    Q_OBJECT
public:
    PlaybackBar(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    QPushButton* playPauseButton() const { return playPause_; }
    QPushButton* previousFrameButton() const { return previousFrame_; }
    QPushButton* nextFrameButton() const { return nextFrame_; }
    QLabel* timeLabel() const { return timeLabel_; }
    QLabel* durationLabel() const { return durationLabel_; }
    QLabel* canvasLabel() const { return canvasLabel_; }
    PlaybackScrubBar* scrubBar() const { return scrubBar_; }

    void refresh();

private:
    // The playhead moves up to 120 times a second while playing: only what follows it.
    void refreshPlayhead();

    EditorWorkspaceController& workspace_;
    QPushButton* playPause_;
    QPushButton* previousFrame_;
    QPushButton* nextFrame_;
    QLabel* timeLabel_;
    PlaybackScrubBar* scrubBar_;
    QLabel* durationLabel_;
    QLabel* canvasLabel_;
};

} // namespace velmora
