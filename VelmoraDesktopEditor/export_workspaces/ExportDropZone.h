#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

namespace velmora {

class ExportWorkspaceController;

// The drop zone of the workspace: the drop hint and "Drop now…" / "Or use the buttons below" on
// a rounded, outlined panel. Accepts drags that carry local files; the dropped URLs go to the
// controller, which tells the hover state back through isDropTarget.
class ExportDropZone final : public QWidget {
    Q_OBJECT
public:
    explicit ExportDropZone(ExportWorkspaceController& controller, QWidget* parent = nullptr);

    // Reads the hint and the hover state from the controller.
    void sync();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    ExportWorkspaceController& controller_;
    QLabel* hint_ = nullptr;
    QLabel* action_ = nullptr;
};

} // namespace velmora
