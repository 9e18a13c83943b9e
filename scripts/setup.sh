#!/usr/bin/env bash
# Installs what the kit needs, quietly, and only what is missing.
#
#   bash scripts/setup.sh main   what the main job needs to build the server
#                                and the samples: the compiler, CMake and
#                                Ninja, pkg-config, cairo and Xlib,
#                                libwebsockets (the web view) and libpng
#   bash scripts/setup.sh        everything: the above and what the tests
#                                need: GoogleTest, gfortran, Xvfb and xdotool
#                                (real keys for the dialog tests), Chromium
#                                (the web view's tests look at the page), the
#                                picture converters and PIL, the two MinGW
#                                cross toolchains, wine64, and the Japanese
#                                locale data and font the launcher's tests
#                                render its texts with
set -euo pipefail

main_packages=(
  cmake ninja-build g++ gcc pkg-config
  libcairo2-dev libx11-dev libwebsockets-dev libpng-dev zlib1g-dev
)
test_packages=(
  gfortran python3
  libgtest-dev googletest
  chromium
  xvfb xauth xdotool
  librsvg2-bin poppler-utils ghostscript python3-pil
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine64
  locales fonts-ipafont-gothic
)

case "${1:-all}" in
  main) packages=("${main_packages[@]}") ;;
  all) packages=("${main_packages[@]}" "${test_packages[@]}") ;;
  *)
    echo "usage: bash scripts/setup.sh [main]" >&2
    exit 2
    ;;
esac

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
