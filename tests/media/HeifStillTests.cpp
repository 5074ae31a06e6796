#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "MediaTestHelpers.h"
#include "platform/media/ImageGenerator.h"
#include "platform/media/MediaError.h"
#include "support/TestSupport.h"

namespace velmora {
namespace {

using test::stampOf;
using test::TempDir;

// Phone pictures come as HEIC, which FFmpeg cannot read: the asset and the generator read them
// with libheif, as still pictures of their displayed size.
TEST(HeifStill, OpensAsAStillAndDecodesItsPicture)
{
    TempDir dir;
    const auto path = dir / "IMG_0001.HEIC";
    test::makeHeifStill(path, 320, 240, 1234);

    const std::shared_ptr<const Asset> asset = Asset::open(path);
    EXPECT_TRUE(asset->isStillImage());
    EXPECT_EQ(asset->formatName(), "heif");
    EXPECT_EQ(asset->duration(), MediaTime::zero());
    ASSERT_EQ(asset->tracks().size(), 1u);
    const AssetTrack& picture = asset->tracks().front();
    EXPECT_EQ(picture.mediaType, MediaType::video);
    EXPECT_EQ(picture.displayWidth(), 320);
    EXPECT_EQ(picture.displayHeight(), 240);
    EXPECT_EQ(picture.bitDepth, 8);

    ImageGenerator generator(asset);
    generator.appliesPreferredTrackTransform = true;
    const Image full = generator.copyImage(MediaTime(5, 1));
    EXPECT_EQ(std::pair(full.width(), full.height()), std::pair(320, 240));
    EXPECT_EQ(stampOf(full), 1234);
    // Any time shows the same picture; a size limit scales it down, keeping its aspect.
    generator.maximumWidth = 160;
    generator.maximumHeight = 90;
    const Image small = generator.copyImage(MediaTime::zero());
    EXPECT_EQ(std::pair(small.width(), small.height()), std::pair(120, 90));
    EXPECT_EQ(stampOf(small), 1234);
}

TEST(HeifStill, DeepPicturesKeepTheirRangeAndBrokenFilesAreRefused)
{
    TempDir dir;
    const auto path = dir / "deep.heif";
    test::makeHeifStill(path, 256, 128, 0xA5A5, true);
    const std::shared_ptr<const Asset> asset = Asset::open(path);
    EXPECT_EQ(asset->firstTrack(MediaType::video)->bitDepth, 10);

    ImageGenerator generator(asset);
    const Image image = generator.copyImage(MediaTime::zero());
    EXPECT_EQ(stampOf(image), 0xA5A5);
    // Bit 0's bar is white and bit 1's black: 10-bit samples widened to the full range.
    const float* row = image.row(64);
    EXPECT_NEAR(row[4 * 8 + 1], 1.0, 0.03);
    EXPECT_NEAR(row[4 * 24 + 1], 0.0, 0.03);

    // The first bytes of a real file: recognised as HEIF, unreadable, a clear error.
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto cut = dir / "cut.heic";
    std::ofstream(cut, std::ios::binary) << bytes.substr(0, 120);

    try {
        Asset::open(cut);
        FAIL() << "a truncated HEIF file opened";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain(), MediaError::domain);
        EXPECT_EQ(error.code(), MediaError::cannotOpen);
        EXPECT_NE(error.localizedDescription().find("cut.heic"), std::string::npos) << error.localizedDescription();
    }
}

} // namespace
} // namespace velmora
