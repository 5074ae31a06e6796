#pragma once

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "platform/ui/FilePanels.h"

namespace velmora {

// File panels as Qt's own (non-native) QFileDialog, opened window-modal over `parent` with
// open(), so the event loop keeps running while the panel is up.
class QtFilePanels final : public FilePanels {
public:
    explicit QtFilePanels(QWidget* parent = nullptr) : parent_(parent) {}
    void run(const FilePanelRequest& request, FilePanelCompletion completion) override;

    // The name filter a request shows, e.g. "JSON (*.json *.JSON)"; "All files (*)" when the
    // request accepts every file.
    static QString nameFilter(const FilePanelRequest& request);
    // The filters offered, first the request's; "All files (*)" after it when other file types
    // are allowed.
    static QStringList nameFilters(const FilePanelRequest& request);

    // The folder a panel opens in: the one the last panel of its kind (open or save, files or
    // folders, the same types) was closed in with a choice, else the request's directory (the
    // project's folder), else the user's Videos folder, else the home folder.
    static QString startFolder(const FilePanelRequest& request);

private:
    QPointer<QWidget> parent_;
};

} // namespace velmora
