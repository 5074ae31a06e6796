#include <gtest/gtest.h>

#include "model/EditorJobV2.h"
#include "model/JsonDecoding.h"

using namespace velmora;
using ClipGrade = EditorJobV2::ClipGrade;
using GradeParams = ClipGrade::GradeParams;

namespace {

GradeParams params(const std::string& json)
{
    const auto document = JsonDecoding::parse(json);
    return GradeParams::decode(KeyedContainer::root(document));
}

ClipGrade grade(const std::string& json)
{
    const auto document = JsonDecoding::parse(json);
    return ClipGrade::decode(KeyedContainer::root(document));
}

std::optional<bool> moodSwitch(const std::string& valueJson)
{
    const auto p = params(R"({"isMoodEnabled": )" + valueJson + "}");
    if (!p.isMoodEnabled) {
        return std::nullopt;
    }
    return p.isMoodEnabled->value;
}

} // namespace

TEST(FlexibleBoolDecoding, TrueForms)
{
    for (const char* json : {"true", "1", "0.5", "\"1\"", "\"TRUE\"", "\" Yes \"", "\"y\"", "-2", "\"\\n yes\\t\""}) {
        EXPECT_EQ(moodSwitch(json), true) << json;
    }
}

TEST(FlexibleBoolDecoding, FalseForms)
{
    for (const char* json : {"false", "0", "0.0", "\"no\"", "\"on\"", "\"\"", "{}", "[true]", "\"2\""}) {
        EXPECT_EQ(moodSwitch(json), false) << json;
    }
}

TEST(FlexibleBoolDecoding, NullAndAbsentAreAbsent)
{
    EXPECT_EQ(moodSwitch("null"), std::nullopt);
    EXPECT_FALSE(params("{}").isMoodEnabled);
    EXPECT_EQ(params(R"({"moodEnabled": 1})").moodEnabled, FlexibleBool{true});
    EXPECT_FALSE(params(R"({"moodEnabled": 1})").isMoodEnabled);
}

TEST(GradeParamsDecoding, BasicAliasesAreConsultedOnlyWhenTheLongKeyIsMissing)
{
    EXPECT_EQ(params(R"({"tempAdj": 5})").temperature, 5.0);
    EXPECT_EQ(params(R"({"temperature": 1, "tempAdj": 5})").temperature, 1.0);
    EXPECT_EQ(params(R"({"temperature": null, "tempAdj": 5})").temperature, 5.0);
    const auto all = params(R"({"exposureAdj": 0.1, "contrastAdj": 0.2, "highlightsAdj": 0.3, "shadowsAdj": 0.4,
        "saturationAdj": 0.5, "vibranceAdj": 0.6, "tempAdj": 0.7, "tintAdj": 0.8})");
    EXPECT_EQ(all.exposure, 0.1);
    EXPECT_EQ(all.contrast, 0.2);
    EXPECT_EQ(all.highlights, 0.3);
    EXPECT_EQ(all.shadows, 0.4);
    EXPECT_EQ(all.saturation, 0.5);
    EXPECT_EQ(all.vibrance, 0.6);
    EXPECT_EQ(all.temperature, 0.7);
    EXPECT_EQ(all.tint, 0.8);
}

TEST(GradeParamsDecoding, SharpnessAndVignetteFillBothNames)
{
    const auto sharpenOnly = params(R"({"sharpen": 0.3})");
    EXPECT_EQ(sharpenOnly.sharpness, 0.3);
    EXPECT_EQ(sharpenOnly.sharpen, 0.3);
    const auto both = params(R"({"sharpness": 0.2, "sharpen": 0.4})");
    EXPECT_EQ(both.sharpness, 0.2);
    EXPECT_EQ(both.sharpen, 0.4);
    const auto sharpnessOnly = params(R"({"sharpness": 0.25})");
    EXPECT_EQ(sharpnessOnly.sharpen, 0.25);

    const auto vignetteOnly = params(R"({"vignette": 0.6})");
    EXPECT_EQ(vignetteOnly.vignetteStrength, 0.6);
    EXPECT_EQ(vignetteOnly.vignette, 0.6);
    const auto vignetteBoth = params(R"({"vignetteStrength": 0.1, "vignette": 0.9})");
    EXPECT_EQ(vignetteBoth.vignetteStrength, 0.1);
    EXPECT_EQ(vignetteBoth.vignette, 0.9);
}

TEST(GradeParamsDecoding, MoodAmountsAreKeptApart)
{
    const auto p = params(R"({"moodAmount": 0.4, "moodIntensity": 0.9, "moodKey": "teal", "moodContrast": 1,
        "moodSaturation": 2, "moodWarmth": 3, "moodTealOrange": 4, "moodShadowLift": 5, "moodHighlightRolloff": 6,
        "debanding": 0.5})");
    EXPECT_EQ(p.moodAmount, 0.4);
    EXPECT_EQ(p.moodIntensity, 0.9);
    EXPECT_EQ(p.moodKey, "teal");
    EXPECT_EQ(p.moodContrast, 1.0);
    EXPECT_EQ(p.moodSaturation, 2.0);
    EXPECT_EQ(p.moodWarmth, 3.0);
    EXPECT_EQ(p.moodTealOrange, 4.0);
    EXPECT_EQ(p.moodShadowLift, 5.0);
    EXPECT_EQ(p.moodHighlightRolloff, 6.0);
    EXPECT_EQ(p.debanding, 0.5);
}

TEST(GradeParamsDecoding, WrongTypesFail)
{
    EXPECT_THROW(params(R"({"exposure": "0.5"})"), DecodingError);
    // A long key of the wrong type fails even when its alias holds a good value.
    EXPECT_THROW(params(R"({"exposure": true, "exposureAdj": 0.5})"), DecodingError);
    EXPECT_THROW(params(R"({"moodKey": 3})"), DecodingError);
}

TEST(ClipGradeDecoding, ReadsAllFieldsAndKeepsHasLutStrict)
{
    const auto g = grade(R"({"hasLut": true, "lutData": "LUT_3D_SIZE 2", "lutFile": "look.cube", "lutName": "Look",
        "lutStrength": 0.75, "gradeParams": {"exposure": 0.2}, "LutData": "ignored"})");
    EXPECT_EQ(g.hasLut, true);
    EXPECT_EQ(g.lutData, "LUT_3D_SIZE 2");
    EXPECT_EQ(g.lutFile, "look.cube");
    EXPECT_EQ(g.lutName, "Look");
    EXPECT_EQ(g.lutStrength, 0.75);
    ASSERT_TRUE(g.gradeParams);
    EXPECT_EQ(g.gradeParams->exposure, 0.2);
    EXPECT_EQ(g.mergedGradeParams(), g.gradeParams);

    try {
        grade(R"({"hasLut": 1})");
        FAIL() << "hasLut 1 must fail";
    } catch (const DecodingError& error) {
        EXPECT_EQ(error.kind(), DecodingError::Kind::typeMismatch);
        EXPECT_EQ(error.expectedType(), "Bool");
        EXPECT_EQ(error.pathText(), "hasLut");
    }
}

TEST(ClipGradeDecoding, EmptyObjectHasEveryFieldAbsent)
{
    EXPECT_EQ(grade("{}"), ClipGrade{});
    EXPECT_FALSE(grade("{}").mergedGradeParams());
}

TEST(ClipGradeDecoding, MemberwiseConstruction)
{
    GradeParams params;
    params.exposure = 0.5;
    const ClipGrade g{true, std::nullopt, "a.cube", "a.cube", 1.0, params};
    EXPECT_EQ(g.lutFile, "a.cube");
    EXPECT_EQ(g.gradeParams->exposure, 0.5);
}
