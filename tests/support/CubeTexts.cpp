#include "support/CubeTexts.h"

#include <cstdint>

#include <nlohmann/json.hpp>

namespace velmora::test {

namespace {

// The lattice with each entry's components spelled from `steps` (index 0, 1, 2); with
// `swapRedBlue` the entry of lattice point (r, g, b) is spelled (b, g, r).
std::string latticeCube(const char* const (&steps)[3], bool swapRedBlue = false)
{
    std::string text = "LUT_3D_SIZE 3\n";
    for (int b = 0; b < 3; ++b) {
        for (int g = 0; g < 3; ++g) {
            for (int r = 0; r < 3; ++r) {
                text += std::string(steps[swapRedBlue ? b : r]) + " " + steps[g] + " " +
                        steps[swapRedBlue ? r : b] + "\n";
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
    return latticeCube({"0", "0.5", "1"}, true);
}

std::string bentMiddleCubeText(double redMiddle, double greenMiddle, double blueMiddle)
{
    const auto step = [](int index, double middle) {
        return index == 0 ? std::string("0") : index == 2 ? std::string("1") : nlohmann::json(middle).dump();
    };
    std::string text = "LUT_3D_SIZE 3\n";
    for (int b = 0; b < 3; ++b) {
        for (int g = 0; g < 3; ++g) {
            for (int r = 0; r < 3; ++r) {
                text += step(r, redMiddle) + " " + step(g, greenMiddle) + " " + step(b, blueMiddle) + "\n";
            }
        }
    }
    return text;
}

std::string twoPointCubeText()
{
    return "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
}

std::string truncatedCubeText()
{
    std::string text = "TITLE \"cut short\"\nLUT_3D_SIZE 17\n";
    for (int i = 0; i < 198; ++i) {
        const std::string step = nlohmann::json(i % 17 / 16.0).dump();
        text += step + " " + step + " " + step + "\n";
    }
    return text;
}

std::string bananaSizeCubeText()
{
    std::string text = identityCubeText();
    return "LUT_3D_SIZE banana" + text.substr(text.find('\n'));
}

std::pair<std::string, std::string> twinCubeTextsOfAWeakDigest()
{
    const auto text = [](std::uint64_t first, std::uint64_t second) {
        std::string text = "# seed: ";
        for (const std::uint64_t word : {first, second}) {
            for (int byte = 0; byte < 8; ++byte) {
                text += static_cast<char>((word >> (8 * byte)) & 0xff);
            }
        }
        text += "\n" + identityCubeText();
        text += "#" + std::string(4200 - text.size() - 2, 'x') + "\n";
        return text;
    };
    return {text(0x2062613a6b6f6f6cULL, 0x4029656358463d28ULL), text(0x0438d453fbdafeffULL, 0xee408a9c83718214ULL)};
}

} // namespace velmora::test
