#!/usr/bin/env bash
# The long soak: e2e_playback's random host commands (a host timer's among
# the test's own, deletes included) against the plug-in of an AddressSanitizer
# build tree, inside the test environment, until OPERATIONS timer commands.
# Usage: tools/soak.sh BUILD_TREE [OPERATIONS] [SEED]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:?usage: tools/soak.sh BUILD_TREE [OPERATIONS] [SEED]}
export PLA_SOAK_OPS=${2:-10000}
[ -n "${3:-}" ] && export PLA_SOAK_SEED=$3
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_odr_violation=0:alloc_dealloc_mismatch=1"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$root/tools/ubsan.supp"
cmake --build "$tree" --target e2e_playback
# The soak reads the test media of the tree; make them if they are missing.
[ -f "$tree/media/h264_aac.mp4" ] || "$root/tools/make-test-media.sh" "$tree/media"
exec "$root/tools/test-env.sh" "$tree/tests/e2e_playback" --gtest_filter=E2EEvents.HostTimersAndDeletesAmongRandomCommands
