#!/usr/bin/env bash
# Plays the demo clip in player-host. With a display, opens the player window.
# Without one (or with PLA_DEMO_HEADLESS=1), plays the clip inside a private Xvfb
# and PulseAudio (tools/test-env.sh), records the sound until it has ended, saves
# screenshots into OUT_DIR and reports each figure with whether it is as expected.
# Usage: tools/demo.sh BUILD_DIR [OUT_DIR]   (OUT_DIR defaults to BUILD_DIR/demo)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: demo.sh BUILD_DIR [OUT_DIR]}" && pwd)
out=${2:-$build/demo}
mkdir -p "$out"
out=$(cd "$out" && pwd)
host="$build/host/player-host"
clip="$out/sample-360.mp4"

# Screenshots taken in runs of their own after the recorded run, one entry each:
#   "NAME MS ARGUMENT..."  saves shot-NAME.png of the clip paused at MS ms, with
#   player-host started with the extra ARGUMENTs (another render mode, a view
#   direction, a window size). Each is checked like the others (not black).
extra_shots=(
  "360-ahead 4500 --mode vr"
  "360-right90 4500 --mode vr --look 90,0"
)

if [ ! -x "$host" ]; then
  echo "demo: $host is missing; build first (make demo does)" >&2
  exit 1
fi

# ok|LOW|... verdict words for the report.
verdict() { if [ "$1" = 1 ]; then echo "ok"; else echo "NOT AS EXPECTED${2:+ ($2)}"; fi; }
# awk expression -> 1 or 0
holds() { awk "BEGIN { print (($1) ? 1 : 0) }"; }

# Seconds of sound in a file's first audio stream and its mean level, as
# "SECONDS DB": silences of 0.1 s or more (below -50 dB) are left out, so a
# recording and the clip it came from are measured alike.
sound_of() {
  ffmpeg -hide_banner -i "$1" -map 0:a:0 -af "silenceremove=start_periods=1:start_threshold=-50dB:\
start_duration=0.05:stop_periods=-1:stop_threshold=-50dB:stop_duration=0.1,volumedetect" -f null - 2>&1 |
    awk '/n_samples/ { n = $NF } /mean_volume/ { l = $(NF - 1) }
      END { printf "%.1f %s\n", n / 2 / 44100, (l == "" ? "-91" : l) }'
}

# Second stage, inside tools/test-env.sh: DISPLAY and PULSE_SERVER are ours.
if [ "${PLA_DEMO_STAGE:-}" = inside ]; then
  raw="$out/recorded.raw"
  wav="$out/recorded.wav"
  log="$out/events.log"
  rm -f "$raw" "$wav" "$out"/shot-*.png

  # A small record latency: PulseAudio's default hands a recorder its sound in
  # chunks of up to 2 s, which a recorder stopped early would lose.
  parec -d test_sink.monitor --latency-msec=20 --format=float32le --rate=44100 --channels=2 >"$raw" &
  parec_pid=$!
  for _ in $(seq 50); do [ -s "$raw" ] && break; sleep 0.1; done # listening before the first sound
  status=0
  "$host" --sw --mode vr --size 1024x600 --timeout 90000 \
    --screenshot-at "1500:$out/shot-1500ms.png" \
    --screenshot-at "4500:$out/shot-4500ms.png" \
    --screenshot-at "7500:$out/shot-7500ms.png" \
    --screenshot "$out/shot-end.png" \
    "$clip" >"$log" 2>"$out/player-host.stderr" || status=$?
  # Keep recording until the last half second is silence (at most 5 s more):
  # the sink may still be playing what the player handed it before it quit.
  bytes_per_half_second=176400 # 44100 Hz x 2 channels x 4 bytes / 2
  for _ in $(seq 25); do
    sleep 0.2
    tail_max=$(tail -c "$bytes_per_half_second" "$raw" |
      ffmpeg -hide_banner -f f32le -ar 44100 -ac 2 -i - -af volumedetect -f null - 2>&1 |
      awk '/max_volume/ { print $5 }')
    [ "$(holds "${tail_max:-0} < -50")" = 1 ] && break
  done
  kill "$parec_pid" 2>/dev/null || true
  wait "$parec_pid" 2>/dev/null || true
  ffmpeg -hide_banner -loglevel error -y -f f32le -ar 44100 -ac 2 -i "$raw" -c:a pcm_s16le "$wav"
  rm -f "$raw"

  for entry in "${extra_shots[@]}"; do
    read -r name ms args <<<"$entry"
    # shellcheck disable=SC2086 # the arguments are meant to be split
    "$host" --sw --size 1024x600 --volume 0 --timeout 60000 --pause-at "$ms" \
      --screenshot "$out/shot-$name.png" $args "$clip" >"$out/events-$name.log" 2>&1 ||
      echo "demo: the run for shot-$name.png failed (see $out/events-$name.log)" >&2
  done

  # What the clip holds, to judge the figures against.
  read -r clip_sound clip_level < <(sound_of "$clip")
  clip_fps=$(ffprobe -v error -select_streams v:0 -show_entries stream=avg_frame_rate -of csv=p=0 "$clip" |
    awk -F/ '{ printf "%.0f", $1 / ($2 ? $2 : 1) }')
  audio_blocks=$(awk 'BEGIN { printf "%.0f", 44100 / 1024 }') # AAC: 1024 samples a block

  count() { awk -v name="$1" '$1 == "event" && $3 == name { n++ } END { print n + 0 }' "$log"; }
  event_time() { awk -v name="$1" '$1 == "event" && $3 == name { sub("t=", "", $4); print $4 + 0; exit }' "$log"; }
  median_rate() {
    awk -v key="$1" '$1 == "rates" { for (i = 2; i <= NF; i++) if (index($i, key "=") == 1) print substr($i, length(key) + 2) + 0 }' "$log" |
      sort -n | awk '{ v[NR] = $1 } END { print NR ? v[int((NR + 1) / 2)] : 0 }'
  }

  echo
  echo "=== PlayerLibAV demo (headless): $(basename "$clip") played by player-host"
  grep -m1 '^plugin ' "$log" || true
  grep -m1 '^loaded ' "$log" || true
  echo "clip: ${clip_sound} s of sound at ${clip_level} dB, ${clip_fps} pictures a second"
  echo
  printf '%-13s %-52s %s\n' "figure" "value" "verdict"
  line() { printf '%-13s %-52s %s\n' "$1" "$2" "$3"; }

  line "exit status" "$status" "$(verdict "$(holds "$status == 0")" "player-host failed")"
  n=$(count EventLoaded);   line "loaded" "$n event(s)" "$(verdict "$(holds "$n == 1")" "expected 1")"
  n=$(count EventPlaying);  line "playing" "$n event(s)" "$(verdict "$(holds "$n == 1")" "expected 1")"
  n=$(count EventFinished); line "finished" "$n event(s) (the plug-in sends it twice)" "$(verdict "$(holds "$n == 2")" "expected 2")"
  n=$(( $(count EventPaused) + $(count EventStopped) + $(count EventLoadFailed) ))
  line "other states" "$n paused / stopped / failed event(s)" "$(verdict "$(holds "$n == 0")" "expected none")"
  n=$(count EventTimeChanged)
  line "time events" "$n (at most one per 11 ms)" \
    "$(verdict "$(holds "$n >= 5 * $clip_sound && $n <= 1000 * $clip_sound / 11 + 1")" "expected 5 a second or more")"

  played=$(awk -v a="$(event_time EventPlaying)" -v b="$(event_time EventFinished)" 'BEGIN { printf "%.2f", (b - a) / 1000 }')
  line "playing time" "$played s for $clip_sound s of sound" \
    "$(verdict "$(holds "$played >= $clip_sound - 0.3 && $played <= $clip_sound + 0.7")" "expected the clip's length")"

  r=$(median_rate videoDecodeRate)
  line "decoding" "$r pictures a second (median while playing)" \
    "$(verdict "$(holds "$r >= 0.8 * $clip_fps && $r <= 1.5 * $clip_fps")" "expected about $clip_fps")"
  r=$(median_rate audioDecodeRate)
  line "decoding" "$r sound blocks a second (median while playing)" \
    "$(verdict "$(holds "$r >= 0.8 * $audio_blocks && $r <= 1.5 * $audio_blocks")" "expected about $audio_blocks")"
  r=$(median_rate renderRate)
  line "painting" "$r times a second (median while playing)" \
    "$(verdict "$(holds "$r >= $clip_fps")" "expected at least $clip_fps, the clip's rate")"

  read -r heard level < <(sound_of "$wav")
  line "sound" "$heard s of $clip_sound s, level $level dB (clip $clip_level dB)" \
    "$(verdict "$(holds "$heard >= $clip_sound - 0.15 && $heard <= $clip_sound + 0.15 && \
      $level >= $clip_level - 3 && $level <= $clip_level + 3")" "expected all of the clip's sound at its level")"

  for f in "$out"/shot-*.png; do
    [ -e "$f" ] || continue
    # The pattern's average luma is near 90; a black widget reads 16.
    yavg=$(ffmpeg -hide_banner -i "$f" -vf signalstats,metadata=print:file=- -f null - 2>/dev/null |
      grep -Eo 'signalstats\.YAVG=[0-9.]+' | cut -d= -f2)
    size=$(ffprobe -v error -show_entries stream=width,height -of csv=p=0:s=x "$f")
    line "screenshot" "$(basename "$f") $size, mean luma ${yavg:-?}" \
      "$(verdict "$(holds "${yavg:-0} > 30")" "black or unreadable")"
  done
  echo
  echo "files in $out: shot-*.png, recorded.wav (the sound that came out), events.log"
  if [ "$status" -ne 0 ]; then
    echo "demo: player-host exited with status $status:" >&2
    cat "$out/player-host.stderr" >&2
  fi
  exit "$status"
fi

echo "demo: making the sample clip $clip"
"$root/tools/make-demo-media.sh" "$clip"

if [ -n "${DISPLAY:-}" ] && [ -z "${PLA_DEMO_HEADLESS:-}" ]; then
  echo "demo: playing in player-host in the 360° view (drag to look around, wheel to zoom, Space pauses,"
  echo "      arrows seek and set the volume, F full screen;"
  echo "      player-host --help lists every key)"
  exec "$host" --sw --mode vr "$clip"
fi

echo "demo: no DISPLAY; playing under a private Xvfb and PulseAudio"
PLA_DEMO_STAGE=inside exec "$root/tools/test-env.sh" "$0" "$build" "$out"
