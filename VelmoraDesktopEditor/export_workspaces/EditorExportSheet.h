#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include <QDialog>

#include "export_workspaces/ExportSheetController.h"

class QButtonGroup;
class QLabel;
class QMessageBox;
class QProgressBar;
class QPushButton;

namespace velmora {

class TimelinePreviewEngine;
class VelmoraToolbarSlider;

// The Edit workspace's export sheet ("Export Timeline"), objectName "EditorExportSheet": a
// window-modal dialog, 480 wide, over the workspace window, showing an ExportSheetController.
// The owner shows it (open()), and closes and deletes it when `onDismiss` runs; the sheet never
// closes itself. While an export runs, Escape and the window's close button do nothing:
// "Cancel Export" is the way out. Main thread only.
class EditorExportSheet final : public QDialog {
    Q_OBJECT
public:
    // `services` as for ExportSheetController; empty file panels become Qt panels over this
    // sheet.
    EditorExportSheet(TimelinePreviewEngine& engine, std::optional<std::filesystem::path> mediaFolderURL,
                      std::optional<std::filesystem::path> sessionFileURL, std::function<void()> onDismiss,
                      ExportSheetServices services = {}, QWidget* parent = nullptr);
    ~EditorExportSheet() override;

    ExportSheetController& controller() const { return *controller_; }
    // The "Export Error" alert while it is up.
    QMessageBox* errorAlert() const { return errorAlert_; }

    // Escape: the controller's dismiss rule.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildLayout();
    // Pushes every controller value into the widgets.
    void refresh();
    void syncErrorAlert();

    ExportSheetController* controller_;
    QButtonGroup* formatGroup_ = nullptr;
    QWidget* bitrateRow_ = nullptr;
    VelmoraToolbarSlider* bitrateSlider_ = nullptr;
    QLabel* bitrateValue_ = nullptr;
    QWidget* progressSection_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* percentLabel_ = nullptr;
    QLabel* etaLabel_ = nullptr;
    QLabel* detailLabel_ = nullptr;
    QPushButton* exportButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* closeButton_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QMessageBox* errorAlert_ = nullptr;
    // Inside a close event's dismiss request.
    bool dismissing_ = false;
};

} // namespace velmora
