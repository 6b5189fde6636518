// Test doubles for the CUDA converter and frames (main thread only): a fake
// runtime and pictures held in AVFrames.
#pragma once

#include "cuda/CudaApi.h"
#include "frames/IVideoFrameBuilder.h"

#include <cstdint>
#include <map>
#include <set>
#include <vector>

// Device memory is host memory; the fake keeps the state a GPU would and fails
// the test where a GPU would fail or corrupt memory: a device write outside a
// live allocation, a copy naming the wrong side, pinning an address twice or
// unpinning one never pinned, copying into a texture that is not mapped.
// Launches run the CPU kernel runner; the interop copy is done by GL.
class FakeCuda {
public:
    FakeCuda(); // the one fake the table's functions reach, while it lives
    const CudaApi &api() const;
    uint8_t *allocate(size_t size); // device memory for the test's own stores and planes

    std::map<uint8_t *, std::vector<uint8_t>> alive; // allocations by their start
    std::set<void *> pinned;
    int registrations = 0; // live texture registrations
    bool mapped = false;
    unsigned int texture = 0; // as registered
    std::vector<std::pair<int, bool>> launches; // standard index and 16-bit samples of each launch
};

// Random planes the test owns, described by an AVFrame without buffers and
// tagged BT.709; in device memory when a fake is given.
struct Planes {
    Planes(int width, int height, const std::vector<std::pair<int, int>> &pitchAndRows, unsigned seed = 1,
           FakeCuda *device = nullptr);
    AVFrame frame{};
    std::vector<std::vector<uint8_t>> planes;
};
Planes nv12Planes(int width, int height, int pitch, unsigned seed = 1, FakeCuda *device = nullptr);
// What the kernel makes of BT.709 NV12 planes of one pitch, as tightly packed RGBA.
std::vector<uint8_t> nv12ToRgba(const Planes &nv12);
