#!/usr/bin/env bash
# Playback benchmark: makes a 1080p30 and a 720p60 H.264 + AAC file (once),
# installs mpv if it is missing (for the comparison; PLA_BENCH_NO_MPV=1 skips
# it), and plays each file for 20 s under Xvfb and PulseAudio.
# Usage: bench/playback/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [SECONDS]}
seconds=${2:-20}
root=$(cd "$(dirname "$0")/../.." && pwd)
media="$build/bench/playback/media"
mkdir -p "$media"

cmake --build "$build" --target playback-bench -j2

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
length=$((seconds + 5))
[ -s "$media/1080p30-${length}s.mp4" ] || ff -f lavfi -i "testsrc2=size=1920x1080:rate=30:duration=$length" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$length" -c:v libx264 -preset veryfast \
  -pix_fmt yuv420p -g 60 -c:a aac -b:a 128k -shortest -movflags +faststart "$media/1080p30-${length}s.mp4"
[ -s "$media/720p60-${length}s.mp4" ] || ff -f lavfi -i "testsrc2=size=1280x720:rate=60:duration=$length" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$length" -c:v libx264 -preset veryfast \
  -pix_fmt yuv420p -g 120 -c:a aac -b:a 128k -shortest -movflags +faststart "$media/720p60-${length}s.mp4"

if ! command -v mpv >/dev/null && [ "${PLA_BENCH_NO_MPV:-0}" != 1 ]; then
  echo "installing mpv for the comparison" >&2
  apt-get install -y --no-install-recommends mpv >/dev/null || echo "mpv could not be installed" >&2
fi

for f in 1080p30-${length}s.mp4 720p60-${length}s.mp4; do
  "$root/tools/test-env.sh" "$build/bench/playback/playback-bench" "$media/$f" "$seconds"
  echo
done
