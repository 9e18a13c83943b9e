#!/usr/bin/env bash
# Setting up a machine for the kit:
#
#   1. the set-up run with a package manager that reports every package
#      missing (stub dpkg-query, apt-get and sudo on PATH): `setup.sh main`
#      asks for the main job's packages only, among them the Debian package
#      of every library the build requires; `setup.sh` for everything;
#   2. a configuration lacking one dependency at a time (a pkg-config that
#      hides one module, or GoogleTest disabled) stops naming the Debian
#      package that provides it (as dpkg itself says) and the set-up command.
#
#   setup_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
source_dir=$(cd "$1" && pwd)
work=$2
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
trap 'rm -rf "$work"' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/../support/check.sh"

# 1. Nothing installed; apt-get writes down what it was asked for.
stubs=$work/stubs
mkdir -p "$stubs"
printf '#!/bin/sh\nexit 1\n' > "$stubs/dpkg-query"
printf '#!/bin/sh\necho "$*" >> "%s/apt.log"\n' "$work" > "$stubs/apt-get"
printf '#!/bin/sh\nexec "$@"\n' > "$stubs/sudo"
chmod +x "$stubs"/*
asked() {  # asked [main] -> the packages apt-get was asked to install, sorted
  rm -f "$work/apt.log"
  PATH="$stubs:$PATH" bash "$source_dir/scripts/setup.sh" "$@" >/dev/null 2>&1
  sed -n 's/^install .*--no-install-recommends //p' "$work/apt.log" 2>/dev/null | tr ' ' '\n' | sort
}
main=$(asked main)
all=$(asked)
check "setup main installs something" yes "$([ -n "$main" ] && echo yes || echo no)"
check "setup main: a subset of everything" "" "$(comm -23 <(echo "$main") <(echo "$all"))"
for p in wine64 chromium libgtest-dev googletest xdotool xvfb poppler-utils librsvg2-bin ghostscript \
         python3-pil fonts-ipafont-gothic g++-mingw-w64-i686 g++-mingw-w64-x86-64 gfortran; do
  check "setup main leaves out $p" no "$(grep -qx -- "$p" <<< "$main" && echo yes || echo no)"
  check "setup installs $p" yes "$(grep -qx -- "$p" <<< "$all" && echo yes || echo no)"
done
for p in $(sed -n 's/.*lumo_require_pkg([A-Z0-9_]* \([^ ]*\) .*/\1/p' "$source_dir"/server/CMakeLists.txt) \
         g++ cmake ninja-build pkg-config; do
  check "setup main installs $p" yes "$(grep -qx -- "$p" <<< "$main" && echo yes || echo no)"
done

# 2. One dependency missing at a time.  Each row: what is hidden, a file
#    that dependency installs (dpkg -S names its package).
pcdir=$(pkg-config --variable=pc_path pkg-config | tr ':' '\n' |
        while read -r d; do [ -f "$d/cairo.pc" ] && echo "$d" && break; done)
while read -r hidden file; do
  owner=$(dpkg -S "$file" 2>/dev/null | head -1 | cut -d: -f1)
  build=$work/configure-$hidden
  if [ "$hidden" = GTest ]; then
    flags=(-DLUMO_BUILD_TESTS=ON -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON)
  else
    printf '#!/bin/sh\nfor a in "$@"; do case "$a" in "%s" | "%s "*) exit 1 ;; esac; done\nexec pkg-config "$@"\n' \
           "$hidden" "$hidden" > "$work/pkg-config-without-$hidden"
    chmod +x "$work/pkg-config-without-$hidden"
    flags=(-DLUMO_BUILD_TESTS=OFF -DPKG_CONFIG_EXECUTABLE="$work/pkg-config-without-$hidden")
  fi
  out=$(cmake -S "$source_dir" -B "$build" -G Ninja -DLUMO_BUILD_BENCH=OFF "${flags[@]}" 2>&1)
  status=$?
  out=$(tr -s ' \n' '  ' <<< "$out")  # CMake wraps its messages
  check "without $hidden: the configuration fails" yes "$([ $status -ne 0 ] && echo yes || echo no)"
  check "without $hidden: names its Debian package ($owner)" yes \
    "$([ -n "$owner" ] && grep -q "Debian package $owner " <<< "$out" && echo yes || echo no)"
  check "without $hidden: names the set-up command" yes \
    "$(grep -q "bash scripts/setup.sh installs" <<< "$out" && echo yes || echo no)"
done <<EOF_ROWS
cairo $pcdir/cairo.pc
x11 $pcdir/x11.pc
libwebsockets $pcdir/libwebsockets.pc
libpng $pcdir/libpng.pc
GTest /usr/include/gtest/gtest.h
EOF_ROWS

echo "setup: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
