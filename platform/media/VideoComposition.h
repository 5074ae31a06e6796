#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/image/Geometry.h"
#include "platform/image/Image.h"
#include "platform/media/MediaTime.h"

namespace velmora {

// How a player item makes its picture from the video tracks of its composition: the size of the
// picture, its frame grid and, over ranges of composition time, which tracks show and where.
//
// Coordinates: a layer transform maps the encoded picture of the track's source (pixels, y down,
// (0, 0) the top-left corner, before any display rotation) into the render space (pixels, y down,
// (0, 0, renderWidth, renderHeight)). A source's display rotation is not applied by itself: a
// layer that wants the upright picture includes the track's `preferredTransform`.
//
// Pictures are opaque: a layer hides what lies below it where it covers the picture; where no
// layer covers it the picture is black.
struct VideoComposition {
    struct LayerInstruction {
        int trackID = -1;
        AffineTransform transform; // from the start of the instruction's range
    };
    struct Instruction {
        MediaTimeRange timeRange;
        // Top first.
        std::vector<LayerInstruction> layerInstructions;
    };

    int renderWidth = 0;
    int renderHeight = 0;
    // The frame grid: frame n is shown from n × frameDuration on.
    MediaTime frameDuration;
    // Searched in order: the first one whose range holds a time rules it.
    std::vector<Instruction> instructions;
    // Optional per-frame step. In: the picture of the instruction's layers, each placed by its
    // transform (in the image layer's y-up space, the render area being (0, 0, renderWidth,
    // renderHeight)) but not cut to the render area, and the frame's composition time. Out: the
    // frame, of which the render area is shown (black where it has no pixels). Runs on the
    // player's video thread and must read only its own copies. When it throws, the frame is
    // shown without it.
    std::function<Image(const Image& sourceImage, const MediaTime& compositionTime)> handler;

    // The instruction in force at `time`, or nullptr.
    const Instruction* instruction(const MediaTime& time) const;

    // The number of the frame shown at `time` (rounded down; negative before zero). Requires a
    // positive frameDuration.
    std::int64_t frameIndex(const MediaTime& time) const;
    MediaTime frameTime(std::int64_t index) const { return frameDuration.multipliedBy(index); }

    // True when the sizes are between 1 and 16384 and the frame duration is a positive number.
    bool isValid() const;
};

} // namespace velmora
