// Mends time stamps that start again midway. MPEG-TS and -PS, Ogg and HLS may
// restart their clocks inside one file: recordings joined byte for byte, a
// chained Ogg stream. Each restart of the chosen streams is moved to follow
// what came before it, so the file's timeline goes on instead of running
// back. A stream joins the latest restart when it reaches it, so picture and
// sound stay together after the join. Other formats pass unchanged.
//
// Also tracks where the packets of the chosen streams end on the file's
// timeline, which may lie beyond the length the file announced (joined
// recordings, an estimate from a variable bit rate).
//
// Used on the demux thread only.
#pragma once

#include <cstdint>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

class TimelineJoiner {
public:
    // A jump back of more than this within one stream is a restart, as is a
    // jump forward of more than maxForwardUs.
    static constexpr int64_t maxBackUs = 1000000;
    static constexpr int64_t maxForwardUs = 10000000;

    // streams: the indexes of the chosen streams (negative ones are ignored);
    // startUs: where the file's timeline starts on the stream clock.
    TimelineJoiner(const AVFormatContext *input, std::vector<int> streams, int64_t startUs = 0);

    // After a seek by time: the demuxer's stamps are taken as they are until
    // a restart is met again. The restarts met so far are kept for seekFrom.
    void reset();
    // Where a seek to targetUs (stream clock, on the joined timeline) should
    // read from once a restart has been met: the same stamps then come more
    // than once, so a seek by time cannot tell the parts apart. A byte
    // position inside the target's part, estimated from its length in time
    // and bytes and a second early; -1 when a seek by time serves (no restart met).
    int64_t seekFrom(int64_t targetUs, int64_t fileSize) const;
    // After a byte seek to seekFrom's position: every stream takes the shift
    // of the part the target lies in.
    void resumeAt(int64_t targetUs);
    // Moves the packet's stamps onto the joined timeline.
    void apply(AVPacket *packet);
    // The latest end of a packet seen, on the stream clock (AV_TIME_BASE), or
    // AV_NOPTS_VALUE before any.
    int64_t latestEndUs() const { return latestEnd; }

private:
    struct Stream {
        int index;
        AVRational timeBase;
        int64_t lastUs; // the latest stamp after the shift, or AV_NOPTS_VALUE
        size_t restart; // which of the offsets applies
    };

    // A restart met: where it begins on the joined timeline, its shift and
    // the byte position of its first packet.
    struct Part {
        int64_t startUs, offsetUs, pos;
    };
    const Part *partAt(int64_t targetUs) const;

    const bool mends; // whether the format may restart its stamps
    std::vector<Stream> streams;
    std::vector<int64_t> offsetsUs; // one per restart met since the last seek, the first the base shift
    int64_t latestEnd = AV_NOPTS_VALUE;
    std::vector<Part> parts;              // the file's start, then every restart met, by startUs
    int64_t furthestEnd = AV_NOPTS_VALUE; // the latest end ever seen
};
