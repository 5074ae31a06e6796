#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/media/OutputSettings.h"
#include "platform/media/PixelBuffer.h"

namespace velmora::Exporter {

// The codec of an exported movie. The single-video match-grade export always writes hevc10.
enum class EditorVideoCodec {
    hevc10,    // 10-bit HEVC
    h264,      // H.264
    proRes422, // ProRes 422
};

// The video settings of every movie the editor writes.
//
// width, height: pixels. fps: frames per second of the export (used for the encoder's expected
// rate and the key-frame interval; a non-finite or non-positive rate counts as 30 there).
// targetBitrate: bits per second, absent for the encoder's own rate control; clamped to
// 1–400 Mb/s for HEVC (with a cap of that rate over any one second) and 2–200 Mb/s for H.264.
// transferAV: the transfer function of the export's gamma mode ("ITU_R_709_2" or
// "IEC61966-2-1"), written for HEVC. ProRes 422 takes only the size. Never fails.
VideoOutputSettings makeWriterSettings(int width, int height, double fps, std::optional<std::int64_t> targetBitrate,
                                       const std::string& transferAV, EditorVideoCodec codec);

// makeWriterSettings with codec hevc10.
VideoOutputSettings makeMain10WriterSettings(int width, int height, double fps,
                                             std::optional<std::int64_t> targetBitrate, const std::string& transferAV);

// Refuses a bit rate handed to an export (an override or a job's target) that BitrateLimit does
// not accept, with Error("export", 216, BitrateLimit::refusalText); none passes. Exports call it
// before anything is written.
void requireExportableBitrate(std::optional<std::int64_t> bitrateBps);

// The layout of the frames an export renders for a codec: 'x420' (10-bit 4:2:0) for HEVC,
// '420v' (8-bit 4:2:0) for H.264, 'sv22' (16-bit 4:2:2) for ProRes, all video range.
PixelFormat renderPixelFormat(EditorVideoCodec codec);

// Nearest integer, halves away from zero, of a finite value inside the 64-bit range.
std::int64_t roundHalfAwayFromZero(double value);

} // namespace velmora::Exporter
