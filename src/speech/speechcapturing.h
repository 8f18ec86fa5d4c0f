#pragma once

#include "core/error.h"

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>
#include <QUuid>

#include <exception>
#include <optional>

namespace velmora {

// A finished capture: the 16 kHz mono float sample file and how many samples it holds.
struct SpeechRecording {
    QString url;
    qint64 samples = 0;
    // What stopped the file from taking more samples (a full disk, a buffer that could not be
    // converted); the samples before it are whole and in the file. Null when nothing did.
    std::exception_ptr cutShortBy;
    bool operator==(const SpeechRecording &) const = default;
};

// Why a capture could not start, convert or write.
class SpeechCaptureError : public Error {
    Q_GADGET
public:
    enum class Reason { Unavailable, Conversion, WriteFailed };
    Q_ENUM(Reason)
    static constexpr const char *kDomain = "Velmora.SpeechCaptureError";

    explicit SpeechCaptureError(Reason reason);
    Reason reason() const { return m_reason; }

private:
    Reason m_reason;
};

// What the recorder holds of capture, so its logic runs against a fake. Every signal is
// emitted on the main thread.
class SpeechCapturing : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    // Opens the device (the saved one, else the default input) and creates the sample file,
    // at stagingPath when given, else in the capture folder. Returns the file's path.
    virtual QCoro::Task<QString> start(std::optional<QString> selectedDeviceID, QUuid recordingID,
                                       std::optional<QString> stagingPath) = 0;
    // From now on delivered audio is written; throws CancelledError without a capture.
    virtual QCoro::Task<> beginRecording() = 0;
    // Stops the device and finishes the file.
    virtual QCoro::Task<SpeechRecording> stop() = 0;
    // Tears the capture down, deleting the file unless keepingFile; never fails.
    virtual QCoro::Task<> cancel(bool keepingFile) = 0;

signals:
    // Capture was interrupted: the session failed or the device in use went away.
    void interrupted();
    // Input level in 0...1, about every 50 ms of audio.
    void levelChanged(float level);
    // Total number of samples written to the file so far; only ever increases within a capture.
    void samplesWritten(qint64 total);
    // The file takes no more samples (a full disk, a buffer that cannot be converted); what was
    // written before stays whole, and stop() reports the cause with the recording.
    void writeFailed();
};

} // namespace velmora
