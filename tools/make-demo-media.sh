#!/usr/bin/env bash
# Makes the demo clip: a 10 s equirectangular 360-degree test pattern (1024x512,
# one colour per quarter of the horizon, a 30-degree grid, direction labels, the
# time) with a tone that rises one step per second (330 Hz + 55 Hz per second).
# Usage: tools/make-demo-media.sh OUT.mp4   (does nothing when OUT.mp4 exists)
set -euo pipefail
out=${1:?usage: make-demo-media.sh OUT.mp4}
[ -s "$out" ] && exit 0
mkdir -p "$(dirname "$out")"

W=1024; H=512; D=10; R=30
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf

# Quarters from left to right: behind-left, front-left, front-right, behind-right.
inputs=()
for c in 0x802020 0x208020 0x202080 0x808020; do
  inputs+=(-f lavfi -i "color=c=$c:size=$((W / 4))x$H:rate=$R:duration=$D")
done
filter="[0:v][1:v][2:v][3:v]hstack=inputs=4,drawgrid=w=$((W / 12)):h=$((H / 6)):t=2:c=white@0.6"
if [ -r "$font" ]; then
  text() { # text x y size
    filter+=",drawtext=fontfile=$font:text='$1':x=$2:y=$3:fontsize=$4:fontcolor=white:box=1:boxcolor=black@0.5"
  }
  text "FRONT" "(w-tw)/2" "(h-th)/2" 40
  text "LEFT" "w/4-tw/2" "(h-th)/2" 40
  text "RIGHT" "3*w/4-tw/2" "(h-th)/2" 40
  text "BACK" "10" "(h-th)/2" 40
  text "BACK" "w-tw-10" "(h-th)/2" 40
  text "UP" "(w-tw)/2" "12" 32
  text "DOWN" "(w-tw)/2" "h-th-12" 32
  text "t=%{pts\\:hms}" "(w-tw)/2" "h/2+40" 28
else
  echo "make-demo-media: $font missing, the pattern has no labels" >&2
fi

tone="0.4*sin(2*PI*(330+55*floor(t))*t)*min(1\\,min(20*mod(t\\,1)\\,20*(1-mod(t\\,1))))"
tmp="$out.tmp.mp4"
ffmpeg -hide_banner -loglevel error -y "${inputs[@]}" \
  -f lavfi -i "aevalsrc=$tone:s=44100:c=stereo:d=$D" \
  -filter_complex "$filter[v]" -map "[v]" -map 4:a \
  -c:v libx264 -preset veryfast -pix_fmt yuv420p -g $R -c:a aac -b:a 128k \
  -metadata:s:v:0 comment="equirectangular 360" -movflags +faststart -shortest -f mp4 "$tmp"
mv "$tmp" "$out"
