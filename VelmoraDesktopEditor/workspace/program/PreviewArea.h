#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

namespace velmora {

class EditorWorkspaceController;
class PreviewPlaceholderView;

// The Edit workspace's monitor: the program view kept at the canvas aspect ratio and centred on
// black, the canvas read-out (size, frame rate, source under the playhead) in the bottom-left
// corner while paused with a player, a faint border, and the placeholder on top while the
// engine has no player. Takes all the height the column leaves. Main thread only.
class PreviewArea final : public QWidget {
    Q_OBJECT
public:
    // Takes ownership of `programView` (none: the area stays black).
    PreviewArea(EditorWorkspaceController& workspace, QWidget* programView, QWidget* parent = nullptr);

    QWidget* programView() const { return programView_; }
    PreviewPlaceholderView* placeholder() const { return placeholder_; }
    QWidget* canvasReadout() const { return readout_; }
    QLabel* canvasLabel() const { return canvasLabel_; }
    QLabel* linkedSourceLabel() const { return sourceLabel_; }

    // The largest rectangle of the aspect ratio (width / height) centred in `area`.
    static QRect fittedRect(const QRect& area, double aspect);

    void refresh();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshReadout();
    void placeReadout();
    void layoutChildren();

    EditorWorkspaceController& workspace_;
    QPointer<QWidget> programView_;
    QWidget* readout_;
    QLabel* canvasLabel_;
    QLabel* sourceLabel_;
    QWidget* border_;
    PreviewPlaceholderView* placeholder_;
};

} // namespace velmora
