#include "speech/speechpcmwriter.h"

#include <QFile>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

static_assert(std::endian::native == std::endian::little, "sample files are little-endian floats");

namespace {

[[noreturn]] void failWith(SpeechCaptureError::Reason reason) {
    throw SpeechCaptureError(reason);
}

// One input value of a channel, as a float in -1...1.
float readSample(const char *base, SpeechSampleFormat format, qint64 position) {
    switch (format) {
    case SpeechSampleFormat::Float32: {
        float v;
        std::memcpy(&v, base + position * 4, 4);
        return v;
    }
    case SpeechSampleFormat::Float64: {
        double v;
        std::memcpy(&v, base + position * 8, 8);
        return float(v);
    }
    case SpeechSampleFormat::Int16: {
        qint16 v;
        std::memcpy(&v, base + position * 2, 2);
        return float(v) / 32768.0f;
    }
    case SpeechSampleFormat::Int32: {
        qint32 v;
        std::memcpy(&v, base + position * 4, 4);
        return float(v) * 0x1p-31f;
    }
    default: failWith(SpeechCaptureError::Reason::Conversion);
    }
}

} // namespace

SpeechPCMWriter::SpeechPCMWriter(QString url) : m_url(std::move(url)) {
    const QByteArray path = QFile::encodeName(m_url);
    // Created empty and owner-only; an earlier file at the path is replaced.
    const int created = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (created < 0)
        failWith(SpeechCaptureError::Reason::WriteFailed);
    const bool owned = ::fchmod(created, 0600) == 0;
    ::close(created);
    if (!owned)
        failWith(SpeechCaptureError::Reason::WriteFailed);
    m_handle = ::open(path.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (m_handle < 0)
        throw PosixError(errno);
    m_output.resize(kOutputCapacity);
}

SpeechPCMWriter::~SpeechPCMWriter() {
    if (m_handle >= 0)
        ::close(m_handle);
    resetConverter();
}

void SpeechPCMWriter::resetConverter() {
    swr_free(&m_converter);
}

void SpeechPCMWriter::append(const SpeechAudioBuffer &buffer) {
    if (m_failure || m_handle < 0)
        return;
    try {
        const SpeechAudioFormat &format = buffer.format;
        if (!format.isValid() || buffer.frames < 0)
            failWith(SpeechCaptureError::Reason::Conversion);
        // The data must hold exactly the frames the buffer claims.
        const qint64 expected = buffer.frames * format.channelCount * format.bytesPerSample();
        if (format.bytesPerSample() > 0 && expected != buffer.data.size())
            failWith(SpeechCaptureError::Reason::Conversion);
        write(buffer);
    } catch (...) {
        m_failure = std::current_exception();
    }
}

void SpeechPCMWriter::write(const SpeechAudioBuffer &buffer) {
    if (m_handle < 0)
        failWith(SpeechCaptureError::Reason::WriteFailed);
    downmix(buffer);
    const int rate = buffer.format.sampleRate;
    if (rate != m_formatRate) {
        if (m_converter)
            convert(nullptr, 0, true);
        resetConverter();
        m_formatRate = rate;
        AVChannelLayout mono{};
        av_channel_layout_default(&mono, 1);
        if (swr_alloc_set_opts2(&m_converter, &mono, AV_SAMPLE_FMT_FLT, kTargetRate, &mono, AV_SAMPLE_FMT_FLT, rate, 0,
                                nullptr) < 0 ||
            swr_init(m_converter) < 0)
            resetConverter();
    }
    if (!m_converter)
        failWith(SpeechCaptureError::Reason::Conversion);
    convert(m_mono.data(), buffer.frames, false);
}

void SpeechPCMWriter::downmix(const SpeechAudioBuffer &buffer) {
    const SpeechAudioFormat &format = buffer.format;
    const int n = format.channelCount;
    if (format.bytesPerSample() == 0 || format.sampleFormat == SpeechSampleFormat::UInt8)
        failWith(SpeechCaptureError::Reason::Conversion);
    m_mono.resize(size_t(buffer.frames));
    const char *data = buffer.data.constData();
    const qint64 planeBytes = buffer.frames * format.bytesPerSample();
    const qint64 stride = format.interleaved ? n : 1;
    for (qint64 i = 0; i < buffer.frames; ++i) {
        float sum = 0;
        for (int j = 0; j < n; ++j) {
            const char *channel = format.interleaved ? data : data + j * planeBytes;
            const qint64 position = format.interleaved ? i * stride + j : i * stride;
            sum += readSample(channel, format.sampleFormat, position) / float(n);
        }
        m_mono[size_t(i)] = sum;
    }
}

void SpeechPCMWriter::convert(const float *input, qint64 frames, bool endOfStream) {
    if (!m_converter)
        return;
    // The input is handed over once; then the converter gives what it holds, buffer after
    // buffer, until one is not full. No input at all with endOfStream drains its tail.
    static const float noInput = 0;
    const float *next = endOfStream ? nullptr : (input ? input : &noInput);
    int count = endOfStream ? 0 : int(frames);
    for (;;) {
        auto *out = reinterpret_cast<uint8_t *>(m_output.data());
        auto *in = reinterpret_cast<const uint8_t *>(next);
        const int produced = swr_convert(m_converter, &out, int(kOutputCapacity), next ? &in : nullptr, count);
        if (produced < 0)
            failWith(SpeechCaptureError::Reason::Conversion);
        if (produced > 0) {
            appendToFile(m_output.data(), produced);
            meter(m_output.data(), produced);
        }
        if (produced < kOutputCapacity)
            return;
        if (!endOfStream) {
            next = &noInput;
            count = 0;
        }
    }
}

void SpeechPCMWriter::appendToFile(const float *samples, qint64 count) {
    if (m_handle < 0)
        failWith(SpeechCaptureError::Reason::WriteFailed);
    const auto *bytes = reinterpret_cast<const char *>(samples);
    qint64 remaining = count * 4;
    while (remaining > 0) {
        const ssize_t written = ::write(m_handle, bytes, size_t(remaining));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            // A short write (a full disk) would leave part of a sample; cut the file back to
            // the samples already counted so readers never see a torn value.
            if (::ftruncate(m_handle, m_samples * 4) != 0) {
                // The count stays right; the tail beyond it is never read.
            }
            throw PosixError(error);
        }
        bytes += written;
        remaining -= written;
    }
    m_samples += count;
    if (onWritten)
        onWritten(m_samples);
}

void SpeechPCMWriter::meter(const float *samples, qint64 count) {
    for (qint64 i = 0; i < count; ++i) {
        // A value that is not finite counts as full scale, as the chunk planner counts it; a
        // NaN would otherwise make the whole window's level NaN.
        const float x = std::isfinite(samples[i]) ? samples[i] : 1.0f;
        m_meterEnergy += x * x;
        if (++m_meterSamples < kMeterWindow)
            continue;
        if (onLevel) {
            const float rms = std::sqrt(m_meterEnergy / float(kMeterWindow));
            const float level = (20.0f * std::log10(std::max(rms, 1e-6f)) + 60.0f) / 60.0f;
            onLevel(std::clamp(level, 0.0f, 1.0f));
        }
        m_meterSamples = 0;
        m_meterEnergy = 0;
    }
}

SpeechRecording SpeechPCMWriter::finish() {
    if (m_handle >= 0) {
        bool drained = true;
        if (!m_failure) {
            try {
                convert(nullptr, 0, true);
            } catch (...) {
                m_failure = std::current_exception();
                drained = false;
            }
        }
        // After a failed drain the tail is lost anyway; a failed close may have lost counted
        // samples, so the file cannot be trusted.
        if (::close(m_handle) != 0 && drained)
            m_closeFailure = std::make_exception_ptr(PosixError(errno));
        m_handle = -1;
    }
    if (m_closeFailure)
        std::rethrow_exception(m_closeFailure);
    return {m_url, m_samples, m_failure};
}

} // namespace velmora
