#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "GradingTestSupport.h"
#include "grading/ClipGradeCatalog.h"
#include "grading/ClipGradeEditState.h"
#include "grading/PreviewFrameGrader.h"
#include "model/EditSession.h"
#include "platform/foundation/StringText.h"
#include "support/CubeTexts.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using ClipGrade = EditorJobV2::ClipGrade;
using GradeParams = EditorJobV2::ClipGrade::GradeParams;

EditSession::Clip clipWithGrade(const ClipGrade& grade)
{
    EditSession::Clip clip("c1");
    clip.type = "video";
    clip.grade = grade;
    return clip;
}

EditSession::Clip clipWithParams(const GradeParams& params)
{
    ClipGrade grade;
    grade.gradeParams = params;
    return clipWithGrade(grade);
}

FlexibleBool on()
{
    return FlexibleBool{true};
}

// ---- defaults and equality ----

TEST(ClipGradeEditStateDefaults, FreshStateIsAtRest)
{
    const ClipGradeEditState state;
    EXPECT_FALSE(state.moodEnabled);
    EXPECT_EQ(state.moodKey, "none");
    EXPECT_EQ(state.moodAmount, 1.0);
    for (double v : {state.moodContrast, state.moodSaturation, state.moodWarmth, state.moodTealOrange,
                     state.moodShadowLift, state.moodHighlightRolloff, state.exposure, state.contrast,
                     state.highlights, state.shadows, state.saturation, state.vibrance, state.temperature,
                     state.tint}) {
        EXPECT_EQ(v, 0.0);
    }
    EXPECT_EQ(state.lutReference, "None");
    EXPECT_FALSE(state.hasAnyLut());
    EXPECT_FALSE(state.hasAnyGrade());
}

TEST(ClipGradeEditStateDefaults, NoClipOrNoGradeGivesTheDefaults)
{
    EXPECT_EQ(ClipGradeEditState::from(std::nullopt), ClipGradeEditState());
    EditSession::Clip plain("c1");
    EXPECT_EQ(ClipGradeEditState::from(plain), ClipGradeEditState());
}

TEST(ClipGradeEditStateDefaults, MemberwiseInitialiserDefaultsTheRest)
{
    const ClipGradeEditState state(true, "kodak_vision");
    ClipGradeEditState expected;
    expected.moodEnabled = true;
    expected.moodKey = "kodak_vision";
    EXPECT_EQ(state, expected);

    const ClipGradeEditState full(true, "lomo_pop", 0.5, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 1.5, -0.5, 0.25, -0.25,
                                  0.75, -0.75, 0.1, -0.1, "Look.cube");
    EXPECT_EQ(full.moodHighlightRolloff, 0.6);
    EXPECT_EQ(full.exposure, 1.5);
    EXPECT_EQ(full.tint, -0.1);
    EXPECT_EQ(full.lutReference, "Look.cube");
}

TEST(ClipGradeEditStateDefaults, ResetReturnsEveryFieldToRest)
{
    ClipGradeEditState state(true, "lomo_pop", 0.5, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 1.5, -0.5, 0.25, -0.25, 0.75,
                             -0.75, 0.1, -0.1, "Look.cube");
    state.reset();
    EXPECT_EQ(state, ClipGradeEditState());
}

TEST(ClipGradeEditStateDefaults, EqualityComparesEveryField)
{
    ClipGradeEditState a;
    ClipGradeEditState b;
    b.vibrance = 0.01;
    EXPECT_NE(a, b);
    b.vibrance = 0;
    b.lutReference = "none";
    EXPECT_NE(a, b);
}

// ---- reading a clip's grade ----

TEST(ClipGradeEditStateFromClip, LutFileIsTakenTrimmedWithNothingAppended)
{
    ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "  Rec709Look \n";
    grade.lutName = "Other.cube";
    EXPECT_EQ(ClipGradeEditState::from(clipWithGrade(grade)).lutReference, "Rec709Look");
}

TEST(ClipGradeEditStateFromClip, LutNameWithoutDotGetsCubeExtension)
{
    ClipGrade grade;
    grade.lutFile = "   ";
    grade.lutName = " Warm ";
    EXPECT_EQ(ClipGradeEditState::from(clipWithGrade(grade)).lutReference, "Warm.cube");
    grade.lutName = "v1.2 Warm";
    EXPECT_EQ(ClipGradeEditState::from(clipWithGrade(grade)).lutReference, "v1.2 Warm");
}

TEST(ClipGradeEditStateFromClip, InlineTextCountsOnlyWithHasLutTrue)
{
    ClipGrade grade;
    grade.lutData = "LUT_3D_SIZE 2\n0 0 0\n";
    EXPECT_EQ(ClipGradeEditState::from(clipWithGrade(grade)).lutReference, "None");
    grade.hasLut = false;
    EXPECT_EQ(ClipGradeEditState::from(clipWithGrade(grade)).lutReference, "None");
    grade.hasLut = true;
    EXPECT_EQ(ClipGradeEditState::from(clipWithGrade(grade)).lutReference, "(Embedded LUT)");
    grade.lutData = " \n\t";
    EXPECT_EQ(ClipGradeEditState::from(clipWithGrade(grade)).lutReference, "None");
}

TEST(ClipGradeEditStateFromClip, GradeWithoutParametersKeepsMoodAndBasicDefaults)
{
    ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "Look.cube";
    ClipGradeEditState expected;
    expected.lutReference = "Look.cube";
    EXPECT_EQ(ClipGradeEditState::from(clipWithGrade(grade)), expected);
}

TEST(ClipGradeEditStateFromClip, StoredBasicValuesReadBackInSliderUnits)
{
    GradeParams p;
    p.exposure = 0.25;
    p.contrast = 0.35;
    p.highlights = -0.175;
    p.shadows = 0.07;
    p.saturation = 0.5;
    p.vibrance = -0.3;
    p.temperature = 0.125;
    p.tint = -0.3;
    const ClipGradeEditState state = ClipGradeEditState::from(clipWithParams(p));
    EXPECT_DOUBLE_EQ(state.exposure, 1.0);
    EXPECT_DOUBLE_EQ(state.contrast, 1.0);
    EXPECT_DOUBLE_EQ(state.highlights, -0.5);
    EXPECT_DOUBLE_EQ(state.shadows, 0.2);
    EXPECT_DOUBLE_EQ(state.saturation, 0.5);
    EXPECT_DOUBLE_EQ(state.vibrance, -0.3);
    EXPECT_DOUBLE_EQ(state.temperature, 0.5);
    EXPECT_DOUBLE_EQ(state.tint, -1.0);
    EXPECT_EQ(state.lutReference, "None");
}

TEST(ClipGradeEditStateFromClip, MoodIntensityWinsOverMoodAmount)
{
    GradeParams p;
    p.moodIntensity = 0.4;
    p.moodAmount = 0.9;
    EXPECT_EQ(ClipGradeEditState::from(clipWithParams(p)).moodAmount, 0.4);
    p.moodIntensity.reset();
    EXPECT_EQ(ClipGradeEditState::from(clipWithParams(p)).moodAmount, 0.9);
    p.moodAmount.reset();
    EXPECT_EQ(ClipGradeEditState::from(clipWithParams(p)).moodAmount, 1.0);
}

TEST(ClipGradeEditStateFromClip, MoodSwitchAndSliders)
{
    GradeParams p;
    p.moodEnabled = on();
    p.moodKey = "Kodak_Vision";
    p.moodContrast = -0.2;
    p.moodSaturation = 0.3;
    p.moodWarmth = 0.4;
    p.moodTealOrange = -0.5;
    p.moodShadowLift = 0.6;
    p.moodHighlightRolloff = 0.7;
    const ClipGradeEditState state = ClipGradeEditState::from(clipWithParams(p));
    EXPECT_TRUE(state.moodEnabled);
    EXPECT_EQ(state.moodKey, "Kodak_Vision"); // recognised, kept as stored
    EXPECT_EQ(state.moodContrast, -0.2);
    EXPECT_EQ(state.moodSaturation, 0.3);
    EXPECT_EQ(state.moodWarmth, 0.4);
    EXPECT_EQ(state.moodTealOrange, -0.5);
    EXPECT_EQ(state.moodShadowLift, 0.6);
    EXPECT_EQ(state.moodHighlightRolloff, 0.7);

    GradeParams viaIsMoodEnabled;
    viaIsMoodEnabled.isMoodEnabled = on();
    viaIsMoodEnabled.moodEnabled = FlexibleBool{false};
    EXPECT_TRUE(ClipGradeEditState::from(clipWithParams(viaIsMoodEnabled)).moodEnabled);
}

TEST(ClipGradeEditStateFromClip, UnknownMoodKeyReadsAsNoneWithSwitchAsStored)
{
    GradeParams p;
    p.isMoodEnabled = on();
    p.moodKey = "sepia_dream";
    const ClipGradeEditState state = ClipGradeEditState::from(clipWithParams(p));
    EXPECT_EQ(state.moodKey, "none");
    EXPECT_TRUE(state.moodEnabled);
    EXPECT_FALSE(state.hasAnyGrade());

    p.moodKey = "";
    EXPECT_EQ(ClipGradeEditState::from(clipWithParams(p)).moodKey, "none");
}

// ---- writing grade parameters ----

TEST(ClipGradeEditStateParams, RestingStateStoresNothing)
{
    EXPECT_FALSE(ClipGradeEditState().makeGradeParams().has_value());

    ClipGradeEditState moodOnWithoutKey;
    moodOnWithoutKey.moodEnabled = true;
    moodOnWithoutKey.moodContrast = 0.5;
    EXPECT_FALSE(moodOnWithoutKey.makeGradeParams().has_value());

    ClipGradeEditState lutOnly;
    lutOnly.lutReference = "Look.cube";
    EXPECT_FALSE(lutOnly.makeGradeParams().has_value());
}

TEST(ClipGradeEditStateParams, MoodOnAtRestStoresKeySwitchAndAmountOnly)
{
    ClipGradeEditState state;
    state.moodEnabled = true;
    state.moodKey = "fuji_eterna";
    GradeParams expected;
    expected.moodKey = "fuji_eterna";
    expected.isMoodEnabled = on();
    expected.moodAmount = 1.0;
    EXPECT_EQ(state.makeGradeParams(), expected);
}

TEST(ClipGradeEditStateParams, MoodAmountsOffRestAreStored)
{
    ClipGradeEditState state;
    state.moodEnabled = true;
    state.moodKey = "teal_orange";
    state.moodAmount = 0.0;
    state.moodContrast = -0.00011;
    state.moodSaturation = 0.0001; // at rest
    state.moodWarmth = 0.3;
    state.moodTealOrange = -1.0;
    state.moodShadowLift = 0.2;
    state.moodHighlightRolloff = -0.5; // only a positive roll-off is stored
    GradeParams expected;
    expected.moodKey = "teal_orange";
    expected.isMoodEnabled = on();
    expected.moodAmount = 0.0;
    expected.moodContrast = -0.00011;
    expected.moodWarmth = 0.3;
    expected.moodTealOrange = -1.0;
    expected.moodShadowLift = 0.2;
    EXPECT_EQ(state.makeGradeParams(), expected);

    state.moodHighlightRolloff = 0.4;
    EXPECT_EQ(state.makeGradeParams()->moodHighlightRolloff, 0.4);
}

TEST(ClipGradeEditStateParams, MoodOffOrUnknownStoresNoMoodKeys)
{
    ClipGradeEditState state;
    state.moodKey = "golden_hour";
    state.moodWarmth = 0.8;
    state.exposure = 1.0;
    GradeParams expected;
    expected.exposure = 0.25;
    EXPECT_EQ(state.makeGradeParams(), expected);

    state.moodEnabled = true;
    state.moodKey = "not_a_mood";
    EXPECT_EQ(state.makeGradeParams(), expected);
}

TEST(ClipGradeEditStateParams, BasicValuesAreStoredInShaderUnits)
{
    ClipGradeEditState state;
    state.exposure = -2.0;
    state.contrast = 1.0;
    state.highlights = 0.5;
    state.shadows = -0.5;
    state.saturation = 0.5;
    state.vibrance = -0.25;
    state.temperature = 0.4;
    state.tint = 1.0;
    const auto params = state.makeGradeParams();
    ASSERT_TRUE(params.has_value());
    EXPECT_DOUBLE_EQ(*params->exposure, -0.5);
    EXPECT_DOUBLE_EQ(*params->contrast, 0.35);
    EXPECT_DOUBLE_EQ(*params->highlights, 0.175);
    EXPECT_DOUBLE_EQ(*params->shadows, -0.175);
    EXPECT_DOUBLE_EQ(*params->saturation, 0.5);
    EXPECT_DOUBLE_EQ(*params->vibrance, -0.25);
    EXPECT_DOUBLE_EQ(*params->temperature, 0.1);
    EXPECT_DOUBLE_EQ(*params->tint, 0.3);
    EXPECT_FALSE(params->moodKey.has_value());
    EXPECT_FALSE(params->sharpness.has_value());
}

TEST(ClipGradeEditStateParams, OnlyValuesOffRestAreWritten)
{
    ClipGradeEditState state;
    state.exposure = 0.001;
    state.contrast = -0.001;
    EXPECT_FALSE(state.makeGradeParams().has_value());
    state.exposure = 0.0011;
    const auto params = state.makeGradeParams();
    ASSERT_TRUE(params.has_value());
    EXPECT_DOUBLE_EQ(*params->exposure, 0.0011 * 0.25);
    EXPECT_FALSE(params->contrast.has_value());
}

TEST(ClipGradeEditStateParams, ValuesJsonCannotHoldStoreNothing)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ClipGradeEditState state;
    state.saturation = 0.5;
    state.exposure = inf;
    EXPECT_FALSE(state.makeGradeParams().has_value());

    state.exposure = nan; // not off rest: left out
    EXPECT_EQ(state.makeGradeParams()->saturation, 0.5);
    EXPECT_FALSE(state.makeGradeParams()->exposure.has_value());

    state.moodEnabled = true;
    state.moodKey = "lomo_pop";
    state.moodAmount = nan;
    EXPECT_FALSE(state.makeGradeParams().has_value());
}

// Every value a basic slider can take, written and read back, lands on its own slider step.
TEST(ClipGradeEditStateParams, EverySliderStepSurvivesTheRoundTrip)
{
    for (const auto& slider : ClipGradeCatalog::basicSliders()) {
        const int steps = static_cast<int>(std::lround((slider.max - slider.min) / slider.step));
        for (int i = 0; i <= steps; ++i) {
            const double value = slider.min + i * slider.step;
            ClipGradeEditState state;
            if (slider.id == "exposure") state.exposure = value;
            if (slider.id == "contrast") state.contrast = value;
            if (slider.id == "highlights") state.highlights = value;
            if (slider.id == "shadows") state.shadows = value;
            if (slider.id == "saturation") state.saturation = value;
            if (slider.id == "vibrance") state.vibrance = value;
            if (slider.id == "temperature") state.temperature = value;
            if (slider.id == "tint") state.tint = value;
            const ClipGradeEditState back =
                ClipGradeEditState::from(clipWithParams(state.makeGradeParams().value_or(GradeParams{})));
            const double read = back.exposure + back.contrast + back.highlights + back.shadows + back.saturation +
                                back.vibrance + back.temperature + back.tint;
            const double expected = std::fabs(value) > 0.001 ? value : 0.0;
            EXPECT_NEAR(read, expected, 1e-12) << slider.id << " " << value;
            EXPECT_EQ(std::lround(read / slider.step), std::lround(expected / slider.step)) << slider.id;
        }
    }
}

// ---- grade tests ----

TEST(ClipGradeEditStateHasAnyGrade, EveryCatalogueMoodCountsWhenOn)
{
    for (const auto& group : ClipGradeCatalog::moodGroups()) {
        for (const auto& option : group.items) {
            ClipGradeEditState state;
            state.moodEnabled = true;
            state.moodKey = option.key;
            EXPECT_TRUE(state.hasAnyGrade()) << option.key;
            EXPECT_TRUE(state.makeGradeParams().has_value()) << option.key;
        }
    }
}

TEST(ClipGradeEditStateHasAnyGrade, MoodSlidersAloneDoNotCount)
{
    ClipGradeEditState state;
    state.moodKey = "lomo_pop";
    state.moodContrast = 1;
    state.moodAmount = 0.2;
    EXPECT_FALSE(state.hasAnyGrade());
    state.moodEnabled = true;
    state.moodKey = "none";
    EXPECT_FALSE(state.hasAnyGrade());
}

TEST(ClipGradeEditStateHasAnyGrade, BasicValueAndLut)
{
    ClipGradeEditState state;
    state.tint = -0.001;
    EXPECT_FALSE(state.hasAnyGrade());
    state.tint = -0.0011;
    EXPECT_TRUE(state.hasAnyGrade());

    ClipGradeEditState lut;
    lut.lutReference = "  None\n";
    EXPECT_FALSE(lut.hasAnyLut());
    lut.lutReference = " ";
    EXPECT_FALSE(lut.hasAnyLut());
    lut.lutReference = "none"; // only the exact sentinel means no LUT
    EXPECT_TRUE(lut.hasAnyLut());
    lut.lutReference = "(Embedded LUT)";
    EXPECT_TRUE(lut.hasAnyLut());
    EXPECT_TRUE(lut.hasAnyGrade());
}

// ---- EditSession members ----

EditSession sessionWithClips()
{
    EditSession session;
    session.project = EditSession::Project();
    session.project->width = 1920;
    session.project->height = 1080;
    session.project->activeTimelineId = "t1";
    EditSession::Timeline t1;
    t1.id = "t1";
    EditSession::Clip a("a");
    a.type = "video";
    a.name = "A.mov";
    a.sourceId = "s1";
    a.startTime = 0;
    a.duration = 4;
    t1.clips.push_back(a);
    EditSession::Timeline t2;
    t2.id = "t2";
    EditSession::Clip b("b");
    b.type = "video";
    b.name = "B.mov";
    b.sourceId = "s1";
    b.startTime = 0;
    b.duration = 2;
    t2.clips.push_back(b);
    session.timelines = {t1, t2};
    session.sources = {EditSession::Source("s1", "A.mov", "video")};
    return session;
}

EditSession::Clip& clipRef(EditSession& session, const std::string& id)
{
    const auto location = session.clipLocation(id);
    return session.timelines[location->timelineIndex].clips[location->clipIndex];
}

TEST(ClipGradeFromLutReference, NoneOrBlankGivesNoGrade)
{
    EXPECT_FALSE(EditSession::clipGrade("None").has_value());
    EXPECT_FALSE(EditSession::clipGrade(" None \n").has_value());
    EXPECT_FALSE(EditSession::clipGrade("").has_value());
    EXPECT_FALSE(EditSession::clipGrade("  ").has_value());
}

TEST(ClipGradeFromLutReference, FileReferenceGrade)
{
    ClipGrade expected;
    expected.hasLut = true;
    expected.lutFile = "luts/Film/Warm.cube";
    expected.lutName = "Warm.cube";
    expected.lutStrength = 1.0;
    EXPECT_EQ(EditSession::clipGrade("  luts/Film/Warm.cube\n"), expected);
}

TEST(ApplyClipGrade, UnknownClipChangesNothing)
{
    EditSession session = sessionWithClips();
    const EditSession before = session;
    ClipGradeEditState state;
    state.exposure = 1;
    EXPECT_FALSE(session.applyClipGrade("missing", state));
    EXPECT_EQ(session.timelines, before.timelines);
}

TEST(ApplyClipGrade, NoneAtRestRemovesTheGrade)
{
    EditSession session = sessionWithClips();
    ClipGrade old;
    old.hasLut = true;
    old.lutFile = "Look.cube";
    old.lutStrength = 0.4;
    GradeParams oldParams;
    oldParams.sharpness = 0.3;
    old.gradeParams = oldParams;
    clipRef(session, "a").grade = old;
    EXPECT_TRUE(session.applyClipGrade("a", ClipGradeEditState()));
    EXPECT_FALSE(clipRef(session, "a").grade.has_value());
}

TEST(ApplyClipGrade, NoneWithParametersStoresNoLut)
{
    EditSession session = sessionWithClips();
    ClipGrade old;
    old.hasLut = true;
    old.lutFile = "Look.cube";
    old.lutName = "Look.cube";
    old.lutData = "LUT_3D_SIZE 2";
    clipRef(session, "a").grade = old;
    ClipGradeEditState state;
    state.contrast = 1;
    ASSERT_TRUE(session.applyClipGrade("a", state));
    ClipGrade expected;
    expected.hasLut = false;
    expected.lutStrength = 1.0;
    expected.gradeParams = GradeParams{};
    expected.gradeParams->contrast = 0.35;
    EXPECT_EQ(clipRef(session, "a").grade, expected);
}

TEST(ApplyClipGrade, FileNameIsTrimmedAndStrengthKept)
{
    EditSession session = sessionWithClips();
    ClipGrade old;
    old.lutStrength = 0.5;
    clipRef(session, "a").grade = old;
    ClipGradeEditState state;
    state.lutReference = "  Warm Film.cube \t";
    ASSERT_TRUE(session.applyClipGrade("a", state));
    ClipGrade expected;
    expected.hasLut = true;
    expected.lutFile = "Warm Film.cube";
    expected.lutName = "Warm Film.cube";
    expected.lutStrength = 0.5;
    EXPECT_EQ(clipRef(session, "a").grade, expected);
}

TEST(ApplyClipGrade, PathReferenceNamesItsLastComponent)
{
    EditSession session = sessionWithClips();
    ClipGradeEditState state;
    state.lutReference = "luts/Kodak/2383.cube";
    ASSERT_TRUE(session.applyClipGrade("b", state)); // on a timeline that is not the active one
    const auto& grade = clipRef(session, "b").grade;
    ASSERT_TRUE(grade.has_value());
    EXPECT_EQ(grade->lutFile, "luts/Kodak/2383.cube");
    EXPECT_EQ(grade->lutName, "2383.cube");
    EXPECT_EQ(grade->lutStrength, 1.0);
    EXPECT_FALSE(grade->lutData.has_value());
}

TEST(ApplyClipGrade, ParametersReplaceTheOldOnesWhole)
{
    EditSession session = sessionWithClips();
    ClipGrade old;
    GradeParams oldParams;
    oldParams.sharpness = 0.4;
    oldParams.vignetteStrength = 0.3;
    oldParams.debanding = 1;
    oldParams.exposure = 0.1;
    old.gradeParams = oldParams;
    clipRef(session, "a").grade = old;
    ClipGradeEditState state = ClipGradeEditState::from(clipRef(session, "a"));
    state.vibrance = 0.2;
    ASSERT_TRUE(session.applyClipGrade("a", state));
    const auto& stored = clipRef(session, "a").grade->gradeParams;
    ASSERT_TRUE(stored.has_value());
    EXPECT_DOUBLE_EQ(*stored->exposure, 0.1);
    EXPECT_DOUBLE_EQ(*stored->vibrance, 0.2);
    EXPECT_FALSE(stored->sharpness.has_value());
    EXPECT_FALSE(stored->vignetteStrength.has_value());
    EXPECT_FALSE(stored->debanding.has_value());
}

TEST(ApplyClipGrade, WrittenStateReadsBackEqual)
{
    EditSession session = sessionWithClips();
    const ClipGradeEditState state(true, "Film_Print", 0.6, 0.1, -0.2, 0.3, 0, 0.05, 0.5, 1.25, -0.4, 0.3, -0.2,
                                   0.15, 0.05, -0.6, 0.2, "Look.cube");
    ASSERT_TRUE(session.applyClipGrade("a", state));
    const ClipGradeEditState back = ClipGradeEditState::from(clipRef(session, "a"));
    EXPECT_TRUE(back.moodEnabled);
    EXPECT_EQ(back.moodKey, "Film_Print");
    EXPECT_EQ(back.moodAmount, 0.6);
    EXPECT_EQ(back.moodTealOrange, 0.0);
    EXPECT_EQ(back.moodHighlightRolloff, 0.5);
    EXPECT_NEAR(back.exposure, 1.25, 1e-12);
    EXPECT_NEAR(back.contrast, -0.4, 1e-12);
    EXPECT_NEAR(back.highlights, 0.3, 1e-12);
    EXPECT_NEAR(back.shadows, -0.2, 1e-12);
    EXPECT_NEAR(back.temperature, -0.6, 1e-12);
    EXPECT_NEAR(back.tint, 0.2, 1e-12);
    EXPECT_EQ(back.lutReference, "Look.cube");
    EXPECT_EQ(session.clipLutReference("a"), "Look.cube");
}

// The embedded label stands for the LUT text the clip carries; it must never replace that text.
TEST(ApplyClipGradeEmbeddedLut, KeepsTheTextAndNoFileReference)
{
    EditSession session = sessionWithClips();
    const std::string cube = "LUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
    ClipGrade old;
    old.hasLut = true;
    old.lutData = cube;
    old.lutStrength = 0.8;
    clipRef(session, "a").grade = old;

    ClipGradeEditState state = ClipGradeEditState::from(clipRef(session, "a"));
    ASSERT_EQ(state.lutReference, "(Embedded LUT)");
    state.exposure = 0.5;
    ASSERT_TRUE(session.applyClipGrade("a", state));

    const auto& grade = clipRef(session, "a").grade;
    ASSERT_TRUE(grade.has_value());
    EXPECT_EQ(grade->hasLut, true);
    EXPECT_EQ(grade->lutData, cube);
    EXPECT_FALSE(grade->lutFile.has_value());
    EXPECT_FALSE(grade->lutName.has_value());
    EXPECT_EQ(grade->lutStrength, 0.8);
    EXPECT_EQ(ClipGradeEditState::from(clipRef(session, "a")).lutReference, "(Embedded LUT)");
}

TEST(ApplyClipGradeEmbeddedLut, LabelWithoutTextStoresNoLut)
{
    EditSession session = sessionWithClips();
    ClipGradeEditState state;
    state.lutReference = "(Embedded LUT)";
    ASSERT_TRUE(session.applyClipGrade("a", state));
    EXPECT_FALSE(clipRef(session, "a").grade.has_value());

    state.saturation = 0.3;
    ASSERT_TRUE(session.applyClipGrade("a", state));
    const auto& grade = clipRef(session, "a").grade;
    ASSERT_TRUE(grade.has_value());
    EXPECT_EQ(grade->hasLut, false);
    EXPECT_FALSE(grade->lutFile.has_value());
    EXPECT_EQ(session.clipLutReference("a"), "None");
}

TEST(ApplyClipGradeEmbeddedLut, SurvivesSavingAndReopening)
{
    test::TempDir dir;
    EditSession session = sessionWithClips();
    const std::string cube = "TITLE \"Warm\"\nLUT_3D_SIZE 2\n0 0 0\n1 0 0\n0 1 0\n1 1 0\n0 0 1\n1 0 1\n0 1 1\n1 1 1\n";
    ClipGrade old;
    old.hasLut = true;
    old.lutData = cube;
    clipRef(session, "a").grade = old;

    ClipGradeEditState state = ClipGradeEditState::from(clipRef(session, "a"));
    state.moodEnabled = true;
    state.moodKey = "golden_hour";
    state.exposure = 1.0;
    ASSERT_TRUE(session.applyClipGrade("a", state));

    const auto file = dir / "Project.json";
    session.saveProject(file, std::nullopt);
    const EditSession reopened = EditSession::load(file);
    const auto clip = reopened.clip("a");
    ASSERT_TRUE(clip.has_value());
    ASSERT_TRUE(clip->grade.has_value());
    EXPECT_EQ(clip->grade->hasLut, true);
    EXPECT_EQ(clip->grade->lutData, cube);
    EXPECT_EQ(clip->grade->lutFile, std::nullopt);
    const ClipGradeEditState back = ClipGradeEditState::from(clip);
    EXPECT_EQ(back.lutReference, "(Embedded LUT)");
    EXPECT_TRUE(back.moodEnabled);
    EXPECT_EQ(back.moodKey, "golden_hour");
    EXPECT_NEAR(back.exposure, 1.0, 1e-12);
}

// A grade naming SwapRB.cube by file and by name and carrying `text` inline.
ClipGrade fileAndInlineText(const std::string& text)
{
    ClipGrade both;
    both.hasLut = true;
    both.lutFile = "SwapRB.cube";
    both.lutName = "SwapRB.cube";
    both.lutData = text;
    return both;
}

// A grade naming a LUT file that resolves and carrying usable inline text of another LUT is
// graded by the text; the picker, the inspector and the render job name and carry that one LUT.
TEST(OneLutPerClip, TheInlineTextThatGradesIsWhatThePickerShowsAndTheRenderJobCarries)
{
    test::TempDir dir;
    ::setenv("VELMORA_RESOURCES_DIR", "", 1);
    test::writeTextFile(dir / "SwapRB.cube", test::swappingRedBlueCubeText());
    const std::string text = StringText::trimmed(test::constantCubeText(0.1, 0.2, 0.3));
    EditSession session = sessionWithClips();
    const ClipGrade both = fileAndInlineText(text);
    clipRef(session, "a").grade = both;

    EXPECT_EQ(testing::clipLutText(both, dir.path(), std::nullopt), text);
    EXPECT_EQ(session.clipLutPickerValue("a", dir.path(), std::nullopt), "(Embedded LUT)");
    EXPECT_EQ(ClipGradeEditState::from(clipRef(session, "a")).lutReference, "(Embedded LUT)");
    const EditorJobV2 job = EditorJobV2::fromJSON(session.renderJobText());
    const std::optional<ClipGrade>& written = job.timelines.at(0).clips.at(0).grade;
    ASSERT_TRUE(written);
    EXPECT_EQ(written->lutFile, "SwapRB.cube");
    EXPECT_EQ(testing::clipLutText(written, dir.path(), std::nullopt), text);

    // Where the text is not usable, the file grades, and is what is named and written.
    clipRef(session, "a").grade->lutData = "LUT_3D_SIZE 2";
    EXPECT_EQ(session.clipLutPickerValue("a", dir.path(), std::nullopt), "SwapRB.cube");
    EXPECT_EQ(EditorJobV2::fromJSON(session.renderJobText()).timelines.at(0).clips.at(0).grade->lutFile, "SwapRB.cube");
    // Text cut short is text the cube reader refuses: the inspector names the file that grades.
    clipRef(session, "a").grade->lutData = "LUT_3D_SIZE 3\n0 0 0\n1 1 1\n";
    EXPECT_EQ(testing::clipLutText(clipRef(session, "a").grade, dir.path(), std::nullopt),
              test::swappingRedBlueCubeText());
    EXPECT_EQ(ClipGradeEditState::from(clipRef(session, "a")).lutReference, "SwapRB.cube");
}

// Saving, and an edit of the sliders, keep a grade's LUT fields as they were held.
TEST(OneLutPerClip, SavingAndASliderEditKeepTheFileBesideTheInlineText)
{
    test::TempDir dir;
    const std::string text = StringText::trimmed(test::constantCubeText(0.1, 0.2, 0.3));
    EditSession session = sessionWithClips();
    clipRef(session, "a").grade = fileAndInlineText(text);
    const auto file = dir / "Project.json";
    const auto reopenedGrade = [&] {
        session.saveProject(file, std::nullopt);
        return EditSession::load(file).clip("a")->grade;
    };
    std::optional<ClipGrade> saved = reopenedGrade();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->lutFile, "SwapRB.cube");
    EXPECT_EQ(saved->lutData, text);

    ClipGradeEditState state = ClipGradeEditState::from(clipRef(session, "a"));
    state.exposure = 0.5;
    ASSERT_TRUE(session.applyClipGrade("a", state));
    saved = reopenedGrade();
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->hasLut, true);
    EXPECT_EQ(saved->lutFile, "SwapRB.cube");
    EXPECT_EQ(saved->lutName, "SwapRB.cube");
    EXPECT_EQ(saved->lutData, text);
    EXPECT_NEAR(ClipGradeEditState::from(EditSession::load(file).clip("a")).exposure, 0.5, 1e-12);
}

// A LUT switched off names none, and an edit of the sliders leaves it off.
TEST(OneLutPerClip, ALutSwitchedOffShowsNoneAndStaysOffThroughAnEdit)
{
    EditSession session = sessionWithClips();
    ClipGrade off;
    off.hasLut = false;
    off.lutFile = "SwapRB.cube";
    off.lutName = "SwapRB.cube";
    clipRef(session, "a").grade = off;
    ClipGradeEditState state = ClipGradeEditState::from(clipRef(session, "a"));
    EXPECT_EQ(state.lutReference, "None");
    EXPECT_EQ(session.clipLutReference("a"), "None");

    state.exposure = 0.5;
    ASSERT_TRUE(session.applyClipGrade("a", state));
    const std::optional<ClipGrade>& edited = clipRef(session, "a").grade;
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->hasLut, false);
    EXPECT_EQ(edited->lutFile, "SwapRB.cube");
    EXPECT_EQ(session.clipLutReference("a"), "None");
}

TEST(ClipLutLookups, ReferenceAndPickerValue)
{
    test::TempDir dir;
    ::setenv("VELMORA_RESOURCES_DIR", "", 1); // no shipped LUTs in the picker
    const auto media = dir.path() / "media";
    std::filesystem::create_directories(media / "luts");
    test::writeTextFile(media / "luts" / "Warm.cube", "LUT_3D_SIZE 2\n");

    EditSession session = sessionWithClips();
    ClipGrade grade;
    grade.hasLut = true;
    grade.lutName = "warm";
    clipRef(session, "a").grade = grade;

    EXPECT_EQ(session.clipLutReference("a"), "warm.cube");
    EXPECT_EQ(session.clipLutReference("b"), "None");
    EXPECT_EQ(session.clipLutReference("missing"), "None");
    EXPECT_EQ(session.clipLutPickerValue("a", media, std::nullopt), "Warm.cube");
    EXPECT_EQ(session.clipLutPickerValue("missing", media, std::nullopt), "None");
}

} // namespace
} // namespace velmora
