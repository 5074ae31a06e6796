#include "preview/LutNameCatalog.h"

#include "model/ProjectLUTResolver.h"

namespace velmora {

LutNameCatalog::LutNameCatalog(std::shared_ptr<MainQueue> mainQueue, BackgroundRunner runInBackground,
                               std::function<void()> onListed, Lister lister)
    : mainQueue_(std::move(mainQueue)), runInBackground_(std::move(runInBackground)), lister_(std::move(lister)),
      kept_(std::make_shared<Kept>(Kept{{std::string(ProjectLUTResolver::noLutSentinel)}, std::move(onListed)}))
{
    if (!lister_) {
        lister_ = [](const std::optional<std::filesystem::path>& mediaFolder,
                     const std::optional<std::filesystem::path>& sessionFile, std::stop_token stop) {
            return ProjectLUTResolver::availableLUTNames(mediaFolder, sessionFile, std::move(stop));
        };
    }
}

LutNameCatalog::~LutNameCatalog()
{
    stop_.request_stop();
}

void LutNameCatalog::refresh(const std::optional<std::filesystem::path>& mediaFolder,
                             const std::optional<std::filesystem::path>& sessionFile)
{
    // The listing asked for before is superseded: stopped if under way, dropped when it lands.
    stop_.request_stop();
    stop_ = std::stop_source();
    if (!runInBackground_) {
        kept_->names = lister_(mediaFolder, sessionFile, stop_.get_token());
        if (kept_->onListed) {
            kept_->onListed();
        }
        return;
    }
    runInBackground_([mediaFolder, sessionFile, lister = lister_, stop = stop_.get_token(), queue = mainQueue_,
                      kept = std::weak_ptr<Kept>(kept_)] {
        if (stop.stop_requested()) {
            return;
        }
        std::vector<std::string> names = lister(mediaFolder, sessionFile, stop);
        if (stop.stop_requested()) {
            return;
        }
        queue->post([stop, kept, names = std::move(names)]() mutable {
            const std::shared_ptr<Kept> target = kept.lock();
            if (!target || stop.stop_requested()) {
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
