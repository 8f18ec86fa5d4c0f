#include "speech/speechcapture.h"

#include "core/error.h"
#include "core/paths.h"
#include "core/promise.h"
#include "core/uuid.h"
#include "speech/speechcapturesource.h"
#include "speech/speechpcmwriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <sys/stat.h>
#include <variant>

namespace velmora {

namespace {

// Runs job on the main thread, later.
void onMain(std::function<void()> job) {
    QCoreApplication *app = QCoreApplication::instance();
    if (app)
        QMetaObject::invokeMethod(app, std::move(job), Qt::QueuedConnection);
}

} // namespace

// One serial queue: a named thread running posted jobs in order.
class CaptureQueue {
public:
    explicit CaptureQueue(const QString &name) : m_thread(new QThread), m_context(new QObject) {
        m_thread->setObjectName(name);
        m_context->moveToThread(m_thread);
        m_thread->start();
    }
    ~CaptureQueue() {
        m_thread->quit();
        m_thread->wait();
        delete m_context;
        delete m_thread;
    }
    CaptureQueue(const CaptureQueue &) = delete;
    CaptureQueue &operator=(const CaptureQueue &) = delete;

    void post(std::function<void()> job) { QMetaObject::invokeMethod(m_context, std::move(job), Qt::QueuedConnection); }
    void sync(const std::function<void()> &job) {
        if (QThread::currentThread() == m_thread)
            job();
        else
            QMetaObject::invokeMethod(m_context, job, Qt::BlockingQueuedConnection);
    }
    QThread *thread() const { return m_thread; }

private:
    QThread *m_thread;
    QObject *m_context;
};

// One recording's device session, writer and queues. Only the main thread holds it (the
// capture and the operations waiting on it), so it is always destroyed there: the device
// goes first, so no delivered buffer follows, and each queue finishes the jobs it was given
// before its thread stops.
class CaptureWorker {
public:
    using Result = std::variant<SpeechRecording, std::exception_ptr>;

    static std::shared_ptr<CaptureWorker> create(QString url, SpeechCaptureSource &source) {
        static std::atomic<quint64> serials{0};
        return std::shared_ptr<CaptureWorker>(new CaptureWorker(std::move(url), source, ++serials));
    }

    ~CaptureWorker() {
        m_session.sync([this] {
            removeObservers();
            m_stream.reset();
        });
        m_conversion.sync([this] { m_writer.reset(); });
    }

    const QString url;
    const quint64 serial;
    // Set before start; called from any of the worker's threads.
    std::function<void()> interrupted;
    std::function<void(float)> levelChanged;
    std::function<void(qint64)> samplesWritten;
    std::function<void()> writeFailed;

    QCoro::Task<> start(std::optional<QString> selectedDeviceID) {
        Promise<void> done;
        m_session.post([this, selectedDeviceID, done] {
            std::exception_ptr error = startOnSession(selectedDeviceID);
            onMain([done, error]() mutable {
                if (error)
                    done.reject(error);
                else
                    done.resolve();
            });
        });
        co_await done;
    }

    QCoro::Task<> beginRecording() {
        Promise<void> done;
        m_callback.post([this, done] {
            m_acceptingSamples = true;
            onMain([done]() mutable { done.resolve(); });
        });
        co_await done;
    }

    QCoro::Task<SpeechRecording> stop() {
        Promise<Result> done;
        m_session.post([this, done] {
            removeObservers();
            if (m_stream)
                m_stream->stop();
            // Every buffer accepted before this point is already queued for conversion.
            m_callback.sync([&] { m_acceptingSamples = false; });
            m_conversion.post([this, done] {
                Result result;
                try {
                    if (!m_writer)
                        throw SpeechCaptureError(SpeechCaptureError::Reason::Unavailable);
                    result = m_writer->finish();
                } catch (...) {
                    result = std::current_exception();
                }
                onMain([done, result]() mutable { done.resolve(result); });
            });
        });
        Result result = co_await done;
        if (auto *error = std::get_if<std::exception_ptr>(&result))
            std::rethrow_exception(*error);
        co_return std::get<SpeechRecording>(result);
    }

    QCoro::Task<> cancel(bool keepingFile) {
        Promise<void> done;
        m_conversion.post([this, keepingFile, done] {
            m_writer.reset();
            if (!keepingFile)
                QFile::remove(url);
            onMain([done]() mutable { done.resolve(); });
        });
        co_await done;
    }

private:
    CaptureWorker(QString url, SpeechCaptureSource &source, quint64 serial)
        : url(std::move(url)), serial(serial), m_source(source), m_session(QStringLiteral("speech.capture.session")),
          m_callback(QStringLiteral("speech.capture.callback")),
          m_conversion(QStringLiteral("speech.capture.conversion")) {}

    // On the session queue.
    std::exception_ptr startOnSession(const std::optional<QString> &selectedDeviceID) {
        const std::vector<SpeechDevice> devices = m_source.devices();
        std::vector<SpeechDevice> candidates;
        if (selectedDeviceID) {
            auto it = std::find_if(devices.begin(), devices.end(),
                                   [&](const SpeechDevice &d) { return d.id == *selectedDeviceID; });
            if (it != devices.end())
                candidates.push_back(*it);
        }
        if (auto fallback = m_source.defaultDevice())
            candidates.push_back(*fallback);
        if (candidates.size() == 2 && candidates[0].id == candidates[1].id)
            candidates.pop_back();

        std::exception_ptr writerError;
        m_conversion.sync([&] {
            try {
                m_writer = std::make_unique<SpeechPCMWriter>(url);
                m_writer->onLevel = [this](float level) {
                    if (levelChanged)
                        levelChanged(level);
                };
                m_writer->onWritten = [this](qint64 count) {
                    if (samplesWritten)
                        samplesWritten(count);
                };
            } catch (...) {
                writerError = std::current_exception();
            }
        });
        if (writerError)
            return writerError;

        SpeechCaptureSource::Handlers handlers;
        handlers.buffer = [this](SpeechAudioBuffer buffer) {
            if (!m_acceptingSamples)
                return;
            m_conversion.post([this, buffer = std::move(buffer)] {
                if (!m_writer)
                    return;
                const bool failedBefore = bool(m_writer->failure());
                m_writer->append(buffer);
                if (!failedBefore && m_writer->failure() && writeFailed)
                    writeFailed();
            });
        };
        handlers.failed = [this] {
            m_session.post([this] {
                if (m_observing && interrupted)
                    interrupted();
            });
        };
        for (const SpeechDevice &candidate : candidates) {
            m_stream = m_source.open(candidate, m_callback.thread(), handlers);
            if (m_stream)
                break;
        }
        if (!m_stream)
            return std::make_exception_ptr(SpeechCaptureError(SpeechCaptureError::Reason::Unavailable));

        m_observing = true;
        m_observers.push_back(QObject::connect(
            &m_source, &SpeechCaptureSource::deviceDisconnected, &m_source,
            [this](const QString &id) {
                m_session.post([this, id] {
                    if (m_observing && m_stream && m_stream->device().id == id && interrupted)
                        interrupted();
                });
            },
            Qt::DirectConnection));
        return nullptr;
    }

    // On the session queue.
    void removeObservers() {
        for (const QMetaObject::Connection &connection : m_observers)
            QObject::disconnect(connection);
        m_observers.clear();
        m_observing = false;
    }

    SpeechCaptureSource &m_source;
    // Only on the callback queue (and read by delivered buffers there).
    bool m_acceptingSamples = false;
    // Session queue.
    std::unique_ptr<SpeechCaptureStream> m_stream;
    std::vector<QMetaObject::Connection> m_observers;
    bool m_observing = false;
    // Conversion queue.
    std::unique_ptr<SpeechPCMWriter> m_writer;
    CaptureQueue m_session;
    CaptureQueue m_callback;
    CaptureQueue m_conversion;
};

namespace {
QCoro::Task<> teardown(std::shared_ptr<CaptureWorker> worker, bool keepingFile) {
    try {
        co_await worker->stop();
    } catch (...) {
        // A teardown only needs the session stopped; the outcome of the file is not wanted.
    }
    co_await worker->cancel(keepingFile);
}
} // namespace

QString SpeechCapture::defaultDirectory() {
    return QDir(Paths::temporaryFolder())
        .filePath(QString::fromLatin1(kBundleIdentifier) + QStringLiteral(".dictation-pcm"));
}

SpeechCapture::SpeechCapture(QString directory, SpeechCaptureSource &source, QObject *parent)
    : SpeechCapturing(parent), m_directory(std::move(directory)), m_source(source) {
    QDir(m_directory).removeRecursively();
}

SpeechCapture::~SpeechCapture() = default;

bool SpeechCapture::isCurrent(quint64 serial) const {
    return m_worker && m_worker->serial == serial;
}

void SpeechCapture::wire(const std::shared_ptr<CaptureWorker> &worker) {
    const QPointer<SpeechCapture> self(this);
    const quint64 serial = worker->serial;
    worker->levelChanged = [self, serial](float level) {
        onMain([self, serial, level] {
            if (self && self->isCurrent(serial))
                emit self->levelChanged(level);
        });
    };
    worker->samplesWritten = [self, serial](qint64 count) {
        onMain([self, serial, count] {
            if (!self || !self->isCurrent(serial) || count <= self->m_writtenSamples)
                return;
            self->m_writtenSamples = count;
            emit self->samplesWritten(count);
        });
    };
    worker->interrupted = [self, serial] {
        onMain([self, serial] {
            if (self && self->isCurrent(serial))
                emit self->interrupted();
        });
    };
    worker->writeFailed = [self, serial] {
        onMain([self, serial] {
            if (self && self->isCurrent(serial))
                emit self->writeFailed();
        });
    };
}

QCoro::Task<QString> SpeechCapture::start(std::optional<QString> selectedDeviceID, QUuid recordingID,
                                          std::optional<QString> stagingPath) {
    const QPointer<SpeechCapture> self(this);
    const qint64 generation = ++m_generation;
    m_writtenSamples = 0;
    if (auto previous = std::exchange(m_worker, nullptr))
        co_await teardown(previous, false);
    if (!self)
        throw CancelledError();

    const QString url =
        stagingPath ? *stagingPath : QDir(m_directory).filePath(uuidString(recordingID) + QStringLiteral(".f32"));
    Paths::ensureFolder(QFileInfo(url).absolutePath(), Paths::FolderAccess::OwnerOnly);

    auto worker = CaptureWorker::create(url, m_source);
    m_worker = worker;
    wire(worker);

    std::exception_ptr error;
    try {
        co_await worker->start(selectedDeviceID);
    } catch (...) {
        error = std::current_exception();
    }
    if (!error && self && m_generation == generation)
        co_return worker->url;
    if (!error)
        error = std::make_exception_ptr(CancelledError());
    co_await teardown(worker, false);
    if (self && m_worker == worker)
        m_worker = nullptr;
    std::rethrow_exception(error);
}

QCoro::Task<> SpeechCapture::beginRecording() {
    if (!m_worker)
        throw CancelledError();
    auto worker = m_worker;
    co_await worker->beginRecording();
}

QCoro::Task<SpeechRecording> SpeechCapture::stop() {
    if (!m_worker)
        throw SpeechCaptureError(SpeechCaptureError::Reason::Unavailable);
    auto worker = m_worker;
    co_return co_await worker->stop();
}

QCoro::Task<> SpeechCapture::cancel(bool keepingFile) {
    ++m_generation;
    if (auto worker = std::exchange(m_worker, nullptr))
        co_await teardown(worker, keepingFile);
}

} // namespace velmora
