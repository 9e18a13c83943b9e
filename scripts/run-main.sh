#!/usr/bin/env bash
# Sets up, builds the kit and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native
echo
echo "Library built: build/native/lib/libLumo.a"
echo "A C program linked with plain gcc and -lLumo reports:"
build/native/tests/c_link_check_prog
