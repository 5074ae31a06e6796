#include <gtest/gtest.h>

#include <cstdlib>

#include "grading/PreviewFrameGrader.h"
#include "support/CubeTexts.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

// A clip graded for the folder whose answers an owner shares takes the answer they hold, read
// once; other folders, and the folder once the answers are gone, are looked up afresh.
TEST(SharedLutAnswers, AClipGradedForTheirFolderTakesTheAnswerTheyHold)
{
    ::setenv("VELMORA_RESOURCES_DIR", "", 1);
    test::TempDir media;
    test::TempDir other;
    EditorJobV2::ClipGrade grade;
    grade.hasLut = true;
    grade.lutFile = "look.cube";
    auto answers = std::make_shared<LutResolving::Cache>(media.path(), std::nullopt);
    PreviewFrameGrader::shareLutAnswers(answers);
    EXPECT_FALSE(PreviewFrameGrader::clipLut(grade, media.path(), std::nullopt).grades());
    EXPECT_EQ(answers->known("look.cube")->kind, LutResolution::Kind::missing);

    // Placed since: the held answer stands until the answers are looked up again.
    test::writeTextFile(media / "look.cube", test::identityCubeText());
    test::writeTextFile(other / "look.cube", test::identityCubeText());
    EXPECT_FALSE(PreviewFrameGrader::clipLut(grade, media.path(), std::nullopt).grades());
    EXPECT_TRUE(PreviewFrameGrader::clipLut(grade, other.path(), std::nullopt).grades());
    answers.reset();
    EXPECT_TRUE(PreviewFrameGrader::clipLut(grade, media.path(), std::nullopt).grades());
}

} // namespace
} // namespace velmora
