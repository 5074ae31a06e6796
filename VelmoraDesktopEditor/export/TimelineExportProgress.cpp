#include "export/TimelineExportProgress.h"

#include <algorithm>

namespace velmora {

double TimelineExportProgress::fraction() const
{
    if (framesTotal < 1) {
        return 0;
    }
    const double value = static_cast<double>(framesCompleted) / static_cast<double>(framesTotal);
    return std::clamp(value, 0.0, 1.0);
}

} // namespace velmora
