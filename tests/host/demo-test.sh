#!/usr/bin/env bash
# Runs the demo with no DISPLAY and checks what it leaves behind: the screenshots
# (real PNGs showing the pattern, not a black widget) and a recording that is not silence.
# Usage: demo-test.sh SOURCE_DIR BUILD_DIR OUT_DIR
set -euo pipefail
src=$1; build=$2; out=$3
rm -rf "$out"
fail() { echo "demo-test: $*" >&2; exit 1; }

env -u DISPLAY -u PULSE_SERVER -u PULSE_RUNTIME_PATH "$src/tools/demo.sh" "$build" "$out" | tee "$out.report" ||
  fail "the demo failed"

grep -q '^  0 EventPlaying' "$out.report" || fail "the report lists no EventPlaying"
grep -q '^  3 EventFinished' "$out.report" || fail "the clip did not play to its end"
for shot in shot-1500ms shot-4500ms shot-7500ms shot-end; do
  f="$out/$shot.png"
  [ -s "$f" ] || fail "$f is missing"
  # The pattern's average luma is near 90; a black widget reads 16.
  stats=$(ffmpeg -hide_banner -i "$f" -vf signalstats,metadata=print:file=- -f null - 2>/dev/null |
    grep -Eo 'signalstats\.(YMAX|YAVG)=[0-9.]+' | tr '\n' ' ')
  yavg=$(grep -Eo 'YAVG=[0-9.]+' <<<"$stats" | cut -d= -f2)
  awk -v y="$yavg" 'BEGIN { exit !(y > 30) }' || fail "$f is (nearly) black: $stats"
done

wav="$out/recorded.wav"
[ -s "$wav" ] || fail "$wav is missing"
max=$(ffmpeg -hide_banner -i "$wav" -af volumedetect -f null - 2>&1 | grep -Eo 'max_volume: [-0-9.]+' | awk '{print $2}')
[ -n "$max" ] || fail "cannot measure $wav"
# The clip's tone peaks at -8 dBFS; silence records at -91 dB.
awk -v m="$max" 'BEGIN { exit !(m > -30) }' || fail "the recording is silent (max_volume $max dB)"
echo "demo-test: ok (recording peaks at $max dB)"
