#!/usr/bin/env bash
# Sets up, builds every configuration and runs every test; fails when the
# tests leave anything behind in /tmp or /dev/shm.
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
# The shipped i686 kit: PE32 programs, the server and the launcher GUI
# programs, the others console programs, depending on no MinGW runtime DLL.
cmake --build --preset mingw32 --target kit
for exe in build/mingw32/kit/bin/*.exe; do
  want=3
  case $(basename "$exe") in lumoview.exe | quillo.exe) want=2 ;; esac
  info=$(i686-w64-mingw32-objdump -p "$exe")
  grep -q 'file format pei-i386' <<< "$info" &&
    grep -Eq "^Subsystem[[:space:]]+0000000$want" <<< "$info" &&
    ! grep -Eiq 'DLL Name: (libgcc|libstdc|libwinpthread)' <<< "$info" ||
    { echo "kit: $exe is not the PE32 program it should be" >&2; exit 1; }
done
# Both Windows libraries offer the same public names (i686 adds a leading
# underscore to every C name).
diff <(x86_64-w64-mingw32-nm -g --defined-only build/mingw64/lib/libLumo.a |
         awk '$2=="T" && $3 ~ /^[Ll]m/ {print $3}' | sort -u) \
     <(i686-w64-mingw32-nm -g --defined-only build/mingw32/lib/libLumo.a |
         awk '$2=="T" && $3 ~ /^_[Ll]m/ {print substr($3, 2)}' | sort -u) ||
  { echo "The i686 and x86_64 libraries differ in their public names" >&2; exit 1; }

# The suites leave nothing in /tmp and /dev/shm: they run with their
# temporary files in a folder of this run, which must be empty after them,
# and their sessions marked (tests/leftovers.sh).
read -ra run_env <<< "$(bash tests/leftovers.sh start)"
run_tmp=${run_env[0]#TEST_TMPDIR=}
suite() { env "${run_env[@]}" ctest "$@"; }
finish() {
  local status=$?
  bash tests/leftovers.sh check "$run_tmp" || status=1
  exit "$status"
}
trap finish EXIT

# Sanitizer build: every test under address and undefined-behaviour checks.
build asan
suite --preset asan

# The x86_64 Windows build end to end under wine64 (CTest label "windows");
# its test card is compared with the native build's.
build native
suite --preset windows

# The native suite last, so its summary closes the output.
suite --preset native
