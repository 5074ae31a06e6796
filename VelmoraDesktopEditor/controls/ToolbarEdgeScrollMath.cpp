#include "controls/ToolbarEdgeScrollMath.h"

#include <algorithm>
#include <cmath>

namespace velmora::ToolbarEdgeScrollMath {

double maxOffset(double documentWidth, double clipWidth)
{
    return std::max(documentWidth - clipWidth, 0.0);
}

double clampOffset(double offset, double documentWidth, double clipWidth)
{
    return std::clamp(offset, 0.0, maxOffset(documentWidth, clipWidth));
}

double documentWidth(double preferredWidth, double minimumWidth, double toolbarWidth)
{
    return std::max({preferredWidth, minimumWidth, toolbarWidth});
}

bool edgesVisible(double documentWidth, double clipWidth)
{
    return documentWidth - clipWidth > arrowOverflow;
}

double pagedOffset(double offset, int direction, double documentWidth, double clipWidth)
{
    return clampOffset(offset + (direction < 0 ? -pageStep : pageStep), documentWidth, clipWidth);
}

std::optional<double> wheelOffset(double offset, double dx, double dy, double documentWidth, double clipWidth)
{
    if (documentWidth - clipWidth <= wheelOverflow)
        return std::nullopt;
    double moved = 0;
    if (std::abs(dy) <= std::abs(dx))
        moved = offset - 2 * dx;
    else if (std::abs(dy) > 0.1)
        moved = offset + 3 * dy;
    else
        return std::nullopt;
    return clampOffset(moved, documentWidth, clipWidth);
}

Restore restoreOffset(double remembered, double documentWidth, double clipWidth)
{
    if (remembered <= 0.5)
        return {Restore::Outcome::notRestored, 0.0};
    const double maximum = maxOffset(documentWidth, clipWidth);
    if (maximum >= 1)
        return {Restore::Outcome::restored, std::min(remembered, maximum)};
    return {Restore::Outcome::pending, 0.0};
}

} // namespace velmora::ToolbarEdgeScrollMath
