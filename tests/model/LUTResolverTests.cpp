#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "model/LutResolution.h"
#include "model/ProjectLUTResolver.h"
#include "support/CubeTexts.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
namespace LUT = ProjectLUTResolver;

// A usable 3-point cube under a title, so that which file was found shows.
std::string cubeText(const std::string& title)
{
    return "TITLE \"" + title + "\"\n" + test::identityCubeText();
}

void writeCube(const fs::path& path, const std::string& title)
{
    fs::create_directories(path.parent_path());
    test::writeTextFile(path, cubeText(title));
}

// The text a file reference grades with, looked up where LUT files are looked for; empty when
// none is found that grades.
std::string foundText(const std::string& reference, const std::optional<fs::path>& mediaFolder,
                      const std::optional<fs::path>& sessionFile)
{
    const LutResolution found = LutResolving::lookUpFile(reference, mediaFolder, sessionFile);
    return found.grades() ? found.text : std::string();
}

// Keeps every test away from any resources folder of the machine unless it sets one itself.
class LUTResolverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* value = std::getenv("VELMORA_RESOURCES_DIR")) {
            saved_ = value;
        }
        ::setenv("VELMORA_RESOURCES_DIR", "", 1);
    }
    void TearDown() override
    {
        if (saved_) {
            ::setenv("VELMORA_RESOURCES_DIR", saved_->c_str(), 1);
        } else {
            ::unsetenv("VELMORA_RESOURCES_DIR");
        }
    }
    void useResources(const fs::path& folder) { ::setenv("VELMORA_RESOURCES_DIR", folder.c_str(), 1); }

    std::optional<std::string> saved_;
};

TEST(LUTReferenceText, TheConstantsAndTheNoLutTest)
{
    EXPECT_EQ(LUT::noLutSentinel, "None");
    EXPECT_EQ(LUT::embeddedLutLabel, "(Embedded LUT)");
    EXPECT_EQ(LUT::defaultConversionLUTs[0], "DJI OSMO Pocket 4 D-Log to Rec.709 V1.0.cube");
    EXPECT_EQ(LUT::defaultConversionLUTs[5], "DJI D-Cinelike to Rec 709 V2.cube");
    EXPECT_TRUE(LUT::isExplicitNoLut(" None \n"));
    EXPECT_FALSE(LUT::isExplicitNoLut("none"));
    EXPECT_FALSE(LUT::isExplicitNoLut(std::nullopt));
    EXPECT_FALSE(LUT::isExplicitNoLut(""));
}

TEST_F(LUTResolverTest, ARelativeReferenceIsTriedBelowTheMediaFolderBeforeItsFileName)
{
    TempDir media;
    writeCube(media / "luts" / "Look.cube", "in luts");
    writeCube(media / "Look.cube", "beside");
    EXPECT_EQ(foundText("luts/Look.cube", media.path(), std::nullopt), cubeText("in luts"));
    EXPECT_EQ(foundText("Look.cube", media.path(), std::nullopt), cubeText("beside"));
    EXPECT_EQ(foundText("other/Look.cube", media.path(), std::nullopt), cubeText("beside"));
}

TEST_F(LUTResolverTest, LooksInLutFoldersOfUpToFourFoldersAboveTheMediaFolder)
{
    TempDir root;
    const fs::path media = root / "a" / "b" / "c" / "d" / "e" / "media";
    fs::create_directories(media);
    writeCube(root / "a" / "b" / "c" / "d" / "LUTs" / "Two.cube", "two above");
    writeCube(root / "a" / "LUTs" / "Five.cube", "five above");
    writeCube(root / "a" / "b" / "luts" / "Four.cube", "four above");
    EXPECT_EQ(foundText("Two.cube", media, std::nullopt), cubeText("two above"));
    EXPECT_EQ(foundText("Four.cube", media, std::nullopt), cubeText("four above"));
    EXPECT_EQ(foundText("Five.cube", media, std::nullopt), "");
}

TEST_F(LUTResolverTest, PassesOverFilesThatAreNotUtf8HoldNoSizeOrAreTooLarge)
{
    TempDir media;
    fs::create_directories(media / "luts");
    test::writeTextFile(media / "Look.cube", "TITLE \"\xff\xfe\"\n" + test::identityCubeText());
    test::writeTextFile(media / "luts" / "Look.cube", "TITLE \"no size here\"\n");
    writeCube(media / "LUTs" / "Look.cube", "good");
    EXPECT_EQ(foundText("Look.cube", media.path(), std::nullopt), cubeText("good"));

    // A file of more than 64 MB is never read, even when it would be usable text.
    TempDir big;
    {
        std::ofstream out(big / "Huge.cube", std::ios::binary);
        out << test::identityCubeText();
    }
    fs::resize_file(big / "Huge.cube", LUT::maximumCubeFileBytes + 1);
    EXPECT_EQ(foundText("Huge.cube", big.path(), std::nullopt), "");
    writeCube(big / "luts" / "Huge.cube", "small one");
    EXPECT_EQ(foundText("Huge.cube", big.path(), std::nullopt), cubeText("small one"));
}

TEST_F(LUTResolverTest, AReferenceCannotReachOutsideTheFolderItIsLookedUpIn)
{
    TempDir root;
    const fs::path media = root / "project" / "media";
    fs::create_directories(media);
    writeCube(root / "project" / "secret.cube", "outside");
    EXPECT_EQ(foundText("../secret.cube", media, std::nullopt), "");
    EXPECT_EQ(foundText((root / "project" / "secret.cube").string(), media, std::nullopt), "");
    EXPECT_EQ(foundText("luts/../../secret.cube", media, root / "project" / "media" / "cut.tavlek"), "");
    // Its file name is still looked up where lookups belong.
    writeCube(media / "secret.cube", "inside");
    EXPECT_EQ(foundText("../secret.cube", media, std::nullopt), cubeText("inside"));
    EXPECT_EQ(foundText("..", media, std::nullopt), "");
}

TEST_F(LUTResolverTest, FallsBackToTheProjectFolderAndThenTheResources)
{
    TempDir project;
    TempDir resources;
    writeCube(project / "luts" / "Proj.cube", "project luts");
    writeCube(project / "sub" / "Rel.cube", "project relative");
    writeCube(resources / "luts" / "Res.cube", "resources");
    useResources(resources.path());
    const fs::path sessionFile = project / "cut.tavlek";
    EXPECT_EQ(foundText("Proj.cube", std::nullopt, sessionFile), cubeText("project luts"));
    EXPECT_EQ(foundText("sub/Rel.cube", std::nullopt, sessionFile), cubeText("project relative"));
    EXPECT_EQ(foundText("Res.cube", std::nullopt, sessionFile), cubeText("resources"));
    EXPECT_EQ(foundText("Res.cube", std::nullopt, std::nullopt), cubeText("resources"));
}

TEST_F(LUTResolverTest, ListsEachCubeNameOnceInFolderOrder)
{
    TempDir resources;
    TempDir media;
    TempDir project;
    writeCube(resources / "luts" / "Shipped.cube", "r");
    writeCube(media / "A.cube", "m");
    writeCube(media / "luts" / "A.cube", "m luts");
    writeCube(media / "LUTs" / "B.CUBE", "m LUTs");
    writeCube(media / ".hidden.cube", "hidden");
    // No project could store this name: it is not offered under another.
    writeCube(media / "luts" / "look\xe9.cube", "not UTF-8");
    fs::create_directories(media / "Folder.cube");
    test::writeTextFile(media / "notes.txt", "");
    writeCube(project / "P.cube", "p");
    useResources(resources.path());

    EXPECT_EQ(LUT::availableLUTNames(media.path(), project / "cut.tavlek"),
              (std::vector<std::string>{"None", "Shipped.cube", "A.cube", "B.CUBE", "P.cube"}));
    EXPECT_EQ(LUT::availableLUTNames(media / "missing", std::nullopt), (std::vector<std::string>{"None", "Shipped.cube"}));
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_EQ(LUT::availableLUTNames(media.path(), project / "cut.tavlek", stopped.get_token()),
              std::vector<std::string>{"None"});
    ::setenv("VELMORA_RESOURCES_DIR", "", 1);
    EXPECT_EQ(LUT::availableLUTNames(std::nullopt, std::nullopt), std::vector<std::string>{"None"});
}

TEST(LUTPicker, MatchesStoredReferencesToListedEntries)
{
    const std::vector<std::string> list = {"None", "D-Log to Rec.709.cube", "Film Look.cube", "luts/Deep.cube"};
    EXPECT_EQ(LUT::matchLUTInPickerList(std::nullopt, list), "None");
    EXPECT_EQ(LUT::matchLUTInPickerList("  ", list), "None");
    EXPECT_EQ(LUT::matchLUTInPickerList("None", list), "None");
    EXPECT_EQ(LUT::matchLUTInPickerList("(Embedded LUT)", list), "(Embedded LUT)");
    EXPECT_EQ(LUT::matchLUTInPickerList(" Film Look.cube ", list), "Film Look.cube");
    EXPECT_EQ(LUT::matchLUTInPickerList("d-log to rec.709.CUBE", list), "D-Log to Rec.709.cube");
    // "D-Log to Rec.709" has the stem "D-Log to Rec": only the added ".cube" finds it.
    EXPECT_EQ(LUT::matchLUTInPickerList("D-Log to Rec.709", list), "D-Log to Rec.709.cube");
    EXPECT_EQ(LUT::matchLUTInPickerList("/old/place/FILM LOOK.cube", list), "Film Look.cube");
    EXPECT_EQ(LUT::matchLUTInPickerList("deep", list), "luts/Deep.cube");
    EXPECT_EQ(LUT::matchLUTInPickerList("Missing.cube", list), "Missing.cube");
}

TEST_F(LUTResolverTest, PickerOptionsEndWithAReferenceThatMatchesNothing)
{
    TempDir media;
    writeCube(media / "Film Look.cube", "f");
    EXPECT_EQ(LUT::pickerOptions(media.path(), std::nullopt, "Missing.cube"),
              (std::vector<std::string>{"None", "Film Look.cube", "Missing.cube"}));
    EXPECT_EQ(LUT::pickerOptions(media.path(), std::nullopt, "film look"),
              (std::vector<std::string>{"None", "Film Look.cube"}));
    EXPECT_EQ(LUT::pickerOptions(media.path(), std::nullopt, "None"), (std::vector<std::string>{"None", "Film Look.cube"}));
    EXPECT_EQ(LUT::pickerOptions(media.path(), std::nullopt, "(Embedded LUT)"),
              (std::vector<std::string>{"None", "Film Look.cube", "(Embedded LUT)"}));
}

TEST_F(LUTResolverTest, SuggestsACameraLogLUTForDjiLogRecordings)
{
    TempDir media;
    writeCube(media / "DJI OSMO Pocket 4 D-Log to Rec.709 vivid V1.0.cube", "vivid");
    writeCube(media / "D-Log to Rec.709.cube", "generic");
    EXPECT_EQ(LUT::suggestedLutForSource("DJI_20240101_0001_D.MP4", media.path(), std::nullopt),
              "DJI OSMO Pocket 4 D-Log to Rec.709 vivid V1.0.cube");
    EXPECT_EQ(LUT::suggestedLutForSource("clip.mov", media.path(), std::nullopt), "D-Log to Rec.709.cube");
    TempDir empty;
    EXPECT_EQ(LUT::suggestedLutForSource("DJI_0001_D.MP4", empty.path(), std::nullopt), "None");
}

} // namespace
} // namespace velmora
