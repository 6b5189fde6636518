#include "CudaTestSupport.h"

#include "CpuKernelRunner.h"

#include <GL/glew.h>
#include <cuda_runtime_api.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace {

FakeCuda *current = nullptr;

FakeCuda &fake()
{
    if (!current)
        throw std::logic_error("no FakeCuda installed");
    return *current;
}

cudaError_t record(FakeCudaCall call)
{
    fake().calls.push_back(std::move(call));
    return fake().status;
}

const CudaApi fakeApi = {
    [](void **pointer, size_t size) {
        FakeCuda &f = fake();
        f.calls.push_back({"malloc", nullptr, nullptr, size});
        if (f.failMalloc)
            return cudaErrorMemoryAllocation;
        if (f.status != cudaSuccess)
            return f.status;
        *pointer = new uint8_t[size];
        f.allocations.insert(*pointer);
        return cudaSuccess;
    },
    [](void *pointer) {
        FakeCuda &f = fake();
        f.calls.push_back({"free", pointer});
        if (f.allocations.erase(pointer))
            delete[] static_cast<uint8_t *>(pointer);
        return f.status;
    },
    [](void *dst, const void *src, size_t count, cudaMemcpyKind kind) {
        const cudaError_t status = record({"memcpy", dst, src, count, 0, 0, kind});
        if (status == cudaSuccess)
            std::memcpy(dst, src, count);
        return status;
    },
    [](void *pointer, size_t size, unsigned int flags) {
        return record({"hostRegister", pointer, nullptr, size, 0, 0, int(flags)});
    },
    [](void *pointer) { return record({"hostUnregister", pointer}); },
    [] { return record({"getLastError"}); },
    [](cudaError_t status) { return status == cudaErrorMemoryAllocation ? "cudaErrorMemoryAllocation" : "cudaErrorFake"; },
    [](cudaGraphicsResource_t *resource, unsigned int image, unsigned int target, unsigned int flags) {
        FakeCuda &f = fake();
        f.calls.push_back({"graphicsGLRegisterImage", reinterpret_cast<void *>(uintptr_t(image)), nullptr, target, 0,
                           0, int(flags)});
        if (f.status == cudaSuccess) {
            f.registeredTexture = image;
            *resource = reinterpret_cast<cudaGraphicsResource_t>(&f.registeredTexture);
        }
        return f.status;
    },
    [](cudaGraphicsResource_t resource) { return record({"graphicsUnregisterResource", resource}); },
    [](int count, cudaGraphicsResource_t *resources, cudaStream_t stream) {
        return record({"graphicsMapResources", *resources, stream, size_t(count)});
    },
    [](int count, cudaGraphicsResource_t *resources, cudaStream_t stream) {
        return record({"graphicsUnmapResources", *resources, stream, size_t(count)});
    },
    [](cudaArray_t *array, cudaGraphicsResource_t resource, unsigned int arrayIndex, unsigned int mipLevel) {
        const cudaError_t status =
            record({"graphicsSubResourceGetMappedArray", resource, nullptr, arrayIndex, mipLevel});
        if (status == cudaSuccess)
            *array = reinterpret_cast<cudaArray_t>(&fake().registeredTexture);
        return status;
    },
    [](cudaArray_t dst, size_t wOffset, size_t hOffset, const void *src, size_t spitch, size_t width, size_t height,
       cudaMemcpyKind kind) {
        const cudaError_t status = record({"memcpy2DToArray", dst, src, height, spitch, width, kind});
        if (status == cudaSuccess && wOffset == 0 && hOffset == 0 && spitch == width) {
            // The interop copy, done by GL: the rows into the registered texture.
            glBindTexture(GL_TEXTURE_2D, fake().registeredTexture);
            glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, GLsizei(width / 4), GLsizei(height), GL_RGBA, GL_UNSIGNED_BYTE,
                            src);
        }
        return status;
    },
    [](unsigned char *source, int sourcePitch, unsigned char *destination, int destinationPitch, int width,
       int height, int standardIndex) {
        FakeCuda &f = fake();
        f.calls.push_back({"launchNv12ToRgba32", destination, source, size_t(width), size_t(sourcePitch),
                           size_t(height), destinationPitch});
        if (f.status == cudaSuccess)
            cpuNv12ToRgba32(source, sourcePitch, destination, destinationPitch, width, height, standardIndex);
    },
};

} // namespace

FakeCuda::FakeCuda()
{
    current = this;
}

FakeCuda::~FakeCuda()
{
    for (void *p : allocations)
        delete[] static_cast<uint8_t *>(p);
    current = nullptr;
}

const CudaApi &FakeCuda::api() const
{
    return fakeApi;
}

std::vector<FakeCudaCall> FakeCuda::callsNamed(const std::string &name) const
{
    std::vector<FakeCudaCall> out;
    for (const FakeCudaCall &c : calls)
        if (c.name == name)
            out.push_back(c);
    return out;
}

CapturedLog::CapturedLog()
{
    char name[] = "/tmp/pla-cuda-log-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0)
        close(fd);
    path = name;
    record.file = nullptr;
    record.level = 1;
    record.truncate = true;
    record.unused = 0;
    record.encoding = 0;
    record.path = std::wstring(path.begin(), path.end());
    logger.record = &record;
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
    std::string line;
    while (std::getline(in, line)) {
        const size_t tag = line.find(": ");
        out.push_back(tag == std::string::npos ? line : line.substr(tag + 2));
    }
    return out;
}

bool parseCudaReport(const std::string &message, CudaReport &report)
{
    char name[128] = {}, file[256] = {};
    if (std::sscanf(message.c_str(), "Cuda error (%d, %127[^)]), file: %255[^,], line: %d", &report.status, name, file,
                    &report.line) != 4)
        return false;
    report.name = name;
    report.file = file;
    char again[512];
    std::snprintf(again, sizeof again, "Cuda error (%d, %s), file: %s, line: %d", report.status, name, file,
                  report.line);
    return message == again;
}

std::string apiCallOn(const std::string &relativePath, int line)
{
    std::ifstream in(std::string(PLA_SOURCE_DIR) + "/" + relativePath);
    std::string text;
    for (int i = 0; i < line && std::getline(in, text); ++i) {
    }
    const size_t start = text.find("api.");
    const size_t end = start == std::string::npos ? start : text.find('(', start);
    return end == std::string::npos ? std::string() : text.substr(start + 4, end - start - 4);
}

bool cudaDevicePresent()
{
    int count = 0;
    return cudaGetDeviceCount(&count) == cudaSuccess && count > 0;
}
