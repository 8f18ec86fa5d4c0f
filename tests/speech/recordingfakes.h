#pragma once

// Stand-ins for the recorder's collaborators. Every fake writes what it is asked into one
// shared journal, so tests can assert the order of steps across them.

#include "speech/recordinghistory.h"
#include "speech/speechcapturing.h"
#include "speech/speechhelping.h"
#include "speech/speechrecorder.h"

#include "core/cancellationtoken.h"
#include "core/error.h"
#include "core/promise.h"

#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace velmora::test {

struct Journal {
    QStringList entries;
    void add(const QString &entry) { entries.append(entry); }
    // Entries that start with any of the prefixes, in order.
    QStringList only(const QStringList &prefixes) const;
};

// A gate that holds an operation until opened (or fails it).
struct Gate {
    std::optional<Promise<void>> promise;
    void close() { promise.emplace(); }
    void open() {
        if (promise)
            promise->resolve();
    }
    void fail(std::exception_ptr error) {
        if (promise)
            promise->reject(std::move(error));
    }
    QCoro::Task<> pass() const;
};

class FakeCapture : public SpeechCapturing {
public:
    explicit FakeCapture(Journal &journal, QString folder) : m_journal(journal), m_folder(std::move(folder)) {}

    QCoro::Task<QString> start(std::optional<QString> selectedDeviceID, QUuid recordingID,
                               std::optional<QString> stagingPath) override;
    QCoro::Task<> beginRecording() override;
    QCoro::Task<SpeechRecording> stop() override;
    QCoro::Task<> cancel(bool keepingFile) override;

    // Appends samples to the file and reports the running total, as the capture does.
    void write(const std::vector<float> &samples);
    // The file takes no more samples (a full disk): reported at once, and with the recording.
    void failWriting(std::exception_ptr error);

    std::exception_ptr startError, beginError, stopError, cutShortBy;
    Gate beginGate;
    Gate cancelGate;
    int cancelsDone = 0;
    QString url;
    qint64 samples = 0;
    bool running = false;

private:
    Journal &m_journal;
    QString m_folder;
};

class FakeHelper : public SpeechHelping {
public:
    explicit FakeHelper(Journal &journal) : m_journal(journal) {}

    bool isLoaded() const override { return loaded; }
    bool isBusy() const override { return pending > 0; }
    QCoro::Task<> load(QString modelPath, QUuid id) override;
    QCoro::Task<SpeechTranscription> transcribe(QString sampleFile, qint64 offset, qint64 samples, QString language,
                                                QUuid id) override;
    QCoro::Task<> terminate() override;

    // The helper process dies: the failure is reported, then pending requests fail (the real
    // client's order for a request it had no answer to).
    void crash();
    // The helper answers the pending request and dies at once: the failure is reported before
    // the answer reaches the caller (the order most likely to lose the answer).
    void exitAfterAnswering();

    bool loaded = false;
    // The text every request gives; by default "words" and the chunk's start in seconds.
    std::optional<QString> text;
    int pending = 0;
    int terminations = 0;
    std::exception_ptr loadError;
    Gate loadGate;
    Gate transcribeGate;

private:
    Journal &m_journal;
    bool m_answerAfterExit = false;
};

class FakeSounds : public DictationSoundPlaying {
public:
    explicit FakeSounds(Journal &journal) : m_journal(journal) {}
    QCoro::Task<> playStart(CancellationToken token) override;
    double play(bool rising) override;
    void stop() override { m_journal.add(QStringLiteral("cue.stop")); }
    Gate startGate;

private:
    Journal &m_journal;
};

class FakeMuter : public SystemAudioMuting {
public:
    explicit FakeMuter(Journal &journal) : m_journal(journal) {}
    void muteOutput() override {
        m_journal.add(QStringLiteral("mute"));
        muted = true;
    }
    void restoreOutput() override {
        if (muted)
            m_journal.add(QStringLiteral("restore"));
        muted = false;
    }
    bool muted = false;

private:
    Journal &m_journal;
};

// A History store that only keeps the calls (and fails them on request).
class FakeHistoryStore : public RecordingHistoryStoring {
public:
    FakeHistoryStore(Journal &journal, QString folder) : m_journal(journal), m_folder(std::move(folder)) {}
    QString stagedURL(const QUuid &taskId) const override;
    QCoro::Task<> begin(QUuid taskId, std::optional<QString> language, QDateTime startedAt) override;
    QCoro::Task<> discard(QUuid taskId) override;
    bool failBegin = false;
    bool failDiscard = false;

private:
    Journal &m_journal;
    QString m_folder;
};

class TestOwner : public SpeechRecorderOwner {
public:
    TestOwner(Journal &journal, QString name = QStringLiteral("owner")) : m_journal(journal), m_name(std::move(name)) {}

    void operationWillBegin() override { note(QStringLiteral("willBegin")); }
    void operationDidFail(SpeechRecorder::Failure failure) override {
        note(QStringLiteral("didFail ") + enumName(failure));
    }
    QCoro::Task<> transcriptDidArrive(SpeechRecorder::Transcript transcript, QUuid id) override;
    void operationWillCancel() override { note(QStringLiteral("willCancel")); }
    QCoro::Task<> operationDidEnd(QUuid id, ActivityEvent::Outcome outcome) override;
    void historySaveDidFail() override { note(QStringLiteral("historySaveDidFail")); }
    void ownershipDidEnd() override { note(QStringLiteral("ownershipDidEnd")); }

    // Hooks for what the owner does with a transcript or an ended run.
    std::function<QCoro::Task<>(SpeechRecorder::Transcript, QUuid)> onTranscript;
    std::function<QCoro::Task<>(QUuid, ActivityEvent::Outcome)> onEnd;
    std::optional<SpeechRecorder::Transcript> transcript;
    QStringList calls;

private:
    void note(const QString &call) {
        calls.append(call);
        m_journal.add(m_name + QLatin1Char(' ') + call);
    }
    Journal &m_journal;
    QString m_name;
};

} // namespace velmora::test
