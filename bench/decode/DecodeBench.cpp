// Decode + convert throughput: the player's software path (MovieFile,
// VideoPacketDecoder, SwsVideoFrame) against the ffmpeg tool doing the same
// decode and bilinear RGBA conversion with two threads, on one 1080p30 H.264
// file made here with ffmpeg. Prints frames per second and CPU ms per frame.
// Then the cost of colour per picture at 1080p and 3840x1920: conversion with
// the tagged matrix and range, 10-bit HDR conversion, and the flat mode's
// draw with and without the colour stage (gamut, PQ tone mapping).
#include "frames/SwsVideoFrame.h"
#include "frames/SwsVideoFrameBuilder.h"
#include "player/FrameSlot.h"
#include "player/FreePool.h"
#include "player/MovieFile.h"
#include "player/VideoPacketDecoder.h"
#include "render/TexturedRectangle.h"
#include "render/gl/FBO.h"
#include "render/gl/Texture.h"

#include <GL/glew.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

bool makeBenchGlContext(int &argc, char **argv);

namespace {

struct Run {
    int frames = 0;
    double wallS = 0;
    double cpuMs = 0;
    double fps() const { return frames / wallS; }
    double cpuPerFrame() const { return cpuMs / frames; }
};

double cpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool exists(const std::string &path)
{
    struct stat info{};
    return stat(path.c_str(), &info) == 0 && info.st_size > 0;
}

Run runPlayer(const std::string &path)
{
    MovieFile file(path, false);
    if (!file.isOpen()) {
        std::fprintf(stderr, "cannot open %s\n", path.c_str());
        std::exit(1);
    }
    SwsVideoFrameBuilder builder;
    FreePool<AbstractVideoFrame> pool;
    pool.setCapacity(2);
    for (int i = 0; i < 2; ++i) {
        AbstractVideoFrame *frame =
            new SwsVideoFrame(&builder, file.videoCodecContext->width, file.videoCodecContext->height);
        pool.giveBack(frame);
    }
    VideoPacketDecoder decoder(file.videoCodecContext, file.videoTimeBase, &pool);

    Run run;
    const double cpuBefore = cpuMs(RUSAGE_SELF);
    const auto start = std::chrono::steady_clock::now();
    AVPacket *packet = av_packet_alloc();
    while (av_read_frame(file.formatContext, packet) >= 0) {
        if (packet->stream_index == file.videoStreamIndex) {
            if (AbstractVideoFrame *frame = decoder.decode(packet)) {
                ++run.frames;
                pool.giveBack(frame);
            }
        }
        av_packet_unref(packet);
    }
    while (AbstractVideoFrame *frame = decoder.decode(nullptr)) { // what the decoder still holds
        ++run.frames;
        pool.giveBack(frame);
    }
    av_packet_free(&packet);
    run.wallS = secondsSince(start);
    run.cpuMs = cpuMs(RUSAGE_SELF) - cpuBefore;
    return run;
}

Run runFfmpeg(const std::string &path, int frames)
{
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -threads 2 -i '" + path +
                                "' -an -pix_fmt rgba -sws_flags bilinear -f null -";
    Run run;
    run.frames = frames;
    const double cpuBefore = cpuMs(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "ffmpeg failed: %s\n", command.c_str());
        std::exit(1);
    }
    run.wallS = secondsSince(start);
    run.cpuMs = cpuMs(RUSAGE_CHILDREN) - cpuBefore;
    return run;
}

// A picture of that size and format with the given tags, filled with a ramp.
AVFrame *syntheticPicture(int width, int height, AVPixelFormat format, AVColorSpace matrix, AVColorRange range,
                          AVColorPrimaries primaries, AVColorTransferCharacteristic transfer)
{
    AVFrame *frame = av_frame_alloc();
    frame->width = width;
    frame->height = height;
    frame->format = format;
    frame->colorspace = matrix;
    frame->color_range = range;
    frame->color_primaries = primaries;
    frame->color_trc = transfer;
    if (av_frame_get_buffer(frame, 0) < 0)
        std::exit(1);
    for (int plane = 0; plane < 3; ++plane)
        for (int i = 0; i < frame->linesize[plane] * (plane ? (height + 1) / 2 : height); ++i)
            frame->data[plane][i] = static_cast<uint8_t>(i * 7 + plane * 50);
    if (format == AV_PIX_FMT_YUV420P10LE) // keep the samples within 10 bits
        for (int plane = 0; plane < 3; ++plane)
            for (int i = 1; i < frame->linesize[plane] * (plane ? (height + 1) / 2 : height); i += 2)
                frame->data[plane][i] &= 3;
    return frame;
}

struct ColourCase {
    const char *name;
    AVPixelFormat format;
    AVColorSpace matrix;
    AVColorRange range;
    AVColorPrimaries primaries;
    AVColorTransferCharacteristic transfer;
};

const ColourCase kColourCases[] = {
    {"8-bit, untagged (plain)", AV_PIX_FMT_YUV420P, AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_UNSPECIFIED,
     AVCOL_PRI_UNSPECIFIED, AVCOL_TRC_UNSPECIFIED},
    {"8-bit, BT.709 full range", AV_PIX_FMT_YUV420P, AVCOL_SPC_BT709, AVCOL_RANGE_JPEG, AVCOL_PRI_BT709,
     AVCOL_TRC_BT709},
    {"8-bit, BT.2020 (gamut)", AV_PIX_FMT_YUV420P, AVCOL_SPC_BT2020_NCL, AVCOL_RANGE_MPEG, AVCOL_PRI_BT2020,
     AVCOL_TRC_BT2020_10},
    {"10-bit, HDR10 (PQ tone map)", AV_PIX_FMT_YUV420P10LE, AVCOL_SPC_BT2020_NCL, AVCOL_RANGE_MPEG,
     AVCOL_PRI_BT2020, AVCOL_TRC_SMPTE2084},
};

// Milliseconds of CPU per conversion and per draw (wall, glFinish) of one picture.
void colourCosts(int width, int height)
{
    constexpr int kPictures = 20;
    for (const ColourCase &c : kColourCases) {
        AVFrame *picture = syntheticPicture(width, height, c.format, c.matrix, c.range, c.primaries, c.transfer);
        SwsVideoFrameBuilder builder;
        auto *frame = new SwsVideoFrame(&builder, width, height);
        frame->fill(picture, c.format, 0); // the scaler is made outside the measurement
        const double before = cpuMs(RUSAGE_THREAD);
        for (int i = 0; i < kPictures; ++i)
            frame->fill(picture, c.format, i);
        const double convertMs = (cpuMs(RUSAGE_THREAD) - before) / kPictures;

        // The flat mode's rectangle drawing the picture into a target of its size.
        FrameSlot slot;
        slot.exchange(frame);
        GL::Texture target(nullptr, width, height, GL_RGBA, GL_RGBA8);
        GL::FBO framebuffer;
        framebuffer.bind();
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target.id, 0);
        glViewport(0, 0, width, height);
        double drawMs = 0;
        {
            TexturedRectangle rectangle(&slot);
            rectangle.render(); // the upload, outside the measurement
            glFinish();
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < kPictures; ++i)
                rectangle.render();
            glFinish();
            drawMs = secondsSince(start) * 1000.0 / kPictures;
        }
        framebuffer.unbind();
        std::printf("%-10s %-30s %14.2f %14.2f\n", (std::to_string(width) + "x" + std::to_string(height)).c_str(),
                    c.name, convertMs, drawMs);
        av_frame_free(&picture);
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::string path = std::string(PLA_BENCH_MEDIA_DIR) + "/bench_1080p30.mp4";
    if (argc > 1)
        path = argv[1];
    if (!exists(path)) {
        std::printf("making %s (10 s of 1920x1080 at 30 fps)...\n", path.c_str());
        const std::string make = "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
                                 "testsrc2=size=1920x1080:rate=30:duration=10 -c:v libx264 -preset veryfast "
                                 "-pix_fmt yuv420p -g 60 '" +
                                 path + "'";
        if (std::system(make.c_str()) != 0)
            return 1;
    }

    // Run with a current GL context, as the engine does.
    if (!makeBenchGlContext(argc, argv)) {
        std::fprintf(stderr, "no OpenGL context: run under tools/test-env.sh\n");
        return 1;
    }
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK)
        return 1;

    const Run player = runPlayer(path);
    const Run ffmpeg = runFfmpeg(path, player.frames);

    std::printf("decode + RGBA convert, %s, %d frames\n", path.c_str(), player.frames);
    std::printf("%-34s %10s %16s\n", "", "fps", "CPU ms/frame");
    std::printf("%-34s %10.1f %16.2f\n", "MovieFile+VideoPacketDecoder+Sws", player.fps(), player.cpuPerFrame());
    std::printf("%-34s %10.1f %16.2f\n", "ffmpeg -threads 2 (limit)", ffmpeg.fps(), ffmpeg.cpuPerFrame());
    std::printf("ratio player/ffmpeg: fps %.2f, CPU per frame %.2f\n", player.fps() / ffmpeg.fps(),
                player.cpuPerFrame() / ffmpeg.cpuPerFrame());

    std::printf("\ncolour per picture (convert: CPU ms of libswscale; draw: ms of the flat mode's draw)\n");
    std::printf("%-10s %-30s %14s %14s\n", "size", "source", "convert ms", "draw ms");
    colourCosts(1920, 1080);
    colourCosts(3840, 1920);
    return 0;
}
