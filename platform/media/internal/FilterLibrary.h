#pragma once

// Private to the media layer: FFmpeg's filter library, loaded when first used.
//
// Only the audio time stretch of a clip whose speed is not 1 runs filters. Linked like the other
// FFmpeg libraries, the filter library and the thirty-odd libraries it depends on alone would be
// loaded and have their symbols bound at every start, before the window can show; loaded here,
// that cost is paid by the first stretched sound instead.

#include <cstdint> // FFmpeg's headers need its constant macros in C++

extern "C" {
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
}

namespace velmora::internal {

// The filter functions the media layer calls, with FFmpeg's own signatures.
struct FilterLibrary {
    decltype(&avfilter_graph_alloc) graphAlloc = nullptr;
    decltype(&avfilter_graph_free) graphFree = nullptr;
    decltype(&avfilter_get_by_name) getByName = nullptr;
    decltype(&avfilter_graph_alloc_filter) graphAllocFilter = nullptr;
    decltype(&avfilter_init_str) initStr = nullptr;
    decltype(&avfilter_link) link = nullptr;
    decltype(&avfilter_graph_config) graphConfig = nullptr;
    decltype(&av_buffersrc_add_frame_flags) buffersrcAddFrameFlags = nullptr;
    decltype(&av_buffersink_get_frame) buffersinkGetFrame = nullptr;

    // The library of the major version the media layer was built against, loaded on the first
    // call and kept for the life of the process; any thread. Throws velmora::Error (media,
    // decodeFailed) naming the library when it cannot be loaded or lacks a function; a later
    // call tries again.
    static const FilterLibrary& get();
};

} // namespace velmora::internal
