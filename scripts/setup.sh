#!/usr/bin/env bash
# Installs every Debian package the project builds, tests and runs with. Idempotent.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache binutils
  libsdl2-dev libepoxy-dev libgl-dev libegl-dev mesa-common-dev
  libgl1-mesa-dri libegl-mesa0 libglx-mesa0 xvfb xauth xdotool
  libfreeimage-dev libfreetype-dev libfontconfig-dev fonts-liberation2 fonts-dejavu-core
  libopenal-dev libsndfile1-dev libxmp-dev libfluidsynth-dev timgm6mb-soundfont lame
  libenet-dev libsqlite3-dev libcpp-httplib-dev libhiredis-dev redis-server
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev xdg-utils
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
