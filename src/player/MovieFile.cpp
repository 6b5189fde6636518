#include "player/MovieFile.h"

#include "player/FFmpegLog.h"
#include "player/FFmpegPtr.h"
#include "support/Logger.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include <sys/stat.h>

extern "C" {
#include <libavutil/cpu.h>
#include <libavutil/hwcontext.h>
#include <libavutil/log.h>
#include <libavutil/time.h>
}

namespace {

// Offers only the hardware format chosen for this file (reached through the
// codec context's opaque pointer): a software format here would silently
// bypass the GPU converter the engine chose for this file.
AVPixelFormat pickHardwareFormat(AVCodecContext *context, const AVPixelFormat *offered)
{
    const auto *file = static_cast<const MovieFile *>(context->opaque);
    const AVPixelFormat wanted = file ? file->hwPixelFormat : AV_PIX_FMT_NONE;
    for (const AVPixelFormat *f = offered; *f != AV_PIX_FMT_NONE; ++f) {
        if (*f == wanted)
            return wanted;
    }
    return AV_PIX_FMT_NONE;
}

int64_t toUs(int64_t t, AVRational timeBase)
{
    return av_rescale_q(t, timeBase, AVRational{1, 1000000});
}

constexpr unsigned MaxStreams = 256;
constexpr int HardwareTestPackets = 10;

} // namespace

MovieFile::MovieFile(const std::string &path, bool hardware) : path(&path)
{
    installFFmpegLog();
    logA(diagnosticLogger(), "Loading video: %s", path.c_str());
    if (acceptSource(path)) {
        // One deadline for both attempts: the host's GUI thread waits for the load.
        openDeadlineUs.store(av_gettime_relative() + openTimeoutUs);
        opened = open(hardware);
        if (!opened)
            opened = open(false);
        openDeadlineUs.store(0);
    }
    if (!opened)
        logE(diagnosticLogger(), "Failed to load video!");
}

int MovieFile::interrupted(void *file)
{
    const auto *self = static_cast<const MovieFile *>(file);
    if (self->ioAborted.load())
        return 1;
    const int64_t deadline = self->openDeadlineUs.load();
    return deadline != 0 && av_gettime_relative() > deadline ? 1 : 0;
}

// FFmpeg's interrupt callback is only consulted between reads and while it
// waits on a socket: a FIFO without a writer blocks inside open(), and a pipe
// or terminal inside read(), so such sources are refused before FFmpeg sees them.
bool MovieFile::acceptSource(const std::string &path)
{
    // FFmpeg's own reading of a URL: a scheme is a run of these characters followed by ':'.
    const size_t schemeLength = path.find_first_not_of(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.");
    const std::string scheme =
        schemeLength != std::string::npos && schemeLength > 0 && path[schemeLength] == ':' ? path.substr(0, schemeLength)
                                                                                             : std::string();
    if (scheme == "pipe" || scheme == "fd") {
        logE(diagnosticLogger(), "Refused %s: reading a pipe or file descriptor cannot be interrupted", path.c_str());
        return false;
    }
    if (!scheme.empty() && scheme != "file")
        return true; // network protocols wait on sockets, which the interrupt callback ends
    const std::string local = scheme.empty() ? path : path.substr(schemeLength + 1);
    struct stat status;
    if (stat(local.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        logE(diagnosticLogger(), "Refused %s: not a regular file", path.c_str());
        return false;
    }
    return true; // a missing file fails in the open itself
}

MovieFile::~MovieFile()
{
    close();
}

void MovieFile::close()
{
    release();
}

int MovieFile::decodingThreadCount(int cpuCount)
{
    return std::clamp(cpuCount / 2, 2, 6);
}

// The only place these objects are freed: the codec contexts before the
// demuxer whose streams they decode, the hardware device last (each context
// that used it holds its own reference).
void MovieFile::release()
{
    avcodec_free_context(&videoCodecContext);
    avcodec_free_context(&audioCodecContext);
    avformat_close_input(&formatContext);
    av_buffer_unref(&hwDevice);
    videoCodec = nullptr;
    audioCodec = nullptr;
    hasVideo = false;
    coverArt = false;
    hasAudio = false;
    videoStreamIndex = -1;
    audioStreamIndex = -1;
}

bool MovieFile::open(bool hardware)
{
    hwPixelFormat = AV_PIX_FMT_NONE;
    release();
    startUs = 0;
    duration = -1;

    if (!openInput())
        return false;
    if (firstOpen)
        dumpStreamDescription();

    AVCodecParameters *videoParameters = nullptr;
    AVCodecParameters *audioParameters = nullptr;
    if (!chooseStreams(videoParameters, audioParameters))
        return false;
    // A single cover picture gains nothing from the GPU, and sound alone has nothing for it.
    if (videoParameters && !openVideo(videoParameters, hardware && !coverArt))
        return false;

    measureTimeline();

    if (audioStreamIndex < 0) {
        logA(diagnosticLogger(), "No audio track available");
        return true;
    }
    return openAudio(audioParameters);
}

bool MovieFile::openInput()
{
    Logger *logger = diagnosticLogger();
    formatContext = avformat_alloc_context();
    if (!formatContext)
        return false;
    formatContext->interrupt_callback = AVIOInterruptCB{&MovieFile::interrupted, this};
    AVDictionary *options = nullptr;
    av_dict_set_int(&options, "rw_timeout", networkTimeoutUs, 0);
    int rc = avformat_open_input(&formatContext, path->c_str(), nullptr, &options); // frees the context on failure
    av_dict_free(&options);
    if (rc != 0) {
        logE(logger, "Failed to open input: %d", rc);
        return false;
    }
    rc = avformat_find_stream_info(formatContext, nullptr);
    if (rc < 0) {
        logE(logger, "Failed to find stream info: %d", rc);
        return false;
    }
    return true;
}

bool MovieFile::openVideo(AVCodecParameters *videoParameters, bool hardware)
{
    Logger *logger = diagnosticLogger();
    if (!acceptPictureSize(videoParameters->width, videoParameters->height))
        return false;
    videoCodec = avcodec_find_decoder(videoParameters->codec_id);
    if (!videoCodec) {
        logE(logger, "Failed to find decoder for codec (%d)", videoParameters->codec_id);
        return false;
    }
    videoCodecContext = avcodec_alloc_context3(videoCodec);
    if (!videoCodecContext)
        return false;
    int rc = avcodec_parameters_to_context(videoCodecContext, videoParameters);
    if (rc != 0) {
        logE(logger, "Failed to copy context parameters: %d", rc);
        return false;
    }
    videoCodecContext->thread_count = decodingThreadCount(av_cpu_count());
    videoCodecContext->opaque = this;

    if (hardware && !setUpHardware()) {
        logA(logger, "Hardware decoder initialization was not successful - software docder is used.");
        return false;
    }
    rc = avcodec_open2(videoCodecContext, videoCodec, nullptr);
    if (rc < 0) {
        logE(logger, "Failed to open avcodec: %d", rc);
        return false;
    }
    if (hardware && !testHardwareDecoder()) {
        logE(logger, "Hardware decoder tests failed!");
        return false;
    }
    hasVideo = true;
    return true;
}

void MovieFile::dumpStreamDescription()
{
    firstOpen = false;
    std::string dumpText;
    av_log_set_level(AV_LOG_VERBOSE);
    {
        const FFmpegLogCapture capture(dumpText);
        av_dump_format(formatContext, 0, path->c_str(), 0);
    }
    logA(diagnosticLogger(), "%s", dumpText.c_str());
}

// The stream of that type flagged as the default one, else FFmpeg's pick,
// else the first; attached pictures (cover art) are either all that is
// looked at or never looked at. -1 when there is none.
int MovieFile::chooseStream(AVMediaType type, bool attachedPicture, int related) const
{
    const int count = static_cast<int>(std::min(formatContext->nb_streams, MaxStreams));
    auto fits = [&](int i) {
        const AVStream *stream = formatContext->streams[i];
        return stream->codecpar->codec_type == type &&
               ((stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) == attachedPicture;
    };
    for (int i = 0; i < count; ++i) {
        if (fits(i) && (formatContext->streams[i]->disposition & AV_DISPOSITION_DEFAULT))
            return i;
    }
    const int best = av_find_best_stream(formatContext, type, -1, related, nullptr, 0);
    if (best >= 0 && best < count && fits(best))
        return best;
    for (int i = 0; i < count; ++i) {
        if (fits(i))
            return i;
    }
    return -1;
}

bool MovieFile::chooseStreams(AVCodecParameters *&videoParameters, AVCodecParameters *&audioParameters)
{
    int video = chooseStream(AVMEDIA_TYPE_VIDEO, false, -1);
    if (video < 0) {
        video = chooseStream(AVMEDIA_TYPE_VIDEO, true, -1);
        coverArt = video >= 0;
    }
    const int audio = chooseStream(AVMEDIA_TYPE_AUDIO, false, video);
    // Sound alone plays; a file with neither sound nor picture has nothing to play.
    if (video < 0 && audio < 0) {
        logE(diagnosticLogger(), "No video stream found in %s", path->c_str());
        return false;
    }
    if (video >= 0) {
        AVStream *stream = formatContext->streams[video];
        videoStreamIndex = video;
        videoTimeBase = stream->time_base;
        videoFrameRate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
        sampleAspect = av_guess_sample_aspect_ratio(formatContext, stream, nullptr);
        videoParameters = stream->codecpar;
        if (videoParameters->width <= 0 || videoParameters->height <= 0) {
            logE(diagnosticLogger(), "Video stream has no valid picture size: %dx%d", videoParameters->width,
                 videoParameters->height);
            return false;
        }
    }
    if (audio >= 0) {
        audioStreamIndex = audio;
        audioTimeBase = formatContext->streams[audio]->time_base;
        audioParameters = formatContext->streams[audio]->codecpar;
    }
    return true;
}

bool MovieFile::setUpHardware()
{
    std::set<AVHWDeviceType> offered;
    for (AVHWDeviceType type = av_hwdevice_iterate_types(AV_HWDEVICE_TYPE_NONE); type != AV_HWDEVICE_TYPE_NONE;
         type = av_hwdevice_iterate_types(type))
        offered.insert(type);
    if (offered.count(AV_HWDEVICE_TYPE_CUDA) == 0)
        return false;

    const AVCodecHWConfig *config = nullptr;
    for (int i = 0;; ++i) {
        config = avcodec_get_hw_config(videoCodec, i);
        if (!config)
            return false;
        if ((config->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) &&
            config->device_type == AV_HWDEVICE_TYPE_CUDA)
            break;
    }
    if (config->pix_fmt == AV_PIX_FMT_NONE)
        return false;
    if (av_hwdevice_ctx_create(&hwDevice, AV_HWDEVICE_TYPE_CUDA, nullptr, nullptr, 0) < 0)
        return false;
    videoCodecContext->hw_device_ctx = av_buffer_ref(hwDevice);
    hwPixelFormat = config->pix_fmt;
    videoCodecContext->get_format = pickHardwareFormat;
    videoCodecContext->thread_count = 1;
    return true;
}

// A CUDA decoder may open and still never deliver a picture (unsupported
// profile, driver trouble), so hardware decoding is only kept once it has
// produced one from the file itself.
bool MovieFile::testHardwareDecoder()
{
    AVFramePtr frame(av_frame_alloc());
    AVPacketPtr packet(av_packet_alloc());
    if (!frame || !packet)
        return false;
    int sent = 0;
    int received = 0;
    while (sent < HardwareTestPackets && av_read_frame(formatContext, packet.get()) >= 0) {
        if (packet->stream_index == videoStreamIndex) {
            ++sent;
            if (avcodec_send_packet(videoCodecContext, packet.get()) == 0 &&
                avcodec_receive_frame(videoCodecContext, frame.get()) == 0)
                ++received;
        }
        av_packet_unref(packet.get());
    }
    if (received == 0)
        return false;
    av_seek_frame(formatContext, -1, 0, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(videoCodecContext);
    return true;
}

bool MovieFile::openAudio(AVCodecParameters *audioParameters)
{
    Logger *logger = diagnosticLogger();
    audioCodec = avcodec_find_decoder(audioParameters->codec_id);
    if (!audioCodec) {
        logE(logger, "Audio codec not found!");
        return false;
    }
    audioCodecContext = avcodec_alloc_context3(audioCodec);
    if (!audioCodecContext)
        return false;
    int rc = avcodec_parameters_to_context(audioCodecContext, audioParameters);
    if (rc != 0) {
        logE(logger, "Failed to copy audio context parameters: %d", rc);
        return false;
    }
    audioCodecContext->thread_count = 1;
    rc = avcodec_open2(audioCodecContext, audioCodec, nullptr);
    if (rc < 0) {
        logE(logger, "Failed to open audio codec: %d", rc);
        return false;
    }
    hasAudio = true;
    return true;
}

bool MovieFile::acceptPictureSize(int width, int height)
{
    if (width > maxPictureSide || height > maxPictureSide) {
        logE(diagnosticLogger(), "Picture size %dx%d is larger than %d pixels on a side", width, height,
             maxPictureSide);
        return false;
    }
    const int64_t frameBytes = int64_t(width) * height * 4;
    if (frameBytes > maxFrameBytes) {
        logE(diagnosticLogger(), "Picture size %dx%d needs %lld bytes per frame, more than the %lld allowed",
             width, height, static_cast<long long>(frameBytes), static_cast<long long>(maxFrameBytes));
        return false;
    }
    return true;
}

// Containers disagree on what their duration counts (MP4 includes an empty
// leading edit, MPEG-TS does not), so the end is taken from the chosen
// streams where they know it and the container's figure serves otherwise.
void MovieFile::measureTimeline()
{
    // A cover picture has no length of its own: the sound alone sets the timeline.
    const AVStream *streams[2] = {videoStreamIndex >= 0 && !coverArt ? formatContext->streams[videoStreamIndex]
                                                                     : nullptr,
                                  audioStreamIndex >= 0 ? formatContext->streams[audioStreamIndex] : nullptr};
    int64_t earliest = AV_NOPTS_VALUE;
    int64_t endUs = AV_NOPTS_VALUE;
    for (const AVStream *stream : streams) {
        if (!stream || stream->start_time == AV_NOPTS_VALUE)
            continue;
        const int64_t start = toUs(stream->start_time, stream->time_base);
        earliest = earliest == AV_NOPTS_VALUE ? start : std::min(earliest, start);
        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0) {
            const int64_t end = start + toUs(stream->duration, stream->time_base);
            endUs = endUs == AV_NOPTS_VALUE ? end : std::max(endUs, end);
        }
    }
    startUs = formatContext->start_time != AV_NOPTS_VALUE ? formatContext->start_time
              : earliest != AV_NOPTS_VALUE                ? earliest
                                                           : 0;
    if (endUs == AV_NOPTS_VALUE && formatContext->duration != AV_NOPTS_VALUE && formatContext->duration > 0)
        endUs = startUs + formatContext->duration;
    duration = endUs != AV_NOPTS_VALUE && endUs > startUs ? (endUs - startUs) / 1000 : 0;
}
