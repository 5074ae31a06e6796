#include <cmath>

#include <gtest/gtest.h>

#include "TimelineTestSupport.h"
#include "model/EditSession.h"

namespace velmora::test {
namespace {

using Clip = EditSession::Clip;

const Clip& clipAt(const EditSession& session, std::size_t index)
{
    return session.timelines[0].clips[index];
}

TEST(Fades, LimitedToHalfTheClip)
{
    EditSession session = sessionWith({video("A", 0, 4), video("B", 5, 1).raw()});
    session.timelines[0].clips[1].duration.reset();
    EXPECT_TRUE(session.setClipFades("A", 0.00005, 3));
    EXPECT_EQ(clipAt(session, 0).fadeIn, 0.0);
    EXPECT_EQ(clipAt(session, 0).fadeOut, 2.0);
    EXPECT_TRUE(session.setClipFades("B", 1, std::nullopt));
    EXPECT_EQ(clipAt(session, 1).fadeIn, 0.0005);
    EXPECT_FALSE(clipAt(session, 1).fadeOut.has_value());
    EXPECT_FALSE(session.setClipFades("none", 1, 1));
}

TEST(Fades, SharedWithTheGroupOnlyForTheFadesGiven)
{
    EditSession session = sessionWith({video("V", 0, 4).group(" g1 ").fades(0.5, 0.5), audio("A", 0, 1).group("g1").fades(0.3, 0.3),
                                       audio("B", 0, 10).group(" g1 ").fades(0.2, 0.2), audio("C", 0, 10).group("g2")});
    EXPECT_TRUE(session.setClipFades("V", std::nullopt, 1.5));
    EXPECT_EQ(clipAt(session, 0).fadeOut, 1.5);
    EXPECT_EQ(clipAt(session, 0).fadeIn, 0.5);
    // A's own 1 s length does not limit what it receives.
    EXPECT_EQ(clipAt(session, 1).fadeOut, 1.5);
    EXPECT_EQ(clipAt(session, 1).fadeIn, 0.3);
    // B's group carries the same blanks: it is not the trimmed "g1".
    EXPECT_EQ(clipAt(session, 2).fadeOut, 0.2);
    EXPECT_FALSE(clipAt(session, 3).fadeOut.has_value());
}

TEST(Fades, NotANumberLeavesTheFade)
{
    EditSession session = sessionWith({video("V", 0, 4).fades(1, 1)});
    EXPECT_TRUE(session.setClipFades("V", NAN, 0.5));
    EXPECT_EQ(clipAt(session, 0).fadeIn, 1.0);
    EXPECT_EQ(clipAt(session, 0).fadeOut, 0.5);
}

TEST(Fades, OnAClipOfAnotherTimeline)
{
    EditSession session = sessionWith({video("V", 0, 4)});
    EditSession::Timeline other;
    other.id = "t2";
    other.clips = {Clip(video("W", 0, 10).group("g")), Clip(audio("X", 0, 10).group("g"))};
    session.timelines.push_back(other);
    EXPECT_TRUE(session.setClipFades("W", 2, std::nullopt));
    EXPECT_EQ(session.timelines[1].clips[1].fadeIn, 2.0);
}

TEST(PartnerVideo, SameStemWinsElseLargestOverlap)
{
    const EditSession session = sessionWith({video("broll", 0, 10).name("Broll.mov"), video("take", 6, 10).name("Take3.mov"),
                                             audio("A", 5, 5).name("Take3.mov (Audio)"), audio("M", 5, 5).name("music.mp3"),
                                             video("tiny", 9.96, 1).name("Other.mov")});
    EXPECT_EQ(session.partnerVideoClip(clipAt(session, 2), 0)->id, "take");
    EXPECT_EQ(session.partnerVideoClip(clipAt(session, 3), 0)->id, "broll");
    EXPECT_FALSE(session.partnerVideoClip(clipAt(session, 0), 0).has_value());
    EXPECT_FALSE(session.partnerVideoClip(audio("far", 100, 1), 0).has_value());
    EXPECT_FALSE(session.partnerVideoClip(clipAt(session, 2), 3).has_value());
    // An overlap of 0.05 s or less does not count.
    EXPECT_FALSE(session.partnerVideoClip(audio("edge", 15.96, 3), 0).has_value());
}

TEST(PartnerVideo, EqualOverlapsKeepTheFirst)
{
    const EditSession session = sessionWith({video("one", 0, 4).name("a.mov"), video("two", 0, 4).lane(2).name("b.mov")});
    EXPECT_EQ(session.partnerVideoClip(audio("x", 1, 2).name("c.wav"), 0)->id, "one");
}

TEST(Lookup, ByIdAndPrimaryVideoOfASource)
{
    EditSession session = sessionWith({audio("a", 0, 1).source("s"), image("i", 1, 1).source("s"), video("v", 2, 1).source("s")});
    EXPECT_EQ(session.clip("v")->startTime, 2.0);
    EXPECT_FALSE(session.clip("x").has_value());
    EXPECT_EQ(session.primaryVideoClip("s")->id, "i");
    EXPECT_FALSE(session.primaryVideoClip("t").has_value());
    EXPECT_FALSE(EditSession().primaryVideoClip("s").has_value());
}

// Source trim --------------------------------------------------------------------------------------

EditSession sourceTrimScene()
{
    EditSession session = sessionWith({video("V", 3, 10).name("Take3.mov").source("s"),
                                       audio("A", 3, 10).name("Take3.mov (Audio)").source("s").lane(1),
                                       audio("near", 3.04, 10).name("Take3.mov (Audio)").source("other").lane(2),
                                       audio("far", 3.1, 10).name("Take3.mov (Audio)").source("other").lane(3),
                                       audio("foreign", 3, 10).name("song.mp3").source("s").lane(4)});
    EditorJobV2::ClipGrade grade;
    grade.hasLut = false;
    grade.lutData = "LUT_3D_SIZE 2";
    grade.lutStrength = 0.3;
    grade.gradeParams = EditorJobV2::ClipGrade::GradeParams{};
    grade.gradeParams->exposure = 0.5;
    session.timelines[0].clips[0].grade = grade;
    return session;
}

TEST(SourceTrim, WritesTheRangeAndMatchingAudioFollows)
{
    EditSession session = sourceTrimScene();
    EXPECT_TRUE(editWithUndo(session, [](EditSession& s) { return s.applySourceTrimToClip("V", 2, 6, std::nullopt); },
                             true,
                             {{"V", 3, 4, 2, 6, 1}, {"A", 3, 4, 2, 6, 1}, {"near", 3.04, 4, 2, 6, 2},
                              {"far", 3.1, 10, 0, 10, 3}, {"foreign", 3, 10, 0, 10, 4}}));
    EXPECT_EQ(session.timelines[0].duration, 7.0);
    EXPECT_EQ(clipAt(session, 0).grade->lutData, "LUT_3D_SIZE 2"); // no LUT given: grade untouched
}

TEST(SourceTrim, OutBeforeInGivesTheMinimumSpan)
{
    EditSession session = sourceTrimScene();
    ASSERT_TRUE(session.applySourceTrimToClip("V", -1, -5, std::string("None")));
    EXPECT_TRUE(timelineIs(session, {{"V", 3, 0.04, 0, 0.04, 1}, {"A", 3, 0.04, 0, 0.04, 1},
                                     {"near", 3.04, 0.04, 0, 0.04, 2}, {"far", 3.1, 10, 0, 10, 3},
                                     {"foreign", 3, 10, 0, 10, 4}}));
    EXPECT_EQ(clipAt(session, 0).grade->lutData, "LUT_3D_SIZE 2");
}

TEST(SourceTrim, LutReferenceReplacesTheGradeKeepingItsParameters)
{
    EditSession session = sourceTrimScene();
    ASSERT_TRUE(session.applySourceTrimToClip("V", 1, 2, std::string("luts/Look A.cube")));
    const auto& grade = clipAt(session, 0).grade;
    ASSERT_TRUE(grade);
    EXPECT_EQ(grade->hasLut, true);
    EXPECT_FALSE(grade->lutData.has_value());
    EXPECT_EQ(grade->lutFile, "luts/Look A.cube");
    EXPECT_EQ(grade->lutName, "Look A.cube");
    EXPECT_EQ(grade->lutStrength, 1.0);
    ASSERT_TRUE(grade->gradeParams);
    EXPECT_EQ(grade->gradeParams->exposure, 0.5);
    // Audio keeps its grade (none).
    EXPECT_FALSE(clipAt(session, 1).grade.has_value());

    ASSERT_TRUE(session.applySourceTrimToClip("A", 1, 2, std::string("")));
    EXPECT_FALSE(clipAt(session, 1).grade.has_value());
}

TEST(SourceTrim, RefusesUnknownClipAndNonFiniteRange)
{
    EditSession session = sourceTrimScene();
    const auto before = rowsOf(session);
    EXPECT_FALSE(session.applySourceTrimToClip("nope", 1, 2, std::nullopt));
    EXPECT_FALSE(session.applySourceTrimToClip("V", NAN, 2, std::nullopt));
    EXPECT_FALSE(session.applySourceTrimToClip("V", 1, INFINITY, std::nullopt));
    EXPECT_TRUE(timelineIs(session, before));
}

TEST(SourceTrim, AudioClipTrimsOnlyItself)
{
    EditSession session = sourceTrimScene();
    ASSERT_TRUE(session.applySourceTrimToClip("A", 1, 3, std::nullopt));
    EXPECT_TRUE(timelineIs(session, {{"V", 3, 10, 0, 10, 1}, {"A", 3, 2, 1, 3, 1}, {"near", 3.04, 10, 0, 10, 2},
                                     {"far", 3.1, 10, 0, 10, 3}, {"foreign", 3, 10, 0, 10, 4}}));
}

} // namespace
} // namespace velmora::test
