#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/SerialQueue.h"
#include "preview/PlatformPreviewPlayer.h"
#include "preview/PreviewCompositionBuilder.h"

namespace velmora {

// The preview builder of the application: PreviewPlayerItem::makePlayerItem on a build
// queue of its own, answered on the main queue with a paused platform player over the item
// (reading up to 4 s ahead, its sound in a new sink from `audioSinks`, made on the main thread).
//
// Serves one engine at a time, which installs only the answer of its newest request: a request
// still waiting for the queue when a newer one arrives is answered at once with the error
// supersededCode, without opening any media.
class PlatformCompositionBuilder final : public PreviewCompositionBuilder {
public:
    // Code (domain "preview") of the answer to a request overtaken before it was built.
    static constexpr int supersededCode = 20;

    explicit PlatformCompositionBuilder(std::shared_ptr<MainQueue> mainQueue,
                                        AudioSinkFactory audioSinks = defaultAudioSinkFactory());
    // Answers the waiting requests as superseded and waits for a build under way.
    ~PlatformCompositionBuilder() override;

    void build(Request request, std::function<void(PreviewCompositionOutcome)> completion) override;

private:
    struct Tickets {
        std::atomic<std::uint64_t> newest{0};
        std::atomic<bool> closing{false};
    };

    const std::shared_ptr<MainQueue> mainQueue_;
    const AudioSinkFactory audioSinks_;
    const std::shared_ptr<Tickets> tickets_ = std::make_shared<Tickets>();
    // Last: destroyed first, running what waits (as superseded) before the rest goes.
    SerialQueue queue_{"velmora.preview.build"};
};

} // namespace velmora
