#include "speech/speechcapturesource.h"

#include <QAudioDevice>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>

#include <mutex>

namespace velmora {

int SpeechAudioFormat::bytesPerSample() const {
    switch (sampleFormat) {
    case SpeechSampleFormat::UInt8: return 1;
    case SpeechSampleFormat::Int16: return 2;
    case SpeechSampleFormat::Int32:
    case SpeechSampleFormat::Float32: return 4;
    case SpeechSampleFormat::Float64: return 8;
    case SpeechSampleFormat::Unknown: return 0;
    }
    return 0;
}

namespace {

SpeechSampleFormat sampleFormatOf(QAudioFormat::SampleFormat format) {
    switch (format) {
    case QAudioFormat::UInt8: return SpeechSampleFormat::UInt8;
    case QAudioFormat::Int16: return SpeechSampleFormat::Int16;
    case QAudioFormat::Int32: return SpeechSampleFormat::Int32;
    case QAudioFormat::Float: return SpeechSampleFormat::Float32;
    default: return SpeechSampleFormat::Unknown;
    }
}

SpeechDevice deviceOf(const QAudioDevice &device) {
    return {QString::fromUtf8(device.id()), device.description()};
}

// Runs job on the thread that owns context, waiting for it.
void runOn(QObject *context, const std::function<void()> &job) {
    if (QThread::currentThread() == context->thread())
        job();
    else
        QMetaObject::invokeMethod(context, job, Qt::BlockingQueuedConnection);
}

// A QAudioSource in the device's preferred format, living on the delivery thread.
class QtCaptureStream : public SpeechCaptureStream {
public:
    QtCaptureStream(SpeechDevice device, QObject *home) : m_device(std::move(device)), m_home(home) {}

    ~QtCaptureStream() override {
        runOn(m_home, [this] {
            if (m_source)
                m_source->stop();
            delete m_source;
            m_source = nullptr;
        });
        m_home->deleteLater();
    }

    const SpeechDevice &device() const override { return m_device; }

    // On the delivery thread: whether the device runs.
    bool start(const QAudioDevice &device, SpeechCaptureSource::Handlers handlers) {
        const QAudioFormat format = device.preferredFormat();
        if (!format.isValid() || !device.isFormatSupported(format))
            return false;
        SpeechAudioFormat delivered{format.sampleRate(), format.channelCount(), sampleFormatOf(format.sampleFormat()),
                                    true};
        m_source = new QAudioSource(device, format);
        QIODevice *io = m_source->start();
        if (!io || m_source->error() != QAudio::NoError || m_source->state() == QAudio::StoppedState)
            return false;
        const int bytesPerFrame = format.bytesPerFrame();
        QObject::connect(io, &QIODevice::readyRead, m_source, [io, delivered, bytesPerFrame, handlers] {
            QByteArray data = io->readAll();
            const qint64 frames = bytesPerFrame > 0 ? data.size() / bytesPerFrame : 0;
            if (frames <= 0)
                return;
            data.truncate(frames * bytesPerFrame);
            handlers.buffer(SpeechAudioBuffer{delivered, frames, std::move(data)});
        });
        QObject::connect(m_source, &QAudioSource::stateChanged, m_source, [source = m_source, handlers](QAudio::State) {
            if (source->error() != QAudio::NoError && handlers.failed)
                handlers.failed();
        });
        return true;
    }

    void stop() override {
        runOn(m_home, [this] {
            if (m_source) {
                QObject::disconnect(m_source, nullptr, nullptr, nullptr);
                m_source->stop();
            }
        });
    }

private:
    SpeechDevice m_device;
    QObject *m_home;
    QAudioSource *m_source = nullptr;
};

} // namespace

struct QtSpeechCaptureSource::State {
    mutable std::mutex mutex;
    QList<QAudioDevice> inputs;
    QAudioDevice defaultInput;
    QMediaDevices *media = nullptr;
};

QtSpeechCaptureSource::QtSpeechCaptureSource(QObject *parent)
    : SpeechCaptureSource(parent), m_state(std::make_unique<State>()) {
    m_state->media = new QMediaDevices(this);
    connect(m_state->media, &QMediaDevices::audioInputsChanged, this, [this] { reload(); });
    reload();
}

QtSpeechCaptureSource::~QtSpeechCaptureSource() = default;

void QtSpeechCaptureSource::reload() {
    QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    // The sound server also lists the loopback of every output ("<sink>.monitor"); only
    // microphones and other real inputs are speech inputs.
    inputs.removeIf([](const QAudioDevice &device) { return device.id().endsWith(".monitor"); });
    const QAudioDevice defaultInput = QMediaDevices::defaultAudioInput();
    QList<QAudioDevice> old;
    {
        std::lock_guard lock(m_state->mutex);
        old = std::exchange(m_state->inputs, inputs);
        m_state->defaultInput = defaultInput;
    }
    auto contains = [](const QList<QAudioDevice> &list, const QByteArray &id) {
        return std::any_of(list.begin(), list.end(), [&](const QAudioDevice &d) { return d.id() == id; });
    };
    for (const QAudioDevice &device : old)
        if (!contains(inputs, device.id()))
            emit deviceDisconnected(QString::fromUtf8(device.id()));
    for (const QAudioDevice &device : inputs)
        if (!contains(old, device.id()))
            emit deviceConnected(QString::fromUtf8(device.id()));
}

std::vector<SpeechDevice> QtSpeechCaptureSource::devices() const {
    std::lock_guard lock(m_state->mutex);
    std::vector<SpeechDevice> list;
    for (const QAudioDevice &device : m_state->inputs)
        list.push_back(deviceOf(device));
    return list;
}

std::optional<SpeechDevice> QtSpeechCaptureSource::defaultDevice() const {
    std::lock_guard lock(m_state->mutex);
    if (m_state->defaultInput.isNull())
        return std::nullopt;
    return deviceOf(m_state->defaultInput);
}

std::unique_ptr<SpeechCaptureStream> QtSpeechCaptureSource::open(const SpeechDevice &device, QThread *deliveryThread,
                                                                 Handlers handlers) {
    QAudioDevice chosen;
    {
        std::lock_guard lock(m_state->mutex);
        for (const QAudioDevice &input : m_state->inputs)
            if (QString::fromUtf8(input.id()) == device.id)
                chosen = input;
        if (chosen.isNull() && !m_state->defaultInput.isNull() &&
            QString::fromUtf8(m_state->defaultInput.id()) == device.id)
            chosen = m_state->defaultInput;
    }
    if (chosen.isNull())
        return nullptr;
    auto *home = new QObject;
    home->moveToThread(deliveryThread);
    auto stream = std::make_unique<QtCaptureStream>(device, home);
    bool running = false;
    runOn(home, [&] { running = stream->start(chosen, handlers); });
    if (!running)
        return nullptr;
    return stream;
}

} // namespace velmora
