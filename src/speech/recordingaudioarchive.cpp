#include "speech/recordingaudioarchive.h"

#include "core/paths.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
}

#include <bit>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace velmora {

RecordingAudioArchiveError::RecordingAudioArchiveError(Code code)
    : Error(QString::fromLatin1(kDomain), qint64(code),
            code == Code::emptyInput ? QStringLiteral("the recording holds no whole sample")
                                     : QStringLiteral("no conversion buffer")) {}

FFmpegError::FFmpegError(int averror, const QString &what)
    : Error(QString::fromLatin1(kDomain), averror, [&] {
          char text[AV_ERROR_MAX_STRING_SIZE] = {};
          av_strerror(averror, text, sizeof text);
          return what.isEmpty() ? QString::fromUtf8(text) : what + QStringLiteral(": ") + QString::fromUtf8(text);
      }()) {}

void throwFFmpegError(int averror, const QString &what) {
    // FFmpeg reports file-system failures as negated errno values; keep them as what they are.
    if (averror < 0 && averror > -4096)
        throw PosixError(-averror, what);
    throw FFmpegError(averror, what);
}

namespace {

constexpr int kBytesPerSample = 4;

struct SourceFile {
    int fd = -1;
    ~SourceFile() {
        // Closing a file we only read cannot lose anything; its error is of no use.
        if (fd >= 0)
            ::close(fd);
    }
};

// Reads until the block is full or the file ends, so only the file's very end can hold a
// partial sample.
qsizetype readBlock(int fd, char *into, qsizetype capacity) {
    qsizetype total = 0;
    while (total < capacity) {
        const ssize_t got = ::read(fd, into + total, size_t(capacity - total));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw PosixError(errno);
        }
        if (got == 0)
            break;
        total += got;
    }
    return total;
}

// Clamps to -1...1 (a NaN counts as -1) and scales to 16 bits the way FFmpeg's own sample
// conversion does: times 32768, rounded to the nearest integer with halves to even, saturating
// at the top. Written branch-free so the compiler vectorises it.
void toInt16(const char *bytes, qsizetype count, int16_t *out) {
    // Adding and taking away 1.5 * 2^23 leaves no fraction bits, so the sum rounds the way the
    // floating-point unit does by default: to nearest, halves to even. Exact for |x| < 2^22.
    constexpr float kRound = 0x1.8p23f;
    for (qsizetype i = 0; i < count; ++i) {
        float v = std::bit_cast<float>(qFromLittleEndian<quint32>(bytes + i * kBytesPerSample));
        v = v >= -1.0f ? v : -1.0f;
        v = v <= 1.0f ? v : 1.0f;
        const float rounded = (v * 32768.0f + kRound) - kRound;
        int s = int(rounded);
        s = s < 32767 ? s : 32767;
        out[i] = int16_t(s);
    }
}

// One Apple Lossless ".m4a" being written. Until finish() succeeds, destruction frees every
// FFmpeg object and removes the file, so a failed conversion leaves nothing behind.
class AlacWriter {
public:
    explicit AlacWriter(const QString &path) : m_path(path) {}

    ~AlacWriter() {
        av_packet_free(&m_packet);
        av_frame_free(&m_frame);
        avcodec_free_context(&m_codec);
        if (m_format) {
            if (m_format->pb)
                avio_closep(&m_format->pb);
            avformat_free_context(m_format);
        }
        if (!m_finished && m_created)
            QFile::remove(m_path);
    }

    void open() {
        const QByteArray path = QFile::encodeName(m_path);
        int rc = avformat_alloc_output_context2(&m_format, nullptr, nullptr, path.constData());
        if (rc < 0 || !m_format)
            rc = avformat_alloc_output_context2(&m_format, nullptr, "ipod", path.constData());
        if (rc < 0 || !m_format)
            throwFFmpegError(rc < 0 ? rc : AVERROR(ENOMEM), QStringLiteral("output container"));

        const AVCodec *encoder = avcodec_find_encoder(AV_CODEC_ID_ALAC);
        if (!encoder)
            throwFFmpegError(AVERROR_ENCODER_NOT_FOUND, QStringLiteral("ALAC encoder"));
        m_codec = avcodec_alloc_context3(encoder);
        if (!m_codec)
            throw RecordingAudioArchiveError(RecordingAudioArchiveError::Code::bufferUnavailable);
        m_codec->sample_fmt = AV_SAMPLE_FMT_S16P;
        m_codec->sample_rate = RecordingAudioArchive::kSampleRate;
        m_codec->bits_per_raw_sample = 16;
        m_codec->time_base = AVRational{1, RecordingAudioArchive::kSampleRate};
        av_channel_layout_default(&m_codec->ch_layout, 1);
        if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
            m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if ((rc = avcodec_open2(m_codec, encoder, nullptr)) < 0)
            throwFFmpegError(rc, QStringLiteral("ALAC encoder"));

        m_stream = avformat_new_stream(m_format, nullptr);
        if (!m_stream)
            throw RecordingAudioArchiveError(RecordingAudioArchiveError::Code::bufferUnavailable);
        m_stream->time_base = m_codec->time_base;
        if ((rc = avcodec_parameters_from_context(m_stream->codecpar, m_codec)) < 0)
            throwFFmpegError(rc, QStringLiteral("stream parameters"));

        if ((rc = avio_open(&m_format->pb, path.constData(), AVIO_FLAG_WRITE)) < 0)
            throwFFmpegError(rc, m_path);
        m_created = true;
        if ((rc = avformat_write_header(m_format, nullptr)) < 0)
            throwFFmpegError(rc, QStringLiteral("container header"));

        m_frame = av_frame_alloc();
        m_packet = av_packet_alloc();
        if (!m_frame || !m_packet)
            throw RecordingAudioArchiveError(RecordingAudioArchiveError::Code::bufferUnavailable);
        m_frameSamples = m_codec->frame_size > 0 ? m_codec->frame_size : 4096;
        m_frame->format = m_codec->sample_fmt;
        m_frame->sample_rate = m_codec->sample_rate;
        m_frame->nb_samples = m_frameSamples;
        if (av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout) < 0 ||
            av_frame_get_buffer(m_frame, 0) < 0 || !m_frame->data[0])
            throw RecordingAudioArchiveError(RecordingAudioArchiveError::Code::bufferUnavailable);
    }

    // Appends count little-endian Float32 samples.
    void write(const char *bytes, qsizetype count) {
        while (count > 0) {
            if (m_filled == 0) {
                const int rc = av_frame_make_writable(m_frame);
                if (rc < 0)
                    throwFFmpegError(rc, QStringLiteral("frame"));
            }
            const qsizetype take = std::min<qsizetype>(count, m_frameSamples - m_filled);
            toInt16(bytes, take, reinterpret_cast<int16_t *>(m_frame->data[0]) + m_filled);
            m_filled += int(take);
            bytes += take * kBytesPerSample;
            count -= take;
            if (m_filled == m_frameSamples)
                sendFrame();
        }
    }

    void finish() {
        if (m_filled > 0)
            sendFrame();
        encode(nullptr);
        int rc = av_write_trailer(m_format);
        if (rc < 0)
            throwFFmpegError(rc, QStringLiteral("container trailer"));
        rc = avio_closep(&m_format->pb);
        if (rc < 0)
            throwFFmpegError(rc, m_path);
        m_finished = true;
    }

private:
    void sendFrame() {
        m_frame->nb_samples = m_filled;
        m_frame->pts = m_written;
        m_written += m_filled;
        m_filled = 0;
        encode(m_frame);
    }

    void encode(AVFrame *frame) {
        int rc = avcodec_send_frame(m_codec, frame);
        if (rc < 0)
            throwFFmpegError(rc, QStringLiteral("ALAC encoding"));
        while ((rc = avcodec_receive_packet(m_codec, m_packet)) >= 0) {
            av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
            m_packet->stream_index = m_stream->index;
            rc = av_write_frame(m_format, m_packet);
            av_packet_unref(m_packet);
            if (rc < 0)
                throwFFmpegError(rc, m_path);
        }
        if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF)
            throwFFmpegError(rc, QStringLiteral("ALAC encoding"));
    }

    QString m_path;
    AVFormatContext *m_format = nullptr;
    AVCodecContext *m_codec = nullptr;
    AVStream *m_stream = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_packet = nullptr;
    int m_frameSamples = 0;
    int m_filled = 0;
    qint64 m_written = 0;
    bool m_created = false;
    bool m_finished = false;
};

} // namespace

qint64 RecordingAudioArchive::convert(const QString &source, const QString &destination) {
    SourceFile input;
    input.fd = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (input.fd < 0)
        throw PosixError(errno);

    Paths::ensureFolder(QFileInfo(destination).absolutePath());

    qint64 total = 0;
    {
        AlacWriter writer(destination);
        writer.open();
        std::vector<char> block;
        try {
            block.resize(size_t(kBlockFrames) * kBytesPerSample);
        } catch (const std::bad_alloc &) {
            throw RecordingAudioArchiveError(RecordingAudioArchiveError::Code::bufferUnavailable);
        }
        for (;;) {
            const qsizetype bytes = readBlock(input.fd, block.data(), qsizetype(block.size()));
            if (bytes == 0)
                break;
            const qsizetype samples = bytes / kBytesPerSample;
            writer.write(block.data(), samples);
            total += samples;
            if (bytes < qsizetype(block.size()))
                break;
        }
        if (total == 0)
            throw RecordingAudioArchiveError(RecordingAudioArchiveError::Code::emptyInput);
        writer.finish();
    }
    return total;
}

} // namespace velmora
