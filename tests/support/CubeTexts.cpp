#include "support/CubeTexts.h"

#include <nlohmann/json.hpp>

namespace velmora::test {

namespace {

// The lattice with each entry's components spelled from `steps` (index 0, 1, 2).
std::string latticeCube(const char* const (&steps)[3])
{
    std::string text = "LUT_3D_SIZE 3\n";
    for (int b = 0; b < 3; ++b) {
        for (int g = 0; g < 3; ++g) {
            for (int r = 0; r < 3; ++r) {
                text += std::string(steps[r]) + " " + steps[g] + " " + steps[b] + "\n";
            }
        }
    }
    return text;
}

} // namespace

std::string constantCubeText(double r, double g, double b)
{
    const std::string entry = nlohmann::json(r).dump() + " " + nlohmann::json(g).dump() + " " +
                              nlohmann::json(b).dump() + "\n";
    std::string text = "TITLE \"constant\"\nLUT_3D_SIZE 3\n";
    for (int i = 0; i < 27; ++i) {
        text += entry;
    }
    return text;
}

std::string identityCubeText()
{
    return latticeCube({"0", "0.5", "1"});
}

std::string invertingCubeText()
{
    return latticeCube({"1", "0.5", "0"});
}

std::string swappingRedBlueCubeText()
{
    const char* const steps[] = {"0", "0.5", "1"};
    std::string text = "LUT_3D_SIZE 3\n";
    for (int i = 0; i < 27; ++i) { // red fastest: the entry of (r, g, b) is (b, g, r)
        text += std::string(steps[i / 9]) + " " + steps[i / 3 % 3] + " " + steps[i % 3] + "\n";
    }
    return text;
}

} // namespace velmora::test
