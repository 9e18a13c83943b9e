#!/usr/bin/env bash
# Builds the native configuration and runs the benchmarks: the transport's
# floors and rates, then one whole plotting job against bare cairo and the
# peer plotting libraries (giza and PLplot, installed here for comparison
# only; the kit does not need them).
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
cmake --build --preset native --target transport_bench job_bench lumoview >/dev/null
build/native/bench/transport_bench
echo
build/native/bench/job_bench "${JOB_ROUNDS:-5}" </dev/null
