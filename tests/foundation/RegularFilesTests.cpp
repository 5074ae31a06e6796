#include <gtest/gtest.h>

#include <filesystem>

#include "platform/foundation/Error.h"
#include "platform/foundation/FileReading.h"
#include "platform/foundation/RegularFiles.h"
#include "support/NamedPipe.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::TempDir;

// Only a regular file (or a link to one) is read; a named pipe is refused at once by name, and a
// file that opens but fails its reads is told by the system's reason.
TEST(RegularFiles, OnlyRegularFilesAreRead)
{
    TempDir dir;
    const test::NamedPipe pipe(dir / "project.tavlek");
    test::writeTextFile(dir / "job.json", "{}");
    std::filesystem::create_symlink(dir / "job.json", dir / "linked.json");
    std::filesystem::create_symlink("/proc/self/mem", dir / "mem.mp4");
    std::filesystem::create_directory(dir / "Roll.mp4");
    try {
        readFileContents(pipe.path());
        ADD_FAILURE() << "read a pipe";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), "Could not read \u201Cproject.tavlek\u201D: Is a named pipe, not a file.");
    }
    EXPECT_EQ(readFileContents(dir / "linked.json"), "{}");

    EXPECT_EQ(RegularFiles::unreadableReason(pipe.path()), "Is a named pipe, not a file");
    EXPECT_EQ(RegularFiles::unreadableReason(dir / "Roll.mp4"), "Is a folder, not a file");
    EXPECT_EQ(RegularFiles::unreadableReason(dir / "mem.mp4"), "Input/output error");
    EXPECT_EQ(RegularFiles::unreadableReason(dir / "none.mp4"), "No such file or directory");
    EXPECT_EQ(RegularFiles::unreadableReason(dir / "linked.json"), std::nullopt);
    EXPECT_EQ(RegularFiles::otherKindAt("/dev/null"), "a device");
    EXPECT_FALSE(RegularFiles::isRegularFile(pipe.path()));
    EXPECT_TRUE(RegularFiles::isRegularFile(dir / "linked.json"));
}

} // namespace
} // namespace velmora
