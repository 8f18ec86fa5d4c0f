#include "speech/chunkedtranscription.h"

#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velmora {

std::shared_ptr<ChunkedTranscription> ChunkedTranscription::create(SpeechHelping &helper, QString sampleFile,
                                                                   QString language, QUuid id, ChunkPolicy policy,
                                                                   std::function<QCoro::Task<>()> ready) {
    return std::shared_ptr<ChunkedTranscription>(
        new ChunkedTranscription(helper, std::move(sampleFile), std::move(language), id, policy, std::move(ready)));
}

ChunkedTranscription::ChunkedTranscription(SpeechHelping &helper, QString sampleFile, QString language, QUuid id,
                                           ChunkPolicy policy, std::function<QCoro::Task<>()> ready)
    : m_helper(&helper), m_url(std::move(sampleFile)), m_language(std::move(language)), m_id(id), m_policy(policy),
      m_ready(std::move(ready)) {}

void ChunkedTranscription::progress(qint64 samplesWritten) {
    m_written = std::max(m_written, samplesWritten);
    if (m_workerDone || m_finishing || m_failed)
        return;
    if (m_written - m_committed < kStreamingWindowSamples)
        return;
    m_workerDone.emplace();
    m_workerCancel = CancellationSource();
    // Runs on by itself; it keeps the transcription alive until it ends.
    runWorker(shared_from_this(), m_workerCancel.token());
}

QCoro::Task<> ChunkedTranscription::runWorker(std::shared_ptr<ChunkedTranscription> self, CancellationToken token) {
    while (!self->m_failed && !token.isCancelled() && self->m_written - self->m_committed >= kStreamingWindowSamples) {
        const auto samples = readSamples(self->m_url, self->m_committed, kStreamingWindowSamples);
        if (!samples) {
            self->m_failed = true;
            break;
        }
        const auto cut = ChunkPlanner::firstCut(*samples, {}, self->m_policy);
        if (!cut) {
            self->m_failed = true;
            break;
        }
        co_await self->transcribeChunk(cut->upper);
    }
    Promise<void> done = *self->m_workerDone;
    self->m_workerDone.reset();
    done.resolve();
}

QCoro::Task<> ChunkedTranscription::transcribeChunk(qint64 count) {
    auto keep = shared_from_this();
    try {
        if (m_ready)
            co_await m_ready();
    } catch (...) {
        m_failed = true;
        m_helperFailed = true;
        co_return;
    }
    if (m_failed)
        co_return;
    SpeechTranscription result;
    bool answered = false;
    m_requestDone.emplace();
    QCoro::Task<SpeechTranscription> request = m_helper->transcribe(m_url, m_committed, count, m_language, m_id);
    try {
        result = co_await std::move(request);
        answered = true;
    } catch (...) {
    }
    if (answered) {
        m_texts.append(result.text);
        if (result.complete)
            m_committed += count;
        else
            m_failed = true;
    } else {
        m_failed = true;
        m_helperFailed = true;
    }
    Promise<void> done = *m_requestDone;
    m_requestDone.reset();
    done.resolve();
}

QCoro::Task<> ChunkedTranscription::requestSettled() {
    auto keep = shared_from_this();
    if (m_requestDone) {
        const Promise<void> done = *m_requestDone;
        co_await done;
    }
}

QCoro::Task<ChunkedTranscription::Result> ChunkedTranscription::finish(qint64 total) {
    auto keep = shared_from_this();
    m_finishing = true;
    m_written = total;
    if (m_workerDone) {
        const Promise<void> worker = *m_workerDone;
        co_await worker;
    }
    if (!m_failed && m_committed < total) {
        for (const SampleRange &chunk : planRest()) {
            co_await transcribeChunk(chunk.length());
            if (m_failed)
                break;
        }
    }
    co_return Result{joinTexts(m_texts, m_language), !m_failed};
}

void ChunkedTranscription::cancel() {
    m_failed = true;
    m_workerCancel.cancel();
}

std::vector<SampleRange> ChunkedTranscription::planRest() {
    const qint64 rest = m_written - m_committed;
    if (rest <= m_policy.hardMaxSamples)
        return {SampleRange{0, rest}};
    const auto samples = readSamples(m_url, m_committed, rest);
    if (!samples) {
        m_failed = true;
        return {};
    }
    return ChunkPlanner::plan(*samples, {}, m_policy);
}

bool ChunkedTranscription::hasText() const {
    return std::any_of(m_texts.begin(), m_texts.end(), [](const QString &t) { return !t.isEmpty(); });
}

QString ChunkedTranscription::joinTexts(const QStringList &texts, const QString &language) {
    QStringList kept;
    for (const QString &text : texts) {
        const QString trimmed = text.trimmed();
        if (!trimmed.isEmpty())
            kept.append(trimmed);
    }
    const bool noSpaces = language == QLatin1String("ja") || language == QLatin1String("zh");
    return kept.join(noSpaces ? QString() : QStringLiteral(" "));
}

std::optional<std::vector<float>> ChunkedTranscription::readSamples(const QString &sampleFile, qint64 offset,
                                                                    qint64 count) {
    if (offset < 0 || count < 0 || count > std::numeric_limits<qint64>::max() / 4 - offset)
        return std::nullopt;
    // A fresh handle for every read, while the capture appends through its own.
    const int fd = ::open(QFile::encodeName(sampleFile).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::vector<float> samples(static_cast<size_t>(count));
    char *out = reinterpret_cast<char *>(samples.data());
    const qint64 want = count * 4;
    qint64 got = 0;
    while (got < want) {
        const ssize_t n = ::pread(fd, out + got, size_t(want - got), off_t(offset * 4 + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    if (got != want || want == 0)
        return std::nullopt;
    if constexpr (Q_BYTE_ORDER != Q_LITTLE_ENDIAN) {
        for (float &s : samples)
            s = qFromLittleEndian(s);
    }
    return samples;
}

} // namespace velmora
