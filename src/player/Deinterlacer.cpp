#include "player/Deinterlacer.h"

#include "support/Logger.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavutil/pixdesc.h>
}

#include <cstdio>

void Deinterlacer::GraphDeleter::operator()(AVFilterGraph *g) const
{
    avfilter_graph_free(&g);
}

Deinterlacer::Deinterlacer() = default;
Deinterlacer::~Deinterlacer() = default;

bool Deinterlacer::isInterlaced(const AVFrame *frame, AVFieldOrder fieldOrder)
{
    return frame->interlaced_frame || (fieldOrder != AV_FIELD_UNKNOWN && fieldOrder != AV_FIELD_PROGRESSIVE);
}

bool Deinterlacer::build(const AVFrame *frame)
{
    reset();
    width = frame->width;
    height = frame->height;
    format = frame->format;
    unusable = true; // until the graph is configured
    graph.reset(avfilter_graph_alloc());
    if (!graph)
        return false;
    // One thread: the decoder already has the other core.
    graph->nb_threads = 1;
    char arguments[160];
    std::snprintf(arguments, sizeof(arguments), "video_size=%dx%d:pix_fmt=%d:time_base=1/1:pixel_aspect=%d/%d",
                  frame->width, frame->height, frame->format, frame->sample_aspect_ratio.num,
                  frame->sample_aspect_ratio.den > 0 ? frame->sample_aspect_ratio.den : 1);
    AVFilterContext *deinterlace = nullptr;
    // deint=interlaced: pictures flagged progressive pass through as they are.
    if (avfilter_graph_create_filter(&source, avfilter_get_by_name("buffer"), "in", arguments, nullptr,
                                     graph.get()) < 0 ||
        avfilter_graph_create_filter(&deinterlace, avfilter_get_by_name("bwdif"), "deinterlace",
                                     "mode=send_frame:parity=auto:deint=interlaced", nullptr, graph.get()) < 0 ||
        avfilter_graph_create_filter(&sink, avfilter_get_by_name("buffersink"), "out", nullptr, nullptr,
                                     graph.get()) < 0 ||
        avfilter_link(source, 0, deinterlace, 0) < 0 || avfilter_link(deinterlace, 0, sink, 0) < 0 ||
        avfilter_graph_config(graph.get(), nullptr) < 0) {
        logE(diagnosticLogger(), "Deinterlacer for %dx%d %s could not be made; pictures are shown as decoded",
             frame->width, frame->height, av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format)));
        graph.reset();
        return false;
    }
    unusable = false;
    return true;
}

bool Deinterlacer::take(AVFrame *frame, AVFieldOrder fieldOrder)
{
    if (frame->hw_frames_ctx)
        return true;
    const bool sameShape = frame->width == width && frame->height == height && frame->format == format;
    if (sameShape && unusable)
        return true; // the filter refused this shape once; it is not tried again
    if (!graph || !sameShape) {
        if (!graph && !isInterlaced(frame, fieldOrder))
            return true;
        if (!build(frame))
            return true;
    }
    // The filter keeps the time stamp in pts; the decoder's best guess goes there.
    frame->pts = frame->best_effort_timestamp;
    if (av_buffersrc_add_frame(source, frame) < 0) {
        av_frame_unref(frame);
        return false;
    }
    return takeOutput(frame);
}

bool Deinterlacer::takeOutput(AVFrame *frame)
{
    if (av_buffersink_get_frame(sink, frame) < 0)
        return false;
    // bwdif counts in half the time base it is given (it can send a picture
    // per field), so its stamps come back doubled unless brought back here.
    if (frame->pts != AV_NOPTS_VALUE)
        frame->pts = av_rescale_q(frame->pts, av_buffersink_get_time_base(sink), AVRational{1, 1});
    frame->best_effort_timestamp = frame->pts;
    return true;
}

bool Deinterlacer::flush(AVFrame *frame)
{
    if (!graph)
        return false;
    if (!ended) {
        ended = true;
        if (av_buffersrc_add_frame(source, nullptr) < 0)
            return false;
    }
    return takeOutput(frame);
}

void Deinterlacer::reset()
{
    graph.reset();
    source = sink = nullptr;
    width = height = 0;
    format = -1;
    ended = false;
    unusable = false;
}
