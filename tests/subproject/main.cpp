// Links the export engine from an outer project and routes a job without a media folder,
// which must fail with the engine's own error rather than fail to link or crash.
#include <cstdio>
#include <optional>

#include "export/JobRouting.h"
#include "platform/foundation/Error.h"

int main()
{
    try {
        velmora::Exporter::exportJob("/nonexistent/velmora_outer_job.json", std::nullopt, std::nullopt,
                                     std::nullopt, "/nonexistent/out.mp4", std::nullopt, "none", 1, 1, 0, 0);
    } catch (const velmora::Error& error) {
        std::printf("%s\n", error.fullDescription().c_str());
        return 0;
    }
    return 1;
}
