#include "grading/ClipGradeCatalog.h"

#include <charconv>
#include <cmath>

namespace velmora::ClipGradeCatalog {

std::string SliderSpec::formatValue(double value) const
{
    char buffer[400];
    char* p = buffer;
    if (isSigned && !std::signbit(value) && !std::isnan(value)) {
        *p++ = '+';
    }
    const auto result = std::to_chars(p, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
    return std::string(buffer, result.ptr);
}

const std::vector<MoodGroup>& moodGroups()
{
    static const std::vector<MoodGroup> groups = {
        {"Cameras",
         {{"sony_venice", "Sony Venice"},
          {"sony_fx9", "Sony FX9"},
          {"canon_clog3", "Canon C-Log3"},
          {"canon_clog", "Canon C-Log"},
          {"panasonic_vlog", "Panasonic V-Log"},
          {"blackmagic_gen5", "Blackmagic Gen5"},
          {"red_komodo", "RED Komodo"},
          {"red_monstro", "RED Monstro"},
          {"red_dragon", "RED Dragon"},
          {"arri_alexa", "ARRI Alexa"},
          {"arri_alexa_mini", "ARRI Alexa Mini"},
          {"arri_alexa_logc", "ARRI Alexa LogC"},
          {"panavision_dxl2", "Panavision DXL2"}}},
        {"Film Stocks",
         {{"kodak_vision", "Kodak Vision3 500T"},
          {"kodak_vision_2", "Kodak Vision3 250D"},
          {"kodak_portra", "Kodak Portra 400"},
          {"kodak_portra_800", "Kodak Portra 800"},
          {"kodak_ektar", "Kodak Ektar 100"},
          {"kodak_5219", "Kodak 5219"},
          {"kodak_5207", "Kodak 5207"},
          {"kodak_5203", "Kodak 5203"},
          {"fuji_eterna", "Fuji Eterna 250D"},
          {"muted_fuji", "Muted Eterna"},
          {"fuji_velvia", "Velvia 50"},
          {"fuji_provia", "Provia 100F"},
          {"fuji_superia", "Superia 400"},
          {"fuji_reala", "Reala 100"},
          {"fuji_astia", "Astia 100F"},
          {"agfa_vista", "AGFA Vista 400"},
          {"cinestill_800t", "CineStill 800T"},
          {"cinestill_50d", "CineStill 50D"}}},
        {"Looks",
         {{"teal_orange", "Teal & Orange"},
          {"modern_blockbuster", "Modern Epic"},
          {"golden_hour", "Golden Hour"},
          {"warm_velmora", "Warm Cinema"},
          {"bleach_bypass", "Bleach Bypass"},
          {"desaturated_sienna", "Desat Sienna"},
          {"classic_hollywood", "Classic Hollywood"},
          {"vintage_summer", "Vintage Summer"},
          {"nostalgic_chrome", "Nostalgic Film"},
          {"midnight_teal", "Midnight Teal"},
          {"lomo_pop", "Lomo Pop"},
          {"hdr_punch", "HDR Punch"},
          {"dreamy_pastel", "Dreamy Pastel"},
          {"film_print", "2383 Print"},
          {"faded_noir", "Faded Noir (B&W)"}}},
    };
    return groups;
}

const std::vector<SliderSpec>& moodSliders()
{
    static const std::vector<SliderSpec> sliders = {
        {"moodAmount", "Mood Amount", 0.0, 1.0, 0.01, 1.0, false},
        {"moodContrast", "Mood Contrast", -1.0, 1.0, 0.01, 0.0, true},
        {"moodSaturation", "Mood Saturation", -1.0, 1.0, 0.01, 0.0, true},
        {"moodWarmth", "Mood Warmth", -1.0, 1.0, 0.01, 0.0, true},
        {"moodTealOrange", "Teal/Orange Bias", -1.0, 1.0, 0.01, 0.0, true},
        {"moodShadowLift", "Shadow Lift", -1.0, 1.0, 0.01, 0.0, true},
        {"moodHighlightRolloff", "Highlight Rolloff", 0.0, 1.0, 0.01, 0.0, false},
    };
    return sliders;
}

const std::vector<SliderSpec>& basicSliders()
{
    static const std::vector<SliderSpec> sliders = {
        {"exposure", "Exposure", -2.0, 2.0, 0.01, 0.0, true},
        {"contrast", "Contrast", -1.0, 1.0, 0.01, 0.0, true},
        {"highlights", "Highlights", -1.0, 1.0, 0.01, 0.0, true},
        {"shadows", "Shadows", -1.0, 1.0, 0.01, 0.0, true},
        {"saturation", "Saturation", -1.0, 1.0, 0.01, 0.0, true},
        {"vibrance", "Vibrance", -1.0, 1.0, 0.01, 0.0, true},
        {"temperature", "Temperature", -1.0, 1.0, 0.01, 0.0, true},
        {"tint", "Tint", -1.0, 1.0, 0.01, 0.0, true},
    };
    return sliders;
}

const std::unordered_map<std::string, double>& basicShaderScale()
{
    static const std::unordered_map<std::string, double> scale = {
        {"exposure", 0.25},   {"contrast", 0.35},    {"highlights", 0.35}, {"shadows", 0.35},
        {"temperature", 0.25}, {"tint", 0.3},        {"saturation", 1.0},  {"vibrance", 1.0},
    };
    return scale;
}

} // namespace velmora::ClipGradeCatalog
