#!/usr/bin/env bash
# Plants the faults of tools/mutations.txt one at a time into a scratch copy of
# the tree (build-mutate/) and runs the tests that cover each: see
# tools/mutate.py --help and docs/testing.md. The tests run inside the test
# environment (Xvfb and PulseAudio, tools/test-env.sh); --check and --list need
# neither a build nor the environment.
#   tools/mutate.sh                       every fault
#   tools/mutate.sh seek-* --folder audio  some of them
#   tools/mutate.sh --check               is every snippet still found once?
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
for arg in "$@"; do
  case "$arg" in
    --check|--list|-h|--help) exec python3 "$root/tools/mutate.py" "$@" ;;
  esac
done
"$root/tools/install-deps.sh"
exec "$root/tools/test-env.sh" python3 "$root/tools/mutate.py" "$@"
