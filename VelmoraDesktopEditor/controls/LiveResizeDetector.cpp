#include "controls/LiveResizeDetector.h"

#include <QPointer>

namespace velmora {

LiveResizeDetector::LiveResizeDetector(std::shared_ptr<MainQueue> mainQueue, QObject* parent)
    : QObject(parent), mainQueue_(std::move(mainQueue))
{
}

LiveResizeDetector::~LiveResizeDetector()
{
    if (recentResize_)
        recentResize_->cancel();
    if (end_)
        end_->cancel();
}

void LiveResizeDetector::noteResize()
{
    if (live_) {
        scheduleEnd();
        return;
    }
    if (recentResize_) {
        recentResize_->cancel();
        recentResize_.reset();
        setLive(true);
        scheduleEnd();
        return;
    }
    QPointer<LiveResizeDetector> self(this);
    recentResize_ = mainQueue_->postDelayed(burstInterval, [self] {
        if (self)
            self->recentResize_.reset();
    });
}

void LiveResizeDetector::reset()
{
    if (recentResize_)
        recentResize_->cancel();
    recentResize_.reset();
    if (end_)
        end_->cancel();
    end_.reset();
    setLive(false);
}

void LiveResizeDetector::setLive(bool live)
{
    if (live_ == live)
        return;
    live_ = live;
    emit liveResizeChanged(live_);
}

void LiveResizeDetector::scheduleEnd()
{
    if (end_)
        end_->cancel();
    QPointer<LiveResizeDetector> self(this);
    end_ = mainQueue_->postDelayed(quietInterval, [self] {
        if (!self)
            return;
        self->end_.reset();
        self->setLive(false);
    });
}

} // namespace velmora
