#!/usr/bin/env bash
# The Windows end-to-end tests: the x86_64 build under wine64, on a private
# Xvfb display and in a Wine prefix of its own inside the build tree.  CTest
# runs "start" first and "stop" last (a fixture); each other word is one test.
# It ends exactly what it started: its Xvfb (by process id) and its prefix's
# wineserver.
#
#   harness.sh BUILD_DIR start|stop|CASE
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
what=$2
bin=$build/bin
state=$build/wine-tests
out=$state/out
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all
# Wine's own temporary files (its server's folder, which it leaves behind)
# in the build tree, removed on "stop", not in /tmp.
export TMPDIR=$state/tmp
mkdir -p "$TMPDIR"
# The launcher's texts are Japanese: its cases run with code page 932, from
# a Japanese locale compiled into the build tree.
export LOCPATH=$build/wine-locale

winpath() { printf 'Z:%s' "${1//\//\\}"; }

start() {
  if [ ! -x "$wine" ] || ! command -v Xvfb >/dev/null; then
    echo "windows: wine64 or Xvfb is missing" >&2
    return 1
  fi
  stop 2>/dev/null
  rm -rf "$state"
  mkdir -p "$state" "$out"
  # LUMO_TEST_DISPLAY picks the display (runs side by side keep apart);
  # otherwise the first free one from :131.
  local display=${LUMO_TEST_DISPLAY:-} n
  display=${display#:}
  if [ -z "$display" ]; then
    for n in $(seq 131 199); do
      if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=$n; break; fi
    done
  fi
  setsid Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
  echo "$!" > "$state/xvfb.pid"
  echo ":$display" > "$state/display"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  export DISPLAY=":$display"
  mkdir -p "$LOCPATH"
  [ -d "$LOCPATH/ja_JP.UTF-8" ] || localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" ||
    { echo "windows: cannot compile the Japanese locale" >&2; return 1; }
  # A persistent wineserver, started with no output of ours to hold open.
  "$wineserver" -p </dev/null >/dev/null 2>&1
  [ -d "$WINEPREFIX/drive_c" ] || "$wine" wineboot -i </dev/null >"$state/wineboot.log" 2>&1
  # Japanese faces for the launcher's font and menus; Wine draws captions
  # itself (no window manager runs on the test display).
  cat > "$state/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"MS UI Gothic"="IPAGothic"
"MS Gothic"="IPAGothic"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"
REG
  "$wine" regedit /S "$(winpath "$state/settings.reg")" </dev/null >/dev/null 2>&1
  echo "windows: display :$display, prefix $WINEPREFIX"
}

stop() {
  "$wineserver" -k >/dev/null 2>&1
  "$wineserver" -w >/dev/null 2>&1
  rm -rf "$TMPDIR"
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    rm -f "$state/xvfb.pid"
  fi
  return 0
}

case $what in
  start) start; exit ;;
  stop) stop; exit ;;
esac

[ -f "$state/display" ] || { echo "windows: the harness was not started" >&2; exit 1; }
DISPLAY=$(cat "$state/display")
export DISPLAY
work=$state/$what
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

passed=0
failed=0
check() {  # name expected actual
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAIL: %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$2" "$3"
  fi
}
# Output goes through a file: a server the program starts inherits its
# output handles and outlives it, so a pipe would never end.
run() {
  timeout 120 "$wine" "$@" </dev/null > run.out 2> run.err
  local status=$?
  tr -d '\r' < run.out
  return $status
}
driver() { run "$bin/wine_driver.exe" "$@"; }
# The lumoview.exe a case started ends with the case.
end_servers() { "$wine" taskkill /f /im lumoview.exe </dev/null >/dev/null 2>&1; }

# The process id of the newest lumoview.exe of this run's Wine prefix: other
# runs (and their servers) may go on beside it on the same machine.
own_server() {
  local pid newest=
  for pid in $(pgrep -f 'lumoview.exe'); do
    tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && newest=$pid
  done
  echo "$newest"
}

. "$here/cases.sh"
"case_$what"
echo "windows.$what: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
