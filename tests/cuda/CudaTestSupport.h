// Test doubles for the CUDA converter and frames: a fake runtime whose device
// memory is host memory and which keeps the state a GPU would, failing the
// test where a real GPU would fail or corrupt memory; pictures held in AVFrames.
// Test (main) thread only.
#pragma once

#include "cuda/CudaApi.h"
#include "frames/IVideoFrameBuilder.h"

#include <cstdint>
#include <map>
#include <set>
#include <vector>

// Every write to device memory must lie inside a live allocation and every
// copy must name the side its pointers are on; pinning an address twice,
// unpinning one never pinned, or copying into a texture that is not mapped
// fails. Launches run the CPU kernel runner; the interop copy is done by GL
// into the registered texture.
class FakeCuda {
public:
    FakeCuda(); // the one fake the table's functions reach, for its lifetime
    ~FakeCuda();
    const CudaApi &api() const;
    uint8_t *allocate(size_t size); // device memory for the test's own stores and planes

    std::map<uint8_t *, size_t> alive; // allocations: start and size
    std::set<void *> pinned;
    int registrations = 0; // live texture registrations
    bool mapped = false;
    unsigned int texture = 0; // as registered
};

// Random planes the test owns, described by an AVFrame without buffers; in
// device memory when a fake is given.
struct Planes {
    Planes(int width, int height, const std::vector<std::pair<int, int>> &pitchAndRows, unsigned seed = 1,
           FakeCuda *device = nullptr);
    AVFrame frame{};
    std::vector<std::vector<uint8_t>> planes;
};
Planes nv12Planes(int width, int height, int pitch, unsigned seed = 1, FakeCuda *device = nullptr);
// What the kernel makes of NV12 planes of one pitch, as tightly packed RGBA.
std::vector<uint8_t> nv12ToRgba(const Planes &nv12);
