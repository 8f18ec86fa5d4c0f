#include "recordingfakes.h"

#include "core/uuid.h"
#include "support/testsupport.h"

#include <QFile>

namespace velmora::test {

QStringList Journal::only(const QStringList &prefixes) const {
    QStringList out;
    for (const QString &entry : entries)
        for (const QString &prefix : prefixes)
            if (entry.startsWith(prefix)) {
                out.append(entry);
                break;
            }
    return out;
}

QCoro::Task<> Gate::pass() const {
    if (promise) {
        const Promise<void> held = *promise;
        co_await held;
    }
}

QCoro::Task<QString> FakeCapture::start(std::optional<QString>, QUuid recordingID, std::optional<QString> stagingPath) {
    m_journal.add(QStringLiteral("capture.start"));
    if (startError)
        std::rethrow_exception(startError);
    url = stagingPath.value_or(m_folder + QLatin1Char('/') + uuidString(recordingID) + QStringLiteral(".f32"));
    test::writeFile(url, QByteArray());
    samples = 0;
    cutShortBy = nullptr;
    running = true;
    co_return QString(url); // a copy: GCC 12 moves from a member named in co_return
}

QCoro::Task<> FakeCapture::beginRecording() {
    m_journal.add(QStringLiteral("capture.begin"));
    co_await beginGate.pass();
    if (!running)
        throw CancelledError();
    if (beginError)
        std::rethrow_exception(beginError);
}

void FakeCapture::write(const std::vector<float> &more) {
    QFile file(url);
    if (!file.open(QIODevice::Append))
        return;
    file.write(reinterpret_cast<const char *>(more.data()), qint64(more.size() * sizeof(float)));
    file.close();
    samples += qint64(more.size());
    emit samplesWritten(samples);
}

void FakeCapture::failWriting(std::exception_ptr error) {
    cutShortBy = std::move(error);
    emit writeFailed();
}

QCoro::Task<SpeechRecording> FakeCapture::stop() {
    m_journal.add(QStringLiteral("capture.stop"));
    running = false;
    beginGate.fail(std::make_exception_ptr(CancelledError()));
    if (stopError)
        std::rethrow_exception(stopError);
    co_return SpeechRecording{QString(url), samples, cutShortBy};
}

QCoro::Task<> FakeCapture::cancel(bool keepingFile) {
    m_journal.add(keepingFile ? QStringLiteral("capture.cancel keep") : QStringLiteral("capture.cancel delete"));
    co_await cancelGate.pass();
    running = false;
    beginGate.fail(std::make_exception_ptr(CancelledError()));
    if (!keepingFile && !url.isEmpty())
        QFile::remove(url);
    ++cancelsDone;
}

QCoro::Task<> FakeHelper::load(QString, QUuid) {
    m_journal.add(QStringLiteral("helper.load"));
    if (loaded)
        co_return;
    ++pending;
    std::exception_ptr error;
    try {
        co_await loadGate.pass();
    } catch (...) {
        error = std::current_exception();
    }
    --pending;
    if (!error && loadError)
        error = loadError;
    if (error)
        std::rethrow_exception(error);
    loaded = true;
}

QCoro::Task<SpeechTranscription> FakeHelper::transcribe(QString, qint64 offset, qint64 count, QString, QUuid) {
    m_journal.add(QStringLiteral("helper.transcribe %1+%2").arg(offset).arg(count));
    ++pending;
    std::exception_ptr error;
    try {
        co_await transcribeGate.pass();
    } catch (...) {
        error = std::current_exception();
    }
    --pending;
    if (error)
        std::rethrow_exception(error);
    if (!loaded && !std::exchange(m_answerAfterExit, false))
        throw SpeechHelperError(SpeechHelperError::Kind::Unavailable);
    co_return SpeechTranscription{text.value_or(QStringLiteral("words %1").arg(offset / 16000)), true, 0};
}

QCoro::Task<> FakeHelper::terminate() {
    m_journal.add(QStringLiteral("helper.terminate"));
    ++terminations;
    loaded = false;
    const auto exited = std::make_exception_ptr(SpeechHelperError(SpeechHelperError::Kind::Exited));
    loadGate.fail(exited);
    transcribeGate.fail(exited);
    co_return;
}

void FakeHelper::crash() {
    loaded = false;
    emit failed();
    const auto exited = std::make_exception_ptr(SpeechHelperError(SpeechHelperError::Kind::Exited));
    loadGate.fail(exited);
    transcribeGate.fail(exited);
}

void FakeHelper::exitAfterAnswering() {
    loaded = false;
    m_answerAfterExit = true;
    emit failed();
    transcribeGate.open();
}

QCoro::Task<> FakeSounds::playStart(CancellationToken token) {
    m_journal.add(QStringLiteral("cue.start"));
    // Like the real cue, a cancelled start returns at once.
    Gate *gate = &startGate;
    auto stopping = token.onCancelled([gate] { gate->open(); });
    co_await startGate.pass();
    m_journal.add(QStringLiteral("cue.start done"));
}

double FakeSounds::play(bool rising) {
    m_journal.add(rising ? QStringLiteral("cue.rising") : QStringLiteral("cue.falling"));
    return 0.2;
}

QString FakeHistoryStore::stagedURL(const QUuid &taskId) const {
    return m_folder + QStringLiteral("/Staging/") + uuidString(taskId) + QStringLiteral(".f32");
}

QCoro::Task<> FakeHistoryStore::begin(QUuid, std::optional<QString> language, QDateTime) {
    m_journal.add(QStringLiteral("history.begin ") + language.value_or(QStringLiteral("-")));
    if (failBegin)
        throw Error(QStringLiteral("Velmora.Test"), 1);
    co_return;
}

QCoro::Task<> FakeHistoryStore::discard(QUuid taskId) {
    m_journal.add(QStringLiteral("history.discard"));
    if (failDiscard)
        throw Error(QStringLiteral("Velmora.Test"), 2);
    QFile::remove(stagedURL(taskId));
    co_return;
}

QCoro::Task<> TestOwner::transcriptDidArrive(SpeechRecorder::Transcript t, QUuid id) {
    transcript = t;
    note(QStringLiteral("transcript ") + t.text);
    if (onTranscript) {
        auto work = onTranscript(t, id);
        co_await std::move(work);
    }
}

QCoro::Task<> TestOwner::operationDidEnd(QUuid id, ActivityEvent::Outcome outcome) {
    note(QStringLiteral("didEnd ") + ActivityEvent::toString(outcome));
    if (onEnd) {
        auto work = onEnd(id, outcome);
        co_await std::move(work);
    }
}

} // namespace velmora::test
