#!/usr/bin/env bash
# Playback benchmark: makes (once) 1080p30, 720p60 and 1080p60 H.264 + AAC files, a
# 3840x1920 30 fps clip of a 360-degree picture's size and a 10 s 7680x3840
# one, installs mpv if it is missing (for the comparison; PLA_BENCH_NO_MPV=1
# skips it), and plays each under Xvfb and PulseAudio, recording the sound to
# report its longest gap. The 8K clip is played by the engine alone for 9 s:
# the two cores decode it far slower than real time, so it shows how the
# engine keeps the sound going and the pictures it shows on time.
# Usage: bench/playback/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [SECONDS]}
seconds=${2:-20}
root=$(cd "$(dirname "$0")/../.." && pwd)
media="$build/bench/playback/media"
mkdir -p "$media"

cmake --build "$build" --target playback-bench -j2

ff() { ffmpeg -nostdin -hide_banner -loglevel error -y "$@"; }
# make NAME SIZE RATE GOP SECONDS
make() {
  [ -s "$media/$1" ] || ff -f lavfi -i "testsrc2=size=$2:rate=$3:duration=$5" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$5" -c:v libx264 -preset veryfast \
    -pix_fmt yuv420p -g "$4" -c:a aac -b:a 128k -shortest -movflags +faststart "$media/$1"
}
length=$((seconds + 5))
make "1080p30-${length}s.mp4" 1920x1080 30 60 "$length"
make "720p60-${length}s.mp4" 1280x720 60 120 "$length"
make "1080p60-${length}s.mp4" 1920x1080 60 120 "$length"
make "360-3840x1920p30-${length}s.mp4" 3840x1920 30 60 "$length"
make "360-7680x3840p30-10s.mp4" 7680x3840 30 60 10

if ! command -v mpv >/dev/null && [ "${PLA_BENCH_NO_MPV:-0}" != 1 ]; then
  echo "installing mpv for the comparison" >&2
  apt-get install -y --no-install-recommends mpv >/dev/null || echo "mpv could not be installed" >&2
fi

for f in 1080p30-${length}s.mp4 720p60-${length}s.mp4 1080p60-${length}s.mp4 360-3840x1920p30-${length}s.mp4; do
  "$root/tools/test-env.sh" "$build/bench/playback/playback-bench" "$media/$f" "$seconds" --sound-gaps
  echo
done
"$root/tools/test-env.sh" "$build/bench/playback/playback-bench" "$media/360-7680x3840p30-10s.mp4" 9 --no-mpv --sound-gaps
