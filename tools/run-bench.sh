#!/usr/bin/env bash
# Runs every benchmark against a build tree: the timer, decode and playback
# benchmarks (docs/benchmarks.md says what each one measures).
# Usage: tools/run-bench.sh BUILD_DIR [PLAYBACK_SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: run-bench.sh BUILD_DIR [PLAYBACK_SECONDS]}
seconds=${2:-20}

cmake --build "$build" --target timer-bench decode-bench -j"$(nproc)"

echo "=== timer"
"$build/bench/timer/timer-bench"
echo "=== decode"
"$root/tools/test-env.sh" "$build/bench/decode/decode-bench"
echo "=== playback"
"$root/bench/playback/run.sh" "$build" "$seconds"
