#include "app/soundfile.h"

#include <QFile>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <memory>

namespace velmora {

namespace {
struct FormatCloser {
    void operator()(AVFormatContext *c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext *c) const { avcodec_free_context(&c); }
};
struct ResamplerFreer {
    void operator()(SwrContext *c) const { swr_free(&c); }
};
struct FrameFreer {
    void operator()(AVFrame *f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket *p) const { av_packet_free(&p); }
};

// Converts one decoded frame (or, with no frame, what the resampler still holds).
bool convert(SwrContext *resampler, const AVFrame *frame, int sampleRate, int inputRate, QByteArray &out) {
    const int inputSamples = frame ? frame->nb_samples : 0;
    const int capacity =
        int(av_rescale_rnd(swr_get_delay(resampler, inputRate) + inputSamples, sampleRate, inputRate, AV_ROUND_UP)) +
        16;
    const qsizetype start = out.size();
    out.resize(start + qsizetype(capacity) * qsizetype(sizeof(float)));
    auto *target = reinterpret_cast<uint8_t *>(out.data() + start);
    const int converted =
        swr_convert(resampler, &target, capacity, frame ? const_cast<const uint8_t **>(frame->extended_data) : nullptr,
                    inputSamples);
    if (converted < 0) {
        out.truncate(start);
        return false;
    }
    out.truncate(start + qsizetype(converted) * qsizetype(sizeof(float)));
    return true;
}
} // namespace

std::optional<QByteArray> decodeSoundFile(const QString &path, int sampleRate) {
    const QByteArray native = QFile::encodeName(path);
    AVFormatContext *rawFormat = nullptr;
    if (avformat_open_input(&rawFormat, native.constData(), nullptr, nullptr) < 0)
        return std::nullopt;
    std::unique_ptr<AVFormatContext, FormatCloser> format(rawFormat);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return std::nullopt;
    const AVCodec *codec = nullptr;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec)
        return std::nullopt;
    std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar) < 0 ||
        avcodec_open2(decoder.get(), codec, nullptr) < 0)
        return std::nullopt;
    if (decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&decoder->ch_layout, decoder->ch_layout.nb_channels);

    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    SwrContext *rawResampler = nullptr;
    if (swr_alloc_set_opts2(&rawResampler, &mono, AV_SAMPLE_FMT_FLT, sampleRate, &decoder->ch_layout,
                            decoder->sample_fmt, decoder->sample_rate, 0, nullptr) < 0)
        return std::nullopt;
    std::unique_ptr<SwrContext, ResamplerFreer> resampler(rawResampler);
    // Mixing down averages the channels: identical channels keep their level and never clip.
    av_opt_set_double(resampler.get(), "rematrix_maxval", 1.0, 0);
    if (swr_init(resampler.get()) < 0)
        return std::nullopt;

    std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    QByteArray out;
    auto drain = [&]() -> bool {
        for (;;) {
            const int r = avcodec_receive_frame(decoder.get(), frame.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return true;
            if (r < 0)
                return false;
            const bool ok = convert(resampler.get(), frame.get(), sampleRate, decoder->sample_rate, out);
            av_frame_unref(frame.get());
            if (!ok)
                return false;
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream) {
            const int sent = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            if (sent < 0 && sent != AVERROR(EAGAIN))
                return std::nullopt;
            if (!drain())
                return std::nullopt;
        } else {
            av_packet_unref(packet.get());
        }
    }
    avcodec_send_packet(decoder.get(), nullptr);
    if (!drain() || !convert(resampler.get(), nullptr, sampleRate, decoder->sample_rate, out))
        return std::nullopt;
    if (out.isEmpty())
        return std::nullopt;
    return out;
}

} // namespace velmora
