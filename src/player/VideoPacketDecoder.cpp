#include "player/VideoPacketDecoder.h"

#include "frames/AbstractVideoFrame.h"

VideoPacketDecoder::VideoPacketDecoder(AVCodecContext *codecContext, const AVRational &timeBase,
                                       FreePool<AbstractVideoFrame> *framePool)
    : codecContext(codecContext), frame(av_frame_alloc()), timeBase(timeBase), framePool(framePool),
      rateCounter("VideoPacketDecoder")
{
}

AbstractVideoFrame *VideoPacketDecoder::decode(AVPacket *packet)
{
    // One packet in, at most one picture out: a refused packet (output pending)
    // is lost, and pictures held back by the decoder come out on later calls.
    avcodec_send_packet(codecContext, packet);
    if (avcodec_receive_frame(codecContext, frame.get()) != 0)
        return nullptr;

    // Integer division truncates toward zero, so -11 us is 0 ms, not -1.
    const int64_t ptsUs = av_rescale_q(frame->pts, timeBase, AVRational{1, 1000000});
    const int64_t ptsMs = ptsUs / 1000;

    AbstractVideoFrame *target = framePool->pop();
    if (target) {
        target->fill(frame.get(), codecContext->pix_fmt, ptsMs);
        rateCounter.tick();
    }
    // Hands the decoder's picture buffer back at once (a hardware surface pool is small).
    av_frame_unref(frame.get());
    return target;
}
