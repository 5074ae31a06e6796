#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/foundation/Error.h"
#include "platform/foundation/ScratchFile.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

TEST(ClaimedScratchFile, AFailedLockRemovesTheCreatedFileAndReportsTheLocksError)
{
    const test::TempDir folder;
    const ScratchNaming naming{".cut.partial-", ".mp4", 8, "0123456789ABCDEF"};
    for (const int lockError : {ENOLCK, EDEADLK}) {
        int calls = 0;
        const ScratchLock failing = [&](int, int) {
            ++calls;
            errno = lockError;
            return -1;
        };
        try {
            ClaimedScratchFile claim(folder.path(), naming, "Could not write", folder.path() / "cut.mp4", failing);
            ADD_FAILURE() << "claimed " << claim.path();
        } catch (const Error& error) {
            EXPECT_EQ(error.domain(), "file");
            EXPECT_EQ(error.code(), lockError);
            EXPECT_EQ(error.message(), lockError == ENOLCK
                                           ? "Could not write \u201Ccut.mp4\u201D: No locks available."
                                           : "Could not write \u201Ccut.mp4\u201D: Resource deadlock avoided.");
        }
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
    }
}

TEST(ClaimedScratchFile, ALockInterruptedBySignalsIsAskedAgain)
{
    const test::TempDir folder;
    int calls = 0;
    const ScratchLock interrupted = [&](int fd, int operation) {
        errno = EINTR;
        return ++calls < 3 ? -1 : ::flock(fd, operation);
    };
    const ClaimedScratchFile claim(folder.path(), {".cut.partial-", ".mp4", 8, "0123456789ABCDEF"}, "Could not write",
                                   folder.path() / "cut.mp4", interrupted);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(std::filesystem::exists(claim.path()));
}

} // namespace
} // namespace velmora
