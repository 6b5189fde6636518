#include "player/AudioPacketDecoder.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
}

namespace {

AVChannelLayout outputLayout(const AudioOutputFormat &format)
{
    AVChannelLayout layout{};
    av_channel_layout_from_mask(&layout, static_cast<uint64_t>(static_cast<int64_t>(format.channelLayout)));
    return layout;
}

} // namespace

AudioPacketDecoder::AudioPacketDecoder(AVCodecContext *codecContext, const AVRational &timeBase,
                                       FreePool<AudioBuffer> *bufferPool, AudioOutputFormat format)
    : codecContext(codecContext), bufferPool(bufferPool), format(format), frame(av_frame_alloc()),
      timeBase(timeBase), rateCounter("AudioPacketDecoder")
{
    AVChannelLayout layout = outputLayout(format);
    channels = layout.nb_channels;
    av_channel_layout_uninit(&layout);
    resetResampler();
}

void AudioPacketDecoder::resetResampler()
{
    resampler.reset();
    AVChannelLayout outLayout = outputLayout(format);
    // The stream's own layout is not trusted (it is often unset or odd); the
    // default layout for its channel count is what gets mixed down.
    AVChannelLayout inLayout{};
    av_channel_layout_default(&inLayout, codecContext->ch_layout.nb_channels);

    SwrContext *context = swr_alloc();
    if (context &&
        swr_alloc_set_opts2(&context, &outLayout, static_cast<AVSampleFormat>(format.sampleFormat),
                            format.sampleRate, &inLayout, codecContext->sample_fmt, codecContext->sample_rate, 0,
                            nullptr) >= 0) {
        swr_init(context); // a failure shows later as a negative swr_convert
    }
    resampler.reset(context); // swr_alloc_set_opts2 freed and cleared it on failure
    av_channel_layout_uninit(&outLayout);
    av_channel_layout_uninit(&inLayout);
    needStart = true;
}

AudioBuffer *AudioPacketDecoder::decode(AVPacket *packet)
{
    avcodec_send_packet(codecContext, packet);
    if (avcodec_receive_frame(codecContext, frame.get()) != 0)
        return nullptr;
    if (!resampler) {
        av_frame_unref(frame.get());
        return nullptr;
    }

    if (needStart) {
        startMs = av_rescale_q(frame->pts, timeBase, AVRational{1, 1000000}) / 1000;
        needStart = false;
    }

    // Position of the next output sample on the resampler's own timeline, in
    // units of 1/(input rate x output rate). It is read before converting, so it
    // counts only what earlier frames produced. av_rescale takes a 64-bit
    // divisor: the product of two rates does not fit an AVRational for 96 kHz input.
    const int64_t nextPts = swr_next_pts(resampler.get(), INT64_MIN);
    const int64_t offsetUs =
        av_rescale(nextPts, 1000000, static_cast<int64_t>(frame->sample_rate) * format.sampleRate);
    const int64_t offsetMs = offsetUs / 1000;

    const uint32_t needed = static_cast<uint32_t>(frame->nb_samples) * channels * format.bytesPerSample;
    AudioBuffer *buffer = bufferPool->pop();
    if (!buffer) {
        av_frame_unref(frame.get());
        return nullptr;
    }
    if (!buffer->data || buffer->capacity < needed) {
        delete[] buffer->data;
        buffer->data = new uint8_t[needed];
        buffer->capacity = needed;
    }

    uint8_t *out[1] = {buffer->data};
    const int converted = swr_convert(resampler.get(), out, frame->nb_samples,
                                      const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
    av_frame_unref(frame.get());
    if (converted < 0) {
        // Nothing trustworthy was written: the buffer goes straight back
        // rather than reaching the audio device as silence with a timestamp.
        buffer->size = 0;
        bufferPool->giveBack(buffer);
        return nullptr;
    }
    buffer->size = static_cast<uint32_t>(converted) * format.bytesPerSample * channels;
    buffer->ptsMs = startMs + offsetMs;
    rateCounter.tick();
    return buffer;
}
