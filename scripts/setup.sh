#!/usr/bin/env bash
# Installs what the kit needs to build and test, quietly, and only what is
# missing: compilers, CMake and Ninja, GoogleTest, cairo and Xlib, Xvfb and
# xdotool (real keys for the dialog tests), libwebsockets (the web view) and
# Chromium (its tests look at the page), the two MinGW cross toolchains,
# wine64, and the Japanese locale data and font the launcher's tests render
# its texts with.
set -euo pipefail

packages=(
  cmake ninja-build g++ gcc gfortran pkg-config python3
  libgtest-dev googletest
  libcairo2-dev libx11-dev libwebsockets-dev chromium
  xvfb xauth xdotool
  librsvg2-bin poppler-utils ghostscript python3-pil
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine64
  locales fonts-ipafont-gothic
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
