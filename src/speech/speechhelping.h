#pragma once

// The interface through which the recorder and chunked transcription use the speech helper.
// SpeechHelperClient is the real one; tests of the recorder give a fake.

#include "core/error.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QUuid>

namespace velmora {

// Failures of the speech helper client. The code is the case's position below.
class SpeechHelperError : public Error {
public:
    enum class Kind {
        Engine,            // "error" in place of "ready" or to "load"; engineStatus() holds the status
        Unavailable,       // the helper cannot start, or transcribe was called without a model or with a bad range
        ProtocolViolation, // the helper broke the protocol, or a request would be too long
        Exited,            // no helper to write to, the write failed, or the helper exited
        Busy,              // another operation is pending, or a stop is in progress
        TimedOut,          // no final reply within the deadline
    };
    static constexpr const char *kDomain = "Velmora.SpeechHelperError";

    explicit SpeechHelperError(Kind kind, qint64 engineStatus = -1);

    Kind kind() const { return m_kind; }
    // The engine's status for Kind::Engine (-1 when the reply carried none).
    qint64 engineStatus() const { return m_engineStatus; }

    static QString toString(Kind kind);

private:
    Kind m_kind;
    qint64 m_engineStatus;
};

// What one "transcribe" request gave back.
struct SpeechTranscription {
    QString text;
    bool complete = false; // the text covers the whole requested range
    qint64 status = 0;     // engine status: 0 when complete
    bool operator==(const SpeechTranscription &) const = default;
};

// One running speech helper with one loaded model; main thread only. Cancelled operations
// fail with CancelledError.
class SpeechHelping : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isLoaded() const = 0;
    // True while an operation is pending (a request, or the wait for the helper's start).
    virtual bool isBusy() const = 0;

    // Ensures a helper runs with the model at modelPath loaded; returns at once when one is.
    virtual QCoro::Task<> load(QString modelPath, QUuid id) = 0;
    // Transcribes samples [offset, offset + samples) of a 16 kHz mono float sample file.
    virtual QCoro::Task<SpeechTranscription> transcribe(QString sampleFile, qint64 offset, qint64 samples,
                                                        QString language, QUuid id) = 0;
    // Stops the helper and returns once its exit has been handled; at once when none runs.
    virtual QCoro::Task<> terminate() = 0;

signals:
    // The helper failed on its own (a protocol violation, a missed deadline, an unexpected
    // exit); never for a stop that terminate() began. Emitted before the request that was out
    // hears of the failure, and after an answer read before it.
    void failed();
};

} // namespace velmora
