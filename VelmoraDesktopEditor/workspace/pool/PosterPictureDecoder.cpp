#include "workspace/pool/PosterPictureDecoder.h"

#include <algorithm>

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include "platform/dispatch/QtMainQueue.h"

namespace velmora {

PosterPictureDecoder::PosterPictureDecoder(QObject* parent)
    : QObject(parent), mainQueue_(std::make_shared<QtMainQueue>()), self_(this), thread_([this] { run(); })
{
}

PosterPictureDecoder::~PosterPictureDecoder()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void PosterPictureDecoder::request(std::vector<Request> wanted)
{
    {
        std::lock_guard lock(mutex_);
        if (working_) {
            std::erase_if(wanted, [&](const Request& r) {
                return r.key == working_->first && r.fingerprint == working_->second;
            });
        }
        waiting_ = std::move(wanted);
    }
    wake_.notify_one();
}

QImage PosterPictureDecoder::decode(const std::vector<std::uint8_t>& data, QSize fill)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return {};
    const QSize filled = size.scaled(fill.expandedTo(QSize(1, 1)), Qt::KeepAspectRatioByExpanding);
    // JPEG shrinks while it decodes: the full-size picture is never made.
    if (filled.width() < size.width() && filled.height() < size.height())
        reader.setScaledSize(filled);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

void PosterPictureDecoder::run()
{
    for (;;) {
        Request next;
        {
            std::unique_lock lock(mutex_);
            working_.reset();
            wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (stopping_)
                return;
            next = std::move(waiting_.front());
            waiting_.erase(waiting_.begin());
            working_.emplace(next.key, next.fingerprint);
        }
        Result result{std::move(next.key), next.fingerprint, decode(*next.data, next.fill)};
        // Dropped on arrival once the decoder is gone.
        mainQueue_->post([self = self_, result = std::move(result)]() mutable {
            if (self && self->onDecoded)
                self->onDecoded(std::move(result));
        });
    }
}

} // namespace velmora
