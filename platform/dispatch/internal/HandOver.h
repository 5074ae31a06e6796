#pragma once

#if defined(__SANITIZE_THREAD__)
#define VELMORA_HAND_OVERS_VISIBLE 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELMORA_HAND_OVERS_VISIBLE 1
#endif
#endif

#if defined(VELMORA_HAND_OVERS_VISIBLE)
#include <sanitizer/tsan_interface.h>
#endif

// Hand-overs of an object between threads through a library (Qt's event queue and thread pool,
// FFmpeg's buffers), as the race detector can see them. The library orders everything the giving
// thread did before the hand-over ahead of the receiver's use, but through synchronisation inside
// code that is not instrumented, which the detector does not see. These calls say the same in our
// own code, where it sees them, without a suppression covering what runs under the library's
// frames.
//
// Each hand-over is ordered on the object handed over, by its address: the receiver of one
// object is ordered after that object's giver only, never after the giver of another, so a race
// between threads that merely hand over unrelated objects, or a write the giver makes after the
// hand-over, is still reported. The address's ordering ends when its memory is freed. Outside
// ThreadSanitizer they cost nothing: the library's own ordering is all there is to it.
namespace velmora::internal {

// The giving thread, after the last write to what it hands over, just before handing it over.
inline void handOver([[maybe_unused]] const void* object)
{
#if defined(VELMORA_HAND_OVERS_VISIBLE)
    __tsan_release(const_cast<void*>(object));
#endif
}

// The receiving thread, before it reads anything of the object (and before destroying it). Taking
// over an object nobody handed over orders nothing.
inline void takeOver([[maybe_unused]] const void* object)
{
#if defined(VELMORA_HAND_OVERS_VISIBLE)
    __tsan_acquire(const_cast<void*>(object));
#endif
}

} // namespace velmora::internal
