#!/usr/bin/env bash
# The kit installed as users install it, used from outside the source tree:
#
#   1. cmake --install into a temporary prefix (configured for it), then a C
#      program and a Fortran program built with pkg-config and a CMake
#      project built with find_package(Lumo), each drawing a window on a
#      headless server found in the installed bin folder (no LUMODIR, the
#      prefix not on PATH) and checked by its PNG's pixels;
#   2. lumorun: a C and a Fortran program compiled and run, arguments and the
#      exit status passed through, a compile error shown as the compiler
#      printed it, --keep and -o;
#   3. the Debian package (cpack -G DEB, prefix /usr): its declared
#      dependencies, installed with dpkg into a fresh root, the same three
#      programs built against it, then removed leaving nothing behind;
#   4. in both, the installed documentation stands alone: every link of
#      its pages, and every guide the README names, is an installed file.
#
#   install_test.sh SOURCE_DIR WORK_DIR
set -uo pipefail
source_dir=$(cd "$1" && pwd)
work=$2
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
# The servers' session: its private folder (and log) in the work folder; its
# blocks, should a server not end cleanly, removed at the end.
session=${LUMO_TEST_RUN:-}inst$$  # LUMO_TEST_RUN marks one run of the test command
mkdir -p "$work/runtime"
trap 'rm -rf "/dev/shm/lumo-$(id -u)-$session" /dev/shm/"$session".*' EXIT
. "$(dirname "${BASH_SOURCE[0]}")/../support/check.sh"
pixel() {  # pixel PNG X Y -> RRGGBB
  /usr/bin/python3 -c 'import sys; from PIL import Image
r, g, b = Image.open(sys.argv[1]).convert("RGB").getpixel((int(sys.argv[2]), int(sys.argv[3])))
print("%02x%02x%02x" % (r, g, b))' "$@" 2>/dev/null || echo none
}

build=$work/build
prefix=$work/prefix
cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMO_BUILD_TESTS=OFF \
      -DLUMO_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX="$prefix" >"$work/configure.log" 2>&1 ||
  { cat "$work/configure.log"; exit 1; }
cmake --build "$build" >"$work/build.log" 2>&1 || { tail -30 "$work/build.log"; exit 1; }
cmake --install "$build" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }

# The three programs, written where nothing of the source tree is near.
users=$work/users
mkdir -p "$users"
cat > "$users/draw.c" <<'EOF'
#include <stdio.h>
#include <lumo.h>
int main(void) {
  if (LmOpenEx(1, 200, 100, -1, -1, -1, "installed") <= 0) return 1;
  LmSetBrush(LmRgb(20, 160, 60), 0, 0);
  LmRectMode(0.0f, 0.0f, 199.0f, 99.0f, 1);
  printf("drawn\n");
  return 0;
}
EOF
cat > "$users/draw.f90" <<'EOF'
program draw
  use lumo
  implicit none
  integer(c_int) :: r
  call lmopenex(r, 1, 200, 100, LM_KEEP, LM_KEEP, LM_KEEP, 'installed')
  call lmsetbrush(r, lmrgb(200, 40, 20), LM_BRUSH_SOLID, LM_HATCH_HORIZONTAL)
  call lmrectmode(r, 0.0, 0.0, 199.0, 99.0, LM_RECT_INSIDE)
  print '(a)', 'drawn'
end program draw
EOF
mkdir -p "$users/cmake_project"
cp "$users/draw.c" "$users/cmake_project/draw.c"
cp "$users/draw.c" "$users/cmake_project/draw.cpp"
cp "$users/draw.f90" "$users/cmake_project/draw.f90"
cat > "$users/cmake_project/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.16)
project(uses_lumo C CXX Fortran)
find_package(Lumo 0.99 CONFIG REQUIRED)
foreach(program draw:draw.c draw_cpp:draw.cpp draw_f:draw.f90)
  string(REPLACE ":" ";" parts ${program})
  list(GET parts 0 name)
  list(GET parts 1 source)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE Lumo::Lumo)
endforeach()
EOF

# Builds the three against the kit under ROOT/PREFIX and runs each on a
# headless server; RUN_ENV says how the server is found.
try_kit() {  # try_kit LABEL KIT_PREFIX [env assignments for running]
  local label=$1 kit=$2
  shift 2
  local out=$work/out-$label
  mkdir -p "$out"
  local pc
  pc=$(dirname "$(find "$kit" -name lumo.pc | head -1)")  # lib/ or a multiarch lib/<triplet>/
  check "$label: C with pkg-config builds" 0 \
    "$(cd "$users" && gcc draw.c $(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs --static lumo) \
         -o "$out/draw_c" >"$out/c.log" 2>&1; echo $?)"
  check "$label: Fortran with pkg-config builds" 0 \
    "$(cd "$out" && gfortran "$users/draw.f90" $(PKG_CONFIG_PATH=$pc pkg-config --cflags --libs lumo) \
         -o "$out/draw_f" >"$out/f.log" 2>&1; echo $?)"
  check "$label: CMake project (C, C++, Fortran) with find_package(Lumo) builds" 0 \
    "$( (cmake -S "$users/cmake_project" -B "$out/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$kit" &&
         cmake --build "$out/cmake") >"$out/cmake.log" 2>&1; echo $?)"
  local program colour
  for program in draw_c draw_f cmake/draw cmake/draw_cpp cmake/draw_f; do
    rm -rf "$out/png"
    mkdir -p "$out/png"
    check "$label: $program runs" drawn \
      "$(env -u LUMODIR -u DISPLAY LUMO_SESSION="$session" XDG_RUNTIME_DIR="$work/runtime" \
            LUMOVIEW_PNG_DIR="$out/png" \
            LUMOVIEW_GRACE_MS=100 "$@" timeout 60 "$out/$program" 2>"$out/err.log")"
    # The program is gone before its picture is written, and told after.
    for _ in $(seq 50); do
      ls "$out/png"/*.png >/dev/null 2>&1 && grep -q "written to" "$out/err.log" && break
      sleep 0.1
    done
    # The program is told where its picture went, on its standard error.
    check "$label: $program hears where its picture went" 1 \
      "$(grep -Ec "^lumoview: window 1 written to (.*/)?png/[^/]+-1\.png$" "$out/err.log")"
    colour=$(pixel "$(ls "$out/png"/*.png 2>/dev/null | head -1)" 100 50)
    case $program in *draw_f) expected=c82814 ;; *) expected=14a03c ;; esac
    check "$label: $program's picture" "$expected" "$colour"
  done
  # The web view's module is installed beside lumoview and found there (with
  # the Fortran program, whose build does not go through the C link line).
  check "$label: the web view starts" 1 \
    "$(env -u LUMODIR -u DISPLAY LUMO_SESSION="$session" XDG_RUNTIME_DIR="$work/runtime" \
          LUMOVIEW_PNG_DIR="$out/png" LUMOVIEW_SERVE=127.0.0.1:0 LUMOVIEW_WEB_LINGER_MS=0 \
          LUMOVIEW_GRACE_MS=100 "$@" timeout 60 "$out/draw_f" 2>&1 >/dev/null |
       grep -Ec '^lumoview: web view at http://127\.0\.0\.1:[0-9]+/')"
}

# Every relative link ([text](target), anchors aside) in the installed
# pages, and every page the README names in backquotes, lies in the kit.
check_docs() {  # check_docs LABEL DOC_DIR
  local label=$1 docs=$2 page target
  check "$label: the README installed" yes "$([ -f "$docs/README.md" ] && echo yes || echo no)"
  while read -r page; do
    for target in $(grep -oE '\]\([^)# ]+' "$page" | sed 's/^](//' | grep -vE '^[a-z]+:'); do
      check "$label: ${page#"$docs"/} links to $target" yes \
        "$([ -e "$(dirname "$page")/$target" ] && echo yes || echo no)"
    done
  done < <(find "$docs" -name '*.md')
  for target in $(grep -oE '`[A-Za-z0-9_/.-]+\.md`' "$docs/README.md" 2>/dev/null | tr -d '`'); do
    check "$label: the README's $target" yes "$([ -f "$docs/$target" ] && echo yes || echo no)"
  done
}

# 1. The installed kit; PATH without the prefix: lumoview is found in the
#    installed bin folder by the library itself.
try_kit prefix "$prefix" PATH=/usr/bin:/bin
check_docs prefix "$prefix/share/doc/lumo"

# 2. lumorun.
lumorun=$prefix/bin/lumorun
cat > "$users/args.c" <<'EOF'
#include <stdio.h>
#include <lumo.h>
int main(int argc, char **argv) {
  int i;
  for (i = 1; i < argc; ++i) printf("[%s]", argv[i]);
  printf(" rgb=%08X\n", (unsigned)LmRgb(1, 2, 3));
  return 3;
}
EOF
cat > "$users/hello.f90" <<'EOF'
program hello
  use lumo
  print '(a,z8.8)', 'fortran ', lmrgb(255, 0, 0)
end program hello
EOF
printf 'int main(void) {\n  return undefined_name;\n}\n' > "$users/broken.c"
cd "$users"
check "lumorun: arguments reach the program" "[one][two words] rgb=02030201" \
  "$(env -u LUMODIR PATH=/usr/bin:/bin "$lumorun" args.c one "two words" 2>&1)"
env -u LUMODIR PATH=/usr/bin:/bin "$lumorun" args.c >/dev/null 2>&1
check "lumorun: the program's exit status" 3 "$?"
cp "$users/args.c" "$users/-x.c"
check "lumorun: a file whose name begins with -" "[y] rgb=02030201" \
  "$(cd "$users" && env -u LUMODIR PATH=/usr/bin:/bin "$lumorun" -- -x.c y 2>&1)"
check "lumorun: a Fortran program" "fortran 020000FF" "$(PATH=/usr/bin:/bin "$lumorun" hello.f90 2>&1)"
check "lumorun: a compiler given with options" "[x] rgb=02030201" \
  "$(CC="gcc -O2 -Wall" PATH=/usr/bin:/bin "$lumorun" args.c x 2>&1)"
errors=$(PATH=/usr/bin:/bin "$lumorun" broken.c 2>&1)
status=$?
check "lumorun: a compile error fails" yes "$([ $status -ne 0 ] && echo yes || echo no)"
check "lumorun: the compiler's own message" yes \
  "$(echo "$errors" | grep -q "broken.c:2:.*undefined_name" && echo yes || echo no)"
check "lumorun: nothing kept by default" no "$([ -e args ] && echo yes || echo no)"
PATH=/usr/bin:/bin "$lumorun" --keep args.c >/dev/null 2>&1
check "lumorun --keep" yes "$([ -x args ] && echo yes || echo no)"
PATH=/usr/bin:/bin "$lumorun" -o named hello.f90 >/dev/null 2>&1
check "lumorun -o NAME" yes "$([ -x named ] && echo yes || echo no)"
cd "$work"

# 3. The Debian package: the same build configured for /usr.
cmake "$build" -DCMAKE_INSTALL_PREFIX=/usr >>"$work/configure.log" 2>&1
cmake --build "$build" >>"$work/build.log" 2>&1
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { tail -20 "$work/cpack.log"; exit 1; }
deb=$(ls "$build"/lumo_*.deb | head -1)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libcairo2 libx11-6 fontconfig; do
  check "package depends on $needed" yes "$(echo "$depends" | grep -q "$needed" && echo yes || echo no)"
done
# Every library lumoview and its web view's module link comes from a package
# it declares.
for soname in $(readelf -d "$build/bin/lumoview" "$build/bin/lumoview-web.so" |
                sed -n 's/.*Shared library: \[\(.*\)\]/\1/p' | sort -u); do
  path=$(ldconfig -p | awk -v n="$soname" '$1 == n && /x86-64|64bit/ {print $NF; exit}')
  owner=$({ dpkg -S "$path" || dpkg -S "$(dirname "$path")/$(basename "$(readlink -f "$path")")" ||
           dpkg -S "$(readlink -f "$path")"; } 2>/dev/null | head -1 | cut -d: -f1)
  check "package declares $owner (for $soname)" yes \
    "$(echo ", $depends," | grep -q ", $owner[ ,(]" && echo yes || echo no)"
done
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" >"$work/dpkg.log" 2>&1
check "package installs" 0 "$?"
check "package: libLumo.a" yes "$([ -n "$(find "$root/usr/lib" -name libLumo.a)" ] && echo yes || echo no)"
check "package: man page" yes "$([ -f "$root/usr/share/man/man1/lumorun.1" ] && echo yes || echo no)"
check "package: a man page per call" yes "$([ -f "$root/usr/share/man/man3/LmAxes.3" ] && echo yes || echo no)"
# The root is not /: lumoview is found on PATH (in / it is in /usr/bin).
try_kit deb "$root/usr" PATH="$root/usr/bin:/usr/bin:/bin"
check_docs deb "$root/usr/share/doc/lumo"
dpkg --root="$root" --force-script-chrootless -r lumo >>"$work/dpkg.log" 2>&1
check "package removes" 0 "$?"
check "nothing left behind" "" "$(find "$root/usr" -type f 2>/dev/null | head -3)"

echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
