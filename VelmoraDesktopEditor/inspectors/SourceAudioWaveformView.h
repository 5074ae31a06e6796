#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include <QImage>
#include <QSizeF>
#include <QWidget>

#include "platform/dispatch/TaskGroup.h"

namespace velmora {

class MainQueue;

// The source viewer's picture of an audio source: the peak waveform of the file's first audio
// track (or a placeholder when it has none that can be read, or is silent), with the In/Out
// range shaded, In and Out lines and the playhead.
//
// The waveform is read once per file and view size in the background and held as a bitmap of
// one column per device pixel; the marks are painted over it on every repaint. Loads never
// block the window: each runs on a worker thread and hands its bitmap back through the main
// queue, where only the newest load's result is taken (a superseded read also stops early).
// The view owns its loads: destroying it stops the running reads and waits for them to end.
// Until a bitmap is there the view shows "Loading waveform…". Main thread only.
class SourceAudioWaveformView final : public QWidget {
    Q_OBJECT
public:
    explicit SourceAudioWaveformView(std::shared_ptr<MainQueue> mainQueue, QWidget* parent = nullptr);
    ~SourceAudioWaveformView() override;

    // The inputs, on every change of the viewer. A new file (by path) drops the bitmap and
    // starts a load; the same file only repaints the marks. Times in seconds.
    void sync(const std::optional<std::filesystem::path>& fileURL, double currentTime, double duration,
              double inPoint, double outPoint);

    // State, for tests and the viewer.
    bool isWaveformReady() const { return waveformReady_; }
    const QImage& waveformBitmap() const { return waveformBase_; }
    std::uint64_t loadToken() const { return loadToken_; }
    const QSizeF& lastRenderSize() const { return lastRenderSize_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void scheduleLoad();
    void takeLoad(std::uint64_t token, QImage bitmap);
    double backingScale() const;

    std::shared_ptr<MainQueue> mainQueue_;
    // The newest load's token, read by running loads to stop early; shared with them.
    std::shared_ptr<std::atomic<std::uint64_t>> newestLoad_;

    QImage waveformBase_;
    bool waveformReady_ = false;
    std::uint64_t loadToken_ = 0;
    QSizeF lastRenderSize_;
    std::optional<std::filesystem::path> fileURL_;
    double currentTime_ = 0;
    double duration_ = 0;
    double inPoint_ = 0;
    double outPoint_ = 0;

    // The running loads; waited for by the destructor, after it has told them to stop.
    TaskGroup loads_;
};

} // namespace velmora
