#include "CudaTestSupport.h"

#include "CpuKernelRunner.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <regex>
#include <unistd.h>

namespace {

FakeCuda *fake = nullptr; // the table is only reachable through a live FakeCuda

cudaError_t record(FakeCudaCall call)
{
    fake->calls.push_back(std::move(call));
    return cudaSuccess;
}

const CudaApi fakeApi = {
    [](void **pointer, size_t size) {
        record({"malloc", nullptr, nullptr, size});
        if (fake->failMalloc)
            return cudaErrorMemoryAllocation;
        *pointer = new uint8_t[size];
        fake->allocations.insert(*pointer);
        return cudaSuccess;
    },
    [](void *pointer) {
        if (fake->allocations.erase(pointer))
            delete[] static_cast<uint8_t *>(pointer);
        return record({"free", pointer});
    },
    [](void *dst, const void *src, size_t count, cudaMemcpyKind kind) {
        std::memcpy(dst, src, count);
        return record({"memcpy", dst, src, count, 0, kind});
    },
    [](void *p, size_t size, unsigned int flags) { return record({"hostRegister", p, nullptr, size, 0, int(flags)}); },
    [](void *pointer) { return record({"hostUnregister", pointer}); },
    [] { return record({"getLastError"}); },
    [](cudaError_t) { return "cudaErrorMemoryAllocation"; },
    [](cudaGraphicsResource_t *resource, unsigned int image, unsigned int target, unsigned int flags) {
        fake->texture = image;
        *resource = reinterpret_cast<cudaGraphicsResource_t>(&fake->texture);
        return record({"graphicsGLRegisterImage", reinterpret_cast<void *>(uintptr_t(image)), nullptr, target, 0,
                       int(flags)});
    },
    [](cudaGraphicsResource_t resource) { return record({"graphicsUnregisterResource", resource}); },
    [](int, cudaGraphicsResource_t *resources, cudaStream_t s) { return record({"graphicsMap", *resources, s}); },
    [](int, cudaGraphicsResource_t *resources, cudaStream_t s) { return record({"graphicsUnmap", *resources, s}); },
    [](cudaArray_t *array, cudaGraphicsResource_t resource, unsigned int, unsigned int) {
        *array = reinterpret_cast<cudaArray_t>(&fake->texture);
        return record({"graphicsSubResourceGetMappedArray", resource});
    },
    [](cudaArray_t dst, size_t wOffset, size_t hOffset, const void *src, size_t spitch, size_t width, size_t height,
       cudaMemcpyKind kind) {
        if (wOffset == 0 && hOffset == 0 && spitch == width) {
            // The interop copy, done by GL: the rows into the registered texture.
            glBindTexture(GL_TEXTURE_2D, fake->texture);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(width / 4), GLsizei(height), GL_RGBA, GL_UNSIGNED_BYTE,
                            src);
        }
        return record({"memcpy2DToArray", dst, src, height, spitch, kind});
    },
    [](unsigned char *source, int sourcePitch, unsigned char *destination, int destinationPitch, int width,
       int height, int standardIndex) {
        record({"launch", destination, source, size_t(width), size_t(sourcePitch), destinationPitch});
        cpuNv12ToRgba32(source, sourcePitch, destination, destinationPitch, width, height, standardIndex);
    },
    [](void *dst, size_t dpitch, const void *src, size_t spitch, size_t width, size_t height, cudaMemcpyKind kind) {
        for (size_t row = 0; row < height; ++row)
            std::memcpy(static_cast<uint8_t *>(dst) + row * dpitch, static_cast<const uint8_t *>(src) + row * spitch,
                        width);
        return record({"memcpy2D", dst, src, height, spitch, kind});
    },
};

} // namespace

FakeCuda::FakeCuda()
{
    fake = this;
}

FakeCuda::~FakeCuda()
{
    for (void *p : allocations)
        delete[] static_cast<uint8_t *>(p);
    fake = nullptr;
}

const CudaApi &FakeCuda::api() const
{
    return fakeApi;
}

std::vector<FakeCudaCall> FakeCuda::named(const std::string &name) const
{
    std::vector<FakeCudaCall> out;
    for (const FakeCudaCall &c : calls)
        if (c.name == name)
            out.push_back(c);
    return out;
}

CapturedLog::CapturedLog()
    : path("/tmp/pla-cuda-log-" + std::to_string(getpid())),
      record{nullptr, 1, true, 0, 0, std::wstring(path.begin(), path.end())}, logger{&record}
{
    setDiagnosticLogger(&logger);
}

CapturedLog::~CapturedLog()
{
    setDiagnosticLogger(nullptr);
    if (record.file)
        std::fclose(record.file);
    std::remove(path.c_str());
}

std::vector<std::string> CapturedLog::messages() const
{
    std::vector<std::string> out;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        out.push_back(line.substr(line.find(": ") + 2)); // after the time prefix
    return out;
}

Planes::Planes(int width, int height, const std::vector<std::pair<int, int>> &pitchAndRows, unsigned seed)
{
    frame.width = width;
    frame.height = height;
    std::mt19937 random(seed);
    for (const auto &[pitch, rows] : pitchAndRows) {
        planes.emplace_back(size_t(pitch) * rows);
        for (uint8_t &b : planes.back())
            b = uint8_t(random());
        frame.data[planes.size() - 1] = planes.back().data();
        frame.linesize[planes.size() - 1] = pitch;
    }
}

Planes nv12Planes(int width, int height, int pitch, unsigned seed)
{
    return Planes(width, height, {{pitch, height}, {pitch, (height + 1) / 2}}, seed);
}

std::vector<uint8_t> nv12ToRgba(const Planes &nv12)
{
    std::vector<uint8_t> contiguous(nv12.planes[0]);
    contiguous.insert(contiguous.end(), nv12.planes[1].begin(), nv12.planes[1].end());
    const int w = nv12.frame.width, h = nv12.frame.height;
    std::vector<uint8_t> rgba(size_t(w) * h * 4);
    cpuNv12ToRgba32(contiguous.data(), nv12.frame.linesize[0], rgba.data(), w * 4, w, h, 0);
    return rgba;
}

CudaReport parseCudaReport(const std::string &message)
{
    static const std::regex line(R"(Cuda error \((-?\d+), ([^)]*)\), file: ([^,]*), line: (\d+))");
    std::smatch m;
    if (!std::regex_match(message, m, line))
        return {};
    std::string source = std::string(PLA_SOURCE_DIR) + "/" + m.str(3) + ".cpp", text;
    std::replace(source.begin(), source.end(), '\\', '/');
    std::ifstream in(source);
    for (int i = 0; i < std::stoi(m.str(4)) && std::getline(in, text); ++i) {
    }
    const size_t start = text.find("api."), end = text.find('(', start);
    const std::string call = start == std::string::npos ? "" : text.substr(start + 4, end - start - 4);
    return {std::stoi(m.str(1)), m.str(2), m.str(3), call};
}
