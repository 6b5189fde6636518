#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: does nothing when every package is already present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  qtbase5-dev libqt5opengl5-dev qtmultimedia5-dev libqt5multimedia5-plugins
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
  libglew-dev libglm-dev libgl1-mesa-dri mesa-utils
  ffmpeg fonts-dejavu-core xvfb xauth pulseaudio pulseaudio-utils
  libgtest-dev python3
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
