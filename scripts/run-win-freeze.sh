#!/usr/bin/env bash
# Whether one program's long drawing holds up another on lumoview.exe (the
# x86_64 build under wine64): a program draws a random figure of many
# points while a program that joined its window reads a pixel again and
# again.  Each round prints the figure, how long the drawing took until
# done, the reads answered meanwhile, the reader's worst and median wait,
# and the server's processor time.
#
#   scripts/run-win-freeze.sh [rounds]
#
# FREEZE_CASES="FIGURE:POINTS:READ_SECONDS ..." runs these figures instead
# of the usual ones (freeze_lumo's figures).  FREEZE_BASELINE_DIR=DIR adds rounds with the lumoview.exe in DIR (an
# earlier build's bin folder), alternated round by round with this build's.
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
root=$PWD
cmake --preset mingw64 >/dev/null
cmake --build --preset mingw64 --target freeze_lumo lumoview wine_driver >/dev/null
bash tests/windows/harness.sh build/mingw64 start >/dev/null
trap 'bash "$root/tests/windows/harness.sh" "$root/build/mingw64" stop' EXIT
export WINEPREFIX=$root/build/mingw64/wine-prefix WINEDEBUG=-all
DISPLAY=$(cat build/mingw64/wine-tests/display)
export DISPLAY
wine=/usr/lib/wine/wine64
bin=$root/build/mingw64/bin
work=$root/build/mingw64/wine-tests/freeze
mkdir -p "$work" "$work/pictures"
winpath() { printf 'Z:%s' "${1//\//\\}"; }

servers=("$bin")
[ -n "${FREEZE_BASELINE_DIR:-}" ] && servers+=("$(cd "$FREEZE_BASELINE_DIR" && pwd)")

# The newest lumoview.exe of this prefix, and its processor time (ms).
own_server() {
  local pid newest=
  for pid in $(pgrep -f 'lumoview.exe' || true); do
    tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && newest=$pid
  done
  echo "$newest"
}
cpu_ms() {
  local ticks
  ticks=$(awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0)
  echo $((ticks * 1000 / $(getconf CLK_TCK)))
}

one() {  # SERVER_DIR FIGURE POINTS READ_SECONDS
  export LUMODIR
  LUMODIR=$(winpath "$1")
  rm -f "$work"/*.txt "$work"/go.fifo
  mkfifo "$work/go.fifo"
  timeout 300 "$wine" "$bin/freeze_lumo.exe" paint "$3" "$2" < "$work/go.fifo" > "$work/paint.txt" 2>&1 &
  local painter=$! server cpu_before
  exec 7> "$work/go.fifo"
  for _ in $(seq 300); do grep -q ready "$work/paint.txt" && break; sleep 0.1; done
  server=$(own_server)
  cpu_before=$(cpu_ms "$server")
  timeout 300 "$wine" "$bin/freeze_lumo.exe" read-for "$4" </dev/null > "$work/read.txt" 2>&1 &
  local reader=$!
  for _ in $(seq 300); do grep -q joined "$work/read.txt" && break; sleep 0.1; done
  sleep 0.3
  echo go >&7
  wait "$reader" || true
  exec 7>&-
  wait "$painter" || true
  printf '%-9s %-9s %8s  %-12s %-40s server cpu %s ms\n' "$([ "$1" = "$bin" ] && echo this || echo baseline)" \
    "$2" "$3" "$(tr -d '\r' < "$work/paint.txt" | sed -n 's/^drawn \([0-9.]*\).*/drawn \1 s/p')" \
    "$(tr -d '\r' < "$work/read.txt" | grep answers= || echo 'no answer')" $(($(cpu_ms "$server") - cpu_before))
  "$wine" taskkill /f /im lumoview.exe </dev/null >/dev/null 2>&1 || true
  sleep 1
}

echo "Long drawing on lumoview.exe under Wine, a joined reader beside it (machine busy or not: see uptime)"
uptime
for round in $(seq "$rounds"); do
  echo "round $round"
  for server in "${servers[@]}"; do
    if [ -n "${FREEZE_CASES:-}" ]; then
      for c in $FREEZE_CASES; do
        IFS=: read -r figure points seconds <<< "$c"
        one "$server" "$figure" "$points" "$seconds"
      done
      continue
    fi
    one "$server" polyline 100000 4
    one "$server" polyline 1000000 12
    one "$server" bezier 100000 8
    one "$server" polygon 4000 6
    [ "$server" = "$bin" ] && one "$server" polygon 1000000 5
    # The painter quits: its 8,000 x 6,000 window written as PNG at its end.
    LUMOVIEW_PNG_DIR=$(winpath "$work/pictures") one "$server" end 8000 5
    # A second 8,000 x 6,000 window opened (its picture made at once).
    one "$server" open 8000 4
  done
done
