#include "platform/media/QtAudioSink.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QMessageLogContext>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace velmora {

namespace {

constexpr int kBytesPerFrame = AudioSink::channelCount * static_cast<int>(sizeof(float));
// How often the device's count of processed audio is read.
constexpr int kReportMilliseconds = 5;

QAudioFormat sinkFormat()
{
    QAudioFormat format;
    format.setSampleRate(AudioSink::sampleRate);
    format.setChannelCount(AudioSink::channelCount);
    format.setSampleFormat(QAudioFormat::Float);
    return format;
}

// Qt Multimedia starts its sound-server connection on the first device query and complains on
// stderr, in the default logging category, when there is no server. The editor says so in one
// line of its own instead: the query's messages are held back on the querying thread and passed
// on only when a device answers. Messages of other threads go straight through.
class HeldBackendMessages {
public:
    HeldBackendMessages()
    {
        held_ = &messages_;
        previous_.store(qInstallMessageHandler(&HeldBackendMessages::handle));
    }
    ~HeldBackendMessages()
    {
        qInstallMessageHandler(previous_.load());
        held_ = nullptr;
    }
    HeldBackendMessages(const HeldBackendMessages&) = delete;
    HeldBackendMessages& operator=(const HeldBackendMessages&) = delete;

    static void passOn(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (const QtMessageHandler previous = previous_.load()) {
            previous(type, context, text);
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
    }

    struct Message {
        QtMsgType type;
        std::string file;
        int line;
        std::string function;
        std::string category;
        QString text;
    };

    std::vector<Message> take() { return std::move(messages_); }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (held_) {
            held_->push_back({type, context.file ? context.file : "", context.line,
                              context.function ? context.function : "", context.category ? context.category : "",
                              text});
            return;
        }
        passOn(type, context, text);
    }

    static inline thread_local std::vector<Message>* held_ = nullptr;
    static inline std::atomic<QtMessageHandler> previous_ = nullptr;
    std::vector<Message> messages_;
};

// The default output device. The first query of the process runs with the backend's messages
// held back; when it finds no device, one line says the sound is off.
QAudioDevice defaultOutputDevice()
{
    static std::mutex firstQueryMutex;
    static bool queried = false; // guarded by firstQueryMutex
    std::unique_lock lock(firstQueryMutex);
    if (queried) {
        lock.unlock();
        return QMediaDevices::defaultAudioOutput();
    }
    queried = true;
    QAudioDevice output;
    std::vector<HeldBackendMessages::Message> messages;
    {
        HeldBackendMessages hold;
        output = QMediaDevices::defaultAudioOutput();
        messages = hold.take();
    }
    if (output.isNull()) {
        std::fprintf(stderr, "Sound is off: no audio output device.\n");
        return output;
    }
    for (const auto& message : messages) {
        const QMessageLogContext context(message.file.c_str(), message.line, message.function.c_str(),
                                         message.category.c_str());
        HeldBackendMessages::passOn(message.type, context, message.text);
    }
    return output;
}

} // namespace

struct QtAudioSink::Impl {
    // The ring the device reads from, and the clock's counters. Shared by the writer, the
    // device's reads on the sink thread and the clock's readers.
    mutable std::mutex mutex;
    std::vector<float> ring;                          // guarded by mutex (capacity frames)
    std::int64_t capacity = 0;                        // immutable
    std::int64_t readIndex = 0;                       // guarded by mutex; frames read by the device
    std::int64_t writeIndex = 0;                      // guarded by mutex; frames written
    std::int64_t handed = 0;                          // guarded by mutex; frames read since the device started
    std::int64_t processed = 0;                       // guarded by mutex; the device's last report, in frames
    std::chrono::steady_clock::time_point reportedAt; // guarded by mutex
    std::int64_t playedBase = 0;                      // guarded by mutex; frames played before the last stop
    mutable std::int64_t lastPlayed = 0;              // guarded by mutex; keeps playedFrames() monotonic
    bool running = false;                             // guarded by mutex

    // Sink thread only (created, used and destroyed there).
    QThread thread;
    QObject* context = nullptr; // lives on `thread`
    QAudioSink* sink = nullptr;
    QIODevice* device = nullptr;
    QTimer* reportTimer = nullptr;
    bool deviceStarted = false;

    // Runs `work` on the sink thread and waits for it.
    template <typename Work>
    void onSinkThread(Work&& work)
    {
        if (QThread::currentThread() == &thread) {
            work();
        } else {
            QMetaObject::invokeMethod(context, std::forward<Work>(work), Qt::BlockingQueuedConnection);
        }
    }

    // Sink thread: the device's count of processed audio, read now.
    void report()
    {
        const qint64 usecs = sink ? sink->processedUSecs() : 0;
        std::lock_guard lock(mutex);
        processed = usecs * sampleRate / 1000000;
        reportedAt = std::chrono::steady_clock::now();
    }

    std::int64_t queuedFrames() const
    {
        std::lock_guard lock(mutex);
        return writeIndex - readIndex;
    }

    // The device's reads: whatever the ring holds, up to `maxFrames`.
    std::int64_t read(float* out, std::int64_t maxFrames)
    {
        std::lock_guard lock(mutex);
        const std::int64_t frames = std::min(maxFrames, writeIndex - readIndex);
        for (std::int64_t done = 0; done < frames;) {
            const std::int64_t at = (readIndex + done) % capacity;
            const std::int64_t run = std::min(frames - done, capacity - at);
            std::memcpy(out + done * channelCount, ring.data() + at * channelCount,
                        static_cast<std::size_t>(run) * kBytesPerFrame);
            done += run;
        }
        readIndex += frames;
        handed += frames;
        return frames;
    }
};

namespace {

// The device's view of the ring: a sequential read-only device that never blocks.
class RingDevice final : public QIODevice {
public:
    explicit RingDevice(QtAudioSink::Impl& impl) : impl_(impl) {}

    bool isSequential() const override { return true; }
    // Never at its end: an empty ring is an underrun, not the end of the sound (the device stops
    // pulling at the end).
    bool atEnd() const override { return false; }
    qint64 bytesAvailable() const override { return impl_.queuedFrames() * kBytesPerFrame + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const std::int64_t frames = impl_.read(reinterpret_cast<float*>(data), maxSize / kBytesPerFrame);
        return frames * kBytesPerFrame;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QtAudioSink::Impl& impl_;
};

} // namespace

std::shared_ptr<QtAudioSink> QtAudioSink::makeDefault(std::int64_t capacityFrames)
{
    if (!QCoreApplication::instance()) {
        return nullptr;
    }
    const QAudioDevice output = defaultOutputDevice();
    const QAudioFormat format = sinkFormat();
    if (output.isNull()) {
        return nullptr;
    }
    if (!output.isFormatSupported(format)) {
        static std::once_flag said;
        std::call_once(said, [] {
            std::fprintf(stderr, "Sound is off: the audio output device does not take 48 kHz stereo float.\n");
        });
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->capacity = std::max<std::int64_t>(capacityFrames, 1);
    impl->ring.assign(static_cast<std::size_t>(impl->capacity) * channelCount, 0.0f);
    impl->thread.setObjectName(QStringLiteral("velmora.audio"));
    impl->context = new QObject;
    impl->context->moveToThread(&impl->thread);
    impl->thread.start();
    Impl& s = *impl;
    s.onSinkThread([&s, output, format] {
        s.sink = new QAudioSink(output, format, s.context);
        // The device's own buffer adds to the ring's latency. 100 ms keeps it short; Qt 6.4's
        // PulseAudio sink writes in 20 ms periods and stalls against the server's pre-buffering
        // when its buffer holds fewer than about three.
        s.sink->setBufferSize(static_cast<qsizetype>(sampleRate / 10) * kBytesPerFrame);
        s.device = new RingDevice(s);
        s.device->setParent(s.context);
        s.device->open(QIODevice::ReadOnly);
        s.reportTimer = new QTimer(s.context);
        s.reportTimer->setInterval(kReportMilliseconds);
        QObject::connect(s.reportTimer, &QTimer::timeout, s.context, [&s] { s.report(); });
    });
    return std::shared_ptr<QtAudioSink>(new QtAudioSink(std::move(impl)));
}

QtAudioSink::QtAudioSink(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

QtAudioSink::~QtAudioSink()
{
    Impl& s = *impl_;
    s.onSinkThread([&s] {
        if (s.sink) {
            s.sink->stop();
        }
        delete s.context; // the sink, the device and the timer with it
        s.context = nullptr;
        s.sink = nullptr;
        s.device = nullptr;
        s.reportTimer = nullptr;
    });
    s.thread.quit();
    s.thread.wait();
}

std::int64_t QtAudioSink::writableFrames() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->capacity - (impl_->writeIndex - impl_->readIndex);
}

std::int64_t QtAudioSink::write(std::span<const float> samples, const MediaTime&)
{
    Impl& s = *impl_;
    std::lock_guard lock(s.mutex);
    const std::int64_t frames = std::min<std::int64_t>(static_cast<std::int64_t>(samples.size()) / channelCount,
                                                       s.capacity - (s.writeIndex - s.readIndex));
    for (std::int64_t done = 0; done < frames;) {
        const std::int64_t at = (s.writeIndex + done) % s.capacity;
        const std::int64_t run = std::min(frames - done, s.capacity - at);
        std::memcpy(s.ring.data() + at * channelCount, samples.data() + done * channelCount,
                    static_cast<std::size_t>(run) * kBytesPerFrame);
        done += run;
    }
    s.writeIndex += frames;
    return frames;
}

void QtAudioSink::start()
{
    Impl& s = *impl_;
    s.onSinkThread([&s] {
        if (!s.sink) {
            return;
        }
        if (!s.deviceStarted) {
            s.deviceStarted = true;
            s.sink->start(s.device);
        } else {
            s.sink->resume();
        }
        s.reportTimer->start();
        std::lock_guard lock(s.mutex);
        s.running = true;
        // Interpolation starts afresh: the pause between is not played time.
        s.reportedAt = std::chrono::steady_clock::now();
    });
}

void QtAudioSink::pause()
{
    Impl& s = *impl_;
    s.onSinkThread([&s] {
        if (!s.sink || !s.deviceStarted) {
            return;
        }
        s.sink->suspend();
        s.reportTimer->stop();
        s.report();
        std::lock_guard lock(s.mutex);
        s.running = false;
    });
}

void QtAudioSink::flush()
{
    Impl& s = *impl_;
    s.onSinkThread([&s] {
        if (s.sink && s.deviceStarted) {
            s.report();
            s.sink->stop(); // drops what the device holds; its count starts again at the next start
            s.reportTimer->stop();
        }
        s.deviceStarted = false;
        std::lock_guard lock(s.mutex);
        s.playedBase = std::max(s.playedBase + std::min(s.processed, s.handed), s.lastPlayed);
        s.processed = 0;
        s.handed = 0;
        s.readIndex = s.writeIndex;
        s.running = false;
    });
}

std::int64_t QtAudioSink::playedFrames() const
{
    const Impl& s = *impl_;
    std::lock_guard lock(s.mutex);
    std::int64_t played = s.processed;
    if (s.running) {
        const double since = std::chrono::duration<double>(std::chrono::steady_clock::now() - s.reportedAt).count();
        played += static_cast<std::int64_t>(since * sampleRate);
    }
    played = s.playedBase + std::min(played, s.handed);
    s.lastPlayed = std::max(s.lastPlayed, played);
    return s.lastPlayed;
}

} // namespace velmora
