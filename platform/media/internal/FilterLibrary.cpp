#include "platform/media/internal/FilterLibrary.h"

#include <dlfcn.h>

#include <string>

#include "platform/media/MediaError.h"

extern "C" {
#include <libavfilter/version_major.h>
}

namespace velmora::internal {

namespace {

#define VELMORA_STRINGIFY_VALUE(x) #x
#define VELMORA_STRINGIFY(x) VELMORA_STRINGIFY_VALUE(x)
constexpr char kLibraryName[] = "libavfilter.so." VELMORA_STRINGIFY(LIBAVFILTER_VERSION_MAJOR);
#undef VELMORA_STRINGIFY
#undef VELMORA_STRINGIFY_VALUE

Error loadFailure(const std::string& what)
{
    return MediaError::make(MediaError::decodeFailed, "Cannot load the audio filters (" + what + ").");
}

template <typename Function>
void resolve(void* library, const char* name, Function& function)
{
    void* address = dlsym(library, name);
    if (!address) {
        throw loadFailure(std::string(kLibraryName) + " has no " + name);
    }
    function = reinterpret_cast<Function>(address);
}

FilterLibrary load()
{
    // Never closed: filter graphs made from it may live until the process ends.
    void* library = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = dlerror();
        throw loadFailure(reason ? reason : kLibraryName);
    }
    FilterLibrary functions;
    resolve(library, "avfilter_graph_alloc", functions.graphAlloc);
    resolve(library, "avfilter_graph_free", functions.graphFree);
    resolve(library, "avfilter_get_by_name", functions.getByName);
    resolve(library, "avfilter_graph_alloc_filter", functions.graphAllocFilter);
    resolve(library, "avfilter_init_str", functions.initStr);
    resolve(library, "avfilter_link", functions.link);
    resolve(library, "avfilter_graph_config", functions.graphConfig);
    resolve(library, "av_buffersrc_add_frame_flags", functions.buffersrcAddFrameFlags);
    resolve(library, "av_buffersink_get_frame", functions.buffersinkGetFrame);
    return functions;
}

} // namespace

const FilterLibrary& FilterLibrary::get()
{
    // A static's initialisation runs once even when threads race to it, and again on the next
    // call when it threw.
    static const FilterLibrary functions = load();
    return functions;
}

} // namespace velmora::internal
