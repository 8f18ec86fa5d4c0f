#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace velmora {

// Any sound file FFmpeg reads, as mono 32-bit float samples at the given rate; none when the
// file cannot be read or holds no audio.
std::optional<QByteArray> decodeSoundFile(const QString &path, int sampleRate);

} // namespace velmora
