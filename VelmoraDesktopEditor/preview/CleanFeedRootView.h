#pragma once

#include <functional>
#include <memory>

#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class QPushButton;

namespace velmora {

class GradedPreviewView;
class MainQueue;
class TimelinePreviewEngine;

// The content of the clean-feed window: the engine's raw program picture on black, fitted to
// the canvas; the playhead's timecode at the bottom; "⛶ Fullscreen" and "✕ Close" at the top
// right. Only the two buttons take clicks.
//
// Main thread only. objectName "CleanFeedRootView".
class CleanFeedRootView final : public QWidget {
    Q_OBJECT
public:
    // `onClose` runs for "✕ Close". `mainQueue` as for GradedPreviewView.
    CleanFeedRootView(TimelinePreviewEngine& engine, std::shared_ptr<MainQueue> mainQueue,
                      std::function<void()> onClose, QWidget* parent = nullptr);

    // "MM:SS:FF" of a time: whole frames at a fixed 30 per second, halves away from zero; the
    // minutes are not wrapped at 60 (6000 s is "100:00:00"). Times below 0 or not a number
    // count as 0.
    static QString timecodeText(double seconds);

    // Toggles full screen on the first visible top-level window titled "Clean Feed"; nothing
    // without one.
    static void toggleFullScreenOfCleanFeedWindow();

    GradedPreviewView* programView() const { return programView_; }
    QLabel* timecodeLabel() const { return timecode_; }
    QPushButton* fullScreenButton() const { return fullScreenButton_; }
    QPushButton* closeButton() const { return closeButton_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void refreshTimecode();
    // Centres the timecode label at the bottom, sized to its text.
    void placeTimecode();

    QPointer<TimelinePreviewEngine> engine_;
    GradedPreviewView* programView_;
    QWidget* buttonRow_;
    QPushButton* fullScreenButton_;
    QPushButton* closeButton_;
    QLabel* timecode_;
};

} // namespace velmora
