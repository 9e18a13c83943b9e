#!/usr/bin/env bash
# Builds the native configuration and runs the transport benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target transport_bench lumoview >/dev/null
build/native/bench/transport_bench
