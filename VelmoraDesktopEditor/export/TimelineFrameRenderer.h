#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "editing/TimelineFrameMap.h"
#include "export/ClipFrameReaders.h"
#include "grading/GammaCompensation.h"
#include "grading/GradingCaches.h"
#include "model/DesktopJobTool.h"
#include "model/EditorJobV2.h"
#include "platform/image/Image.h"
#include "platform/media/PixelBuffer.h"

namespace velmora::Exporter {

class TextOverlayRenderer;

// What the set-up of a timeline export hands to its frame renderer. Immutable once rendering
// starts.
struct TimelineRenderSetup {
    std::vector<EditorJobV2::Clip> clips;
    DesktopJobTool::OverlayRenderFlags overlays;
    int width = 0;
    int height = 0;
    std::int32_t timescale = 30;
    std::int64_t step = 1;
    // step / timescale seconds.
    double frameDuration = 1.0 / 30;
    std::int64_t framesTotal = 0;
    // By source id.
    std::map<std::string, ExportSource> sources;
    // The job-wide LUT, when there is one.
    std::shared_ptr<const CachedCube> globalLut;
    // Clip key (clipLutKey) to the clip's .cube text.
    std::map<std::string, std::string> clipLutTexts;
    double compContrast = 1;
    double compSaturation = 1;
    double compBrightness = 0;
    double compTint = 0;
    GammaModeResolution gamma;
    ClipReaderFaults readerFaults;
    // A test may make the pixel buffer of frame n unobtainable.
    std::function<bool(std::int64_t frame)> refusePixelBuffer;
};

// The key of a clip in the clip LUT text table: its id, else its source id, "|" and its start.
std::string clipLutKey(const EditorJobV2::Clip& clip);
// The key that decides whether consecutive frames may share a reader: source id, start, in
// point, source end, lane (missing 0) and id.
std::string clipReaderKey(const EditorJobV2::Clip& clip, double inPoint, double sourceEnd);

// The timeline's frame rule on the set-up's grid, clips and opened sources: what a renderer of
// `setup` shows on each output frame (TimelineFrameRenderer::frameMap()).
TimelineFrameMap renderFrameMap(const TimelineRenderSetup& setup);

// One output frame after the reading stage: its time, its base clip and the clip's picture,
// and the text clips to draw over it.
struct FrameSource {
    std::int64_t index = 0;
    double time = 0;
    std::optional<std::size_t> baseClip;
    SourcePicture picture;
    std::vector<std::size_t> textClips;
};

// The video side of a timeline export, one output frame at a time, in two stages that may run
// on two threads: readFrame() (choosing the clip, mapping time to source time, decoding; it
// owns the reader slots) and renderFrame() (grading, fades, overlays, compensation, gamma and
// the conversion into the writer's frame format; it owns the LUT caches and the text
// renderer). Each stage is called from one thread at a time, frames in index order.
class TimelineFrameRenderer {
public:
    // `frameMap`: the frame rule over `setup` (renderFrameMap), as the export's plan made it.
    TimelineFrameRenderer(TimelineRenderSetup setup, TimelineFrameMap frameMap);
    ~TimelineFrameRenderer();
    TimelineFrameRenderer(const TimelineFrameRenderer&) = delete;
    TimelineFrameRenderer& operator=(const TimelineFrameRenderer&) = delete;

    const TimelineRenderSetup& setup() const { return setup_; }

    // Reading stage. Throws the readers' errors.
    FrameSource readFrame(std::int64_t frame);
    ClipFrameReaders& readers() { return readers_; }

    // Grading stage: the finished picture of a frame (output rectangle, every step pending
    // where it can be). Throws "cube" errors of a clip LUT that does not parse.
    Image composeFrame(const FrameSource& source);
    // composeFrame rendered into a new buffer of `pool`, tagged for the output. Throws
    // Error("export", 220) when no buffer can be had.
    PixelBuffer renderFrame(const FrameSource& source, PixelBufferPool& pool);

    // Which clip, source and source frame each output frame shows (or a gap): the timeline's one
    // frame rule, on this export's grid and its sources' video. readFrame reads what it answers.
    const TimelineFrameMap& frameMap() const { return frameMap_; }

    // The in point and source end the renderer uses for clips[index].
    double inPoint(std::size_t index) const { return plans_[index].inPoint; }
    double sourceEnd(std::size_t index) const { return plans_[index].sourceEnd; }

private:
    struct ClipPlan {
        double start = 0;
        double duration = 0;
        bool present = false; // duration given and above 0
        const ExportSource* source = nullptr;
        bool stream = false;
        bool exactImage = false;
        double inPoint = 0;
        double sourceEnd = 0;
        std::string readerKey;
        const std::string* lutText = nullptr;
        double lutStrength = 1;
    };

    std::shared_ptr<const CachedCube> cubeFor(const std::string& text);
    Image basePicture(const FrameSource& source) const;

    const TimelineRenderSetup setup_;
    TimelineFrameMap frameMap_;
    std::vector<ClipPlan> plans_;
    IntRect outputRect_;

    // Reading stage only.
    ClipFrameReaders readers_;

    // Grading stage only.
    std::map<std::string, std::shared_ptr<const CachedCube>> cubeCache_;
    // Per clip index, the cube resolved on its first graded frame, so later frames skip
    // the text-keyed lookup (which compares whole .cube texts).
    std::vector<std::shared_ptr<const CachedCube>> clipCubes_;
    std::unique_ptr<TextOverlayRenderer> textRenderer_;
};

} // namespace velmora::Exporter
