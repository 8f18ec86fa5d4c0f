#pragma once

// Transcribes the growing sample file of one recording in chunks: while the recording runs,
// every 50 s of untranscribed audio send their first chunk (cut at a quiet point) to the speech
// helper; at the stop the rest is planned, transcribed, and all chunk texts are joined.

#include "core/cancellationtoken.h"
#include "core/promise.h"
#include "speech/chunkplanner.h"
#include "speech/speechhelping.h"

#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace velmora {

class ChunkedTranscription : public std::enable_shared_from_this<ChunkedTranscription> {
public:
    // Untranscribed samples that start the streaming worker; also the window each step reads.
    static constexpr qint64 kStreamingWindowSamples = 800000;

    struct Result {
        QString text;
        bool complete = false; // every sample up to the total was transcribed completely
        bool operator==(const Result &) const = default;
    };

    // ready returns when the speech model can be used and fails when its load failed. The
    // helper must outlive the transcription; sampleFile is raw little-endian float, 16 kHz mono.
    static std::shared_ptr<ChunkedTranscription> create(SpeechHelping &helper, QString sampleFile, QString language,
                                                        QUuid id, ChunkPolicy policy,
                                                        std::function<QCoro::Task<>()> ready);

    // The running count of samples the capture has appended to the file.
    void progress(qint64 samplesWritten);
    // Called once after the recording stopped, with the final sample count.
    QCoro::Task<Result> finish(qint64 total);
    // Marks the run failed and stops the streaming worker at its next step; a request already
    // sent still has its text kept.
    void cancel();

    // Whether any chunk text is non-empty (untrimmed).
    bool hasText() const;
    // Whether a chunk request is out: sent, and its answer not yet taken in.
    bool isRequesting() const { return m_requestDone.has_value(); }
    // Completes once the request that is out (if any) has been answered and its text taken in,
    // or has failed.
    QCoro::Task<> requestSettled();
    // One entry per chunk the helper answered, including empty and incomplete ones.
    const QStringList &texts() const { return m_texts; }
    qsizetype chunkCount() const { return m_texts.size(); }
    qint64 written() const { return m_written; }
    qint64 committed() const { return m_committed; }
    bool isFailed() const { return m_failed; }
    // Whether the helper failed the transcription: it could not be made ready for a chunk, or a
    // chunk request failed without an answer (the helper went, was missing, or broke the
    // protocol). An answer that was incomplete or empty is no such failure.
    bool isHelperFailed() const { return m_helperFailed; }
    bool isWorkerRunning() const { return m_workerDone.has_value(); }

    // Trimmed, empty ones dropped, joined with one space (without one for "ja" and "zh").
    static QString joinTexts(const QStringList &texts, const QString &language);
    // Exactly count samples from offset; none when the file cannot give them all.
    static std::optional<std::vector<float>> readSamples(const QString &sampleFile, qint64 offset, qint64 count);

private:
    ChunkedTranscription(SpeechHelping &helper, QString sampleFile, QString language, QUuid id, ChunkPolicy policy,
                         std::function<QCoro::Task<>()> ready);

    static QCoro::Task<> runWorker(std::shared_ptr<ChunkedTranscription> self, CancellationToken token);
    QCoro::Task<> transcribeChunk(qint64 count);
    std::vector<SampleRange> planRest();

    SpeechHelping *const m_helper;
    const QString m_url;
    const QString m_language;
    const QUuid m_id;
    const ChunkPolicy m_policy;
    const std::function<QCoro::Task<>()> m_ready;
    qint64 m_written = 0;
    qint64 m_committed = 0;
    QStringList m_texts;
    bool m_failed = false;
    bool m_helperFailed = false;
    bool m_finishing = false;
    // Set while the streaming worker runs; resolved when it ends.
    std::optional<Promise<void>> m_workerDone;
    // Set while a chunk request is out; resolved once its outcome has been taken in.
    std::optional<Promise<void>> m_requestDone;
    CancellationSource m_workerCancel;
};

} // namespace velmora
