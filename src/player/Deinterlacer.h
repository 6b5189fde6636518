// Deinterlaces the decoded pictures of an interlaced stream with libavfilter's
// bwdif, one picture out per picture in (a picture later: bwdif looks at the
// next one). Progressive pictures never start it, and once it runs it passes
// progressive pictures through unchanged. Demux thread only; owns its graph.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

struct AVFilterContext;
struct AVFilterGraph;

class Deinterlacer {
public:
    Deinterlacer();
    ~Deinterlacer();
    Deinterlacer(const Deinterlacer &) = delete;
    Deinterlacer &operator=(const Deinterlacer &) = delete;

    // Whether the stream or the picture says its fields were taken apart in time.
    static bool isInterlaced(const AVFrame *frame, AVFieldOrder fieldOrder);

    // Takes the decoded picture in frame. True when frame now holds the
    // picture to show (possibly an earlier one), false when it was kept back
    // (frame is then empty). Software pictures only: a hardware picture, or
    // one the filter cannot take, is passed on untouched.
    bool take(AVFrame *frame, AVFieldOrder fieldOrder);
    // At the end of input: the picture still kept back, into frame; false when none is left.
    bool flush(AVFrame *frame);
    // Forgets the kept-back picture and the graph (after a seek).
    void reset();

private:
    bool build(const AVFrame *frame);
    // The next picture out of the graph, stamped in the units the pictures came in.
    bool takeOutput(AVFrame *frame);

    struct GraphDeleter {
        void operator()(AVFilterGraph *graph) const;
    };
    std::unique_ptr<AVFilterGraph, GraphDeleter> graph;
    AVFilterContext *source = nullptr;
    AVFilterContext *sink = nullptr;
    int width = 0, height = 0, format = -1; // of the pictures the graph was built for
    bool ended = false;                     // the end of input was sent
    bool unusable = false;                  // the filter could not be made for this shape
};
