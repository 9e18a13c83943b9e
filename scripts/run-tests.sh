#!/usr/bin/env bash
# Sets up, builds every configuration and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

# The Windows deliverables (i686) and the x86_64 build must build cleanly.
build mingw32
build mingw64

# Sanitizer build: every test under address and undefined-behaviour checks.
build asan
ctest --preset asan

# The native build last, so its summary closes the output.
build native
ctest --preset native
