#include "preview/LutNameCatalog.h"

#include "model/ProjectLUTResolver.h"

namespace velmora {

LutNameCatalog::LutNameCatalog(std::shared_ptr<MainQueue> mainQueue, BackgroundRunner runInBackground,
                               std::function<void()> onListed)
    : mainQueue_(std::move(mainQueue)), runInBackground_(std::move(runInBackground)),
      kept_(std::make_shared<Kept>(Kept{{std::string(ProjectLUTResolver::noLutSentinel)}, std::move(onListed)}))
{
}

void LutNameCatalog::refresh(const std::optional<std::filesystem::path>& mediaFolder,
                             const std::optional<std::filesystem::path>& sessionFile)
{
    const std::uint64_t number = newest_->fetch_add(1) + 1;
    if (!runInBackground_) {
        kept_->names = ProjectLUTResolver::availableLUTNames(mediaFolder, sessionFile);
        if (kept_->onListed) {
            kept_->onListed();
        }
        return;
    }
    runInBackground_([number, mediaFolder, sessionFile, newest = newest_, queue = mainQueue_,
                      kept = std::weak_ptr<Kept>(kept_)] {
        if (newest->load() != number) {
            return;
        }
        std::vector<std::string> names = ProjectLUTResolver::availableLUTNames(mediaFolder, sessionFile);
        queue->post([number, newest, kept, names = std::move(names)]() mutable {
            const std::shared_ptr<Kept> target = kept.lock();
            if (!target || newest->load() != number) {
                return;
            }
            target->names = std::move(names);
            if (target->onListed) {
                target->onListed();
            }
        });
    });
}

} // namespace velmora
