#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/media/MediaError.h"
#include "platform/media/PixelBuffer.h"
#include "platform/media/PixelBufferImage.h"

namespace velmora {
namespace {

std::uint16_t word(const PixelBuffer& b, int plane, int x, int y)
{
    return reinterpret_cast<const std::uint16_t*>(b.baseAddress(plane) + b.bytesPerRow(plane) * y)[x];
}

std::uint8_t byte(const PixelBuffer& b, int plane, int x, int y)
{
    return (b.baseAddress(plane) + b.bytesPerRow(plane) * y)[x];
}

Image solid(int w, int h, Color c)
{
    return Image::filled(w, h, c);
}

TEST(PixelFormatCodes, AreThePlatformFourCharacterCodes)
{
    EXPECT_EQ(static_cast<std::uint32_t>(PixelFormat::p010), 0x78343230u);
    EXPECT_EQ(static_cast<std::uint32_t>(PixelFormat::nv12), 0x34323076u);
    EXPECT_EQ(static_cast<std::uint32_t>(PixelFormat::p216), 0x73763232u);
    EXPECT_EQ(pixelFormatName(PixelFormat::p010), "x420");
    EXPECT_EQ(pixelFormatName(PixelFormat::bgra), "BGRA");
    EXPECT_EQ(pixelFormatFromCode(fourCharCode("sv22")), PixelFormat::p216);
    EXPECT_FALSE(pixelFormatFromCode(fourCharCode("abcd")).has_value());
}

TEST(PixelBufferLayout, PlanesFollowTheFormatIncludingOddSizes)
{
    const PixelBuffer p010 = PixelBuffer::create(PixelFormat::p010, 5, 3);
    EXPECT_EQ(p010.planeCount(), 2);
    EXPECT_EQ(p010.planeWidth(1), 3);
    EXPECT_EQ(p010.planeHeight(1), 2);
    EXPECT_GE(p010.bytesPerRow(0), 10);
    EXPECT_EQ(p010.bytesPerRow(0) % 64, 0);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p010.baseAddress(1)) % 64, 0u);

    const PixelBuffer p216 = PixelBuffer::create(PixelFormat::p216, 5, 3);
    EXPECT_EQ(p216.planeHeight(1), 3);
    const PixelBuffer planar = PixelBuffer::create(PixelFormat::yuv422p10, 6, 4);
    EXPECT_EQ(planar.planeCount(), 3);
    EXPECT_EQ(planar.planeWidth(2), 3);
    EXPECT_EQ(planar.planeHeight(2), 4);
    EXPECT_EQ(PixelBuffer::create(PixelFormat::bgra, 2, 2).planeCount(), 1);
}

TEST(PixelBufferLayout, AbsurdSizesAreRefused)
{
    for (auto [w, h] : {std::pair{0, 10}, std::pair{10, -1}, std::pair{20000, 10}}) {
        try {
            PixelBuffer::create(PixelFormat::nv12, w, h);
            FAIL() << w << "x" << h;
        } catch (const Error& e) {
            EXPECT_EQ(e.domain(), "media");
            EXPECT_EQ(e.code(), MediaError::invalidArgument);
        }
    }
}

TEST(PixelBufferPoolReuse, AReleasedBufferComesBackWithoutItsAttachments)
{
    PixelBufferPool pool(PixelFormat::p010, 64, 32);
    const std::uint8_t* firstAddress = nullptr;
    {
        PixelBuffer a = pool.createPixelBuffer();
        a.attachments().transferFunction = "ITU_R_709_2";
        firstAddress = a.baseAddress(0);
        PixelBuffer b = pool.createPixelBuffer();
        EXPECT_NE(b.baseAddress(0), firstAddress); // a is still in use
        EXPECT_EQ(pool.bufferCount(), 2u);
    }
    for (int i = 0; i < 10; ++i) {
        PixelBuffer again = pool.createPixelBuffer();
        EXPECT_TRUE(again.attachments().transferFunction.empty());
    }
    EXPECT_EQ(pool.bufferCount(), 2u);
    PixelBuffer kept = pool.createPixelBuffer();
    PixelBuffer copy = kept; // a second handle of the same buffer keeps it in use
    EXPECT_TRUE(copy.isSameBuffer(kept));
    PixelBuffer other = pool.createPixelBuffer();
    EXPECT_FALSE(other.isSameBuffer(kept));
}

TEST(PixelBufferPoolReuse, BuffersOutliveThePool)
{
    PixelBuffer survivor;
    {
        PixelBufferPool pool(PixelFormat::nv12, 16, 16);
        survivor = pool.createPixelBuffer();
    }
    survivor.fillBlack();
    EXPECT_EQ(byte(survivor, 0, 3, 3), 16);
    EXPECT_EQ(byte(survivor, 1, 1, 1), 128);
}

TEST(RenderToPixelBuffer, WhiteAndBlackLandOnTheVideoRangeCodesOfEachFormat)
{
    struct Case {
        PixelFormat format;
        unsigned white;
        unsigned black;
        unsigned neutral;
    };
    for (const Case& c : {Case{PixelFormat::p010, 940u << 6, 64u << 6, 512u << 6},
                          Case{PixelFormat::p216, 60160u, 4096u, 32768u},
                          Case{PixelFormat::yuv420p10, 940u, 64u, 512u},
                          Case{PixelFormat::yuv422p10, 940u, 64u, 512u}}) {
        PixelBuffer buffer = PixelBuffer::create(c.format, 4, 2);
        Image image = Image::allocate(4, 2);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 4; ++x) {
                float* px = image.mutableRow(y) + 4 * x;
                const float v = x < 2 ? 1.0f : 0.0f;
                px[0] = px[1] = px[2] = v;
                px[3] = 1;
            }
        }
        renderImageToPixelBuffer(image, buffer);
        EXPECT_EQ(word(buffer, 0, 0, 0), c.white) << pixelFormatName(c.format);
        EXPECT_EQ(word(buffer, 0, 3, 1), c.black) << pixelFormatName(c.format);
        const bool interleaved = buffer.planeCount() == 2;
        EXPECT_EQ(word(buffer, 1, 0, 0), c.neutral);
        EXPECT_EQ(word(buffer, interleaved ? 1 : 2, interleaved ? 1 : 0, 0), c.neutral);
    }
    PixelBuffer nv12 = PixelBuffer::create(PixelFormat::nv12, 2, 2);
    renderImageToPixelBuffer(solid(2, 2, {1, 1, 1, 1}), nv12);
    EXPECT_EQ(byte(nv12, 0, 0, 0), 235);
    EXPECT_EQ(byte(nv12, 1, 0, 0), 128);
    PixelBuffer i420 = PixelBuffer::create(PixelFormat::yuv420p, 2, 2);
    renderImageToPixelBuffer(solid(2, 2, {0, 0, 0, 1}), i420);
    EXPECT_EQ(byte(i420, 0, 1, 1), 16);
    PixelBuffer bgra = PixelBuffer::create(PixelFormat::bgra, 2, 2);
    renderImageToPixelBuffer(solid(2, 2, {1, 0.5f, 0, 1}), bgra);
    EXPECT_EQ(byte(bgra, 0, 0, 0), 0);   // B
    EXPECT_EQ(byte(bgra, 0, 1, 0), 128); // G
    EXPECT_EQ(byte(bgra, 0, 2, 0), 255); // R
}

TEST(RenderToPixelBuffer, PureRedFollowsTheBt709Matrix)
{
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::yuv420p10, 2, 2);
    renderImageToPixelBuffer(solid(2, 2, {1, 0, 0, 1}), buffer);
    // Y' = 0.2126, Cb = -0.2126 / 1.8556, Cr = 0.5.
    EXPECT_EQ(word(buffer, 0, 0, 0), static_cast<unsigned>(std::lround(64 + 876 * 0.2126)));
    EXPECT_EQ(word(buffer, 1, 0, 0), static_cast<unsigned>(std::lround(512 - 896 * 0.2126 / 1.8556)));
    EXPECT_EQ(word(buffer, 2, 0, 0), 960u);
}

TEST(RenderToPixelBuffer, OutOfRangeValuesClampAndNaNBecomesZero)
{
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::yuv420p10, 2, 2);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Image image = Image::allocate(2, 2);
    float* top = image.mutableRow(0);
    float* bottom = image.mutableRow(1);
    const float values[4][4] = {{5, 5, 5, 1}, {-3, -3, -3, 1}, {nan, nan, nan, 1}, {nan, 0, 0, 1}};
    std::copy(&values[0][0], &values[0][0] + 8, top);
    std::copy(&values[2][0], &values[2][0] + 8, bottom);
    renderImageToPixelBuffer(image, buffer);
    EXPECT_EQ(word(buffer, 0, 0, 0), 1023u);
    EXPECT_EQ(word(buffer, 0, 1, 0), 0u);
    EXPECT_EQ(word(buffer, 0, 0, 1), 64u);
    EXPECT_EQ(word(buffer, 0, 1, 1), 64u);
}

TEST(RenderToPixelBuffer, ChromaIsTheAverageOfItsBlock)
{
    // A 4:2:0 block of two red and two blue pixels gets the chroma of their average, magenta/2.
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::p010, 2, 2);
    Image image = Image::allocate(2, 2);
    const float red[4] = {1, 0, 0, 1};
    const float blue[4] = {0, 0, 1, 1};
    std::copy(red, red + 4, image.mutableRow(0));
    std::copy(blue, blue + 4, image.mutableRow(0) + 4);
    std::copy(blue, blue + 4, image.mutableRow(1));
    std::copy(red, red + 4, image.mutableRow(1) + 4);
    renderImageToPixelBuffer(image, buffer);
    const double y = 0.2126 * 0.5 + 0.0722 * 0.5;
    const double cb = (0.5 - y) / 1.8556;
    const double cr = (0.5 - y) / 1.5748;
    EXPECT_EQ(word(buffer, 1, 0, 0) >> 6, std::lround(512 + 896 * cb));
    EXPECT_EQ(word(buffer, 1, 1, 0) >> 6, std::lround(512 + 896 * cr));
    // 4:2:2 averages only along the row.
    PixelBuffer p216 = PixelBuffer::create(PixelFormat::p216, 2, 2);
    renderImageToPixelBuffer(image, p216);
    EXPECT_EQ(word(p216, 1, 1, 0), word(p216, 1, 1, 1));
}

TEST(RenderToPixelBuffer, PlacesTheImageInYUpSpaceWithBlackAround)
{
    // A 2×2 white image at (0, 0) covers the bottom-left corner of a 4×4 buffer: rows 2 and 3.
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::yuv420p10, 4, 4);
    renderImageToPixelBuffer(solid(2, 2, {1, 1, 1, 1}), buffer);
    EXPECT_EQ(word(buffer, 0, 0, 3), 940u);
    EXPECT_EQ(word(buffer, 0, 1, 2), 940u);
    EXPECT_EQ(word(buffer, 0, 2, 3), 64u);
    EXPECT_EQ(word(buffer, 0, 0, 0), 64u);
    // A constant image fills everything.
    renderImageToPixelBuffer(Image::constant({1, 1, 1, 1}), buffer);
    EXPECT_EQ(word(buffer, 0, 3, 0), 940u);
}

TEST(RenderToPixelBuffer, PendingStepsRunOnTheWay)
{
    struct Halve {
        void apply(float* rgba, std::size_t count, const SpanPosition*) const
        {
            for (std::size_t i = 0; i < count; ++i) {
                rgba[4 * i] *= 0.5f;
                rgba[4 * i + 1] *= 0.5f;
                rgba[4 * i + 2] *= 0.5f;
            }
        }
    };
    const Image image = solid(4, 4, {1, 1, 1, 1}).appending(PixelOp::make(Halve{}));
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::yuv420p10, 4, 4);
    renderImageToPixelBuffer(image, buffer);
    EXPECT_EQ(word(buffer, 0, 2, 2), 502u); // 64 + 876 / 2
}

// Y'CbCr of an R'G'B' pixel in 10-bit code units (not rounded).
void codes(const float* px, double& y, double& cb, double& cr)
{
    const double yy = 0.2126 * px[0] + 0.7152 * px[1] + 0.0722 * px[2];
    y = 64 + 876 * yy;
    cb = 512 + 896 * (px[2] - yy) / 1.8556;
    cr = 512 + 896 * (px[0] - yy) / 1.5748;
}

TEST(PixelBufferRoundTrip, FloatToP010ToFloatStaysWithinOneCodeValue)
{
    // Colours constant over each 2×2 block, so 4:2:0 loses nothing but precision.
    const int w = 64;
    const int h = 32;
    Image image = Image::allocate(w, h);
    for (int y = 0; y < h; ++y) {
        float* row = image.mutableRow(y);
        for (int x = 0; x < w; ++x) {
            const int bx = x / 2;
            const int by = y / 2;
            row[4 * x + 0] = 0.05f + 0.9f * static_cast<float>(bx) / (w / 2);
            row[4 * x + 1] = 0.1f + 0.8f * static_cast<float>(by) / (h / 2);
            row[4 * x + 2] = 0.5f + 0.4f * std::sin(static_cast<float>(bx + by));
            row[4 * x + 3] = 1;
        }
    }
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::p010, w, h);
    renderImageToPixelBuffer(image, buffer);
    const Image back = imageFromPixelBuffer(buffer);
    ASSERT_EQ(back.width(), w);
    ASSERT_EQ(back.height(), h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            double y0, cb0, cr0, y1, cb1, cr1;
            codes(image.row(y) + 4 * x, y0, cb0, cr0);
            codes(back.row(y) + 4 * x, y1, cb1, cr1);
            ASSERT_LE(std::fabs(y0 - y1), 1.0) << x << "," << y;
            ASSERT_LE(std::fabs(cb0 - cb1), 1.0) << x << "," << y;
            ASSERT_LE(std::fabs(cr0 - cr1), 1.0) << x << "," << y;
            ASSERT_EQ(back.row(y)[4 * x + 3], 1.0f);
        }
    }
    // Converting the result again gives the same code values.
    PixelBuffer again = PixelBuffer::create(PixelFormat::p010, w, h);
    renderImageToPixelBuffer(back, again);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            ASSERT_EQ(word(again, 0, x, y), word(buffer, 0, x, y));
        }
    }
}

TEST(ImageFromPixelBuffer, UsesTheAttachedMatrixAndRange)
{
    PixelBuffer buffer = PixelBuffer::create(PixelFormat::nv12, 2, 2);
    buffer.fillBlack();
    EXPECT_NEAR(imageFromPixelBuffer(buffer).row(0)[0], 0.0f, 1e-6);
    // Full range: code 16 is slightly above black.
    buffer.attachments().colorRange = "FullRange";
    EXPECT_NEAR(imageFromPixelBuffer(buffer).row(0)[0], 16.0f / 255.0f, 1e-6);
    buffer.attachments().colorRange.clear();
    // Cr = +0.5 on a mid-grey: R' rises by 1.5748 / 2 with BT.709, 1.402 / 2 with BT.601.
    std::uint8_t* y = buffer.baseAddress(0);
    y[0] = y[1] = y[buffer.bytesPerRow(0)] = y[buffer.bytesPerRow(0) + 1] = 126;
    buffer.baseAddress(1)[1] = 240;
    const double grey = (126.0 - 16.0) / 219.0;
    EXPECT_NEAR(imageFromPixelBuffer(buffer).row(0)[0], grey + 1.5748 * 0.5, 1e-4);
    buffer.attachments().yCbCrMatrix = "ITU_R_601_4";
    const Image image = imageFromPixelBuffer(buffer);
    EXPECT_NEAR(image.row(0)[0], grey + 1.402 * 0.5, 1e-4);
    EXPECT_EQ(image.tags.yCbCrMatrix, "ITU_R_601_4");
}

// Every layout the decoders deliver, at widths that leave every possible tail after the 4, 8 and
// 16-pixel steps: each pixel is its own Y' with the Cb, Cr of its chroma block.
TEST(ImageFromPixelBuffer, EveryPixelOfEveryLayoutAtEveryWidth)
{
    struct Layout {
        PixelFormat format;
        bool wide;        // 16-bit samples
        bool interleaved; // Cb, Cr pairs in plane 1
        bool halfHeight;  // 4:2:0
        double yOffset, yScale, cOffset, cScale;
    };
    const Layout layouts[] = {
        {PixelFormat::nv12, false, true, true, 16, 219, 128, 224},
        {PixelFormat::yuv420p, false, false, true, 16, 219, 128, 224},
        {PixelFormat::p010, true, true, true, 16 * 256, 219 * 256, 32768, 224 * 256},
        {PixelFormat::p216, true, true, false, 16 * 256, 219 * 256, 32768, 224 * 256},
        {PixelFormat::yuv420p10, true, false, true, 64, 876, 512, 896},
        {PixelFormat::yuv422p10, true, false, false, 64, 876, 512, 896},
    };
    std::uint32_t seed = 12345;
    const auto nextCode = [&](bool wide) {
        seed = seed * 1664525u + 1013904223u;
        return wide ? (seed >> 16) % 1024 * 64 % 65536 : (seed >> 24);
    };
    for (const Layout& layout : layouts) {
        const int maxCode = layout.format == PixelFormat::yuv420p10 || layout.format == PixelFormat::yuv422p10 ? 1023
                            : layout.wide ? 65535 : 255;
        for (const int width : {1, 2, 3, 5, 8, 15, 16, 17, 30, 33, 47, 258, 301}) {
            const int height = 3;
            PixelBuffer buffer = PixelBuffer::create(layout.format, width, height);
            const auto sample = [&](int plane, int x, int y) -> unsigned {
                const std::uint8_t* row = buffer.baseAddress(plane) + buffer.bytesPerRow(plane) * y;
                return layout.wide ? reinterpret_cast<const std::uint16_t*>(row)[x] : row[x];
            };
            const auto setSample = [&](int plane, int x, int y, unsigned value) {
                std::uint8_t* row = buffer.baseAddress(plane) + buffer.bytesPerRow(plane) * y;
                if (layout.wide) {
                    reinterpret_cast<std::uint16_t*>(row)[x] = static_cast<std::uint16_t>(value);
                } else {
                    row[x] = static_cast<std::uint8_t>(value);
                }
            };
            const int chromaWidth = (width + 1) / 2;
            const int chromaHeight = layout.halfHeight ? (height + 1) / 2 : height;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    setSample(0, x, y, std::min<unsigned>(nextCode(layout.wide), maxCode));
                }
            }
            for (int y = 0; y < chromaHeight; ++y) {
                for (int x = 0; x < chromaWidth * (layout.interleaved ? 2 : 1); ++x) {
                    setSample(1, x, y, std::min<unsigned>(nextCode(layout.wide), maxCode));
                    if (!layout.interleaved) {
                        setSample(2, x, y, std::min<unsigned>(nextCode(layout.wide), maxCode));
                    }
                }
            }
            const Image image = imageFromPixelBuffer(buffer);
            for (int y = 0; y < height; ++y) {
                const int cy = layout.halfHeight ? y / 2 : y;
                for (int x = 0; x < width; ++x) {
                    const double luma = (sample(0, x, y) - layout.yOffset) / layout.yScale;
                    const unsigned cbCode = layout.interleaved ? sample(1, x / 2 * 2, cy) : sample(1, x / 2, cy);
                    const unsigned crCode = layout.interleaved ? sample(1, x / 2 * 2 + 1, cy) : sample(2, x / 2, cy);
                    const double cb = (cbCode - layout.cOffset) / layout.cScale;
                    const double cr = (crCode - layout.cOffset) / layout.cScale;
                    const float* pixel = image.row(y) + 4 * x;
                    ASSERT_NEAR(pixel[0], luma + 1.5748 * cr, 2e-5) << width << " " << x << "," << y;
                    ASSERT_NEAR(pixel[1], luma - 0.187324 * cb - 0.468124 * cr, 2e-5) << width << " " << x << "," << y;
                    ASSERT_NEAR(pixel[2], luma + 1.8556 * cb, 2e-5) << width << " " << x << "," << y;
                    ASSERT_EQ(pixel[3], 1.0f);
                }
            }
        }
    }
}

} // namespace
} // namespace velmora
