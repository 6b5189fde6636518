// Opens one video file: demuxer, video decoder (CUDA hardware decoding when
// asked for and proven by a test decode), audio decoder when there is sound.
// Built on the host thread inside a load; afterwards only read. Owns the
// demuxer, both codec contexts and the hardware device; close() frees them.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

class MovieFile {
public:
    MovieFile(const std::string &path, bool hardware);
    MovieFile(const MovieFile &) = delete;
    MovieFile &operator=(const MovieFile &) = delete;
    ~MovieFile(); // calls close()

    bool isOpen() const { return opened; }
    int64_t durationMs() const { return duration; }
    void close();

    // Software decoding threads for a machine with cpuCount logical processors.
    static int decodingThreadCount(int cpuCount);

    const std::string *path; // the caller's string; read during construction only
    bool opened = false;
    int64_t duration = -1;
    AVFormatContext *formatContext = nullptr;
    AVCodecContext *videoCodecContext = nullptr;
    const AVCodec *videoCodec = nullptr;
    int32_t videoStreamIndex = -1;
    AVRational videoTimeBase{0, 1};
    AVCodecContext *audioCodecContext = nullptr;
    const AVCodec *audioCodec = nullptr;
    int32_t audioStreamIndex = -1;
    AVRational audioTimeBase{0, 1};
    bool hasAudio = false;
    AVBufferRef *hwDevice = nullptr;
    bool firstOpen = true;

private:
    bool open(bool hardware);
    void release();
    void dumpStreamDescription();
    bool chooseStreams(AVCodecParameters *&videoParameters, AVCodecParameters *&audioParameters);
    bool setUpHardware();
    bool testHardwareDecoder();
    bool openAudio(AVCodecParameters *audioParameters);
};
