#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;

namespace velmora {

class EditorWorkspaceController;
class VelmoraToolbarSlider;

// The row above the timeline lanes: "Timeline", the timeline picker (only for a project with
// two or more timelines), the legend of the lane marks, "Video" and "Audio" (one more lane each),
// the zoom slider with its read-out in pixels per second and the lane height slider (28 to 128 in
// steps of 2) with its read-out. Follows the engine's session and the workspace's zoom and lane
// height. Main thread only.
class TimelineHeaderView final : public QWidget {
    Q_OBJECT
public:
    TimelineHeaderView(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    QComboBox* timelinePicker() const { return picker_; }
    QPushButton* addVideoLaneButton() const { return addVideo_; }
    QPushButton* addAudioLaneButton() const { return addAudio_; }
    VelmoraToolbarSlider* zoomSlider() const { return zoom_; }
    QLabel* zoomReadout() const { return zoomReadout_; }
    VelmoraToolbarSlider* laneHeightSlider() const { return laneHeight_; }
    QLabel* laneHeightReadout() const { return laneHeightReadout_; }

private:
    void refreshPicker();
    void refreshZoom();
    void refreshLaneHeight();

    EditorWorkspaceController& workspace_;
    QComboBox* picker_ = nullptr;
    QPushButton* addVideo_ = nullptr;
    QPushButton* addAudio_ = nullptr;
    VelmoraToolbarSlider* zoom_ = nullptr;
    QLabel* zoomReadout_ = nullptr;
    VelmoraToolbarSlider* laneHeight_ = nullptr;
    QLabel* laneHeightReadout_ = nullptr;
};

} // namespace velmora
