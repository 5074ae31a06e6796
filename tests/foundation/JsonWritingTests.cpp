#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/foundation/Error.h"
#include "platform/foundation/JsonWriting.h"
#include "platform/foundation/Utf8.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::readTextFile;
using test::TempDir;
using test::writeTextFile;

std::vector<std::string> folderEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(JsonText, IsPrettyPrintedWithKeysSortedAtEveryLevel)
{
    nlohmann::json value = nlohmann::json::object();
    value["zeta"] = 1;
    value["alpha"] = nlohmann::json::array({nlohmann::json{{"b", 2.5}, {"a", nullptr}}, "x"});
    value["Mid"] = nlohmann::json{{"y", true}, {"x", nlohmann::json::array()}, {"w", nlohmann::json::object()}};
    value["text"] = "Café “quoted” / \"escaped\"";

    EXPECT_EQ(JsonWriting::prettySortedText(value),
              "{\n"
              "  \"Mid\": {\n"
              "    \"w\": {},\n"
              "    \"x\": [],\n"
              "    \"y\": true\n"
              "  },\n"
              "  \"alpha\": [\n"
              "    {\n"
              "      \"a\": null,\n"
              "      \"b\": 2.5\n"
              "    },\n"
              "    \"x\"\n"
              "  ],\n"
              "  \"text\": \"Café “quoted” / \\\"escaped\\\"\",\n"
              "  \"zeta\": 1\n"
              "}");
}

TEST(JsonText, WritesNumbersIndependentlyOfTheLocaleAndKeepsIntegersIntegral)
{
    const nlohmann::json value = {{"fps", 59.94}, {"width", 1920}, {"zero", 0.0}, {"tiny", 1e-7}};
    EXPECT_EQ(JsonWriting::prettySortedText(value),
              "{\n  \"fps\": 59.94,\n  \"tiny\": 1e-07,\n  \"width\": 1920,\n  \"zero\": 0.0\n}");
    EXPECT_EQ(nlohmann::json::parse(JsonWriting::prettySortedText(value)), value);
}

TEST(JsonText, RefusesNaNAndInfinitiesNamingWhereTheyAre)
{
    nlohmann::json value;
    value["timelines"] = nlohmann::json::array({nlohmann::json{{"clips", nlohmann::json::array({nlohmann::json{
                                                                               {"startTime", std::nan("")}}})}}});
    try {
        JsonWriting::prettySortedText(value);
        FAIL() << "NaN was written";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "JSON");
        EXPECT_EQ(error.code(), 1);
        EXPECT_EQ(error.localizedDescription(),
                  "Cannot write JSON: the number at “timelines[0].clips[0].startTime” is NaN, which JSON cannot hold.");
    }

    const nlohmann::json infinite = {{"fps", -std::numeric_limits<double>::infinity()}};
    try {
        JsonWriting::prettySortedText(infinite);
        FAIL() << "an infinity was written";
    } catch (const Error& error) {
        EXPECT_EQ(error.code(), 1);
        EXPECT_NE(error.localizedDescription().find("“fps” is -infinity"), std::string::npos);
    }
}

TEST(JsonText, RefusesTextThatIsNotUtf8)
{
    const nlohmann::json value = {{"mediaFolder", std::string("/media/\xff\xfe")}};
    try {
        JsonWriting::prettySortedText(value);
        FAIL() << "invalid UTF-8 was written";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "JSON");
        EXPECT_EQ(error.code(), 2);
        EXPECT_EQ(error.localizedDescription(), "Cannot write JSON: the text at “mediaFolder” is not valid UTF-8.");
    }
    // A key that is not UTF-8 is named with its bad bytes escaped; good ones stay as they are.
    try {
        JsonWriting::prettySortedText({{"clips", {{std::string("\xC3\xA9t\xE9"), 1}}}});
        FAIL() << "invalid UTF-8 was written";
    } catch (const Error& error) {
        EXPECT_EQ(error.localizedDescription(), "Cannot write JSON: the key at “clips.\u00E9t\\xE9” is not valid UTF-8.");
    }
}

TEST(Utf8Validation, AcceptsWellFormedTextAndRefusesOverlongSurrogatesAndTruncation)
{
    EXPECT_TRUE(Utf8::isValid(""));
    EXPECT_TRUE(Utf8::isValid("plain"));
    EXPECT_TRUE(Utf8::isValid("Caf\xc3\xa9 \xe2\x80\x9c \xf0\x9f\x8e\xac"));
    EXPECT_FALSE(Utf8::isValid("\xc0\xaf"));         // overlong "/"
    EXPECT_FALSE(Utf8::isValid("\xed\xa0\x80"));     // surrogate
    EXPECT_FALSE(Utf8::isValid("\xf4\x90\x80\x80")); // above U+10FFFF
    EXPECT_FALSE(Utf8::isValid("ab\xe2\x80"));       // truncated
    EXPECT_FALSE(Utf8::isValid("\x80"));
}

TEST(AtomicSave, CreatesANewFileAndLeavesNoTemporaryFileBehind)
{
    TempDir dir;
    JsonWriting::saveFileAtomically(dir / "cut.tavlek", "{}");
    EXPECT_EQ(readTextFile(dir / "cut.tavlek"), "{}");
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"cut.tavlek"});
}

// Names of the longest length a folder holds, alike but for their last bytes: each saves, and
// replaces its own file only.
TEST(AtomicSave, SavesAFileOfTheLongestNameBesideAnotherAlikeButForItsEnd)
{
    TempDir dir;
    const std::string first = std::string(254, 'L') + "a";
    const std::string second = std::string(254, 'L') + "b";
    for (int round = 0; round < 2; ++round) {
        JsonWriting::saveFileAtomically(dir / first, "{\"a\": " + std::to_string(round) + "}");
        JsonWriting::saveFileAtomically(dir / second, "{\"b\": " + std::to_string(round) + "}");
    }
    EXPECT_EQ(readTextFile(dir / first), "{\"a\": 1}");
    EXPECT_EQ(readTextFile(dir / second), "{\"b\": 1}");
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{first, second}));
}

TEST(AtomicSave, ReplacesAnExistingFileKeepingItsPermissions)
{
    TempDir dir;
    writeTextFile(dir / "cut.tavlek", "old contents that are longer");
    fs::permissions(dir / "cut.tavlek", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    JsonWriting::saveFileAtomically(dir / "cut.tavlek", "new");
    EXPECT_EQ(readTextFile(dir / "cut.tavlek"), "new");
    EXPECT_EQ(fs::status(dir / "cut.tavlek").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"cut.tavlek"});
}

TEST(AtomicSave, ThroughASymbolicLinkReplacesTheLinkedFileAndKeepsTheLink)
{
    TempDir dir;
    fs::create_directory(dir / "real");
    writeTextFile(dir / "real" / "cut.tavlek", "old");
    fs::create_symlink(dir / "real" / "cut.tavlek", dir / "link.tavlek");
    JsonWriting::saveFileAtomically(dir / "link.tavlek", "new");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.tavlek")));
    EXPECT_EQ(readTextFile(dir / "real" / "cut.tavlek"), "new");
}

TEST(AtomicSave, FailsWithAFileErrorWhenTheFolderIsMissingOrTheTargetIsAFolder)
{
    TempDir dir;
    try {
        JsonWriting::saveFileAtomically(dir / "missing" / "cut.tavlek", "{}");
        FAIL() << "saved into a missing folder";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "file");
        EXPECT_EQ(error.code(), ENOENT);
        EXPECT_EQ(error.localizedDescription(), "Could not save “cut.tavlek”: No such file or directory.");
    }
    fs::create_directory(dir / "folder.tavlek");
    try {
        JsonWriting::saveFileAtomically(dir / "folder.tavlek", "{}");
        FAIL() << "replaced a folder";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "file");
        EXPECT_EQ(error.code(), EISDIR);
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder.tavlek"));
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"folder.tavlek"});
}

TEST(AtomicSave, AnUnwritableFolderLeavesTheExistingFileIntact)
{
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind the superuser; the write-failure test covers this path";
    }
    TempDir dir;
    writeTextFile(dir / "cut.tavlek", "precious");
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(JsonWriting::saveFileAtomically(dir / "cut.tavlek", "new"), Error);
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_EQ(readTextFile(dir / "cut.tavlek"), "precious");
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"cut.tavlek"});
}

// A save killed between writing and renaming leaves its temporary file behind; the next save of
// the same file removes it, but not one that a running save holds, nor another file's.
TEST(AtomicSave, RemovesTheTemporaryFilesOfKilledSavesOfTheSameFile)
{
    TempDir dir;
    writeTextFile(dir / "cut.tavlek", "old");
    writeTextFile(dir / ".cut.tavlek.saving-0123456789ab", "killed once");
    writeTextFile(dir / ".cut.tavlek.saving-ba9876543210", "killed twice");
    writeTextFile(dir / ".cut.tavlek.saving-0000000000aa", "a save still running");
    writeTextFile(dir / ".other.tavlek.saving-0123456789ab", "another file's");
    writeTextFile(dir / ".cut.tavlek.saving-notours", "not a temporary name");
    const int running = ::open((dir / ".cut.tavlek.saving-0000000000aa").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(running, 0);
    ASSERT_EQ(::flock(running, LOCK_EX), 0);

    JsonWriting::saveFileAtomically(dir / "cut.tavlek", "new");
    ::close(running);

    EXPECT_EQ(readTextFile(dir / "cut.tavlek"), "new");
    EXPECT_EQ(folderEntries(dir.path()),
              (std::vector<std::string>{".cut.tavlek.saving-0000000000aa", ".cut.tavlek.saving-notours",
                                        ".other.tavlek.saving-0123456789ab", "cut.tavlek"}));
}

// A write that fails part-way (here: the file-size limit, which binds every user) must leave
// the previous file exactly as it was and no temporary file behind.
TEST(AtomicSave, AWriteFailingPartWayLeavesTheExistingFileIntact)
{
    TempDir dir;
    const std::string precious = "precious project";
    writeTextFile(dir / "cut.tavlek", precious);
    const std::string large(4096, 'x');

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            JsonWriting::saveFileAtomically(dir / "cut.tavlek", large);
        } catch (const Error& error) {
            ::_exit(error.domain() == "file" && error.code() == EFBIG ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the save reported success; 2: another error";
    EXPECT_EQ(readTextFile(dir / "cut.tavlek"), precious);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"cut.tavlek"});
}

} // namespace
} // namespace velmora
