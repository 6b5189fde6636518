#!/usr/bin/env bash
# Runs the CTest suite of each given build tree inside the test environment
# (Xvfb + PulseAudio, tools/test-env.sh). Fails when any suite fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for tree in "$@"; do
  echo "=== tests in $tree"
  selection=()
  if [[ "$tree" == *tsan* ]]; then
    # Only the threaded tests are built there. Any race report fails the test
    # (exit code 66); tools/tsan.supp names the third-party internals it skips.
    unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS
    export TSAN_OPTIONS="exitcode=66:halt_on_error=0:second_deadlock_stack=1:report_signal_unsafe=0:suppressions=$root/tools/tsan.supp:print_suppressions=0"
    selection=(-L tsan)
  elif [[ "$tree" == *asan* ]]; then
    export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_odr_violation=0:alloc_dealloc_mismatch=1"
    export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:suppressions=$root/tools/ubsan.supp"
  else
    unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS TSAN_OPTIONS
  fi
  "$root/tools/test-env.sh" ctest --test-dir "$tree" "${selection[@]}" --output-on-failure -j"$(nproc)" || status=1
done
exit $status
