#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "export/WriterSettings.h"

namespace velmora::Exporter {
namespace {

TEST(MakeWriterSettings, HevcTenBitWithColourAndRateControl)
{
    const VideoOutputSettings s = makeWriterSettings(3840, 2160, 29.97, 150'000'000, "ITU_R_709_2",
                                                     EditorVideoCodec::hevc10);
    EXPECT_EQ(s.codec, VideoCodecType::hevc);
    EXPECT_EQ(s.width, 3840);
    EXPECT_EQ(s.height, 2160);
    ASSERT_TRUE(s.colorProperties.has_value());
    EXPECT_EQ(*s.colorProperties, (VideoColorProperties{"ITU_R_709_2", "ITU_R_709_2", "ITU_R_709_2"}));
    ASSERT_TRUE(s.compressionProperties.has_value());
    const VideoCompressionProperties& c = *s.compressionProperties;
    EXPECT_EQ(c.profileLevel, "HEVC_Main10_AutoLevel");
    EXPECT_DOUBLE_EQ(c.expectedSourceFrameRate, 29.97);
    EXPECT_FALSE(c.allowFrameReordering);
    EXPECT_EQ(c.maxKeyFrameInterval, 60);
    EXPECT_FALSE(c.h264EntropyMode.has_value());
    EXPECT_EQ(c.averageBitRate, 150'000'000);
    ASSERT_TRUE(c.dataRateLimits.has_value());
    EXPECT_EQ(c.dataRateLimits->first, 18'750'000);
    EXPECT_EQ(c.dataRateLimits->second, 1.0);
}

TEST(MakeWriterSettings, KeyFrameIntervalIsTwoSecondsRoundedHalfAway)
{
    auto interval = [](double fps) {
        return *makeWriterSettings(1920, 1080, fps, std::nullopt, "ITU_R_709_2", EditorVideoCodec::hevc10)
                    .compressionProperties->maxKeyFrameInterval;
    };
    EXPECT_EQ(interval(29.97), 60);
    EXPECT_EQ(interval(23.976), 48);
    EXPECT_EQ(interval(59.94), 120);
    EXPECT_EQ(interval(0.25), 1);  // 0.5 rounds away from zero
    EXPECT_EQ(interval(0.1), 1);   // at least one
    EXPECT_EQ(interval(std::numeric_limits<double>::quiet_NaN()), 60); // taken as 30 fps
}

TEST(MakeWriterSettings, BitRatesAreClampedPerCodec)
{
    const auto hevcLow = makeWriterSettings(1920, 1080, 25, 500'000, "ITU_R_709_2", EditorVideoCodec::hevc10);
    EXPECT_EQ(hevcLow.compressionProperties->averageBitRate, 1'000'000);
    EXPECT_EQ(hevcLow.compressionProperties->dataRateLimits->first, 125'000);
    const auto hevcHigh = makeWriterSettings(1920, 1080, 25, 900'000'000, "ITU_R_709_2", EditorVideoCodec::hevc10);
    EXPECT_EQ(hevcHigh.compressionProperties->averageBitRate, 400'000'000);
    EXPECT_EQ(hevcHigh.compressionProperties->dataRateLimits->first, 50'000'000);
    const auto h264High = makeWriterSettings(1920, 1080, 25, 500'000'000, "ITU_R_709_2", EditorVideoCodec::h264);
    EXPECT_EQ(h264High.compressionProperties->averageBitRate, 200'000'000);
    const auto h264Low = makeWriterSettings(1920, 1080, 25, 10, "ITU_R_709_2", EditorVideoCodec::h264);
    EXPECT_EQ(h264Low.compressionProperties->averageBitRate, 2'000'000);
    EXPECT_FALSE(h264Low.compressionProperties->dataRateLimits.has_value());
}

TEST(MakeWriterSettings, WithoutTargetTheEncoderDecidesTheRate)
{
    const auto s = makeWriterSettings(1920, 1080, 25, std::nullopt, "IEC61966-2-1", EditorVideoCodec::hevc10);
    EXPECT_FALSE(s.compressionProperties->averageBitRate.has_value());
    EXPECT_FALSE(s.compressionProperties->dataRateLimits.has_value());
    EXPECT_EQ(s.colorProperties->transferFunction, "IEC61966-2-1");
    EXPECT_EQ(s.compressionProperties->maxKeyFrameInterval, 50);
}

TEST(MakeWriterSettings, H264HighCabacWithoutColourOrKeyFrameInterval)
{
    const auto s = makeWriterSettings(1280, 720, 59.94, 20'000'000, "ITU_R_709_2", EditorVideoCodec::h264);
    EXPECT_EQ(s.codec, VideoCodecType::h264);
    EXPECT_FALSE(s.colorProperties.has_value());
    const auto& c = *s.compressionProperties;
    EXPECT_EQ(c.profileLevel, "H264_High_AutoLevel");
    EXPECT_DOUBLE_EQ(c.expectedSourceFrameRate, 59.94);
    EXPECT_FALSE(c.allowFrameReordering);
    EXPECT_EQ(c.h264EntropyMode, "CABAC");
    EXPECT_FALSE(c.maxKeyFrameInterval.has_value());
    EXPECT_EQ(c.averageBitRate, 20'000'000);
}

TEST(MakeWriterSettings, ProResIgnoresRateTargetAndTransfer)
{
    const auto s = makeWriterSettings(1920, 1080, 23.976, 50'000'000, "IEC61966-2-1", EditorVideoCodec::proRes422);
    EXPECT_EQ(s, (VideoOutputSettings{VideoCodecType::proRes422, 1920, 1080, std::nullopt, std::nullopt}));
    EXPECT_EQ(makeMain10WriterSettings(640, 360, 25, 1, "ITU_R_709_2"),
              makeWriterSettings(640, 360, 25, 1, "ITU_R_709_2", EditorVideoCodec::hevc10));
}

TEST(RenderPixelFormat, OneLayoutPerCodec)
{
    EXPECT_EQ(renderPixelFormat(EditorVideoCodec::hevc10), PixelFormat::p010);
    EXPECT_EQ(renderPixelFormat(EditorVideoCodec::h264), PixelFormat::nv12);
    EXPECT_EQ(renderPixelFormat(EditorVideoCodec::proRes422), PixelFormat::p216);
}

} // namespace
} // namespace velmora::Exporter
