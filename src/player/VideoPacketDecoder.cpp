#include "player/VideoPacketDecoder.h"

#include "frames/AbstractVideoFrame.h"

#include <algorithm>
#include <cstring>

namespace {
const AVRational kMicroseconds{1, 1000000};
constexpr int64_t kFallbackFrameUs = 40000; // 25 pictures per second when nothing else says
const AVFrameSideDataType kStreamFactTypes[] = {AV_FRAME_DATA_DISPLAYMATRIX, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA,
                                                AV_FRAME_DATA_CONTENT_LIGHT_LEVEL};
// The same facts as the stream's side data, in the same layout.
const AVPacketSideDataType kStreamSideDataTypes[] = {AV_PKT_DATA_DISPLAYMATRIX, AV_PKT_DATA_MASTERING_DISPLAY_METADATA,
                                                     AV_PKT_DATA_CONTENT_LIGHT_LEVEL};
} // namespace

VideoPacketDecoder::VideoPacketDecoder(AVCodecContext *codecContext, const AVRational &timeBase,
                                       FreePool<AbstractVideoFrame> *framePool, int64_t originUs,
                                       AVRational frameRate, AVRational sampleAspect, const AVStream *stream)
    : codecContext(codecContext), frame(av_frame_alloc()), timeBase(timeBase), framePool(framePool),
      rateCounter("VideoPacketDecoder"), originUs(originUs), frameRate(frameRate), sampleAspect(sampleAspect)
{
    if (stream && stream->sample_aspect_ratio.num > 0 && stream->sample_aspect_ratio.den > 0)
        containerAspect = stream->sample_aspect_ratio;
    for (size_t i = 0; stream && i < streamFacts.size(); ++i) {
        size_t size = 0;
        const uint8_t *data = av_stream_get_side_data(stream, kStreamSideDataTypes[i], &size);
        if (!data || size == 0)
            continue;
        streamFacts[i].reset(av_buffer_alloc(size));
        if (streamFacts[i])
            std::memcpy(streamFacts[i]->data, data, size);
    }
}

AbstractVideoFrame *VideoPacketDecoder::decode(AVPacket *packet)
{
    // One packet in, at most one picture out: a refused packet (output pending)
    // is lost, and pictures held back by the decoder come out on later calls
    // or when the decoder is drained.
    avcodec_send_packet(codecContext, packet);
    return receive();
}

AbstractVideoFrame *VideoPacketDecoder::drain()
{
    if (finished)
        return nullptr;
    if (!draining) {
        avcodec_send_packet(codecContext, nullptr);
        draining = true;
    }
    // Only when no frame is free does a picture stay inside for the next call.
    if (framePool->isEmpty())
        return nullptr;
    AbstractVideoFrame *result = receive();
    if (lastStatus == AVERROR_EOF)
        finished = true;
    return result;
}

void VideoPacketDecoder::restart(int64_t positionUs)
{
    nextUs = positionUs;
    lastEndUs = positionUs;
    draining = false;
    finished = false;
    deinterlacer.reset();
}

void VideoPacketDecoder::carryStreamFacts()
{
    for (size_t i = 0; i < streamFacts.size(); ++i) {
        if (const AVFrameSideData *side = av_frame_get_side_data(frame.get(), kStreamFactTypes[i])) {
            if (side->buf)
                streamFacts[i].reset(av_buffer_ref(side->buf));
        } else if (streamFacts[i]) {
            AVBufferRef *copy = av_buffer_ref(streamFacts[i].get());
            if (copy && !av_frame_new_side_data_from_buf(frame.get(), kStreamFactTypes[i], copy))
                av_buffer_unref(&copy);
        }
    }
}

// The decoder's best guess of the presentation time; where there is none the
// picture follows the previous one by its duration.
int64_t VideoPacketDecoder::pictureTimeUs(int64_t &durationUs) const
{
    if (frame->pkt_duration > 0)
        durationUs = av_rescale_q(frame->pkt_duration, timeBase, kMicroseconds);
    else if (frameRate.num > 0 && frameRate.den > 0)
        durationUs = av_rescale_q(1, av_inv_q(frameRate), kMicroseconds);
    else
        durationUs = kFallbackFrameUs;
    if (durationUs <= 0)
        durationUs = kFallbackFrameUs;

    const int64_t stamp = frame->best_effort_timestamp;
    if (stamp != AV_NOPTS_VALUE)
        return av_rescale_q(stamp, timeBase, kMicroseconds) - originUs;
    return nextUs;
}

AbstractVideoFrame *VideoPacketDecoder::receive()
{
    lastStatus = avcodec_receive_frame(codecContext, frame.get());
    if (lastStatus == 0) {
        if (!deinterlacer.take(frame.get(), codecContext->field_order))
            return nullptr; // kept back until the next picture
    } else if (lastStatus == AVERROR_EOF && deinterlacer.flush(frame.get())) {
        lastStatus = 0; // the last picture the deinterlacer kept back; the end comes next call
    } else {
        return nullptr;
    }
    carryStreamFacts();

    int64_t durationUs = 0;
    const int64_t ptsUs = pictureTimeUs(durationUs);
    nextUs = ptsUs + durationUs;
    lastEndUs = std::max(lastEndUs, nextUs);
    // Integer division truncates toward zero, so -11 us is 0 ms, not -1.
    const int64_t ptsMs = ptsUs / 1000;
    // The container's sample aspect ratio wins over the codec's, as in FFmpeg's
    // own players and mpv: an H.263 picture of a standard size says 12:11
    // whatever its source was, the MP4 around it says 1:1.
    if (containerAspect.num > 0)
        frame->sample_aspect_ratio = containerAspect;
    else if (frame->sample_aspect_ratio.num <= 0)
        frame->sample_aspect_ratio = sampleAspect;

    AbstractVideoFrame *target = framePool->pop();
    if (target) {
        target->fill(frame.get(), codecContext->pix_fmt, ptsMs);
        rateCounter.tick();
    }
    // Hands the decoder's picture buffer back at once (a hardware surface pool is small).
    av_frame_unref(frame.get());
    return target;
}
