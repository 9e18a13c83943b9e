#!/usr/bin/env bash
# Sets up, builds the kit and draws a sample chart through the real server.
#
#   bash scripts/run-main.sh            diffchart on samples/data/diffchart.dat
#   bash scripts/run-main.sh plot3      plot3 on samples/data/plot3.dat
#
# With a display the chart appears in a window; without one it is written to
# out/<sample>-1.png.  With LUMOVIEW_SERVE=[ADDRESS:]PORT the server also
# shows it live in a browser at the address the program prints.
set -euo pipefail
cd "$(dirname "$0")/.."
sample="${1:-diffchart}"
case "$sample" in
  diffchart | plot3) ;;
  *)
    echo "unknown sample: $sample (diffchart or plot3)" >&2
    exit 2
    ;;
esac
# Only what this job builds and runs: the packages for the server and the
# samples, the tests left out of the configuration (the next
# `cmake --preset native` brings them back), the server and the sample built.
bash scripts/setup.sh main
cmake --preset native -DLUMO_BUILD_TESTS=OFF >/dev/null
cmake --build --preset native --target lumoview "$sample" >/dev/null

mkdir -p out
export LUMODIR="$PWD/build/native/bin"
if [ -z "${DISPLAY:-}" ]; then
  export LUMOVIEW_PNG_DIR="$PWD/out"
  rm -f "out/$sample-1.png"
fi

case "$sample" in
  diffchart)
    "$LUMODIR/diffchart" samples/data/diffchart.dat out/diffchart-result.txt
    echo "Result file: out/diffchart-result.txt"
    ;;
  plot3)
    echo "Time-axis steps:"
    "$LUMODIR/plot3" samples/data/plot3.dat
    ;;
esac

if [ -n "${LUMOVIEW_SERVE:-}" ]; then
  linger_ms=${LUMOVIEW_WEB_LINGER_MS:-600000}
  [[ $linger_ms =~ ^[0-9]+$ ]] || linger_ms=600000
  linger=$((linger_ms / 1000))
  echo "Web view: open the address lumoview printed above. The window stays while a browser watches"
  echo "it, and ${linger} s after the last one leaves; its close button (x) in the page ends it."
fi
if [ -z "${DISPLAY:-}" ]; then
  chart=""
  for _ in $(seq 100); do
    f=out/"$sample"-1.png
    [ -s "$f" ] && chart=$f
    [ -n "$chart" ] && break
    sleep 0.1
  done
  if [ -n "$chart" ]; then
    echo "Chart written to $chart (no display: the server drew it off screen)"
  else
    echo "The chart was not written" >&2
    exit 1
  fi
fi
