#!/usr/bin/env bash
# Plays the demo clip in player-host. With a display, opens the player window.
# Without one (or with PLA_DEMO_HEADLESS=1), plays the clip inside a private Xvfb
# and PulseAudio (tools/test-env.sh), saves screenshots and the recorded sound into
# OUT_DIR and prints what happened.
# Usage: tools/demo.sh BUILD_DIR [OUT_DIR]   (OUT_DIR defaults to BUILD_DIR/demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: demo.sh BUILD_DIR [OUT_DIR]}" && pwd)
out=${2:-$build/demo}
mkdir -p "$out"
out=$(cd "$out" && pwd)
host="$build/host/player-host"
clip="$out/sample-360.mp4"

if [ ! -x "$host" ]; then
  echo "demo: $host is missing; build first (make demo does)" >&2
  exit 1
fi

# Second stage, inside tools/test-env.sh: DISPLAY and PULSE_SERVER are ours.
if [ "${PLA_DEMO_STAGE:-}" = inside ]; then
  raw="$out/recorded.raw"
  wav="$out/recorded.wav"
  log="$out/events.log"
  rm -f "$raw" "$wav" "$out"/shot-*.png
  parec -d test_sink.monitor --format=float32le --rate=44100 --channels=2 >"$raw" &
  parec_pid=$!
  sleep 0.3 # the recorder is listening before the first sound
  status=0
  "$host" --sw --size 1024x600 --timeout 90000 \
    --screenshot-at "1500:$out/shot-1500ms.png" \
    --screenshot-at "4500:$out/shot-4500ms.png" \
    --screenshot-at "7500:$out/shot-7500ms.png" \
    --screenshot "$out/shot-end.png" \
    "$clip" >"$log" 2>"$out/player-host.stderr" || status=$?
  sleep 0.3
  kill "$parec_pid" 2>/dev/null || true
  wait "$parec_pid" 2>/dev/null || true
  ffmpeg -hide_banner -loglevel error -y -f f32le -ar 44100 -ac 2 -i "$raw" -c:a pcm_s16le "$wav"
  rm -f "$raw"

  echo
  echo "=== PlayerLibAV demo (headless): $(basename "$clip") played by player-host"
  grep -m1 '^plugin ' "$log" || true
  grep -m1 '^loaded ' "$log" || true
  echo "events received:"
  awk '$1 == "event" { n[$2 " " $3]++ } END { for (k in n) printf "  %-22s x %d\n", k, n[k] }' "$log" | sort -k1,1n
  echo "first events in order: $(awk '$1 == "event" && $3 != "EventTimeChanged" { printf "%s ", $3 }' "$log")"
  grep '^statistics ' "$log" | sed 's/^/  /' || true
  levels=$(ffmpeg -hide_banner -i "$wav" -af volumedetect -f null - 2>&1 | grep -Eo '(mean|max)_volume: [-0-9.]+ dB' | tr '\n' ' ')
  echo "recorded sound: $levels"
  echo "files:"
  for f in "$out"/shot-*.png "$wav" "$log"; do
    [ -e "$f" ] && echo "  $f"
  done
  if [ "$status" -ne 0 ]; then
    echo "demo: player-host exited with status $status:" >&2
    cat "$out/player-host.stderr" >&2
  fi
  exit "$status"
fi

echo "demo: making the sample clip $clip"
"$root/tools/make-demo-media.sh" "$clip"

if [ -n "${DISPLAY:-}" ] && [ -z "${PLA_DEMO_HEADLESS:-}" ]; then
  echo "demo: playing in player-host (Space pauses, arrows seek 5 s, F full screen, View > Render mode)"
  exec "$host" --sw "$clip"
fi

echo "demo: no DISPLAY; playing under a private Xvfb and PulseAudio"
PLA_DEMO_STAGE=inside exec "$root/tools/test-env.sh" "$0" "$build" "$out"
