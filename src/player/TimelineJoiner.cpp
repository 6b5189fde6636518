#include "player/TimelineJoiner.h"

#include <algorithm>

TimelineJoiner::TimelineJoiner(const AVFormatContext *input, std::vector<int> indexes, int64_t startUs)
    : mends(input->iformat && (input->iformat->flags & AVFMT_TS_DISCONT)), parts{{startUs, 0, 0}}
{
    for (int index : indexes) {
        if (index >= 0 && index < static_cast<int>(input->nb_streams))
            streams.push_back({index, input->streams[index]->time_base, AV_NOPTS_VALUE, 0});
    }
    reset();
}

void TimelineJoiner::reset()
{
    offsetsUs.assign(1, 0);
    latestEnd = AV_NOPTS_VALUE;
    for (Stream &s : streams) {
        s.lastUs = AV_NOPTS_VALUE;
        s.restart = 0;
    }
}

void TimelineJoiner::apply(AVPacket *packet)
{
    const auto s = std::find_if(streams.begin(), streams.end(),
                                [packet](const Stream &c) { return c.index == packet->stream_index; });
    const int64_t stamp = packet->dts != AV_NOPTS_VALUE ? packet->dts : packet->pts;
    if (s == streams.end() || stamp == AV_NOPTS_VALUE)
        return;
    const int64_t rawUs = av_rescale_q(stamp, s->timeBase, AV_TIME_BASE_Q);
    const auto restarted = [&] {
        const int64_t at = rawUs + offsetsUs[s->restart];
        return s->lastUs != AV_NOPTS_VALUE && (at < s->lastUs - maxBackUs || at > s->lastUs + maxForwardUs);
    };
    if (mends && restarted()) {
        // Another stream may have met this restart first: follow it there.
        s->restart = offsetsUs.size() - 1;
        if (restarted()) {
            const int64_t startUs = latestEnd != AV_NOPTS_VALUE ? latestEnd : s->lastUs;
            offsetsUs.push_back(startUs - rawUs);
            s->restart = offsetsUs.size() - 1;
            const bool known = std::any_of(parts.begin(), parts.end(), [&](const Part &p) { return p.pos == packet->pos; });
            if (packet->pos >= 0 && !known) {
                parts.push_back({startUs, startUs - rawUs, packet->pos});
                std::sort(parts.begin(), parts.end(), [](const Part &a, const Part &b) { return a.startUs < b.startUs; });
            }
        }
        s->lastUs = AV_NOPTS_VALUE;
    }
    const int64_t offsetUs = offsetsUs[s->restart];
    if (offsetUs != 0) {
        const int64_t shift = av_rescale_q(offsetUs, AV_TIME_BASE_Q, s->timeBase);
        if (packet->pts != AV_NOPTS_VALUE)
            packet->pts += shift;
        if (packet->dts != AV_NOPTS_VALUE)
            packet->dts += shift;
    }
    const int64_t atUs = rawUs + offsetUs;
    s->lastUs = s->lastUs == AV_NOPTS_VALUE ? atUs : std::max(s->lastUs, atUs);
    if (!(packet->flags & AV_PKT_FLAG_DISCARD)) {
        const int64_t endUs = atUs + av_rescale_q(std::max<int64_t>(packet->duration, 0), s->timeBase, AV_TIME_BASE_Q);
        latestEnd = latestEnd == AV_NOPTS_VALUE ? endUs : std::max(latestEnd, endUs);
        furthestEnd = furthestEnd == AV_NOPTS_VALUE ? endUs : std::max(furthestEnd, endUs);
    }
}

const TimelineJoiner::Part *TimelineJoiner::partAt(int64_t targetUs) const
{
    const Part *found = nullptr;
    for (const Part &p : parts) {
        if (p.startUs <= targetUs)
            found = &p;
    }
    return found;
}

int64_t TimelineJoiner::seekFrom(int64_t targetUs, int64_t fileSize) const
{
    const Part *part = parts.size() > 1 ? partAt(targetUs) : nullptr;
    if (!part)
        return -1;
    const Part *next = part + 1 < parts.data() + parts.size() ? part + 1 : nullptr;
    const int64_t endUs = next ? next->startUs : furthestEnd;
    const int64_t endPos = next ? next->pos : fileSize;
    if (endUs <= part->startUs || endPos <= part->pos)
        return part->pos;
    const double into = std::clamp(double(targetUs - part->startUs - 1000000) / double(endUs - part->startUs), 0.0, 1.0);
    return part->pos + static_cast<int64_t>(into * double(endPos - part->pos));
}

void TimelineJoiner::resumeAt(int64_t targetUs)
{
    const Part *part = partAt(targetUs);
    reset();
    if (part)
        offsetsUs[0] = part->offsetUs;
}
