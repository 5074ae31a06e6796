#pragma once

#include <memory>

#include "platform/dispatch/MainQueue.h"
#include "preview/PlatformPreviewPlayer.h"
#include "preview/TimelinePreviewEngine.h"

namespace velmora {

// The engine's services on the platform player: the composition builder and the scrub-audio
// players, on `mainQueue` (the engine's own), each player with its own sink from `audioSinks`
// (empty: the default), and a worker of their own for the LUT listings.
// The clock is left empty (the engine takes the system's).
TimelinePreviewEngine::Services platformPreviewServices(std::shared_ptr<MainQueue> mainQueue,
                                                        AudioSinkFactory audioSinks = defaultAudioSinkFactory());

// Opens the sound of a media file for scrub bursts; throws when it has none or cannot be read.
TimelineScrubAudio::PlayerOpener platformScrubAudioOpener(std::shared_ptr<MainQueue> mainQueue,
                                                          AudioSinkFactory audioSinks = defaultAudioSinkFactory());

} // namespace velmora
