#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSize>

namespace velmora {

class MainQueue;

// Decodes the media pool cards' JPEG pictures on a thread of its own, each no larger than the
// pixels its card covers. A request replaces what still waits from the one before (only the
// cards in view are wanted); each picture comes back on the main thread through onDecoded, a
// null image for data that is no picture. Nothing comes back once the decoder is destroyed,
// which waits for its thread. Called on the main thread.
class PosterPictureDecoder final : public QObject {
    Q_OBJECT
public:
    struct Request {
        std::string key;
        // Tells this data from other data under the same key.
        std::size_t fingerprint = 0;
        std::shared_ptr<const std::vector<std::uint8_t>> data;
        // The device pixels the picture is drawn to fill.
        QSize fill;
    };
    struct Result {
        std::string key;
        std::size_t fingerprint = 0;
        QImage image;
    };

    explicit PosterPictureDecoder(QObject* parent = nullptr);
    ~PosterPictureDecoder() override;

    void request(std::vector<Request> wanted);

    // The picture in `data` scaled down, keeping its aspect, to the smallest size that still
    // fills `fill` (never enlarged), as 32-bit RGB; null when the data is no picture.
    static QImage decode(const std::vector<std::uint8_t>& data, QSize fill);

    std::function<void(Result)> onDecoded;

private:
    void run();

    // Set on the main thread before the thread starts, read by it after.
    std::shared_ptr<MainQueue> mainQueue_; // brings the results to the main thread
    QPointer<PosterPictureDecoder> self_;  // checked by each result on arrival

    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Request> waiting_;
    // The request being decoded, so that a repeat of it is not queued again.
    std::optional<std::pair<std::string, std::size_t>> working_;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace velmora
