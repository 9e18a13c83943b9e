#!/usr/bin/env bash
# Builds the native configuration and runs the benchmarks: the transport's
# floors and rates, then one whole plotting job and the scenes that do not
# fill up against bare cairo and the peer plotting libraries (giza and
# PLplot, installed here for comparison only; the kit does not need them),
# the web view's cost with 20 browsers.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
peers=(giza-dev libplplot-dev plplot-driver-cairo)
missing=()
for p in "${peers[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  { "${sudo_cmd[@]}" apt-get update -qq && "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; } ||
    echo "run-bench: the peer libraries could not be installed; their rows are left out" >&2
fi
cmake --preset native >/dev/null
cmake --build --preset native --target transport_bench job_bench scene_bench lumoview >/dev/null
build/native/bench/transport_bench
echo
build/native/bench/job_bench "${JOB_ROUNDS:-5}" </dev/null
# Pictures that do not fill up, row by row (bench/scenes/scenes.h), each
# compared pixel by pixel with bare cairo's.
echo
build/native/bench/scene_bench "${SCENE_ROUNDS:-5}" </dev/null

# One program's long polyline beside a joined program's questions.
cmake --build --preset native --target freeze_bench >/dev/null
echo
build/native/bench/freeze_bench "${FREEZE_ROUNDS:-3}" </dev/null
# The same beside a large PNG loaded and a long drawing file written.
echo
FREEZE_FIGURE=png build/native/bench/freeze_bench "${FREEZE_ROUNDS:-3}" 16000 </dev/null
echo
FREEZE_FIGURE=svg build/native/bench/freeze_bench "${FREEZE_ROUNDS:-3}" 6000000 </dev/null
# A window's PNG asked for (also at twice the size), and the picture written
# as its program quits.
echo
FREEZE_FIGURE=picture build/native/bench/freeze_bench "${FREEZE_ROUNDS:-3}" 2000 8000 </dev/null
echo
LUMOVIEW_PNG_SCALE=2 FREEZE_FIGURE=picture build/native/bench/freeze_bench "${FREEZE_ROUNDS:-3}" 4000 </dev/null
echo
FREEZE_FIGURE=end build/native/bench/freeze_bench "${FREEZE_ROUNDS:-3}" 2000 8000 </dev/null
# A third program drawing into the window while its PNG is written.
echo
FREEZE_FIGURE=drawnover build/native/bench/freeze_bench "${FREEZE_ROUNDS:-3}" 8000 </dev/null
# A second window opened, or the window made larger, its picture's memory
# made: after a rest, as between a user's runs, so that memory let go has
# gone back to the virtual machine's host.
echo
FREEZE_REST=8 FREEZE_FIGURE=open build/native/bench/freeze_bench "${FREEZE_ROUNDS:-3}" 4000 8000 </dev/null
echo
FREEZE_REST=8 FREEZE_FIGURE=enlarge build/native/bench/freeze_bench "${FREEZE_ROUNDS:-3}" 8000 </dev/null

# Long figures in the canvas alone: drawn at once, and in slices of 20 ms
# (the first call and the longest slice).
cmake --build --preset native --target drawing_bench >/dev/null
echo
build/native/bench/drawing_bench "${DRAWING_ROUNDS:-3}" </dev/null

# Start-up to a mapped window (cold, warm, cairo-xlib) and a 2,000-line job.
cmake --build --preset native --target startup_bench >/dev/null
echo
build/native/bench/startup_bench "${STARTUP_ROUNDS:-7}" </dev/null

# The web view: a drawing program's rate with 20 browsers watching.
cmake --build --preset native --target lumo_web_flood >/dev/null
/usr/bin/python3 bench/web_bench.py build/native/bin build/native/tests "${WEB_ROUNDS:-5}" 3

# The Windows build's transport under wine64, in the same sitting.
if command -v x86_64-w64-mingw32-g++ >/dev/null && [ -x /usr/lib/wine/wine64 ]; then
  cmake --preset mingw64 >/dev/null
  cmake --build --preset mingw64 --target win_bench lumoview wine_driver >/dev/null
  echo
  bash tests/windows/harness.sh build/mingw64 start >/dev/null
  (
    export WINEPREFIX=$PWD/build/mingw64/wine-prefix WINEDEBUG=-all
    DISPLAY=$(cat build/mingw64/wine-tests/display)
    export DISPLAY LUMODIR="Z:${PWD//\//\\}\\build\\mingw64\\bin"
    timeout 900 /usr/lib/wine/wine64 build/mingw64/bin/win_bench.exe </dev/null | tr -d '\r'
  )
  bash tests/windows/harness.sh build/mingw64 stop
  # Long drawing on lumoview.exe beside a joined reader.
  echo
  bash scripts/run-win-freeze.sh "${WIN_FREEZE_ROUNDS:-2}"
  # The raster, dashed and turned figures (this build only: the server of
  # before took a minute over the turned polygon).
  echo
  FREEZE_CASES="xorline:300000:6 xorpolygon:4000:5 dashed:100000:4 dashed:1000000:8 dashedcurves:100000:5
    turned:100000:5 turned:1000000:8" bash scripts/run-win-freeze.sh "${WIN_FREEZE_ROUNDS:-2}"
fi

# Windows at a screen's scale, zoomed, and the web view at pixel ratio 2.
echo
bash scripts/run-view-bench.sh
