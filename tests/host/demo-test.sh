#!/usr/bin/env bash
# Runs the demo with no DISPLAY: the figures that do not depend on the machine's
# speed say "ok", the screenshots show the pattern, and the recording holds the
# clip's whole sound.
# Usage: demo-test.sh SOURCE_DIR BUILD_DIR OUT_DIR
set -euo pipefail
src=$1; build=$2; out=$3
rm -rf "$out"
fail() { echo "demo-test: $*" >&2; exit 1; }

env -u DISPLAY -u PULSE_SERVER -u PULSE_RUNTIME_PATH "$src/tools/demo.sh" "$build" "$out" | tee "$out.report" ||
  fail "the demo failed"

for figure in "exit status" "loaded" "playing" "finished" "other states" "playing time"; do
  grep -E "^$figure  +.* ok$" "$out.report" >/dev/null || fail "the report does not say \"$figure ... ok\""
done
[ "$(grep -cE '^screenshot .* ok$' "$out.report")" -eq "$(grep -cE '^screenshot ' "$out.report")" ] || fail "not all screenshots are ok"
[ "$(grep -cE '^screenshot .* ok$' "$out.report")" -ge 6 ] || fail "fewer than six screenshots (four of the run, two of the look-around)"
# Every figure line carries a verdict.
awk '/^files in / { f = 0 } f && NF && !/ ok$/ && !/NOT AS EXPECTED/ { print; bad = 1 } /^figure / { f = 1 }
  END { exit bad }' "$out.report" || fail "a figure without a verdict"

wav="$out/recorded.wav"
[ -s "$wav" ] || fail "$wav is missing"
max=$(ffmpeg -hide_banner -i "$wav" -af volumedetect -f null - 2>&1 | grep -Eo 'max_volume: [-0-9.]+' | awk '{print $2}')
[ -n "$max" ] || fail "cannot measure $wav"
# The clip's tone peaks at -8 dBFS; silence records at -91 dB.
awk -v m="$max" 'BEGIN { exit !(m > -30) }' || fail "the recording is silent (max_volume $max dB)"
heard=$(grep -E '^sound ' "$out.report" | awk '{ print $2, $5 }')
awk -v h="${heard% *}" -v c="${heard#* }" 'BEGIN { exit !(h >= c - 0.6) }' ||
  fail "the recording holds $heard: the sound was cut short"
echo "demo-test: ok (recording peaks at $max dB, $heard s of sound)"
