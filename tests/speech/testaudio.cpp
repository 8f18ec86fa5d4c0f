#include "testaudio.h"

#include "support/testsupport.h"

#include <QFile>
#include <QtEndian>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

#include <bit>
#include <stdexcept>

namespace velmora::test {

DecodedAudio decodeAudio(const QString &path) {
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, QFile::encodeName(path).constData(), nullptr, nullptr) < 0)
        throw std::runtime_error("cannot open " + path.toStdString());
    std::unique_ptr<AVFormatContext, void (*)(AVFormatContext *)> formatGuard(
        format, [](AVFormatContext *f) { avformat_close_input(&f); });
    if (avformat_find_stream_info(format, nullptr) < 0)
        throw std::runtime_error("no stream info");
    const AVCodec *decoder = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream < 0 || !decoder)
        throw std::runtime_error("no audio stream");
    AVCodecContext *codec = avcodec_alloc_context3(decoder);
    std::unique_ptr<AVCodecContext, void (*)(AVCodecContext *)> codecGuard(
        codec, [](AVCodecContext *c) { avcodec_free_context(&c); });
    avcodec_parameters_to_context(codec, format->streams[stream]->codecpar);
    if (avcodec_open2(codec, decoder, nullptr) < 0)
        throw std::runtime_error("cannot open decoder");

    DecodedAudio out;
    out.codec = QString::fromUtf8(decoder->name);
    out.sampleRate = codec->sample_rate;
    out.channels = codec->ch_layout.nb_channels;
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    auto drain = [&] {
        while (avcodec_receive_frame(codec, frame) >= 0) {
            for (int i = 0; i < frame->nb_samples; ++i) {
                if (codec->sample_fmt == AV_SAMPLE_FMT_S16P || codec->sample_fmt == AV_SAMPLE_FMT_S16)
                    out.samples.push_back(reinterpret_cast<const int16_t *>(frame->data[0])[i]);
                else if (codec->sample_fmt == AV_SAMPLE_FMT_S32P || codec->sample_fmt == AV_SAMPLE_FMT_S32)
                    out.samples.push_back(int16_t(reinterpret_cast<const int32_t *>(frame->data[0])[i] >> 16));
                else
                    throw std::runtime_error("unexpected sample format");
            }
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream)
            avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
        drain();
    }
    avcodec_send_packet(codec, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    return out;
}

std::vector<int16_t> ffmpegInt16(const std::vector<float> &samples) {
    AVChannelLayout mono{};
    av_channel_layout_default(&mono, 1);
    SwrContext *context = nullptr;
    if (swr_alloc_set_opts2(&context, &mono, AV_SAMPLE_FMT_S16, 16000, &mono, AV_SAMPLE_FMT_FLT, 16000, 0, nullptr) <
            0 ||
        swr_init(context) < 0) {
        swr_free(&context);
        throw std::runtime_error("no sample converter");
    }
    std::vector<int16_t> out(samples.size());
    auto *to = reinterpret_cast<uint8_t *>(out.data());
    const auto *from = reinterpret_cast<const uint8_t *>(samples.data());
    const int converted = swr_convert(context, &to, int(out.size()), &from, int(samples.size()));
    swr_free(&context);
    if (converted != int(samples.size()))
        throw std::runtime_error("sample conversion failed");
    return out;
}

void writeStagedSamples(const QString &path, const std::vector<float> &samples) {
    QByteArray bytes(qsizetype(samples.size() * 4), Qt::Uninitialized);
    for (size_t i = 0; i < samples.size(); ++i)
        qToLittleEndian<quint32>(std::bit_cast<quint32>(samples[i]), bytes.data() + i * 4);
    writeFile(path, bytes);
}

} // namespace velmora::test
