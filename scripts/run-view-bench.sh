#!/usr/bin/env bash
# The cost of windows shown at a screen's scale or zoomed (drawn again from
# their display lists): bench/view_bench (the job's scene drawn once, again
# at scale 2, again at zoom 8) and bench/web_ratio_bench.py (the web view's
# pictures and the drawing's rate with a browser at pixel ratio 2 against 1).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset native >/dev/null
cmake --build --preset native --target view_bench lumo_web_flood lumoview >/dev/null
build/native/bench/view_bench "${VIEW_ROUNDS:-5}"
echo
/usr/bin/python3 bench/web_ratio_bench.py build/native/bin build/native/tests "${WEB_ROUNDS:-5}" 3
