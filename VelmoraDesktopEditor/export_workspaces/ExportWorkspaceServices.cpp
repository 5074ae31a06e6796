#include "export_workspaces/ExportWorkspaceServices.h"

#include "export_workspaces/EngineJobExporter.h"
#include "platform/dispatch/QtMainQueue.h"
#include "platform/ui/DesktopFileRevealer.h"
#include "platform/ui/QtFilePanels.h"

namespace velmora {

std::shared_ptr<MainQueue> applicationMainQueue()
{
    // Deliberately never destroyed: its Qt context object must not die on a worker thread
    // that happens to drop the last reference.
    static const auto* queue = new std::shared_ptr<MainQueue>(std::make_shared<QtMainQueue>());
    return *queue;
}

ExportWorkspaceServices ExportWorkspaceServices::desktop(QWidget* panelParent)
{
    return {applicationMainQueue(), std::make_shared<EngineJobExporter>(), std::make_shared<QtFilePanels>(panelParent),
            std::make_shared<DesktopFileRevealer>()};
}

} // namespace velmora
