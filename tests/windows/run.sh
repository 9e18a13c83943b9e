#!/usr/bin/env bash
# End-to-end tests of the Windows build (x86_64) under wine64, on a private
# Xvfb display and in a Wine prefix of its own inside the build tree.  It
# ends exactly what it started: its Xvfb (by process id) and its prefix's
# wineserver.
#
#   tests/windows/run.sh BUILD_DIR [SCREENSHOT_TOOL]
set -u
build=$(cd "$1" && pwd)
shot_tool=${2:-}
[ -n "$shot_tool" ] && shot_tool=$(cd "$(dirname "$shot_tool")" && pwd)/$(basename "$shot_tool")
bin=$build/bin
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver
if [ ! -x "$wine" ] || ! command -v Xvfb >/dev/null; then
  echo "windows: wine64 or Xvfb is missing" >&2
  exit 1
fi
work=$build/wine-tests
rm -rf "$work"
mkdir -p "$work/out"
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all

display=0
for n in $(seq 131 199); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  "$wineserver" -k >/dev/null 2>&1
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
export DISPLAY=":$display"
[ -d "$WINEPREFIX/drive_c" ] || "$wine" wineboot -i >/dev/null 2>&1

winpath() { printf 'Z:%s' "${1//\//\\}"; }
export LUMODIR=$(winpath "$bin") LUMOVIEW_PNG_DIR=$(winpath "$work/out")
passed=0
failed=0
check() {  # name expected actual
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL: %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$2" "$3"
  fi
}
# Output goes through a file: a server the program starts inherits its
# output handles and outlives it, so a pipe would never end.
run() {
  timeout 120 "$wine" "$@" > run.out 2>&1
  tr -d '\r' < run.out
}

cd "$work" || exit 1
printf '1 0.0 0.0\n2 1.0 1.003\n3 2.0 2.010\n4 3.0 3.001\n5 4.0 3.995\n' > five.dat

# diffchart finds lumoview.exe through LUMODIR and draws; its console was
# started through a quoted command line, so LmQuit shows "> " first.
out=$(run "$bin/diffchart.exe" five.dat result.txt </dev/null)
check "diffchart reports" "max  number3 : 0.010000
min  number5 : -0.005000
max - min : 0.015000
> max  number3 : 1.700029
min  number5 : 0.199999
max - min : 1.500031" "$out"
check "diffchart result lines" 5 "$(wc -l < result.txt | tr -d ' ')"
for _ in $(seq 50); do [ -s out/diffchart-1.png ] && break; sleep 0.1; done
check "diffchart picture" yes "$([ -s out/diffchart-1.png ] && echo yes || echo no)"

# The chart stays on screen; a screenshot shows its grid (slate, 6e7d96).
if [ -n "$shot_tool" ] && [ -x "$shot_tool" ]; then
  grid=$("$shot_tool" "$work/out/lumoview_diffchart_screen.png" 6e7d96)
  check "chart on screen" yes "$([ "${grid:-0}" -gt 1000 ] && echo yes || echo no)"
fi

# Figures read back through LmGetPixel.
out=$(run "$bin/lumo_client.exe" draw </dev/null | grep -E '^(rect|line|ellipse|polygon|pixel)')
check "pixels read back" "rect_inside=02ff0000
rect_outline=020000ff
rect_outside=02ffffff
line_on=02008000
line_beside=02ffffff
ellipse_centre=0200ffff
ellipse_corner=02ffffff
polygon_inside=02c8c800
pixel=021e140a" "$out"

# The probes.
check "tickcost lines" 8 "$(run "$bin/tickcost.exe" | wc -l | tr -d ' ')"
check "tickcost first line" "H 0" "$(run "$bin/tickcost.exe" | head -1)"
check "tickrate lines" 31 "$(run "$bin/tickrate.exe" | wc -l | tr -d ' ')"

# A server killed while a program draws ends the program with status 1.
timeout 120 "$wine" "$bin/lumo_client.exe" busy > busy.txt 2>&1 </dev/null &
busy=$!
for _ in $(seq 100); do grep -q ready busy.txt && break; sleep 0.1; done
"$wine" taskkill /f /im lumoview.exe >/dev/null 2>&1
wait "$busy"
check "killed server: message" yes "$(grep -q 'The window was closed.' busy.txt && echo yes || echo no)"

echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
