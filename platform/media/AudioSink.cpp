#include "platform/media/AudioSink.h"

#include "platform/media/NullAudioSink.h"
#include "platform/media/QtAudioSink.h"

namespace velmora {

std::shared_ptr<AudioSink> makeDefaultAudioSink(std::shared_ptr<Clock> clock)
{
    if (std::shared_ptr<QtAudioSink> device = QtAudioSink::makeDefault()) {
        return device;
    }
    return std::make_shared<NullAudioSink>(std::move(clock));
}

} // namespace velmora
