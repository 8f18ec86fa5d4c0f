#pragma once

#include "speech/speechaudiobuffer.h"
#include "speech/speechcapturing.h"

#include <QString>

#include <exception>
#include <functional>
#include <vector>

struct SwrContext;

namespace velmora {

// The only writer of sample files (".f32"): raw little-endian 32-bit float, 16 kHz, one
// channel, no header. Takes buffers in whatever format the device delivers, mixes them down
// to mono, resamples to 16 kHz, appends, counts and meters them. Not thread-safe: one thread
// (the capture's conversion queue) makes every call, and the callbacks run on it.
class SpeechPCMWriter {
public:
    static constexpr int kTargetRate = 16000;
    static constexpr qint64 kOutputCapacity = 4096;
    static constexpr int kMeterWindow = 800;

    // Creates (or empties) the file with mode 0600 and opens it. Throws SpeechCaptureError
    // (WriteFailed) when the file cannot be created, PosixError when it cannot be opened.
    explicit SpeechPCMWriter(QString url);
    ~SpeechPCMWriter();
    SpeechPCMWriter(const SpeechPCMWriter &) = delete;
    SpeechPCMWriter &operator=(const SpeechPCMWriter &) = delete;

    // A level in 0...1 after every 800 converted samples.
    std::function<void(float)> onLevel;
    // The total sample count after every write.
    std::function<void(qint64)> onWritten;

    // Appends one buffer. Never throws: the first problem is kept and later buffers ignored.
    void append(const SpeechAudioBuffer &buffer);
    // Drains the resampler, closes the file and returns it. After a failure while appending or
    // draining the recording holds the samples written before it and names it (cutShortBy);
    // throws when the file could not be closed. Calling it again gives the same result.
    SpeechRecording finish();

    const QString &url() const { return m_url; }
    qint64 samples() const { return m_samples; }
    std::exception_ptr failure() const { return m_failure; }

private:
    void write(const SpeechAudioBuffer &buffer);
    void downmix(const SpeechAudioBuffer &buffer);
    void convert(const float *input, qint64 frames, bool endOfStream);
    void appendToFile(const float *samples, qint64 count);
    void meter(const float *samples, qint64 count);
    void resetConverter();

    qint64 m_meterSamples = 0;
    float m_meterEnergy = 0;
    QString m_url;
    int m_handle = -1;
    SwrContext *m_converter = nullptr;
    // The input rate the converter was built for; 0 before the first buffer.
    int m_formatRate = 0;
    qint64 m_samples = 0;
    std::exception_ptr m_failure;
    std::exception_ptr m_closeFailure;
    std::vector<float> m_mono;
    std::vector<float> m_output;
};

} // namespace velmora
