#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace velmora {

// The sample encodings a capture device may deliver.
enum class SpeechSampleFormat { Unknown, UInt8, Int16, Int32, Float32, Float64 };

// How one delivered buffer is laid out. A device delivers in its own format; the writer
// turns whatever arrives into 16 kHz mono float.
struct SpeechAudioFormat {
    int sampleRate = 0;
    int channelCount = 0;
    SpeechSampleFormat sampleFormat = SpeechSampleFormat::Unknown;
    // Interleaved: frames of channelCount samples. Otherwise one plane per channel, one after
    // another.
    bool interleaved = true;

    // Whether the format describes audio at all (a rate and at least one channel).
    bool isValid() const { return sampleRate > 0 && channelCount > 0; }
    int bytesPerSample() const;
    bool operator==(const SpeechAudioFormat &) const = default;
};

// One buffer of captured audio, as the device delivered it.
struct SpeechAudioBuffer {
    SpeechAudioFormat format;
    qint64 frames = 0;
    QByteArray data;
};

} // namespace velmora
