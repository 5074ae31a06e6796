#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "model/LutResolution.h"
#include "support/CubeTexts.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using Kind = LutResolution::Kind;
using ClipGrade = EditorJobV2::ClipGrade;

// A whole table of `size` points a side (every entry black), under a title.
std::string cube(int size, const std::string& title = "look")
{
    std::string text = "TITLE \"" + title + "\"\nLUT_3D_SIZE " + std::to_string(size) + "\n";
    for (int entry = 0; entry < size * size * size; ++entry) {
        text += "0 0 0\n";
    }
    return text;
}

// Keeps every test away from a resources folder of the machine.
class LutResolutionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* value = std::getenv("VELMORA_RESOURCES_DIR")) {
            saved_ = value;
        }
        ::setenv("VELMORA_RESOURCES_DIR", "", 1);
        fs::create_directories(media() / "luts");
        test::writeTextFile(media() / "luts" / "Present.cube", cube(33, "present"));
        test::writeTextFile(media() / "swap_rb2.cube", cube(2));
    }
    void TearDown() override
    {
        if (saved_) {
            ::setenv("VELMORA_RESOURCES_DIR", saved_->c_str(), 1);
        } else {
            ::unsetenv("VELMORA_RESOURCES_DIR");
        }
    }
    fs::path media() const { return dir_.path() / "media"; }
    LutResolution clip(const ClipGrade& grade) const
    {
        return LutResolving::forClipGrade(grade, media(), std::nullopt);
    }

    test::TempDir dir_;
    std::optional<std::string> saved_;
};

ClipGrade withLut(std::optional<bool> hasLut, std::optional<std::string> file, std::optional<std::string> inlineText = {})
{
    ClipGrade grade;
    grade.hasLut = hasLut;
    grade.lutFile = std::move(file);
    if (inlineText) {
        grade.lutData = SharedText(*inlineText);
    }
    return grade;
}

TEST_F(LutResolutionTest, NothingGradesWithoutALutOrWithHasLutFalse)
{
    EXPECT_EQ(LutResolving::forClipGrade(std::nullopt, media(), std::nullopt).kind, Kind::none);
    EXPECT_EQ(clip(withLut(true, "None")).kind, Kind::none);
    EXPECT_EQ(clip(withLut(true, " ")).kind, Kind::none);
    // hasLut false wins over a file that resolves and over usable inline text.
    EXPECT_EQ(clip(withLut(false, "Present.cube", cube(33))), LutResolution{});
}

TEST_F(LutResolutionTest, UsableInlineTextGradesBeforeTheFile)
{
    const LutResolution answer = clip(withLut(true, "Present.cube", "  " + cube(17, "inline") + "\n"));
    EXPECT_EQ(answer.kind, Kind::text);
    EXPECT_EQ(answer.name, "(Embedded LUT)");
    const std::string text = cube(17, "inline");
    EXPECT_EQ(answer.text, text.substr(0, text.size() - 1));
}

TEST_F(LutResolutionTest, TheFileGradesOnlyWithHasLutTrueThenTheName)
{
    EXPECT_EQ(clip(withLut(std::nullopt, "Present.cube")).kind, Kind::none);
    const LutResolution byFile = clip(withLut(true, "Present"));
    EXPECT_EQ(byFile.kind, Kind::text);
    EXPECT_EQ(byFile.name, "Present");
    EXPECT_NE(byFile.text.find("present"), std::string::npos);

    ClipGrade byName = withLut(true, "gone.cube");
    byName.lutName = "Present.cube";
    EXPECT_EQ(clip(byName).kind, Kind::text);
    EXPECT_EQ(clip(byName).name, "Present.cube");
}

TEST_F(LutResolutionTest, AMissingFileIsNamedAsTheGradeHoldsIt)
{
    ClipGrade grade = withLut(true, " gone ");
    grade.lutName = "also_gone.cube";
    EXPECT_EQ(clip(grade), (LutResolution{Kind::missing, "", "gone", "", {}}));
    EXPECT_EQ(clip(grade).description(), "gone");
}

TEST_F(LutResolutionTest, AFolderOrPipeInALutsPlaceIsMissing)
{
    fs::create_directories(media() / "folder.cube");
    ASSERT_EQ(::mkfifo((media() / "pipe.cube").c_str(), 0600), 0);
    EXPECT_EQ(clip(withLut(true, "folder.cube")).kind, Kind::missing);
    EXPECT_EQ(clip(withLut(true, "pipe.cube")).kind, Kind::missing);
}

TEST_F(LutResolutionTest, ATwoPointLutIsFoundButUnusableAndSaysWhy)
{
    const LutResolution answer = clip(withLut(true, "swap_rb2.cube"));
    EXPECT_EQ(answer.kind, Kind::unusable);
    EXPECT_EQ(answer.description(), "swap_rb2.cube is not a usable LUT: LUT_3D_SIZE 2 (needs 3 or more)");

    test::writeTextFile(media() / "notes.cube", "hello");
    EXPECT_EQ(clip(withLut(true, "notes.cube")).description(),
              "notes.cube is not a usable LUT: it names no LUT_3D_SIZE");
}

// A text is judged by the size the cube reader reads it with (its last size line), on every kind
// of reference: a table read as two points a side is refused as one that only names two is, and
// one read whole at three points grades whatever a line before its size says.
TEST_F(LutResolutionTest, ALutIsJudgedByTheSizeItIsReadWith)
{
    const struct {
        std::string name;
        std::string text;
        std::optional<std::string> refusal;
    } cases[] = {
        {"three_then_two.cube", "LUT_3D_SIZE 3\n" + cube(2), "LUT_3D_SIZE 2 (needs 3 or more)"},
        {"two_then_three.cube", "LUT_3D_SIZE 2\n" + cube(3), std::nullopt},
        {"remark.cube", "# LUT_3D_SIZE 2 was too small\n" + cube(3), std::nullopt},
        // The same pass reads the bytes as UTF-8.
        {"latin1.cube", cube(3, "caf\xE9"), "it is not UTF-8 text"},
    };
    for (const auto& [name, text, refusal] : cases) {
        SCOPED_TRACE(name);
        test::writeTextFile(media() / name, text);
        const LutResolution file = clip(withLut(true, name));
        const LutResolution inlined = LutResolving::forJobReference(text, media(), std::nullopt);
        const LutResolution chosen = LutResolving::forOverrideFile(media() / name);
        EXPECT_EQ(LutResolving::unusableReason(text), refusal);
        if (refusal) {
            EXPECT_EQ(file.description(), name + " is not a usable LUT: " + *refusal);
            EXPECT_EQ(inlined.description(), "(Embedded LUT) is not a usable LUT: " + *refusal);
            EXPECT_EQ(LutResolving::overrideRefusal(chosen), "LUT override " + name + " cannot be read: " + *refusal);
        } else {
            EXPECT_EQ(file.kind, Kind::text);
            EXPECT_EQ(inlined.kind, Kind::text);
            EXPECT_EQ(chosen.kind, Kind::text);
        }
    }
}

// Text that names a size but that the cube reader refuses grades nothing, on every kind of
// reference: found, and unusable with the reader's reason, in the words a LUT override is
// refused with.
// A large text's verdict is remembered by its digest: two texts a weaker digest gives one value
// are judged each by itself, read from files or inline.
TEST_F(LutResolutionTest, ARememberedVerdictAnswersForItsOwnTextOnly)
{
    const auto [usable, other] = test::twinCubeTextsOfAWeakDigest();
    ASSERT_EQ(usable.size(), other.size());
    test::writeTextFile(media() / "twin_a.cube", usable);
    test::writeTextFile(media() / "twin_b.cube", other);
    EXPECT_EQ(clip(withLut(true, "twin_a.cube")).kind, Kind::text);
    EXPECT_EQ(clip(withLut(true, "twin_b.cube")).description(), "twin_b.cube is not a usable LUT: it is not UTF-8 text");
    EXPECT_EQ(LutResolving::unusableReason(usable), std::nullopt);
    EXPECT_EQ(LutResolving::unusableReason(other), "it is not UTF-8 text");
}

TEST_F(LutResolutionTest, TextTheCubeReaderRefusesIsUnusableWithItsReason)
{
    const std::string fewer = "it holds fewer entries than its LUT_3D_SIZE needs";
    test::writeTextFile(media() / "trunc.cube", test::truncatedCubeText());
    const LutResolution trunc = clip(withLut(true, "trunc.cube"));
    EXPECT_EQ(trunc, (LutResolution{Kind::unusable, "", "trunc.cube", fewer, {}}));
    EXPECT_EQ(trunc.description(), "trunc.cube is not a usable LUT: " + fewer);
    EXPECT_EQ(LutResolving::pickerValue(trunc).title(), "trunc.cube (unusable)");
    EXPECT_EQ(LutResolving::forJobReference("trunc.cube", media(), std::nullopt), trunc);
    EXPECT_EQ(LutResolving::overrideRefusal(LutResolving::forOverrideFile(media() / "trunc.cube")),
              "LUT override trunc.cube cannot be read: " + fewer);
    // Inline text: the embedded LUT, unless a file named beside it grades.
    EXPECT_EQ(LutResolving::forJobReference(test::truncatedCubeText(), media(), std::nullopt).description(),
              "(Embedded LUT) is not a usable LUT: " + fewer);
    EXPECT_EQ(clip(withLut(std::nullopt, std::nullopt, test::truncatedCubeText())).description(),
              "(Embedded LUT) is not a usable LUT: " + fewer);
    EXPECT_EQ(clip(withLut(true, "Present.cube", test::truncatedCubeText())).name, "Present.cube");
    // A table of one dimension only holds no cube.
    EXPECT_EQ(LutResolving::forJobReference("LUT_1D_SIZE 2\n0 0 0\n1 1 1", media(), std::nullopt).reason,
              "it names no LUT_3D_SIZE");
    // A text judged before is told from another of its size by what it holds.
    const std::string whole = cube(17);
    const std::string lastEntryBroken = whole.substr(0, whole.size() - 6) + "0 0 x\n";
    EXPECT_EQ(LutResolving::unusableReason(whole), std::nullopt);
    EXPECT_EQ(LutResolving::unusableReason(lastEntryBroken), fewer);
    EXPECT_EQ(LutResolving::unusableReason(whole), std::nullopt);
    // A usable file of the same name further along the search grades in its place.
    test::writeTextFile(media() / "luts" / "trunc.cube", cube(3, "whole"));
    EXPECT_EQ(clip(withLut(true, "trunc.cube")).kind, Kind::text);
}

TEST_F(LutResolutionTest, UnusableInlineTextWithoutAFileIsTheEmbeddedLut)
{
    const LutResolution answer = clip(withLut(std::nullopt, std::nullopt, cube(2)));
    EXPECT_EQ(answer.description(), "(Embedded LUT) is not a usable LUT: LUT_3D_SIZE 2 (needs 3 or more)");
    // With a file that resolves, the file grades.
    EXPECT_EQ(clip(withLut(true, "Present.cube", cube(2))).kind, Kind::text);
}

TEST_F(LutResolutionTest, TheJobsOwnReference)
{
    const auto job = [&](std::optional<std::string> reference) {
        return LutResolving::forJobReference(reference, media(), std::nullopt);
    };
    EXPECT_EQ(job(std::nullopt).kind, Kind::none);
    EXPECT_EQ(job(" None ").kind, Kind::none);
    EXPECT_EQ(job("Present.cube").kind, Kind::text);
    EXPECT_EQ(job(" missing_job_look.cube "), (LutResolution{Kind::missing, "", "missing_job_look.cube", "", {}}));
    EXPECT_EQ(job("swap_rb2.cube").kind, Kind::unusable);
    EXPECT_EQ(job(cube(9)).kind, Kind::text);
    EXPECT_EQ(job(cube(1)).description(), "(Embedded LUT) is not a usable LUT: LUT_3D_SIZE 1 (needs 3 or more)");
}

// Every LUT picker shows the answer itself: the reference as written (never a listed file that
// only looks like it), "(Embedded LUT)", "None", or the name marked missing or unusable.
TEST_F(LutResolutionTest, APickerShowsTheAnswerAsTheStatusNamesIt)
{
    test::writeTextFile(media() / "luts" / "LookA.cube", cube(33));
    const LutResolution lowerStem = clip(withLut(true, "lookA"));
    EXPECT_EQ(LutResolving::pickerValue(lowerStem), (LutPickerValue{"lookA", true}));
    EXPECT_EQ(LutResolving::pickerValue(lowerStem).title(), "lookA (missing)");
    EXPECT_EQ(LutResolving::pickerValue(clip(withLut(true, "Present"))), (LutPickerValue{"Present", false}));
    EXPECT_EQ(LutResolving::pickerValue(clip(withLut(true, "Present.cube", cube(17)))),
              (LutPickerValue{"(Embedded LUT)", false}));
    EXPECT_EQ(LutResolving::pickerValue(clip(withLut(true, "swap_rb2.cube"))).title(), "swap_rb2.cube (unusable)");
    EXPECT_EQ(LutResolving::pickerValue(clip(withLut(false, "Present.cube"))), (LutPickerValue{"None", false}));
    EXPECT_EQ(LutResolving::pickerValue(LutResolving::forJobReference(cube(5), media(), std::nullopt)),
              (LutPickerValue{"(Embedded LUT)", false}));

    const LutPickerValue missing{"lookA", true};
    EXPECT_EQ(LutResolving::pickerEntries({"None", "LookA.cube"}, missing),
              (std::vector<std::string>{"None", "LookA.cube", "lookA"}));
    EXPECT_EQ(LutResolving::pickerEntries({"None", "lookA"}, missing), (std::vector<std::string>{"None", "lookA"}));
}

// A LUT override is a file the user chose: used as it is, or refused saying why in the system's words.
TEST_F(LutResolutionTest, AnOverrideFileGradesOrSaysWhyNot)
{
    const LutResolution present = LutResolving::forOverrideFile(media() / "luts" / "Present.cube");
    EXPECT_EQ(present.kind, Kind::text);
    EXPECT_EQ(present.name, "Present.cube");
    EXPECT_EQ(LutResolving::overrideRefusal(present), "");
    const auto refusal = [](const fs::path& file) {
        return LutResolving::overrideRefusal(LutResolving::forOverrideFile(file));
    };
    EXPECT_EQ(refusal(media() / "gone.cube"), "LUT override gone.cube cannot be read: No such file or directory");
    EXPECT_EQ(refusal(media() / "swap_rb2.cube"), "LUT override swap_rb2.cube cannot be read: LUT_3D_SIZE 2 (needs 3 or more)");
    EXPECT_EQ(refusal(media() / "luts"), "LUT override luts cannot be read: Is a folder, not a file");
    fs::create_symlink("/proc/self/mem", media() / "mem.cube");
    EXPECT_EQ(refusal(media() / "mem.cube"), "LUT override mem.cube cannot be read: Input/output error");
}

TEST_F(LutResolutionTest, TheCacheReadsEachReferenceOnceUntilItForgets)
{
    LutResolving::Cache cache(media(), std::nullopt);
    EXPECT_FALSE(cache.known("late.cube"));
    EXPECT_EQ(cache.clip(withLut(true, "late")).kind, Kind::missing);
    test::writeTextFile(media() / "late.cube", cube(5));
    EXPECT_EQ(cache.job("late.cube").kind, Kind::missing);
    cache.forget();
    EXPECT_EQ(cache.job("late.cube").kind, Kind::text);
    EXPECT_EQ(cache.clip(withLut(true, "late")).kind, Kind::text);
    // What is kept names the file, not its text, which is read again when asked for.
    const std::optional<LutResolution> kept = cache.known("late.cube");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->text, "");
    EXPECT_EQ(kept->file, media() / "late.cube");
    EXPECT_EQ(cache.clip(withLut(true, "late")).text, cube(5));
    EXPECT_EQ(LutResolving::withText(*kept).text, cube(5));
}

} // namespace
} // namespace velmora
