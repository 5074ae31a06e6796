#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>

#include "MediaTestHelpers.h"
#include "platform/media/AssetReader.h"
#include "platform/media/MediaError.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::TempDir;

// Sends standard error to a file for its lifetime; answers what was written there.
class CapturedStandardError {
public:
    explicit CapturedStandardError(std::filesystem::path file) : file_(std::move(file))
    {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~CapturedStandardError() { restore(); }

    std::string text()
    {
        restore();
        return test::readTextFile(file_);
    }

private:
    void restore()
    {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }

    std::filesystem::path file_;
    int saved_ = -1;
};

// Overwrites the middle third of an MP4's media data with noise, leaving its boxes intact.
void damageMediaData(const std::filesystem::path& path)
{
    std::string bytes = test::readTextFile(path);
    std::size_t at = 0;
    while (at + 8 <= bytes.size()) {
        const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])); };
        const std::size_t size = byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
        if (bytes.compare(at + 4, 4, "mdat") == 0) {
            for (std::size_t i = at + 8 + size / 3; i < at + 8 + 2 * size / 3 && i < bytes.size(); ++i) {
                bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
            }
            test::writeTextFile(path, bytes);
            return;
        }
        if (size < 8) {
            break;
        }
        at += size;
    }
    FAIL() << "no media data in " << path;
}

TEST(FFmpegLog, DamagedMediaPrintsNothing)
{
    TempDir dir;
    test::ClipSettings clip;
    clip.frameCount = 60;
    clip.videoArgs = "-preset ultrafast -g 10";
    test::makeClip(dir / "damaged.mp4", clip);
    damageMediaData(dir / "damaged.mp4");

    CapturedStandardError captured(dir / "stderr.txt");
    auto asset = Asset::open(dir / "damaged.mp4");
    AssetReader reader(asset);
    auto output = AssetReaderTrackOutput::video(*asset->firstTrack(MediaType::video), PixelFormat::p010);
    reader.add(output);
    reader.startReading();
    int frames = 0;
    while (output->copyNextSampleBuffer()) {
        ++frames;
    }
    EXPECT_EQ(captured.text(), "");
    EXPECT_GT(frames, 0);
}

TEST(FFmpegLog, TheLastMessageCompletesTheErrorText)
{
    TempDir dir;
    test::makeClip(dir / "whole.mp4", test::ClipSettings());
    const std::string bytes = test::readTextFile(dir / "whole.mp4");
    // The header of an MP4 written by FFmpeg's tool comes last: without it nothing can be read.
    test::writeTextFile(dir / "cut.mp4", bytes.substr(0, bytes.size() / 2));

    CapturedStandardError captured(dir / "stderr.txt");
    try {
        Asset::open(dir / "cut.mp4");
        ADD_FAILURE() << "opened a file without its header";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), "media");
        EXPECT_NE(error.message().find("(moov atom not found)"), std::string::npos) << error.message();
    }
    EXPECT_EQ(captured.text(), "");
}

} // namespace
} // namespace velmora
