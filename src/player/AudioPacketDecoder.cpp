#include "player/AudioPacketDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mathematics.h>
#include <libavutil/opt.h>
}

namespace {

// A frame stamped further than this from where the sound before it ends
// starts a new stretch of the timeline.
constexpr int64_t GapMs = 40;

AVChannelLayout outputLayout(const AudioOutputFormat &format)
{
    AVChannelLayout layout{};
    av_channel_layout_from_mask(&layout, static_cast<uint64_t>(static_cast<int64_t>(format.channelLayout)));
    return layout;
}

} // namespace

AudioPacketDecoder::AudioPacketDecoder(AVCodecContext *codecContext, const AVRational &timeBase,
                                       FreePool<AudioBuffer> *bufferPool, AudioOutputFormat format,
                                       int64_t originUs)
    : codecContext(codecContext), bufferPool(bufferPool), format(format), frame(av_frame_alloc()),
      timeBase(timeBase), rateCounter("AudioPacketDecoder"), originUs(originUs)
{
    AVChannelLayout layout = outputLayout(format);
    channels = layout.nb_channels;
    av_channel_layout_uninit(&layout);
    resetResampler();
}

void AudioPacketDecoder::resetResampler(int64_t positionMs)
{
    restartMs = positionMs;
    draining = false;
    finished = false;
    buildResampler(codecContext->sample_rate, codecContext->ch_layout.nb_channels, codecContext->sample_fmt);
    needStart = true;
}

// A resampler from the given input to the output format; none when it cannot
// be made (the frames are then dropped until one can).
void AudioPacketDecoder::buildResampler(int rate, int inChannels, AVSampleFormat sampleFormat)
{
    resampler.reset();
    inRate = rate;
    inChannelCount = inChannels;
    inFormat = sampleFormat;
    AVChannelLayout outLayout = outputLayout(format);
    // The stream's own layout is not trusted (it is often unset or odd); the
    // default layout for its channel count is what gets mixed down.
    AVChannelLayout inLayout{};
    av_channel_layout_default(&inLayout, inChannels);

    SwrContext *context = swr_alloc();
    if (context && rate > 0 &&
        swr_alloc_set_opts2(&context, &outLayout, static_cast<AVSampleFormat>(format.sampleFormat),
                            format.sampleRate, &inLayout, sampleFormat, rate, 0, nullptr) >= 0) {
        // Mono goes to both speakers at its own level, as players do, not
        // 3 dB down as a centre channel mixed into stereo.
        static const double monoToStereo[] = {1.0, 1.0};
        if (inLayout.nb_channels == 1 && outLayout.nb_channels == 2)
            swr_set_matrix(context, monoToStereo, 1);
        // A downmix (5.1 to stereo adds the centre and surrounds into each
        // side) is scaled so that no sum can pass full scale: a float output
        // is otherwise left unscaled, and loud passages would clip.
        else if (inLayout.nb_channels > outLayout.nb_channels)
            av_opt_set_double(context, "rematrix_maxval", 1.0, 0);
        if (swr_init(context) < 0)
            swr_free(&context);
    } else {
        swr_free(&context); // swr_alloc_set_opts2 freed and cleared it on failure
    }
    resampler.reset(context);
    av_channel_layout_uninit(&outLayout);
    av_channel_layout_uninit(&inLayout);
}

AudioBuffer *AudioPacketDecoder::decode(AVPacket *packet)
{
    avcodec_send_packet(codecContext, packet);
    // Some decoders make several frames of one packet (IMA ADPCM in WAV: a
    // block each) and take no further packet until all of them are out, so
    // they all go into this packet's buffer, one after the other.
    AudioBuffer *buffer = receive(nullptr);
    while (lastStatus == 0)
        buffer = receive(buffer);
    return buffer;
}

int64_t AudioPacketDecoder::endMs() const
{
    return needStart ? restartMs : startMs + (resampler ? nextOffsetMs() : 0);
}

AudioBuffer *AudioPacketDecoder::drain()
{
    if (finished)
        return nullptr;
    if (!draining) {
        avcodec_send_packet(codecContext, nullptr);
        draining = true;
    }
    if (bufferPool->isEmpty())
        return nullptr;
    if (AudioBuffer *buffer = receive(nullptr))
        return buffer;
    if (lastStatus == 0)
        return nullptr; // a frame came out but gave no sound: ask again
    // The decoder is empty; what the resampler still holds comes last.
    finished = true;
    return resampler ? convert(nullptr, nullptr) : nullptr;
}

AudioBuffer *AudioPacketDecoder::receive(AudioBuffer *into)
{
    lastStatus = avcodec_receive_frame(codecContext, frame.get());
    if (lastStatus != 0)
        return into;
    // A stream may change its rate, channels or sample format midway (joined
    // broadcast recordings do): the resampler follows, and the sound after the
    // change goes on where the sound before it ended.
    if (frame->sample_rate != inRate || frame->ch_layout.nb_channels != inChannelCount || frame->format != inFormat) {
        if (resampler && !needStart)
            startMs += nextOffsetMs();
        buildResampler(frame->sample_rate, frame->ch_layout.nb_channels, AVSampleFormat(frame->format));
    }
    if (!resampler) {
        av_frame_unref(frame.get());
        return into;
    }
    const int64_t stamp = frame->best_effort_timestamp;
    const int64_t stampMs =
        stamp != AV_NOPTS_VALUE ? (av_rescale_q(stamp, timeBase, AVRational{1, 1000000}) - originUs) / 1000 : 0;
    if (needStart) {
        startMs = stamp != AV_NOPTS_VALUE ? stampMs : restartMs;
        needStart = false;
        previousStampMs = AV_NOPTS_VALUE;
    } else if (stamp != AV_NOPTS_VALUE && previousStampMs != AV_NOPTS_VALUE &&
               std::fabs(double(stampMs - previousStampMs) - previousLengthMs) > GapMs) {
        // The track has a gap (or an overlap) here: the sound after it keeps
        // its own time instead of closing up behind what came before. Only a
        // jump from one frame to the next is one: stamps that drift slowly
        // away from the sound's own length (a chained Ogg stream's second
        // link at another rate, counted in the first one's units) are not.
        startMs = stampMs - nextOffsetMs();
    }
    // Frames without a stamp of their own (all but the first of a packet's)
    // count towards where the sound since the last stamp ends.
    const double lengthMs = frame->sample_rate > 0 ? frame->nb_samples * 1000.0 / frame->sample_rate : 0.0;
    if (stamp != AV_NOPTS_VALUE) {
        previousStampMs = stampMs;
        previousLengthMs = lengthMs;
    } else {
        previousLengthMs += lengthMs;
    }
    AudioBuffer *buffer = convert(frame.get(), into);
    av_frame_unref(frame.get());
    return buffer;
}

// Position of the next output sample on the resampler's own timeline, in
// units of 1/(input rate x output rate), as ms. It counts only what earlier
// frames produced. av_rescale takes a 64-bit divisor: the product of two rates
// does not fit an AVRational for 96 kHz input.
int64_t AudioPacketDecoder::nextOffsetMs() const
{
    const int64_t nextPts = swr_next_pts(resampler.get(), INT64_MIN);
    return av_rescale(nextPts, 1000, static_cast<int64_t>(inRate) * format.sampleRate);
}

// Converts one decoded frame, or with null the resampler's remaining samples,
// into a new buffer, or after the sound already in `into`.
AudioBuffer *AudioPacketDecoder::convert(const AVFrame *input, AudioBuffer *into)
{
    const int inSamples = input ? input->nb_samples : 0;
    // Everything the resampler can give now: its backlog plus this input.
    const int outSamples = swr_get_out_samples(resampler.get(), inSamples);
    if (outSamples <= 0 && !input)
        return into;

    // Read before converting: the buffer starts where earlier frames ended.
    const int64_t offsetMs = nextOffsetMs();

    AudioBuffer *buffer = into ? into : bufferPool->pop();
    if (!buffer)
        return nullptr;
    const int64_t kept = into ? into->size : 0;
    const int64_t needed = kept + int64_t(std::max(outSamples, 0)) * channels * format.bytesPerSample;
    if (needed > 0 && (!buffer->data || buffer->capacity < needed)) {
        auto *grown = new (std::nothrow) uint8_t[static_cast<size_t>(needed)];
        if (grown && kept > 0)
            std::memcpy(grown, buffer->data, static_cast<size_t>(kept));
        delete[] buffer->data;
        buffer->data = grown;
        buffer->capacity = grown ? static_cast<uint32_t>(needed) : 0;
    }

    int converted = -1;
    if (buffer->data) {
        uint8_t *out[1] = {buffer->data + kept};
        converted = swr_convert(resampler.get(), out, outSamples,
                                input ? const_cast<const uint8_t **>(input->extended_data) : nullptr, inSamples);
    }
    if (converted <= 0 && (!into || !buffer->data)) {
        // Nothing (trustworthy) was written: the buffer goes straight back
        // rather than reaching the audio device as silence with a timestamp.
        buffer->size = 0;
        bufferPool->giveBack(buffer);
        return nullptr;
    }
    if (converted > 0) {
        buffer->size = static_cast<uint32_t>(kept + int64_t(converted) * format.bytesPerSample * channels);
        rateCounter.tick();
    }
    if (!into)
        buffer->ptsMs = startMs + offsetMs;
    return buffer;
}
