// Test doubles for the CUDA converter: a fake CUDA runtime whose "device
// memory" is host memory and whose launches run the CPU kernel runner, and a
// diagnostic logger capturing the report lines. Test (main) thread only.
#pragma once

#include "cuda/CudaApi.h"
#include "support/Logger.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

struct FakeCudaCall {
    std::string name;
    const void *target = nullptr; // destination, registered address or resource
    const void *source = nullptr;
    size_t size = 0;              // bytes, or rows for memcpy2DToArray
    size_t pitch = 0;             // memcpy2DToArray: source pitch (width in `size2`)
    size_t size2 = 0;
    int kind = -1;                // cudaMemcpyKind, or flags
};

class FakeCuda {
public:
    // Installs itself as the one fake the table's functions reach.
    FakeCuda();
    ~FakeCuda();

    const CudaApi &api() const;

    std::vector<FakeCudaCall> callsNamed(const std::string &name) const;

    std::vector<FakeCudaCall> calls;
    cudaError_t status = cudaSuccess; // returned by every call
    bool failMalloc = false;          // only malloc fails (with cudaErrorMemoryAllocation)
    std::set<void *> allocations;
    // The GL texture the interop copy writes into (glTexSubImage2D), as registered.
    unsigned int registeredTexture = 0;
};

// A diagnostic logger writing to a temporary file, installed for its lifetime.
class CapturedLog {
public:
    CapturedLog();
    ~CapturedLog();
    // The messages written so far, without their time prefix.
    std::vector<std::string> messages() const;

private:
    std::string path;
    LogFileRecord record;
    Logger logger;
};

// Whether the real runtime finds a device (then the tests of failing calls skip).
bool cudaDevicePresent();

// One "Cuda error (%d, %s), file: %s, line: %d" report, parsed; false when the
// message is not exactly such a line.
struct CudaReport {
    int status = 0;
    std::string name, file;
    int line = 0;
};
bool parseCudaReport(const std::string &message, CudaReport &report);

// The runtime call named on one line (1-based) of a source file of the tree:
// "malloc" for a line holding "api.malloc(", empty when there is none.
std::string apiCallOn(const std::string &relativePath, int line);
