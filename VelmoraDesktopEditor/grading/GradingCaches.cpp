#include "grading/GradingCaches.h"

#include <charconv>

namespace velmora::Exporter {

FifoCache<Image>& previewBaseFrameCache()
{
    static FifoCache<Image> cache(6);
    return cache;
}

CachedCubeRef makeCachedCube(std::string_view cubeText)
{
    CubeLUT cube = parseCube(cubeText);
    CubeFilter filter = makeCubeFilter(cube);
    return std::make_shared<const CachedCube>(CachedCube{std::move(cube), std::move(filter)});
}

FifoCache<CachedCubeRef>& basicCubeCache()
{
    static FifoCache<CachedCubeRef> cache(24);
    return cache;
}

FifoCache<CachedCubeRef>& moodCubeCache()
{
    static FifoCache<CachedCubeRef> cache(24);
    return cache;
}

std::string formatSixDecimals(double value)
{
    // Enough for the largest double in fixed notation (309 digits) and the fraction.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

std::string previewBaseFrameKey(const std::string& sourcePath, std::int64_t frameIndex,
                                std::int64_t outW, std::int64_t outH)
{
    return sourcePath + "#" + std::to_string(frameIndex) + "#" + std::to_string(outW) + "x" +
           std::to_string(outH);
}

} // namespace velmora::Exporter
