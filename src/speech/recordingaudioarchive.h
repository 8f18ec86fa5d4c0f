#pragma once

#include "core/error.h"

#include <QString>

namespace velmora {

// Why an archive conversion failed when neither the file system nor the encoder is to blame.
class RecordingAudioArchiveError : public Error {
public:
    static constexpr const char *kDomain = "Velmora.RecordingAudioArchiveError";
    enum class Code { emptyInput = 0, bufferUnavailable = 1 };

    explicit RecordingAudioArchiveError(Code code);
    Code kind() const { return Code(code()); }
};

// A failure reported by FFmpeg that is not an operating-system error; the code is FFmpeg's
// own (negative) error value.
class FFmpegError : public Error {
public:
    static constexpr const char *kDomain = "Velmora.FFmpegError";
    explicit FFmpegError(int averror, const QString &what = {});
};

// Throws PosixError for FFmpeg errors that wrap an errno value, FFmpegError otherwise.
[[noreturn]] void throwFFmpegError(int averror, const QString &what);

// Turns a staged recording (raw little-endian Float32 samples, 16 kHz mono) into an Apple
// Lossless ".m4a" file. Reads the source in one-second blocks, so any length of recording
// needs the same small amount of memory.
class RecordingAudioArchive {
public:
    static constexpr int kSampleRate = 16000;
    static constexpr int kBlockFrames = 16000;

    // Blocking. Returns the number of samples written. On failure nothing is left at the
    // destination; the source is never changed.
    static qint64 convert(const QString &source, const QString &destination);
};

} // namespace velmora
