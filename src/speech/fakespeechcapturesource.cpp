#include "speech/fakespeechcapturesource.h"

#include <QFile>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <numbers>

namespace velmora {

namespace {

void runOn(QObject *context, const std::function<void()> &job) {
    if (QThread::currentThread() == context->thread())
        job();
    else
        QMetaObject::invokeMethod(context, job, Qt::BlockingQueuedConnection);
}

void storeSample(char *to, SpeechSampleFormat format, double value) {
    switch (format) {
    case SpeechSampleFormat::UInt8: {
        const auto v = quint8(std::clamp(std::lround(value * 128.0 + 128.0), 0L, 255L));
        std::memcpy(to, &v, 1);
        break;
    }
    case SpeechSampleFormat::Int16: {
        const auto v = qint16(std::clamp(std::lround(value * 32768.0), -32768L, 32767L));
        std::memcpy(to, &v, 2);
        break;
    }
    case SpeechSampleFormat::Int32: {
        const auto v = qint32(std::clamp(std::llround(value * 2147483648.0), -2147483648LL, 2147483647LL));
        std::memcpy(to, &v, 4);
        break;
    }
    case SpeechSampleFormat::Float32: {
        const auto v = float(value);
        std::memcpy(to, &v, 4);
        break;
    }
    case SpeechSampleFormat::Float64: std::memcpy(to, &value, 8); break;
    case SpeechSampleFormat::Unknown: break;
    }
}

QByteArray render(const SpeechAudioFormat &format, qint64 frames,
                  const std::function<double(qint64 frame, int channel)> &valueAt) {
    const int size = format.bytesPerSample();
    QByteArray data(frames * format.channelCount * size, Qt::Uninitialized);
    for (qint64 i = 0; i < frames; ++i) {
        for (int c = 0; c < format.channelCount; ++c) {
            const qint64 index = format.interleaved ? i * format.channelCount + c : c * frames + i;
            storeSample(data.data() + index * size, format.sampleFormat, valueAt(i, c));
        }
    }
    return data;
}

// count frames of a looped signal of total frames, starting at frame start.
QByteArray slice(const SpeechAudioFormat &format, const QByteArray &signal, qint64 start, qint64 count) {
    const qint64 frameBytes = qint64(format.channelCount) * format.bytesPerSample();
    const qint64 total = frameBytes > 0 ? signal.size() / frameBytes : 0;
    QByteArray out(count * frameBytes, Qt::Uninitialized);
    if (total == 0)
        return {};
    const int size = format.bytesPerSample();
    for (qint64 i = 0; i < count; ++i) {
        const qint64 from = (start + i) % total;
        if (format.interleaved) {
            std::memcpy(out.data() + i * frameBytes, signal.constData() + from * frameBytes, frameBytes);
        } else {
            for (int c = 0; c < format.channelCount; ++c)
                std::memcpy(out.data() + (c * count + i) * size, signal.constData() + (c * total + from) * size, size);
        }
    }
    return out;
}

} // namespace

struct FakeSpeechCaptureSource::State {
    mutable std::mutex mutex;
    std::condition_variable released;
    std::vector<SpeechDevice> devices;
    std::optional<QString> defaultID;
    QStringList failing;
    QStringList attempts;
    bool holding = false;
    SpeechAudioFormat format{48000, 2, SpeechSampleFormat::Float32, true};
    QByteArray signal;
    qint64 position = 0;
    std::chrono::milliseconds liveInterval{0};
    // Guards running for as long as a test hands it something, so it cannot go away meanwhile.
    std::mutex streamMutex;
    Stream *running = nullptr;
};

// A started fake device. Deliveries and stop both run on the delivery thread, so once stop()
// has returned no buffer can follow.
class FakeSpeechCaptureSource::Stream : public SpeechCaptureStream {
public:
    Stream(std::shared_ptr<State> state, SpeechDevice device, QThread *thread, Handlers handlers)
        : m_state(std::move(state)), m_device(std::move(device)), m_home(new QObject), m_handlers(std::move(handlers)) {
        m_home->moveToThread(thread);
    }

    ~Stream() override {
        stop();
        {
            std::lock_guard lock(m_state->streamMutex);
            if (m_state->running == this)
                m_state->running = nullptr;
        }
        runOn(m_home, [this] { delete m_timer; });
        m_home->deleteLater();
    }

    const SpeechDevice &device() const override { return m_device; }

    void startLive(std::chrono::milliseconds interval) {
        runOn(m_home, [this, interval] {
            m_timer = new QTimer;
            QObject::connect(m_timer, &QTimer::timeout, [this, interval] {
                int rate = 0;
                {
                    std::lock_guard lock(m_state->mutex);
                    rate = m_state->format.sampleRate;
                }
                deliverHere(rate * interval.count() / 1000, rate * interval.count() / 1000);
            });
            m_timer->start(interval);
        });
    }

    void stop() override {
        runOn(m_home, [this] {
            m_stopped = true;
            if (m_timer)
                m_timer->stop();
        });
    }

    void deliver(qint64 frames, qint64 perBuffer) {
        runOn(m_home, [&] { deliverHere(frames, perBuffer); });
    }

    void deliverBuffer(const SpeechAudioBuffer &buffer) {
        runOn(m_home, [&] {
            if (!m_stopped)
                m_handlers.buffer(buffer);
        });
    }

    void fail() {
        if (m_handlers.failed)
            m_handlers.failed();
    }

private:
    // On the delivery thread.
    void deliverHere(qint64 frames, qint64 perBuffer) {
        while (frames > 0 && !m_stopped && perBuffer > 0) {
            const qint64 count = std::min(frames, perBuffer);
            SpeechAudioBuffer buffer;
            {
                std::lock_guard lock(m_state->mutex);
                buffer.format = m_state->format;
                buffer.frames = count;
                buffer.data = slice(m_state->format, m_state->signal, m_state->position, count);
                m_state->position += count;
            }
            if (buffer.data.isEmpty())
                return;
            m_handlers.buffer(std::move(buffer));
            frames -= count;
        }
    }

    std::shared_ptr<State> m_state;
    SpeechDevice m_device;
    QObject *m_home;
    Handlers m_handlers;
    QTimer *m_timer = nullptr;
    bool m_stopped = false;
};

FakeSpeechCaptureSource::FakeSpeechCaptureSource(QObject *parent)
    : SpeechCaptureSource(parent), m_state(std::make_shared<State>()) {
    m_state->signal = tone(m_state->format, 440.0, 0.5, m_state->format.sampleRate);
}

FakeSpeechCaptureSource::~FakeSpeechCaptureSource() {
    releaseOpens();
}

std::vector<SpeechDevice> FakeSpeechCaptureSource::devices() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->devices;
}

std::optional<SpeechDevice> FakeSpeechCaptureSource::defaultDevice() const {
    std::lock_guard lock(m_state->mutex);
    if (!m_state->defaultID)
        return std::nullopt;
    for (const SpeechDevice &device : m_state->devices)
        if (device.id == *m_state->defaultID)
            return device;
    return std::nullopt;
}

std::unique_ptr<SpeechCaptureStream> FakeSpeechCaptureSource::open(const SpeechDevice &device, QThread *deliveryThread,
                                                                   Handlers handlers) {
    std::chrono::milliseconds live{0};
    {
        std::unique_lock lock(m_state->mutex);
        m_state->attempts.append(device.id);
        m_state->released.wait(lock, [this] { return !m_state->holding; });
        const bool present = std::any_of(m_state->devices.begin(), m_state->devices.end(),
                                         [&](const SpeechDevice &d) { return d.id == device.id; });
        if (!present || m_state->failing.contains(device.id))
            return nullptr;
        live = m_state->liveInterval;
    }
    auto stream = std::make_unique<Stream>(m_state, device, deliveryThread, std::move(handlers));
    {
        std::lock_guard lock(m_state->streamMutex);
        m_state->running = stream.get();
    }
    if (live.count() > 0)
        stream->startLive(live);
    return stream;
}

void FakeSpeechCaptureSource::setDevices(std::vector<SpeechDevice> devices, std::optional<QString> defaultID) {
    std::lock_guard lock(m_state->mutex);
    m_state->devices = std::move(devices);
    m_state->defaultID = std::move(defaultID);
}

void FakeSpeechCaptureSource::setFailingDevices(QStringList ids) {
    std::lock_guard lock(m_state->mutex);
    m_state->failing = std::move(ids);
}

void FakeSpeechCaptureSource::connectDevice(const SpeechDevice &device) {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->devices.push_back(device);
    }
    emit deviceConnected(device.id);
}

void FakeSpeechCaptureSource::disconnectDevice(const QString &id) {
    {
        std::lock_guard lock(m_state->mutex);
        std::erase_if(m_state->devices, [&](const SpeechDevice &d) { return d.id == id; });
    }
    emit deviceDisconnected(id);
}

void FakeSpeechCaptureSource::setSignal(SpeechAudioFormat format, QByteArray samples) {
    std::lock_guard lock(m_state->mutex);
    m_state->format = format;
    m_state->signal = std::move(samples);
    m_state->position = 0;
}

bool FakeSpeechCaptureSource::setSignalFromFile(const QString &path, SpeechAudioFormat format) {
    QFile file(path);
    if (!format.isValid() || format.bytesPerSample() == 0 || !file.open(QIODevice::ReadOnly))
        return false;
    QByteArray data = file.readAll();
    const qint64 frameBytes = qint64(format.channelCount) * format.bytesPerSample();
    data.truncate(data.size() / frameBytes * frameBytes);
    if (data.isEmpty())
        return false;
    setSignal(format, std::move(data));
    return true;
}

QByteArray FakeSpeechCaptureSource::tone(const SpeechAudioFormat &format, double frequency, double amplitude,
                                         qint64 frames) {
    const double step = 2.0 * std::numbers::pi * frequency / format.sampleRate;
    return render(format, frames, [&](qint64 i, int) { return amplitude * std::sin(step * double(i)); });
}

QByteArray FakeSpeechCaptureSource::constant(const SpeechAudioFormat &format, double value, qint64 frames) {
    return render(format, frames, [&](qint64, int) { return value; });
}

QByteArray FakeSpeechCaptureSource::channelConstants(const SpeechAudioFormat &format, const std::vector<double> &values,
                                                     qint64 frames) {
    return render(format, frames, [&](qint64, int c) { return size_t(c) < values.size() ? values[size_t(c)] : 0.0; });
}

bool FakeSpeechCaptureSource::deliver(qint64 frames, qint64 perBuffer) {
    std::lock_guard lock(m_state->streamMutex);
    if (!m_state->running)
        return false;
    m_state->running->deliver(frames, perBuffer);
    return true;
}

bool FakeSpeechCaptureSource::deliverBuffer(const SpeechAudioBuffer &buffer) {
    std::lock_guard lock(m_state->streamMutex);
    if (!m_state->running)
        return false;
    m_state->running->deliverBuffer(buffer);
    return true;
}

bool FakeSpeechCaptureSource::failRunningDevice() {
    std::lock_guard lock(m_state->streamMutex);
    if (!m_state->running)
        return false;
    m_state->running->fail();
    return true;
}

void FakeSpeechCaptureSource::setLiveInterval(std::chrono::milliseconds interval) {
    std::lock_guard lock(m_state->mutex);
    m_state->liveInterval = interval;
}

QStringList FakeSpeechCaptureSource::openAttempts() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->attempts;
}

QString FakeSpeechCaptureSource::runningDevice() const {
    std::lock_guard lock(m_state->streamMutex);
    return m_state->running ? m_state->running->device().id : QString();
}

void FakeSpeechCaptureSource::holdOpens() {
    std::lock_guard lock(m_state->mutex);
    m_state->holding = true;
}

void FakeSpeechCaptureSource::releaseOpens() {
    {
        std::lock_guard lock(m_state->mutex);
        m_state->holding = false;
    }
    m_state->released.notify_all();
}

} // namespace velmora
