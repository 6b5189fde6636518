// Test doubles for the CUDA converter and frames: a fake runtime whose device
// memory is host memory, whose calls succeed (but malloc on request) and whose
// launches run the CPU kernel runner; a log capture; pictures held in AVFrames.
// Test (main) thread only.
#pragma once

#include "cuda/CudaApi.h"
#include "frames/IVideoFrameBuilder.h"
#include "support/Logger.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct FakeCudaCall {
    std::string name;
    const void *target = nullptr; // destination, registered address or resource
    const void *source = nullptr;
    size_t size = 0;  // bytes; rows for memcpy2DToArray, width for launches
    size_t pitch = 0; // source pitch
    int kind = -1;    // cudaMemcpyKind or flags; destination pitch for launches
};

class FakeCuda {
public:
    FakeCuda(); // the one fake the table's functions reach, for its lifetime
    ~FakeCuda();
    const CudaApi &api() const;
    std::vector<FakeCudaCall> named(const std::string &name) const;

    std::vector<FakeCudaCall> calls; // launches are named "launch"
    bool failMalloc = false;          // only malloc fails, with cudaErrorMemoryAllocation
    std::set<void *> allocations;
    unsigned int texture = 0; // as registered; the interop copy writes into it with GL
};

// A diagnostic logger writing to a temporary file, installed for its lifetime.
class CapturedLog {
public:
    CapturedLog();
    ~CapturedLog();
    std::vector<std::string> messages() const; // without their time prefix

private:
    std::string path;
    LogFileRecord record;
    Logger logger;
};

// Random planes the test owns, described by an AVFrame without buffers.
struct Planes {
    Planes(int width, int height, const std::vector<std::pair<int, int>> &pitchAndRows, unsigned seed = 1);
    AVFrame frame{};
    std::vector<std::vector<uint8_t>> planes;
};
Planes nv12Planes(int width, int height, int pitch, unsigned seed = 1);
// What the kernel makes of NV12 planes of one pitch, as tightly packed RGBA.
std::vector<uint8_t> nv12ToRgba(const Planes &nv12);

// A "Cuda error (%d, %s), file: %s, line: %d" line parsed (file empty when the
// message is not exactly such a line), with the runtime call made on that line
// of the named source ("malloc" for "api.malloc(").
struct CudaReport {
    int status = 0;
    std::string name, file, call;
};
CudaReport parseCudaReport(const std::string &message);
