#pragma once

#include <optional>
#include <string>
#include <vector>

#include <QFont>
#include <QWidget>

#include "workspace/EditorWorkspaceController.h"

namespace velmora {

// The row of the active timeline's picture clips (video and stills) as small named chips in
// start-time order, 8 apart inside a 12 × 6 margin; clicking a chip selects its clip without
// moving the playhead, the selected clip's chip is highlighted. 36 high, or no height at all
// while there is no picture clip. The row scrolls sideways with the wheel and shows no scroll
// bar.
//
// One view draws every chip: a project of thousands of clips costs one widget, chips are laid
// out only as far as the row has been scrolled (a width measure each) and only the visible
// ones are painted. Main thread only.
class ClipPickerBar final : public QWidget {
    Q_OBJECT
public:
    static constexpr int barHeight = 36;

    ClipPickerBar(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    int chipCount() const { return static_cast<int>(shown_.size()); }
    bool isChipSelected(int index) const;
    // Where chip `index` is drawn, in this widget at the current scroll position; empty for no
    // such chip.
    QRect chipRect(int index);
    // The chip under `point` (widget coordinates), -1 for none.
    int chipAt(const QPoint& point);
    void scrollTo(int offset);

    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Lays out chips until one ends at or beyond `contentX` (row coordinates) or all are.
    void layOutTo(int contentX);
    void relayout();
    void updateCursor(const QPoint& point);

    EditorWorkspaceController& workspace_;
    std::vector<EditorWorkspaceController::PickerClip> shown_;
    std::optional<std::string> selectedId_;
    QFont chipFont_;
    // Left edges and widths, in row coordinates, of the chips laid out so far (a prefix).
    std::vector<int> lefts_;
    std::vector<int> widths_;
    int scroll_ = 0;
    int pressed_ = -1;
    bool pointing_ = false; // the pointing-hand cursor is set
};

} // namespace velmora
