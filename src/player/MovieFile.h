// Opens one video file: demuxer, video decoder (CUDA hardware decoding when
// asked for and proven by a test decode), audio decoder when there is sound.
// Built on the host thread inside a load; afterwards only read (the decoder's
// format callback reads hwPixelFormat from FFmpeg's threads). Owns the demuxer,
// both codec contexts and the hardware device; close() frees them.
//
// Sources: the file is a video (its best video stream, never a cover picture
// when there is one), a sound file with a cover picture (coverArt: the picture
// is the video stream) or a sound file without one (hasVideo false, no video
// stream). Opening gives up after openTimeoutUs; FIFOs, devices and the pipe:
// and fd: protocols are refused, since they can block where no interrupt reaches.
//
// Times: the file's own timeline starts at startUs (the container's start
// time, or the earliest start of the chosen streams); every time the player
// shows, seeks to or reports is relative to it. durationMs() is the length of
// that timeline, 0 when the file does not say.
#pragma once

#include <atomic>
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
    // Length of the timeline in ms; 0 when unknown.
    int64_t durationMs() const { return duration > 0 ? duration : 0; }
    void close();
    // Makes the I/O the demuxer is blocked in, and all later I/O of this
    // file, fail at once. Any thread: the demux thread's owner calls it
    // before joining that thread.
    void abortIo() { ioAborted.store(true); }

    // Software decoding threads for a machine with cpuCount logical processors.
    static int decodingThreadCount(int cpuCount);

    // Pictures the player refuses to load: wider or taller than this, or whose
    // converted RGBA frame alone would take more than maxFrameBytes.
    static constexpr int maxPictureSide = 16384;
    static constexpr int64_t maxFrameBytes = int64_t(256) << 20;
    // Whether a picture of that size can be played; logs the level-E line naming it when not.
    static bool acceptPictureSize(int width, int height);
    // Whether path can be opened without risking a read that nothing can
    // interrupt; logs the level-E line naming it when not.
    static bool acceptSource(const std::string &path);

    // Longest time a load may spend opening the file (both attempts).
    static constexpr int64_t openTimeoutUs = 5000000;
    // A network read that gets no data for this long fails (the end of input).
    static constexpr int64_t networkTimeoutUs = 10000000;

    const std::string *path; // the caller's string; read during construction only
    bool opened = false;
    int64_t duration = -1;
    AVFormatContext *formatContext = nullptr;
    AVCodecContext *videoCodecContext = nullptr;
    const AVCodec *videoCodec = nullptr;
    bool hasVideo = false; // a picture decoder is open: videoCodecContext and videoStreamIndex are set
    // The picture is an attached one (cover art): a single packet, read first
    // and again after each successful seek.
    bool coverArt = false;
    int32_t videoStreamIndex = -1;
    AVRational videoTimeBase{0, 1};
    AVRational videoFrameRate{0, 1}; // the stream's own; {0, 1} when unknown
    AVRational sampleAspect{0, 1};   // of the video stream; {0, 1} when unknown (square)
    int64_t startUs = 0;             // start of the timeline on the file's clock
    AVCodecContext *audioCodecContext = nullptr;
    const AVCodec *audioCodec = nullptr;
    int32_t audioStreamIndex = -1;
    AVRational audioTimeBase{0, 1};
    bool hasAudio = false;
    AVBufferRef *hwDevice = nullptr;
    bool firstOpen = true;
    AVPixelFormat hwPixelFormat = AV_PIX_FMT_NONE; // written while opening, read by the format callback

private:
    static int interrupted(void *file);
    bool open(bool hardware);
    bool openInput();
    bool openVideo(AVCodecParameters *videoParameters, bool hardware);
    int chooseStream(AVMediaType type, bool attachedPicture, int related) const;
    void release();
    void dumpStreamDescription();
    bool chooseStreams(AVCodecParameters *&videoParameters, AVCodecParameters *&audioParameters);
    bool setUpHardware();
    bool testHardwareDecoder();
    bool openAudio(AVCodecParameters *audioParameters);
    void measureTimeline();

    // Read by the interrupt callback on whichever thread does I/O.
    std::atomic<bool> ioAborted{false};
    std::atomic<int64_t> openDeadlineUs{0}; // av_gettime_relative() clock; 0 while no open runs
};
