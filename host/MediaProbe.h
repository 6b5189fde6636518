// What player-host's media-information dialog shows about a file beyond what
// IMediaPlayer2 reports: codecs, frame rate and sound format, read with FFmpeg's
// demuxer, and which decoder a player made by a given factory ends up using.
// Called on the GUI thread when the dialog opens; keeps nothing open.
#pragma once

#include "PluginLoader.h"

#include <QSize>
#include <QString>
#include <cstdint>

struct MediaInfo {
    QString error;       // empty when the file could be read
    QString container;   // "mov,mp4,m4a,3gp,3g2,mj2"
    QString videoCodec;  // "h264 (High)"
    QSize size;
    double frameRate = 0; // 0 when the file does not say
    int64_t durationMs = 0;
    int videoCodecId = 0; // FFmpeg's AVCodecID, for decoderInUse
    bool hasSound = false;
    QString soundFormat; // "aac, 48000 Hz, stereo, fltp"
};

class MediaProbe {
public:
    static MediaInfo probe(const QString &path);

    // "software (...)" or "hardware (CUDA)" for a player from factory playing a
    // video of codecId: the plug-in tries CUDA decoding for the hardware factories
    // and falls back to software when the codec or the machine cannot do it.
    static QString decoderInUse(PluginLoader::Factory factory, int codecId);
};
