#pragma once

#include <memory>

#include "model/MediaResolver.h"
#include "platform/dispatch/Clock.h"
#include "platform/dispatch/MainQueue.h"
#include "preview/LutNameCatalog.h"
#include "preview/PreviewCompositionBuilder.h"
#include "preview/TimelineScrubAudio.h"

namespace velmora {

// The services the engine runs on. An empty main queue or clock is replaced by the
// application's (QtMainQueue, systemClock()); without a composition builder a rebuild stops
// after tearing the old player down, and no player is ever installed; without a scrub-audio
// opener frame steps and cut jumps are silent. PlatformPreviewServices.h makes the
// application's.
struct PreviewServices {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<PreviewCompositionBuilder> compositionBuilder;
    TimelineScrubAudio::PlayerOpener openScrubAudioPlayer = {};
    // Whether a media file can be read; empty: MediaResolver::unreadableReason.
    MediaResolver::ReadabilityCheck readabilityCheck = {};
    // Where the project's LUT files are listed, an opened project's media folder chosen and
    // its sources looked up there when no build does it (a worker; the answer comes back
    // through the main queue); empty: at once, on the main thread.
    LutNameCatalog::BackgroundRunner runInBackground = {};
};

} // namespace velmora
