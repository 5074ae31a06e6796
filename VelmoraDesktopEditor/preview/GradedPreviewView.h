#pragma once

#include <memory>

#include <QTimer>
#include <QWidget>

namespace velmora {

class GradedPreviewController;
class MainQueue;
class TimelinePreviewEngine;

// The program view: the engine's player picture, and the graded still of the paused frame over
// it, both filling the project canvas fitted whole and centred on black (the picture covers
// that frame, cropped to it where its aspect differs). Its rules live in its
// GradedPreviewController; this widget paints what the controller says and polls the player's
// picture while it is shown.
//
// Two hosts: the Edit workspace's monitor (lightweight and cleanFeed false), and the clean-feed
// window (both true), where the view shows the ungraded picture only (a paused still image as
// it comes) and lets every click through.
//
// Main thread only. objectName "GradedPreviewView".
class GradedPreviewView final : public QWidget {
    Q_OBJECT
public:
    // How often the player's picture is looked at while it is shown (milliseconds): about the
    // display's rate, so a new frame is painted within one display frame.
    static constexpr int playerPicturePollMs = 15;

    // `mainQueue`: where grading results come back (empty: the application's QtMainQueue).
    GradedPreviewView(TimelinePreviewEngine& engine, std::shared_ptr<MainQueue> mainQueue, bool lightweight,
                      bool cleanFeed, QWidget* parent = nullptr);
    ~GradedPreviewView() override;

    GradedPreviewController& controller() const { return *controller_; }
    bool isPollingPlayerPicture() const { return pollTimer_.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updatePolling();

    GradedPreviewController* controller_;
    QTimer pollTimer_;
};

} // namespace velmora
