#include "MediaProbe.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/hwcontext.h>
}

#include <memory>

namespace {

struct InputCloser {
    void operator()(AVFormatContext *context) const { avformat_close_input(&context); }
};

QString codecText(const AVCodecParameters *parameters)
{
    QString text = QString::fromLatin1(avcodec_get_name(parameters->codec_id));
    if (const char *profile = avcodec_profile_name(parameters->codec_id, parameters->profile))
        text += QStringLiteral(" (%1)").arg(QString::fromLatin1(profile));
    return text;
}

QString soundText(const AVCodecParameters *parameters)
{
    char layout[64] = "";
    if (av_channel_layout_describe(&parameters->ch_layout, layout, sizeof layout) < 0)
        qstrncpy(layout, "unknown layout", sizeof layout);
    const char *sampleFormat = av_get_sample_fmt_name(static_cast<AVSampleFormat>(parameters->format));
    return QStringLiteral("%1, %2 Hz, %3, %4")
        .arg(QString::fromLatin1(avcodec_get_name(parameters->codec_id)))
        .arg(parameters->sample_rate)
        .arg(QString::fromLatin1(layout))
        .arg(QString::fromLatin1(sampleFormat ? sampleFormat : "unknown samples"));
}

bool codecDecodesWithCuda(const AVCodec *codec)
{
    for (int i = 0;; ++i) {
        const AVCodecHWConfig *config = avcodec_get_hw_config(codec, i);
        if (!config)
            return false;
        if (config->device_type == AV_HWDEVICE_TYPE_CUDA &&
            (config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX))
            return true;
    }
}

} // namespace

MediaInfo MediaProbe::probe(const QString &path)
{
    MediaInfo info;
    AVFormatContext *raw = nullptr;
    const QByteArray file = path.toUtf8();
    char message[AV_ERROR_MAX_STRING_SIZE] = "";
    int rc = avformat_open_input(&raw, file.constData(), nullptr, nullptr);
    if (rc < 0) {
        info.error = QStringLiteral("cannot open %1: %2").arg(path, av_make_error_string(message, sizeof message, rc));
        return info;
    }
    const std::unique_ptr<AVFormatContext, InputCloser> input(raw);
    rc = avformat_find_stream_info(input.get(), nullptr);
    if (rc < 0) {
        info.error = QStringLiteral("cannot read %1: %2").arg(path, av_make_error_string(message, sizeof message, rc));
        return info;
    }
    info.container = QString::fromLatin1(input->iformat->name);
    if (input->duration > 0)
        info.durationMs = input->duration / (AV_TIME_BASE / 1000);

    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0) {
        const AVStream *stream = input->streams[video];
        info.videoCodec = codecText(stream->codecpar);
        info.videoCodecId = stream->codecpar->codec_id;
        info.size = QSize(stream->codecpar->width, stream->codecpar->height);
        AVRational rate = stream->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = stream->r_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            info.frameRate = av_q2d(rate);
    }
    const int audio = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, video, nullptr, 0);
    if (audio >= 0) {
        info.hasSound = true;
        info.soundFormat = soundText(input->streams[audio]->codecpar);
    }
    return info;
}

QString MediaProbe::decoderInUse(PluginLoader::Factory factory, int codecId)
{
    if (factory == PluginLoader::Factory::Sw)
        return QStringLiteral("software (FFmpeg on the CPU, as CreateSw asks)");
    const auto id = static_cast<AVCodecID>(codecId);
    const AVCodec *codec = avcodec_find_decoder(id);
    if (!codec || !codecDecodesWithCuda(codec))
        return QStringLiteral("software (FFmpeg has no CUDA decoding for %1)").arg(QString::fromLatin1(avcodec_get_name(id)));
    AVBufferRef *device = nullptr;
    if (av_hwdevice_ctx_create(&device, AV_HWDEVICE_TYPE_CUDA, nullptr, nullptr, 0) < 0)
        return QStringLiteral("software (no usable CUDA device on this machine)");
    av_buffer_unref(&device);
    return QStringLiteral("hardware (CUDA)");
}
