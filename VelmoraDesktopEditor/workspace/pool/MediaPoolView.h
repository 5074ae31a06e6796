#pragma once

#include <QWidget>

class QPushButton;
class QScrollArea;
class QToolButton;

namespace velmora {

class EditorWorkspaceController;
class MediaPoolGrid;

// The media pool column's content: the header ("Media Pool", "Import" for files and folders, the
// close button) over the scrolling grid of the open project's sources.
// A click on a card selects its source, a double click opens it in the source viewer. Follows the
// engine's session and selection and the workspace's pool selection. Main thread only.
class MediaPoolView final : public QWidget {
    Q_OBJECT
public:
    MediaPoolView(EditorWorkspaceController& workspace, QWidget* parent = nullptr);

    MediaPoolGrid* grid() const { return grid_; }
    QToolButton* importButton() const { return importButton_; }
    QPushButton* closeButton() const { return closeButton_; }

private:
    void refresh();

    EditorWorkspaceController& workspace_;
    MediaPoolGrid* grid_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QToolButton* importButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
};

} // namespace velmora
