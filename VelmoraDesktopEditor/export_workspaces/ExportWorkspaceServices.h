#pragma once

#include <memory>

#include "export_workspaces/JobExporter.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/FileRevealer.h"

class QWidget;

namespace velmora {

// The services the "10-bit Export" workspace is given. Shared, because an export or a preview
// render keeps the exporter and the main queue alive until it ends, also after the workspace is
// gone.
struct ExportWorkspaceServices {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<JobExporter> exporter;
    std::shared_ptr<FilePanels> filePanels;
    std::shared_ptr<FileRevealer> fileRevealer;

    // The desktop's own: the application's main queue, the export engine, Qt's file panels
    // opened over `panelParent`, and the file manager's reveal. Main thread only.
    static ExportWorkspaceServices desktop(QWidget* panelParent);
};

// The main queue of the Qt event loop, made on first use (on the main thread) and never
// destroyed, so a detached export may post its end to it at any time.
std::shared_ptr<MainQueue> applicationMainQueue();

} // namespace velmora
