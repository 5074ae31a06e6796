#include <cstring>

#include "grading/CubeLUT.h"
#include "model/CubeText.h"

namespace velmora {

std::vector<float> CubeLUT::floats() const
{
    std::vector<float> out(data.size() / sizeof(float));
    if (!out.empty()) {
        std::memcpy(out.data(), data.data(), out.size() * sizeof(float));
    }
    return out;
}

CubeLUT CubeLUT::fromFloats(std::int64_t size, const std::vector<float>& floats)
{
    CubeLUT cube;
    cube.size = size;
    cube.data.resize(floats.size() * sizeof(float));
    if (!floats.empty()) {
        std::memcpy(cube.data.data(), floats.data(), cube.data.size());
    }
    return cube;
}

namespace Exporter {

CubeLUT parseCube(std::string_view text)
{
    const CubeText::Lattice lattice = CubeText::read(text);
    return CubeLUT::fromFloats(lattice.size, lattice.values);
}

} // namespace Exporter

} // namespace velmora
