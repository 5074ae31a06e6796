#pragma once

#include <QWidget>

class QLabel;

namespace velmora {

class EditorWorkspaceController;
class VelmoraToolbarSlider;

// The clip gain group of the edit tools bar: "Clip gain", a slider over 0…300 % in steps of 1
// and the value in whole percent. Present only while the selection names a gain target; every
// movement is applied at once. Main thread only.
class ClipGainBar final : public QWidget {
    Q_OBJECT
public:
    ClipGainBar(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    VelmoraToolbarSlider* slider() const { return slider_; }
    QLabel* valueLabel() const { return valueLabel_; }

    void refresh();

private:
    EditorWorkspaceController& workspace_;
    VelmoraToolbarSlider* slider_;
    QLabel* valueLabel_;
};

} // namespace velmora
