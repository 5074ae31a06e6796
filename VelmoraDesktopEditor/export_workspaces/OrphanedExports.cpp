#include "export_workspaces/OrphanedExports.h"

#include <utility>
#include <vector>

#include "export_workspaces/ExportSheetCancelToken.h"

namespace velmora::OrphanedExports {

namespace {

struct Orphan {
    std::thread worker;
    std::shared_ptr<ExportCancelToken> token;
};

struct Orphans {
    std::vector<Orphan> list;
    // A process that ends without stopAll (a test, for one) lets what is left run out on its own.
    ~Orphans()
    {
        for (Orphan& orphan : list)
            orphan.worker.detach();
    }
};

// Main thread only.
std::vector<Orphan>& orphans()
{
    static Orphans orphans;
    return orphans.list;
}

} // namespace

void adopt(std::thread worker, std::shared_ptr<ExportCancelToken> token)
{
    if (worker.joinable())
        orphans().push_back({std::move(worker), std::move(token)});
}

void stopAll()
{
    std::vector<Orphan> ending = std::move(orphans());
    orphans().clear();
    for (Orphan& orphan : ending) {
        if (orphan.token)
            orphan.token->request();
    }
    for (Orphan& orphan : ending)
        orphan.worker.join();
}

} // namespace velmora::OrphanedExports
