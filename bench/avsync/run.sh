#!/usr/bin/env bash
# Sound against picture, the plug-in beside mpv (installed here when missing;
# PLA_BENCH_NO_MPV=1 skips it), under Xvfb and PulseAudio. With a number of
# minutes as the second argument it makes a flash clip that long and reports
# the drift between its first and last 30 s instead (30 for the full run).
# Usage: bench/avsync/run.sh BUILD_DIR [DRIFT_MINUTES]
set -euo pipefail
build=${1:?usage: run.sh BUILD_DIR [DRIFT_MINUTES]}
minutes=${2:-0}
root=$(cd "$(dirname "$0")/../.." && pwd)
media="$build/bench/avsync/media"
mkdir -p "$media"
cmake --build "$build" --target avsync-bench -j2
"$root/tools/make-test-media.sh" "$media" >/dev/null

if [ "$minutes" -gt 0 ]; then
  if [ ! -s "$media/av_flash_long.mp4" ] || [ "$(cat "$media/av_flash_long.minutes" 2>/dev/null)" != "$minutes" ]; then
    seconds=$((minutes * 60))
    ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi \
      -i "color=c=black:size=320x240:rate=30:duration=$seconds,drawbox=color=white:t=fill:enable='lt(mod(t,1),0.1)'" \
      -f lavfi -i "aevalsrc=0.08*sin(2*PI*300*t)+if(lt(mod(t\,1)\,0.1)\,0.6*sin(2*PI*1000*t)\,0):s=44100:d=$seconds" \
      -c:v libx264 -preset ultrafast -pix_fmt yuv420p -g 30 -c:a aac -b:a 96k -f mp4 "$media/av_flash_long.mp4"
    echo "$minutes" >"$media/av_flash_long.minutes"
  fi
  exec "$root/tools/test-env.sh" "$build/bench/avsync/avsync-bench" "$media" --drift "$minutes"
fi

if ! command -v mpv >/dev/null && [ "${PLA_BENCH_NO_MPV:-0}" != 1 ]; then
  echo "installing mpv for the comparison" >&2
  apt-get install -y --no-install-recommends mpv >/dev/null || echo "mpv could not be installed" >&2
fi
"$root/tools/test-env.sh" "$build/bench/avsync/avsync-bench" "$media"
