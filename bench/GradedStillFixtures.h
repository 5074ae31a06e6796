#pragma once

// What the benchmarks of graded stills share: a camera-like clip, a look cube and a grade, so
// that their figures compare.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "model/EditorJobV2.h"

namespace velmora::bench {

// Writes a 4 s, 25 fps, 3840 × 2160 10-bit HEVC clip of a moving test card to `file` with the
// ffmpeg tool: one key frame a second and B-frames, what a camera clip looks like to a decoder.
// Throws when the tool fails.
inline void makeUhdHevc10BitClip(const std::filesystem::path& file)
{
    const std::string command =
        "ffmpeg -y -hide_banner -loglevel error -nostdin -f lavfi -i testsrc2=s=3840x2160:r=25:d=4 "
        "-c:v libx265 -preset ultrafast -pix_fmt yuv420p10le -tag:v hvc1 "
        "-x265-params log-level=error:keyint=25:min-keyint=25:bframes=3 '" +
        file.string() + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("could not make the benchmark clip with ffmpeg");
    }
}

// A 33-point look: a mild cross-channel mix with lifted blacks.
inline std::string lookCubeText()
{
    std::string text = "LUT_3D_SIZE 33\n";
    char line[96];
    for (int b = 0; b < 33; ++b) {
        for (int g = 0; g < 33; ++g) {
            for (int r = 0; r < 33; ++r) {
                const double R = r / 32.0;
                const double G = g / 32.0;
                const double B = b / 32.0;
                std::snprintf(line, sizeof line, "%.6f %.6f %.6f\n", 0.9 * R + 0.05 * G + 0.03,
                              0.85 * G + 0.1 * R * B + 0.02, 0.8 * B + 0.05 * G + 0.04);
                text += line;
            }
        }
    }
    return text;
}

// A mood at 0.8 and four basic-grade sliders off rest.
inline EditorJobV2::ClipGrade::GradeParams moodAndBasicGrade()
{
    EditorJobV2::ClipGrade::GradeParams params;
    params.moodKey = "kodak_portra";
    params.isMoodEnabled = FlexibleBool{true};
    params.moodAmount = 0.8;
    params.exposure = 0.1;
    params.contrast = 0.15;
    params.saturation = 0.1;
    params.temperature = 0.05;
    return params;
}

} // namespace velmora::bench
