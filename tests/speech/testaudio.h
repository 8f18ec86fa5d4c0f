#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace velmora::test {

// What FFmpeg finds in an archived recording.
struct DecodedAudio {
    QString codec;
    int sampleRate = 0;
    int channels = 0;
    std::vector<int16_t> samples;
};

// Decodes the whole file with FFmpeg; throws when it cannot be read.
DecodedAudio decodeAudio(const QString &path);

// The 16-bit values FFmpeg's own sample conversion (libswresample, float to signed 16-bit)
// makes of samples already within -1...1.
std::vector<int16_t> ffmpegInt16(const std::vector<float> &samples);

// Writes raw little-endian Float32 samples, the staged recording's format.
void writeStagedSamples(const QString &path, const std::vector<float> &samples);

} // namespace velmora::test
