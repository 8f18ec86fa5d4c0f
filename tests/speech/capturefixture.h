#pragma once

#include "speech/speechaudiobuffer.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cmath>
#include <cstring>
#include <vector>

namespace velmora::test {

// The samples of a ".f32" file, read as little-endian floats.
inline std::vector<float> readSamples(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    std::vector<float> samples(size_t(bytes.size() / 4));
    for (size_t k = 0; k < samples.size(); ++k) {
        const auto *b = reinterpret_cast<const unsigned char *>(bytes.constData()) + 4 * k;
        const quint32 bits = quint32(b[0]) | quint32(b[1]) << 8 | quint32(b[2]) << 16 | quint32(b[3]) << 24;
        std::memcpy(&samples[k], &bits, 4);
    }
    return samples;
}

inline double rms(const std::vector<float> &samples, size_t from, size_t to) {
    double energy = 0;
    for (size_t i = from; i < to; ++i)
        energy += double(samples[i]) * samples[i];
    return to > from ? std::sqrt(energy / double(to - from)) : 0;
}

inline int signChanges(const std::vector<float> &samples, size_t from, size_t to) {
    int changes = 0;
    for (size_t i = from + 1; i < to; ++i)
        if ((samples[i - 1] < 0) != (samples[i] < 0))
            ++changes;
    return changes;
}

} // namespace velmora::test
