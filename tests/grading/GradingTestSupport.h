#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "grading/PreviewFrameGrader.h"
#include "platform/image/Image.h"

namespace velmora::testing {

// One row of pixels at the origin, left to right.
inline Image rowImage(std::initializer_list<Color> colors)
{
    Image image = Image::allocate(static_cast<int>(colors.size()), 1);
    float* row = image.mutableRow(0);
    int i = 0;
    for (const Color& c : colors) {
        row[i * 4 + 0] = c.r;
        row[i * 4 + 1] = c.g;
        row[i * 4 + 2] = c.b;
        row[i * 4 + 3] = c.a;
        ++i;
    }
    return image;
}

inline Image singlePixel(float r, float g, float b, float a = 1)
{
    return rowImage({Color{r, g, b, a}});
}

// The text that grades a clip, as the monitor's grader decides it; none where nothing grades.
inline std::optional<std::string> clipLutText(const std::optional<EditorJobV2::ClipGrade>& grade,
                                              const std::optional<std::filesystem::path>& mediaFolder,
                                              const std::optional<std::filesystem::path>& sessionFile)
{
    LutResolution answer = PreviewFrameGrader::clipLut(grade, mediaFolder, sessionFile);
    return answer.grades() ? std::optional<std::string>(std::move(answer.text)) : std::nullopt;
}

inline Color firstPixel(const Image& image)
{
    return image.pixel(image.originX(), image.originY() + image.height() - 1);
}

} // namespace velmora::testing

#define EXPECT_COLOR_NEAR(actual, er, eg, eb, tol)                                                 \
    do {                                                                                           \
        const ::velmora::Color color_ = (actual);                                                  \
        EXPECT_NEAR(color_.r, (er), (tol)) << "red";                                               \
        EXPECT_NEAR(color_.g, (eg), (tol)) << "green";                                             \
        EXPECT_NEAR(color_.b, (eb), (tol)) << "blue";                                              \
    } while (0)
