#include "support/MediaFixtures.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include <unistd.h>

#include "support/TestSupport.h"

namespace velmora::test {

namespace {

std::string number(double value)
{
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    (void)ec;
    return std::string(buffer, end);
}

std::string number(int value)
{
    return std::to_string(value);
}

double parseDouble(const nlohmann::json& value)
{
    if (value.is_number()) {
        return value.get<double>();
    }
    if (!value.is_string()) {
        return 0;
    }
    const std::string text = value.get<std::string>();
    double result = 0;
    std::from_chars(text.data(), text.data() + text.size(), result);
    return result;
}

// The geq expression of the frame-stamp pattern for frame number `frameExpr`.
std::string stampExpression(const std::string& frameExpr)
{
    return "if(mod(floor((" + frameExpr + ")/pow(2\\,floor(X*16/W)))\\,2)\\,235\\,16)";
}

void putBigEndian32(std::string& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<char>((value >> (24 - 8 * i)) & 0xff);
    }
}

// Writes a clockwise display rotation into the first track header ('tkhd') of an MP4 or
// QuickTime file, as cameras and phones record it.
void setDisplayRotation(const std::filesystem::path& path, int rotation, int width, int height)
{
    std::string bytes = readTextFile(path);
    const std::size_t box = bytes.find("tkhd");
    if (box == std::string::npos || box < 4) {
        throw std::runtime_error("no track header in " + path.string());
    }
    const std::size_t start = box - 4;
    const int version = static_cast<unsigned char>(bytes[box + 4]);
    const std::size_t matrix = start + (version == 1 ? 60 : 48);
    const std::uint32_t one = 0x10000;
    const std::uint32_t minusOne = static_cast<std::uint32_t>(-0x10000);
    std::uint32_t m[9] = {one, 0, 0, 0, one, 0, 0, 0, 0x40000000};
    const std::uint32_t w = static_cast<std::uint32_t>(width) << 16;
    const std::uint32_t h = static_cast<std::uint32_t>(height) << 16;
    if (rotation == 90) {
        std::uint32_t r[9] = {0, one, 0, minusOne, 0, 0, h, 0, 0x40000000};
        std::copy(r, r + 9, m);
    } else if (rotation == 180) {
        std::uint32_t r[9] = {minusOne, 0, 0, 0, minusOne, 0, w, h, 0x40000000};
        std::copy(r, r + 9, m);
    } else if (rotation == 270) {
        std::uint32_t r[9] = {0, minusOne, 0, one, 0, 0, 0, w, 0x40000000};
        std::copy(r, r + 9, m);
    }
    for (int i = 0; i < 9; ++i) {
        putBigEndian32(bytes, matrix + 4 * i, m[i]);
    }
    writeTextFile(path, bytes);
}

} // namespace

void runFFmpeg(const std::string& arguments)
{
    const CommandResult result = runCommand("ffmpeg -y -hide_banner -loglevel error -nostdin " + arguments);
    if (result.exitCode != 0) {
        throw std::runtime_error("ffmpeg " + arguments + " failed:\n" + result.output);
    }
}

namespace {

// FNV-1a: a stable name for a generator run across processes and builds.
std::uint64_t fnv1a(const std::string& text)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const unsigned char byte : text) {
        hash = (hash ^ byte) * 0x100000001b3ull;
    }
    return hash;
}

} // namespace

void generateMedia(const std::string& arguments, const std::filesystem::path& output)
{
    namespace fs = std::filesystem;
    // Every test case runs in a process of its own, so a suite's fixtures are made again for each
    // of its cases; the same run's file is kept once in the build's scratch folder and copied.
    const std::string extension = output.extension().string();
    char name[32];
    std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(fnv1a(arguments + "\n" + extension)));
    const fs::path cache = fs::path(VELMORA_TEST_TMP) / "generated-media";
    const fs::path kept = cache / (name + extension);
    if (!fs::is_regular_file(kept)) {
        // Made under a name of this process's own, then renamed into place whole: a process that
        // meets the file never sees it half written.
        fs::create_directories(cache);
        const fs::path partial = cache / ("partial-" + std::to_string(::getpid()) + "-" + name + extension);
        runFFmpeg(arguments + " " + shellQuote(partial.string()));
        fs::rename(partial, kept);
    }
    fs::copy_file(kept, output, fs::copy_options::overwrite_existing);
}

ClipSettings largeJpegClip(int frames)
{
    ClipSettings clip;
    clip.width = 1280;
    clip.height = 768;
    clip.frameCount = frames;
    clip.videoCodec = "mjpeg";
    clip.pixelFormat = "yuvj420p";
    clip.videoArgs = "-q:v 3";
    return clip;
}

void makeClip(const std::filesystem::path& path, const ClipSettings& clip)
{
    const std::string rate = number(clip.fpsNum) + "/" + number(clip.fpsDen);
    const std::string size = number(clip.width) + "x" + number(clip.height);
    const double seconds = clip.videoCodec.empty()
                               ? clip.audioSeconds
                               : static_cast<double>(clip.frameCount) * clip.fpsDen / clip.fpsNum;
    // Sources end by their own duration: an output frame limit would also cut the audio short.
    const std::string duration = ":d=" + number(seconds);
    std::string args;
    int audioInput = 0;
    if (!clip.videoCodec.empty()) {
        if (clip.pattern == ClipPattern::testsrc2) {
            args += "-f lavfi -i testsrc2=s=" + size + ":r=" + rate + duration + " ";
        } else {
            args += "-f lavfi -i color=c=black:s=" + size + ":r=" + rate + duration + " ";
        }
        audioInput = 1;
    }
    if (clip.audio) {
        args += "-f lavfi -i sine=f=" + number(clip.sineFrequency) + ":r=" + number(clip.sampleRate) + duration + " ";
    }
    if (!clip.videoCodec.empty()) {
        std::string filter;
        if (clip.pattern == ClipPattern::frameStamp) {
            filter = "format=yuv420p,geq=lum='" + stampExpression("N+" + number(clip.stampOffset)) + "':cb=128:cr=128,";
        } else if (clip.pattern == ClipPattern::flatGrey) {
            filter = "format=yuv420p,geq=lum='if(lt(Y\\,H/4)\\," + stampExpression("N+" + number(clip.stampOffset)) + "\\," +
                     number(clip.greyLuma) + ")':cb=128:cr=128,";
        }
        filter += "format=" + clip.pixelFormat;
        args += "-map 0:v -vf \"" + filter + "\" ";
        if (!clip.audio) {
            args += "-frames:v " + number(clip.frameCount) + " ";
        }
        args += "-c:v " + clip.videoCodec + " " + clip.videoArgs + " ";
    }
    if (clip.audio) {
        args += "-map " + number(audioInput) + ":a -c:a " + clip.audioCodec + " -ar " + number(clip.sampleRate) +
                " -ac " + number(clip.channels) + " ";
    }
    generateMedia(args, path);
    if (clip.rotation != 0 && !clip.videoCodec.empty()) {
        setDisplayRotation(path, clip.rotation, clip.width, clip.height);
    }
}

namespace {

std::uint32_t crc32(const std::string& bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::string bigEndian(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

std::string pngChunk(const std::string& type, const std::string& data)
{
    return bigEndian(static_cast<std::uint32_t>(data.size())) + type + data + bigEndian(crc32(type + data));
}

} // namespace

void makePngClaimingSize(const std::filesystem::path& path, std::uint32_t width, std::uint32_t height)
{
    const std::string header = bigEndian(width) + bigEndian(height) + std::string("\x08\x02\x00\x00\x00", 5);
    // A zlib stream of a few zero bytes: far less than the header promises.
    const std::string data("\x78\x9c\x63\x60\x60\x00\x00\x00\x03\x00\x01", 11);
    writeTextFile(path, std::string("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", data) +
                            pngChunk("IEND", ""));
}

void makeStillImage(const std::filesystem::path& path, int width, int height, int stamp)
{
    const std::string size = number(width) + "x" + number(height);
    const std::string ext = path.extension().string();
    const std::string pixfmt = (ext == ".jpg" || ext == ".jpeg") ? "yuvj420p" : "rgb24";
    generateMedia("-f lavfi -i color=c=black:s=" + size + " -vf \"format=yuv444p,geq=lum='" +
                      stampExpression(number(stamp)) + "':cb=128:cr=128,scale=out_range=full,format=" + pixfmt +
                      "\" -frames:v 1 -update 1",
                  path);
}

void makeHeifStill(const std::filesystem::path& path, int width, int height, int stamp, bool deep)
{
    const std::filesystem::path picture = path.parent_path() / (path.stem().string() + "-source.png");
    const std::string size = number(width) + "x" + number(height);
    runFFmpeg("-f lavfi -i color=c=black:s=" + size + " -vf \"format=yuv444p,geq=lum='" +
              stampExpression(number(stamp)) + "':cb=128:cr=128,scale=out_range=full,format=" +
              (deep ? "rgb48be" : "rgb24") + "\" -frames:v 1 -update 1 " + shellQuote(picture.string()));
    const CommandResult result = runCommand("heif-enc -q 90 " + std::string(deep ? "-b 10 " : "") +
                                            shellQuote(picture.string()) + " -o " + shellQuote(path.string()) + " 2>&1");
    std::filesystem::remove(picture);
    if (result.exitCode != 0) {
        throw std::runtime_error("heif-enc failed: " + result.output);
    }
}

int readFrameStamp(const std::function<double(int x, int y)>& luma, int width, int height, int row)
{
    int value = 0;
    const int y = row < 0 ? height / 2 : row;
    for (int bit = 0; bit < 16; ++bit) {
        const int x = static_cast<int>((bit + 0.5) * width / 16.0);
        const double v = luma(x, y);
        if (v > 0.75) {
            value |= 1 << bit;
        } else if (!(v < 0.25)) {
            return -1;
        }
    }
    return value;
}

nlohmann::json ffprobe(const std::filesystem::path& path, const std::string& arguments)
{
    const CommandResult result =
        runCommand("ffprobe -v quiet -of json " + arguments + " " + shellQuote(path.string()));
    if (result.exitCode != 0) {
        throw std::runtime_error("ffprobe of " + path.string() + " failed:\n" + result.output);
    }
    return nlohmann::json::parse(result.output);
}

nlohmann::json ffprobeStream(const std::filesystem::path& path, const std::string& selector, bool countFrames)
{
    const nlohmann::json json =
        ffprobe(path, "-show_streams -select_streams " + selector + (countFrames ? " -count_frames" : ""));
    if (!json.contains("streams") || json["streams"].empty()) {
        throw std::runtime_error("no stream " + selector + " in " + path.string());
    }
    return json["streams"][0];
}

std::vector<ProbedPacket> ffprobePackets(const std::filesystem::path& path)
{
    const nlohmann::json json = ffprobe(path, "-show_entries packet=stream_index,pts_time,dts_time,pos");
    std::vector<ProbedPacket> packets;
    for (const auto& p : json.value("packets", nlohmann::json::array())) {
        ProbedPacket packet;
        packet.streamIndex = p.value("stream_index", 0);
        packet.ptsSeconds = parseDouble(p.value("pts_time", nlohmann::json()));
        packet.dtsSeconds = parseDouble(p.value("dts_time", nlohmann::json()));
        packet.position = static_cast<std::int64_t>(parseDouble(p.value("pos", nlohmann::json())));
        packets.push_back(packet);
    }
    return packets;
}

} // namespace velmora::test
