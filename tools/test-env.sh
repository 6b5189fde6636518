#!/usr/bin/env bash
# Runs a command with a private X server (Xvfb, Mesa's llvmpipe OpenGL) and a
# private PulseAudio server whose default sink is a null sink "test_sink", then
# stops both, whatever the command's outcome.
# Usage: tools/test-env.sh COMMAND [ARGS...]
set -uo pipefail

dir=$(mktemp -d /tmp/pla-env.XXXXXX)
xvfb_pid=""
pulse_pid=""
keeper_pid=""

cleanup() {
  [ -n "$keeper_pid" ] && kill "$keeper_pid" 2>/dev/null
  [ -n "$pulse_pid" ] && kill "$pulse_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$pulse_pid" ] && wait "$pulse_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$dir/display" 2>"$dir/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$dir/display" ] && break
  sleep 0.1
done
if [ ! -s "$dir/display" ]; then
  echo "test-env: Xvfb did not start" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(cat "$dir/display")"

mkdir -p "$dir/pulse" "$dir/runtime"
chmod 700 "$dir/runtime"
export XDG_RUNTIME_DIR="$dir/runtime"
export PULSE_RUNTIME_PATH="$dir/pulse"
export PULSE_SERVER="unix:$dir/pulse/native"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --disable-shm=yes \
  --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/pulse/native" \
  --load="module-null-sink sink_name=test_sink rate=44100 channels=2" \
  >"$dir/pulse.log" 2>&1 &
pulse_pid=$!
for _ in $(seq 100); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
if ! pactl set-default-sink test_sink; then
  echo "test-env: PulseAudio did not start" >&2
  cat "$dir/pulse.log" >&2
  exit 1
fi

# A null sink with no low-latency client renders 2 s ahead and takes nothing
# from a new stream until that has passed; a sound card plays at the latency
# its clients ask for. A reader of the monitor asking for 10 ms keeps the null
# sink at a card's pace once the 2 s it rendered at its start have passed.
parec -d test_sink.monitor --latency-msec=10 >/dev/null 2>&1 &
keeper_pid=$!
sleep 2.2

export PLA_TEST_ENV=1
"$@"
