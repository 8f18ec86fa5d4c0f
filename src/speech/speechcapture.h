#pragma once

#include "speech/speechcapturing.h"

#include <QString>

#include <memory>

namespace velmora {

class SpeechCaptureSource;
class CaptureWorker;

// Records the chosen input into a 16 kHz mono sample file for the recorder. Main thread only;
// owns at most one worker, and nothing from a replaced or cancelled worker reaches the owner.
// Each worker runs on its own three threads: "speech.capture.session" (the device),
// "speech.capture.callback" (delivered buffers) and "speech.capture.conversion" (the writer and
// the file).
class SpeechCapture : public SpeechCapturing {
    Q_OBJECT
public:
    // The capture folder: the temporary folder plus "com.velmora.app.dictation-pcm".
    static QString defaultDirectory();

    // Removes the whole capture folder (stale files of an earlier run); the next start
    // creates it again.
    SpeechCapture(QString directory, SpeechCaptureSource &source, QObject *parent = nullptr);
    ~SpeechCapture() override;

    QCoro::Task<QString> start(std::optional<QString> selectedDeviceID, QUuid recordingID,
                               std::optional<QString> stagingPath) override;
    QCoro::Task<> beginRecording() override;
    QCoro::Task<SpeechRecording> stop() override;
    QCoro::Task<> cancel(bool keepingFile) override;

    const QString &directory() const { return m_directory; }
    bool hasWorker() const { return bool(m_worker); }

private:
    void wire(const std::shared_ptr<CaptureWorker> &worker);
    bool isCurrent(quint64 serial) const;

    std::shared_ptr<CaptureWorker> m_worker;
    qint64 m_writtenSamples = 0;
    qint64 m_generation = 0;
    const QString m_directory;
    SpeechCaptureSource &m_source;
};

} // namespace velmora
