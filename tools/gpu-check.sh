#!/usr/bin/env bash
# Checks the colour kernels on a real NVIDIA GPU: builds the kernel test and
# the device program (tools/gpu-check/CudaDeviceCheck.cpp) for this GPU's
# architecture, runs the kernel test (the CPU runner against the reference
# arithmetic), then the converter's NV12 launcher on the device against the
# CPU runner (byte for byte). Needs the CUDA toolkit and driver; nothing is
# fetched.
#
#   tools/gpu-check.sh [ARCH]     ARCH like 86 (default: from nvidia-smi)
#   BUILD_DIR=... to choose the build directory (default: build-gpu-check)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-gpu-check}

fail() { echo "gpu-check: $*" >&2; exit 2; }

command -v nvidia-smi >/dev/null 2>&1 ||
  fail "no NVIDIA GPU: nvidia-smi is not installed (no driver on this machine)."
gpus=$(nvidia-smi --query-gpu=name,compute_cap --format=csv,noheader 2>/dev/null) ||
  fail "no NVIDIA GPU: nvidia-smi cannot reach a driver."
[ -n "$gpus" ] || fail "no NVIDIA GPU: nvidia-smi lists none."
echo "GPU: $(echo "$gpus" | head -n1)"

arch=${1:-$(echo "$gpus" | head -n1 | awk -F', *' '{print $2}' | tr -d '.')}
[[ "$arch" =~ ^[0-9]+$ ]] || fail "cannot tell the compute capability (got '$arch'); pass it, e.g. 86."

nvcc=${CUDACXX:-/usr/local/cuda/bin/nvcc}
[ -x "$nvcc" ] || nvcc=$(command -v nvcc) || fail "nvcc not found (set CUDACXX)."

echo "Building for sm_$arch in $build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CUDA_COMPILER="$nvcc" \
  -DPLAYERLIBAV_CUDA=ON -DCMAKE_CUDA_ARCHITECTURES="$arch-real" -DPLAYERLIBAV_GPU_CHECK=ON \
  -DPLAYERLIBAV_BENCH=OFF >/dev/null
jobs=$(nproc 2>/dev/null || echo 2)
targets=(cuda_kernels cuda_device_check)
cmake --build "$build" -j"$jobs" --target "${targets[@]}"

status=0
echo "== cuda_kernels"
"$build/tests/cuda_kernels" --gtest_brief=1 || status=1
echo "== cuda_device_check"
"$build/tests/cuda_device_check" || status=$?
[ "$status" -eq 0 ] && echo "gpu-check: passed" || echo "gpu-check: FAILED" >&2
exit "$status"
