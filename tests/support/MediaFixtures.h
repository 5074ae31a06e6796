#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace velmora::test {

// Media made at test time with the ffmpeg tool. Every helper throws std::runtime_error with the
// tool's output when it fails, so a broken fixture shows why.

enum class ClipPattern {
    // The frame number as 16 vertical luma bars, least significant bit on the left: bar k is
    // white (luma 235) when bit k of the frame number is set, black (16) otherwise; chroma
    // neutral. readFrameStamp() reads it back from a decoded picture.
    frameStamp,
    // FFmpeg's moving test card (colour, gradients, a frame counter).
    testsrc2,
    // Flat grey (luma greyLuma, chroma neutral) but for the top quarter (rows y < height / 4),
    // which carries the frame number as frameStamp's bars: the centre reads as the grey, and
    // readFrameStamp at row height / 8 tells which frame it is.
    flatGrey,
};

struct ClipSettings {
    int width = 160;
    int height = 96;
    int fpsNum = 25;
    int fpsDen = 1;
    int frameCount = 50;
    ClipPattern pattern = ClipPattern::frameStamp;
    // Added to the frame number a frameStamp or flatGrey clip carries, so that files made apart
    // tell their frames apart.
    int stampOffset = 0;
    // The 8-bit video-range luma of flatGrey; 56 decodes to R'G'B' 47.
    int greyLuma = 56;
    // Encoder name; empty for a file without video.
    std::string videoCodec = "libx264";
    std::string pixelFormat = "yuv420p";
    // Further encoder arguments, e.g. "-g 12 -bf 2" or "-preset ultrafast".
    std::string videoArgs;
    // A sine tone track of the given frequency, lasting as long as the video (or audioSeconds
    // when there is no video).
    bool audio = false;
    double sineFrequency = 440;
    int sampleRate = 48000;
    int channels = 2;
    double audioSeconds = 2;
    std::string audioCodec = "aac";
    // Clockwise display rotation written as the track's display matrix (0, 90, 180, 270).
    int rotation = 0;
};


// Writes a clip; the container follows the file extension.
void makeClip(const std::filesystem::path& path, const ClipSettings& clip);

// A 1280 × 768 Motion JPEG clip of `frames` frame stamps, which decoders can decode at a
// reduced size (the container follows the extension; QuickTime takes it).
ClipSettings largeJpegClip(int frames);

// A still image (PNG, JPEG, TIFF or BMP by extension) showing `stamp` as a frame-stamp pattern.
void makeStillImage(const std::filesystem::path& path, int width, int height, int stamp);

// A HEIF still (HEVC inside, written by libheif's heif-enc) showing `stamp` as a frame-stamp
// pattern: 8 bits, or 10 bits from a 16-bit picture when `deep`.
void makeHeifStill(const std::filesystem::path& path, int width, int height, int stamp, bool deep = false);

// A PNG whose header claims width × height pixels (RGB, 8 bits) while its data holds a few bytes:
// what a hostile or damaged file looks like to a probe, without making the picture.
void makePngClaimingSize(const std::filesystem::path& path, std::uint32_t width, std::uint32_t height);

// The frame number of a frame-stamp picture. `luma(x, y)` answers the picture's brightness at
// pixel column x, row y (row 0 at the top) normalised so that black is about 0 and white about 1
// (a Y' plane's video-range code value mapped to 0..1, or R'G'B' of a decoded image).
// The bars are read along row `row`, the middle row (height / 2) when it is negative.
// Returns -1 when a bar is neither clearly black nor clearly white.
int readFrameStamp(const std::function<double(int x, int y)>& luma, int width, int height, int row = -1);

// `ffprobe -of json` of a file with the given sections (e.g. "-show_streams -show_format").
nlohmann::json ffprobe(const std::filesystem::path& path, const std::string& arguments = "-show_streams -show_format");

// The JSON of one stream ("v:0", "a:0") with its frames counted (nb_read_frames).
nlohmann::json ffprobeStream(const std::filesystem::path& path, const std::string& selector, bool countFrames = false);

struct ProbedPacket {
    int streamIndex = 0;
    double dtsSeconds = 0;
    double ptsSeconds = 0;
    std::int64_t position = 0; // byte offset in the file
};
// Every packet of the file in file order.
std::vector<ProbedPacket> ffprobePackets(const std::filesystem::path& path);

// ffmpeg run with the given arguments (after -y -hide_banner -loglevel error); throws on failure.
void runFFmpeg(const std::string& arguments);

// runFFmpeg(arguments + output) for arguments whose every input is a generator (`-f lavfi`), never
// a file: what it writes depends on the arguments and the output's extension alone, so a file
// made by an earlier run with both the same, in any test process of this build, is copied instead.
void generateMedia(const std::string& arguments, const std::filesystem::path& output);

} // namespace velmora::test
