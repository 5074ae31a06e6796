#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "export/SecurityScope.h"
#include "export/TimelineExportProgress.h"

namespace velmora::Exporter {
namespace {

TEST(TimelineExportProgressFraction, IsZeroWithoutFrames)
{
    EXPECT_EQ((TimelineExportProgress{5, 0, "x"}.fraction()), 0.0);
    EXPECT_EQ((TimelineExportProgress{5, -3, "x"}.fraction()), 0.0);
}

TEST(TimelineExportProgressFraction, IsClampedToOne)
{
    EXPECT_EQ((TimelineExportProgress{150, 100, "x"}.fraction()), 1.0);
    EXPECT_EQ((TimelineExportProgress{1, 1, "x"}.fraction()), 1.0);
    EXPECT_EQ((TimelineExportProgress{-4, 10, "x"}.fraction()), 0.0);
}

TEST(TimelineExportProgressFraction, DividesInDouble)
{
    EXPECT_DOUBLE_EQ((TimelineExportProgress{1, 3, "x"}.fraction()), 1.0 / 3.0);
}

TEST(TimelineExportProgressPhases, AreTheUserVisibleTexts)
{
    EXPECT_STREQ(TimelineExportPhase::renderingVideo, "Rendering video");
    EXPECT_STREQ(TimelineExportPhase::encodingAudio, "Encoding audio\xE2\x80\xA6");
    EXPECT_STREQ(TimelineExportPhase::finalizing, "Finalizing\xE2\x80\xA6");
    EXPECT_STREQ(TimelineExportPhase::done, "Done");
}

// Records every start and stop; grants access to paths that do not end in "refused".
class RecordingAccess final : public SecurityScopeAccess {
public:
    bool startAccessing(const std::filesystem::path& url) override
    {
        log.push_back("start " + url.string());
        return url.filename() != "refused";
    }
    void stopAccessing(const std::filesystem::path& url) override { log.push_back("stop " + url.string()); }

    std::vector<std::string> log;
};

TEST(SecurityScope, AbsentEntriesMakeNoCalls)
{
    RecordingAccess access;
    const int result = withSecurityScope({std::nullopt, std::nullopt}, [] { return 7; }, access);
    EXPECT_EQ(result, 7);
    EXPECT_TRUE(access.log.empty());
}

TEST(SecurityScope, DuplicatesAreStartedAndStoppedOnce)
{
    RecordingAccess access;
    std::vector<std::string> during;
    withSecurityScope({std::filesystem::path("/m/a"), std::nullopt, std::filesystem::path("/m/a")},
                      [&] { during = access.log; }, access);
    EXPECT_EQ(during, (std::vector<std::string>{"start /m/a"}));
    EXPECT_EQ(access.log, (std::vector<std::string>{"start /m/a", "stop /m/a"}));
}

TEST(SecurityScope, RefusedAccessIsNotStoppedAndTheWorkStillRuns)
{
    RecordingAccess access;
    bool ran = false;
    withSecurityScope({std::filesystem::path("/m/refused"), std::filesystem::path("/m/b")}, [&] { ran = true; },
                      access);
    EXPECT_TRUE(ran);
    EXPECT_EQ(access.log, (std::vector<std::string>{"start /m/b", "start /m/refused", "stop /m/b"}));
}

TEST(SecurityScope, StopsEverythingBeforeTheErrorReachesTheCaller)
{
    RecordingAccess access;
    EXPECT_THROW(withSecurityScope({std::filesystem::path("/m/a"), std::filesystem::path("/m/b")},
                                   [] { throw std::runtime_error("work failed"); }, access),
                 std::runtime_error);
    EXPECT_EQ(access.log, (std::vector<std::string>{"start /m/a", "start /m/b", "stop /m/a", "stop /m/b"}));
}

TEST(SecurityScope, ThePlatformScopesNothing)
{
    EXPECT_FALSE(platformSecurityScopeAccess().startAccessing("/anything"));
    EXPECT_EQ(withSecurityScope({std::filesystem::path("/anything")}, [] { return std::string("ok"); }), "ok");
}

} // namespace
} // namespace velmora::Exporter
