# The cases of the Windows end-to-end tests, sourced by harness.sh: each runs
# in its own folder under build/.../wine-tests and calls check.

# diffchart finds lumoview.exe through LUMODIR and draws; its console was
# started through a quoted command line, so LmQuit shows "> " first.  The
# chart stays on screen, and a screenshot shows its grid (slate, 6e7d96).
case_diffchart() {
  export LUMODIR=$(winpath "$bin") LUMOVIEW_PNG_DIR=$(winpath "$out")
  printf '1 0.0 0.0\n2 1.0 1.003\n3 2.0 2.010\n4 3.0 3.001\n5 4.0 3.995\n' > five.dat
  check "diffchart reports" "max  number3 : 0.010000
min  number5 : -0.005000
max - min : 0.015000
> max  number3 : 1.700029
min  number5 : 0.199999
max - min : 1.500031" "$(run "$bin/diffchart.exe" five.dat result.txt)"
  check "diffchart result lines" 5 "$(wc -l < result.txt | tr -d ' ')"
  for _ in $(seq 50); do [ -s "$out/diffchart-1.png" ] && break; sleep 0.1; done
  check "diffchart picture" yes "$([ -s "$out/diffchart-1.png" ] && echo yes || echo no)"
  local grid
  grid=$(driver shot screen "$(winpath "$out/lumoview_diffchart_screen.png")" 6e7d96 |
         sed -n 's/^pixels: //p')
  check "chart on screen" yes "$([ "${grid:-0}" -gt 1000 ] && echo yes || echo no)"
  end_servers
}

# A console program built with the kit's documented command line keeps its
# console: what it prints arrives (a GUI program's output is lost).
case_compile_line() {
  local line flags
  line=$(grep '^Build a program:' "$here/../../kit/README.txt")
  flags=${line#*gcc prog.c }
  mkdir -p kit/include kit/lib
  cp "$here/../../include/"lumo*.h kit/include/
  cp "$build/lib/libLumo.a" kit/lib/
  printf '#include <stdio.h>\n#include "lumo.h"\nint main(void) { printf("printed %%d\\n", LmRgb(1, 2, 3) != 0); return 0; }\n' > prog.c
  # shellcheck disable=SC2086
  (cd kit && x86_64-w64-mingw32-gcc ../prog.c $flags -o ../prog.exe)
  check "documented line: console subsystem" "(Windows CUI)" \
    "$(x86_64-w64-mingw32-objdump -p prog.exe | sed -n 's/^Subsystem.*\((.*)\)$/\1/p')"
  check "documented line: output arrives" "printed 1" "$(run ./prog.exe)"
}

# The display switches a program hands to the server it starts (LmInitEx
# flags 1: on top, no borders, not resizable) shape its windows and read
# back as set.
case_switches() {
  export LUMODIR=$(winpath "$bin")
  timeout 120 "$wine" "$bin/lumo_client.exe" look </dev/null > client.txt 2>&1 &
  local client=$!
  check "window look" "look: caption=0 sizing=0 maximize=0 topmost=1" "$(driver look Look)"
  wait "$client"
  check "switches read back" "switches=100" "$(tr -d '\r' < client.txt | grep '^switches=')"
  end_servers
}

# A server no program links ends after its first-link wait: one whose
# starter gave up on it does not hold its block for good.  And the block a
# starter looks for is there by the time the new server is idle.
case_unlinked_server() {
  # An earlier case's server, ending, would hold the first block name.
  end_servers
  check "block there when idle" "ready when idle: 3 of 3" \
    "$(run "$bin/idle_probe.exe" "$(winpath "$bin/lumoview.exe")" 3)"
  local started status
  started=$(date +%s)
  LUMOVIEW_FIRST_LINK_MS=1500 timeout 60 "$wine" "$bin/lumoview.exe" </dev/null >/dev/null 2>&1
  status=$?
  check "unlinked server ends by itself" 0 "$status"
  check "within the wait" yes "$([ $(($(date +%s) - started)) -lt 20 ] && echo yes || echo no)"
}

# Figures drawn and read back through LmGetPixel.
case_pixels() {
  export LUMODIR=$(winpath "$bin")
  check "pixels read back" "rect_inside=02ff0000
rect_outline=020000ff
rect_outside=02ffffff
line_on=02008000
line_beside=02ffffff
ellipse_centre=0200ffff
ellipse_corner=02ffffff
polygon_inside=02c8c800
pixel=021e140a" "$(run "$bin/lumo_client.exe" draw | grep -E '^(rect|line|ellipse|polygon|pixel)')"
  end_servers
}

case_probes() {
  check "tickcost lines" 8 "$(run "$bin/tickcost.exe" | wc -l | tr -d ' ')"
  check "tickcost first line" "H 0" "$(run "$bin/tickcost.exe" | head -1)"
  check "tickrate lines" 31 "$(run "$bin/tickrate.exe" | wc -l | tr -d ' ')"
}

# The transport's rules through the shared-memory channel, as on Linux.
# A server that does not take the channel gets every command by WM_COPYDATA,
# and draws the same.
case_copydata_fallback() {
  export LUMODIR=$(winpath "$bin") LUMOVIEW_CHANNEL=0
  check "pixels through WM_COPYDATA" "rect_inside=02ff0000
line_on=02008000
pixel=021e140a" "$(run "$bin/lumo_client.exe" draw | grep -E '^(rect_inside|line_on|pixel)=')"
  end_servers
}

# A full ring: with the server stopped the program waits for room, and once
# the server goes on every pixel posted is there.
case_full_ring() {
  export LUMODIR=$(winpath "$bin")
  mkfifo go.fifo
  timeout 120 "$wine" "$bin/lumo_client.exe" flood < go.fifo > flood.txt 2>&1 &
  local client=$! server
  exec 7> go.fifo
  for _ in $(seq 200); do grep -q ready flood.txt && break; sleep 0.1; done
  server=$(own_server)
  check "its server is found" yes "$([ -n "$server" ] && echo yes || echo no)"
  kill -STOP "$server"
  echo go >&7
  sleep 1
  check "waits for room while the server is stopped" no "$(grep -q posted flood.txt && echo yes || echo no)"
  kill -CONT "$server"
  # Its end waits for a key (Wine starts it with a quoted command line):
  # the end of its input is that key.
  exec 7>&-
  wait "$client"
  check "every pixel drawn" "posted
mismatches=0" "$(tr -d '\r' < flood.txt | grep -E '^(posted|mismatches)')"
  end_servers
}

# A program that only draws ends when the user closes its window; drawing a
# killed program posted is drawn all the same.
case_closed_and_killed() {
  export LUMODIR=$(winpath "$bin")
  timeout 120 "$wine" "$bin/lumo_client.exe" closable </dev/null > closable.txt 2>&1 &
  local client=$! status
  check "window closed" closed "$(driver close Closable)"
  wait "$client"
  status=$?
  check "the drawing program ended" 0 "$status"
  end_servers
  timeout 120 "$wine" "$bin/lumo_client.exe" post-and-hang </dev/null > hang.txt 2>&1 &
  client=$!
  for _ in $(seq 200); do grep -q posted hang.txt && break; sleep 0.1; done
  "$wine" taskkill /f /im lumo_client.exe </dev/null >/dev/null 2>&1
  wait "$client"
  check "a killed program's drawing is drawn" "mismatches=0" \
    "$(run "$bin/lumo_client.exe" check-posted | grep '^mismatches=')"
  end_servers
}

# A server killed while a program draws ends the program with status 1,
# soon: the program notices within a few of its calls, not when its ring
# is full.
case_killed_server() {
  export LUMODIR=$(winpath "$bin")
  timeout 120 "$wine" "$bin/lumo_client.exe" busy </dev/null > busy.txt 2>&1 &
  local busy=$! status killed took
  for _ in $(seq 100); do grep -q ready busy.txt && break; sleep 0.1; done
  sleep 0.5
  end_servers
  killed=$(date +%s%N)
  wait "$busy"
  status=$?
  took=$((($(date +%s%N) - killed) / 1000000))
  echo "the program ended ${took} ms after the kill"
  check "killed server: status" 1 "$status"
  check "killed server: the program ended within a second" yes "$([ "$took" -lt 1000 ] && echo yes || echo no)"
  check "killed server: message" yes "$(grep -q 'The window was closed.' busy.txt && echo yes || echo no)"
}

# A program that calls after its server was killed, or after the user closed
# its window with the close box, ends at that call: "The window was closed."
# and status 1 for the killed server, status 0 for the closed window.
case_ended_server() {
  export LUMODIR=$(winpath "$bin")
  local how client status
  for how in killed closed; do
    rm -f go.fifo
    mkfifo go.fifo
    timeout 120 "$wine" "$bin/lumo_client.exe" keeper < go.fifo > "$how.txt" 2>&1 &
    client=$!
    exec 7> go.fifo
    for _ in $(seq 200); do grep -q ready "$how.txt" && break; sleep 0.1; done
    if [ "$how" = killed ]; then
      end_servers
    else
      check "closed: window closed" closed "$(driver close Kept)"
    fi
    sleep 0.5
    echo go >&7
    exec 7>&-
    wait "$client"
    status=$?
    check "$how: no call answered" no "$(grep -q 'line=' "$how.txt" && echo yes || echo no)"
    if [ "$how" = killed ]; then
      check "killed: status" 1 "$status"
      check "killed: message" yes "$(grep -q 'The window was closed.' "$how.txt" && echo yes || echo no)"
    else
      check "closed: status" 0 "$status"
    fi
    end_servers
  done
}

# A read-only file is not replaced by a drawing file; a writable one is.
case_read_only_files() {
  export LUMODIR=$(winpath "$bin")
  local ext
  for ext in svg png; do
    echo kept > "locked.$ext"
    echo kept > "open.$ext"
    chmod a-w "locked.$ext"
  done
  check "saves" "locked.svg=0
open.svg=1
locked.png=0
open.png=1" "$(run "$bin/lumo_client.exe" save-each locked.svg open.svg locked.png open.png)"
  check "read-only files as they were" "kept kept" "$(cat locked.svg locked.png | tr '\n' ' ' | sed 's/ $//')"
  check "writable files replaced" no "$(grep -q kept open.svg open.png && echo yes || echo no)"
  end_servers
}

# What the server has to say to a console program arrives on the program's
# own standard error: a setting it refused, where the window's picture went,
# a drawing file it would not replace.
case_program_stderr() {
  export LUMODIR=$(winpath "$bin") LUMOVIEW_PNG_DIR=out LUMOVIEW_SAVE=figs:png,jpg \
    LUMOVIEW_MEMORY_MB=abc LUMOVIEW_SCALE=2
  echo kept > locked.svg
  chmod a-w locked.svg
  check "save refused" "locked.svg=0" "$(run "$bin/lumo_client.exe" save-each locked.svg)"
  end_servers
  local said line
  said=$(tr -d '\r' < run.err)
  while IFS='|' read -r name line; do
    check "told: $name" "$line" "$(grep -F -x -- "$line" <<< "$said" || echo "$said")"
  done <<LINES
refused setting|lumoview: LUMOVIEW_SAVE=figs:png,jpg is refused: "png,jpg" is not a list of formats (png, svg, pdf, eps); no figures are written
refused memory|lumoview: LUMOVIEW_MEMORY_MB=abc is refused: a whole number of MiB from 1 to 8388607 is needed; 1024 is used
scale not taken|lumoview: LUMOVIEW_SCALE=2 is not taken by lumoview.exe: its windows and PNG files keep the window's pixels
picture|lumoview: window 1 written to out\lumo_client-1.png
write-protected file|lumoview: not replaced: $(winpath "$work")\locked.svg is write-protected
LINES
  check "picture there" yes "$([ -s out/lumo_client-1.png ] && echo yes || echo no)"
  check "lines end CR LF" yes "$(grep -q $'written to .*\r$' run.err && echo yes || echo no)"
  # A program that returns from main is told once its picture is written,
  # with no other program there to keep the server going.
  run "$bin/lumo_client.exe" leave >/dev/null
  for _ in $(seq 50); do grep -q "written to" run.err && break; sleep 0.1; done
  check "told after it went" "lumoview: window 1 written to out\lumo_client-1.png" \
    "$(tr -d '\r' < run.err | grep 'written to')"
  # A standard error nobody reads, already full, holds neither the program
  # nor the server up: the next program is served and told as before.
  mkfifo full
  exec 4<>full
  timeout 1 cat /dev/zero >&4
  local started=$SECONDS
  timeout 40 "$wine" "$bin/lumo_client.exe" save-each locked.svg </dev/null >full.out 2>&4
  check "full pipe: save refused" "locked.svg=0" "$(tr -d '\r' < full.out)"
  check "full pipe: no wait" yes "$([ $((SECONDS - started)) -lt 20 ] && echo yes || echo no)"
  check "then told as before" "lumoview: window 1 written to out\lumo_client-1.png" \
    "$(run "$bin/lumo_client.exe" save-each locked.svg >/dev/null; tr -d '\r' < run.err | grep 'written to')"
  exec 4>&-
  end_servers
}

# Without LUMODIR the library looks for lumoview.exe beside the program, then
# in the current folder, then on PATH; a console program that finds none says
# so on its standard error, a GUI program in a message box.
case_server_search() {
  unset LUMODIR
  mkdir -p beside elsewhere alone "server dir"
  cp "$bin/lumo_client.exe" "$bin/lumoview.exe" beside/
  cp "$bin/lumo_client.exe" "$bin/lumo_client_gui.exe" alone/
  cp "$bin/lumoview.exe" "server dir"/
  cd elsewhere || return
  check "found beside the program" "pixel=021e140a" "$(run ../beside/lumo_client.exe draw | grep '^pixel=')"
  end_servers
  check "found on PATH" "pixel=021e140a" \
    "$(WINEPATH=$(winpath "$work/server dir") run ../alone/lumo_client.exe draw | grep '^pixel=')"
  end_servers
  run ../alone/lumo_client.exe draw >/dev/null
  check "not found: status" 1 "$?"
  check "not found: console message on stderr" "lumoview.exe: not found on the search path." \
    "$(tr -d '\r' < run.err | head -1)"
  check "not found: then where it looked and what to set" yes \
    "$(tr -d '\r' < run.err | sed -n 2p | grep -q '^Lumo: searched LUMODIR .*; set LUMODIR to' && echo yes || echo no)"
  local box
  box=$(driver start "$(winpath "$work/alone/lumo_client_gui.exe")" "$(winpath "$work/elsewhere")" box wait-exit)
  check "not found: GUI message box" "box: Error | lumoview.exe: not found on the search path." \
    "$(printf '%s\n' "$box" | head -1)"
  check "not found: GUI message box, then the end" "exit: 1" "$(printf '%s\n' "$box" | tail -1)"
  cd "$work" || return
}

# The launcher, with the stand-in compiler.  Its texts are Japanese, so its
# cases run in a Japanese locale (code page 932).
quillo_env() {
  export QUILLO_CC_LOG=$(winpath "$work/cc.log") QUILLO_MARKER=$(winpath "$work/marker.txt")
}
# A folder holding the stand-in compiler (under NAME) and the program it builds.
compiler_dir() {  # DIR NAME
  mkdir -p "$1"
  cp "$bin/standin_cc.exe" "$1/$2"
  cp "$bin/quillo_hello.exe" "$1/"
}
settings() {  # FILE COMPILER
  printf '%s\r\n' "$(winpath "$2")" > "$1"
}
# The driver in the launcher's locale.
qdriver() { LC_ALL=ja_JP.UTF-8 driver "$@"; }
start_quillo() {  # DIR: the steps that start the launcher in DIR, in the array start
  start=(start "$(winpath "$bin/quillo.exe")" "$(winpath "$1")" wait-main quillo_R)
  drop=(drop "$(winpath "$bin/drop_helper.dll")")
}
log() { tr -d '\r' < cc.log; }

# Without set.ini only the "Erorr" box shows, and the exit code is -1.
case_quillo_no_settings() {
  quillo_env
  mkdir -p empty
  check "no set.ini" "box: Erorr | file:set.ini open error
exit: -1" "$(start_quillo "$work/empty"; qdriver "${start[@]:0:3}" box wait-exit)"
}

# GO without a file, a bad source, a dropped file that is not ".c", and a good
# source whose program runs in cmd; the information dialog; File > Exit.
case_quillo_compile() {
  quillo_env
  compiler_dir "$work/cc" gcc.exe
  mkdir -p src
  settings src/set.ini "$work/cc/gcc.exe"
  printf 'int main(void) {\n#error this is not finished\n}\n' > src/bad.c
  printf 'int main(void) { return 0; }\n' > src/good.txt
  start_quillo "$work/src"
  qdriver "${start[@]}" \
    shot main "$(winpath "$out/quillo_start.png")" 0000ff \
    text Edit \
    press-wait Edit 40004 text Edit \
    "${drop[@]}" "$(winpath "$work/src/bad.c")" no-box 500 press-wait Edit 40004 text Edit \
    shot main "$(winpath "$out/quillo_errors.png")" \
    command 40003 dialog shot dialog "$(winpath "$out/quillo_information.png")" \
    click-dialog 2 sleep 300 dialog click-dialog 1 gone-dialog \
    command 40003 dialog close-dialog gone-dialog \
    "${drop[@]}" "$(winpath "$work/src/good.txt")" box press-wait Edit 40004 text Edit \
    wait-file "$(winpath "$work/marker.txt")" 30 \
    command 40002 wait-exit > session.txt
  local pixels bad_line
  bad_line="$(winpath "$work/src/bad.c"):2:2: error: #error this is not finished"
  pixels=$(sed -n 's/^pixels: //p' session.txt)
  check "dashed blue frame drawn" yes "$([ "${pixels:-0}" -gt 100 ] && echo yes || echo no)"
  check "session" "text: >
text-length: 1
text: standin-cc: fatal error: no input files
compilation terminated.
text-length: 64
dropped 1
no box
text: $bad_line
standin-cc: 1 error(s)
text-length: $((${#bad_line} + 2 + 22))
dialog: バージョン情報
dialog: バージョン情報
dialog gone
dialog: バージョン情報
dialog gone
dropped 1
box: MesBox | ファイルの拡張子が.c以外です
保存するときに.cにして保存してください
text: Compile complete
text-length: 16
file: yes
exit: 0" "$(grep -v '^pixels:' session.txt)"
  check "GO without a file: empty names" "arg7=
arg8=" "$(log | sed -n '/^arg[78]=/p' | head -2)"
  check "the dropped file is compiled" "arg7=$(winpath "$work/src/good")
arg8=$(winpath "$work/src/good.txt")" "$(log | sed -n '/^arg[78]=/p' | tail -2)"
  check "compiler runs in its folder" "cwd=$(winpath "$work/cc")" "$(log | grep '^cwd=' | sort -u)"
  check "program ran in cmd" "ran
parent=cmd.exe
self=$(winpath "$work/src/good.exe")" "$(tr -d '\r' < marker.txt)"
  check "temp.txt keeps the last (silent) compile's output" yes \
    "$([ -f src/temp.txt ] && [ ! -s src/temp.txt ] && echo yes || echo no)"
}

# Paths with blanks compile (every path is quoted); after a program ran, the
# launcher works in the compiler's folder, so temp.txt lands there.
case_quillo_paths() {
  quillo_env
  compiler_dir "$work/my tools" "stand in gcc.exe"
  mkdir -p "my sources"
  settings "my sources/set.ini" "$work/my tools/stand in gcc.exe"
  printf 'int main(void) { return 0; }\n' > "my sources/hello world.c"
  printf '#error second\n' > "my sources/second.c"
  start_quillo "$work/my sources"
  qdriver "${start[@]}" \
    "${drop[@]}" "$(winpath "$work/my sources/hello world.c")" no-box 500 press-wait Edit 40004 text Edit \
    wait-file "$(winpath "$work/marker.txt")" 30 \
    "${drop[@]}" "$(winpath "$work/my sources/second.c")" press-wait Edit 40004 text Edit \
    command 40002 wait-exit > session.txt
  check "blanks" "dropped 1
no box
text: Compile complete
file: yes
dropped 1
text: $(winpath "$work/my sources/second.c"):1:2: error: #error second
standin-cc: 1 error(s)
exit: 0" "$(grep -v '^text-length' session.txt)"
  check "the program ran" "self=$(winpath "$work/my sources/hello world.exe")" \
    "$(tr -d '\r' < marker.txt | grep '^self=')"
  check "first capture in the start folder" yes "$([ -f "my sources/temp.txt" ] && echo yes || echo no)"
  check "second capture in the compiler folder" yes \
    "$(grep -q 'error second' "my tools/temp.txt" 2>/dev/null && echo yes || echo no)"
}

# set.ini written by any editor: LF line ends, no line end at all, or an
# empty line after the path; the compiler is found each time.
case_quillo_settings_line_ends() {
  quillo_env
  compiler_dir "$work/cc" gcc.exe
  local ending i=0
  for ending in '\n' '' '\r\n\r\n'; do
    i=$((i + 1))
    mkdir -p "src$i"
    printf "%s$ending" "$(winpath "$work/cc/gcc.exe")" > "src$i/set.ini"
    printf '#error ending %s\n' "$i" > "src$i/ending.c"
    start_quillo "$work/src$i"
    qdriver "${start[@]}" \
      "${drop[@]}" "$(winpath "$work/src$i/ending.c")" no-box 500 press-wait Edit 40004 text Edit \
      command 40002 wait-exit > "session$i.txt"
    check "set.ini ending $i: compiled" "text: $(winpath "$work/src$i/ending.c"):1:2: error: #error ending $i" \
      "$(grep '^text: ' "session$i.txt")"
  done
}

# Compiler output of 64 KiB or more is cut to 65,535 characters.
case_quillo_long_output() {
  quillo_env
  compiler_dir "$work/cc" gcc.exe
  mkdir -p src
  settings src/set.ini "$work/cc/gcc.exe"
  printf 'NOISY\n' > src/noisy.c
  start_quillo "$work/src"
  qdriver "${start[@]}" \
    "${drop[@]}" "$(winpath "$work/src/noisy.c")" \
    press-wait Edit 40004 text Edit command 40002 wait-exit > session.txt
  check "capture is longer than the pane" yes \
    "$([ "$(stat -c %s src/temp.txt)" -gt 65537 ] && echo yes || echo no)"
  check "pane holds 65,535 characters" "text-length: 65535" "$(grep '^text-length' session.txt)"
}

# lumoview.exe's own dialogs: a question box, the text prompt (answered and
# cancelled) and the Open dialog (a window without a title gives untitled
# dialogs).
case_server_dialogs() {
  export LUMODIR=$(winpath "$bin")
  printf '1 2\n' > picked.dat
  timeout 120 "$wine" "$bin/lumo_client.exe" prompts file </dev/null > client.txt 2>&1 &
  local client=$! picked
  picked=$(winpath "$work/picked.dat")
  local picked_length=${#picked}
  check "dialogs seen" "question:  | Go on?
prompt:  | Your name?
prompt:  | Anything else?
file dialog: Open" \
    "$(driver attach lumoview answer yes prompt "Ada Lovelace" prompt - \
              file-dialog "$picked")"
  wait "$client"
  check "answers received" "ask=1
prompt=12:Ada Lovelace
cancelled=0:unchanged
file=$picked_length:$picked" "$(tr -d '\r' < client.txt | grep -E '^(ask|prompt|cancelled|file)=')"
  end_servers
}

# File > Open chooses a file; cancelling forgets it.  (Which folder becomes
# the current one after the dialog is the dialog's own business, and Wine's
# differs from Windows', so the capture's place is not checked here.)  Three files dropped at once
# each raise their own warning when not ".c"; the last one is chosen.
case_quillo_choose() {
  quillo_env
  compiler_dir "$work/cc" gcc.exe
  mkdir -p src other
  settings src/set.ini "$work/cc/gcc.exe"
  printf '#error chosen\n' > other/first.c
  printf 'x\n' > other/a.txt
  printf 'x\n' > other/b.c
  printf '#error last\n' > other/c.dat
  start_quillo "$work/src"
  qdriver "${start[@]}" \
    command 40001 file-dialog "$(winpath "$work/other/first.c")" press-wait Edit 40004 text Edit \
    command 40001 file-dialog - press-wait Edit 40004 text Edit \
    "${drop[@]}" "$(winpath "$work/other/a.txt")" "$(winpath "$work/other/b.c")" \
      "$(winpath "$work/other/c.dat")" box box no-box 500 press-wait Edit 40004 text Edit \
    command 40002 wait-exit > session.txt
  check "choose, cancel, drop three" "file dialog: ファイルを開く
text: $(winpath "$work/other/first.c"):1:2: error: #error chosen
standin-cc: 1 error(s)
file dialog: ファイルを開く
text: standin-cc: fatal error: no input files
compilation terminated.
dropped 3
box: MesBox | ファイルの拡張子が.c以外です
保存するときに.cにして保存してください
box: MesBox | ファイルの拡張子が.c以外です
保存するときに.cにして保存してください
no box
text: $(winpath "$work/other/c.dat"):1:2: error: #error last
standin-cc: 1 error(s)
exit: 0" "$(grep -v '^text-length' session.txt)"
}

# The test card drawn by lumoview.exe (GDI, the reference the kit's pixel
# rules follow) and by the Linux server, compared region by region with the
# tolerance each region states (tests/card/card_layout.h).  Both pictures,
# and for a region that differs its enlarged comparison, stay in out/.
case_test_card() {
  local native=$build/../native
  if [ ! -x "$native/tests/card_compare" ] || [ ! -x "$native/tests/test_card" ]; then
    check "the native build's test card and card_compare" present missing
    return
  fi
  export LUMODIR=$(winpath "$bin") LUMOVIEW_PNG_DIR=$(winpath "$work")
  check "card drawn by lumoview.exe" "drawn 1" "$(run "$bin/test_card.exe")"
  for _ in $(seq 100); do [ -s test_card-1.png ] && break; sleep 0.1; done
  end_servers
  mv test_card-1.png "$out/test_card-windows.png"

  # The Linux server of the native build, headless, in a private session;
  # it writes the picture when the card's link ends and then exits.
  # Its private folder (and log) in the work folder, not in /tmp.
  mkdir -p linux
  mkfifo ready
  env LUMO_SESSION="${LUMO_TEST_RUN:-}card$$" XDG_RUNTIME_DIR="$work/linux" LUMOVIEW_PNG_DIR="$work/linux" \
      LUMOVIEW_GRACE_MS=200 LUMOVIEW_READY_FD=3 "$native/bin/lumoview" --headless 3>ready \
      </dev/null >/dev/null 2>&1 &
  local server=$!
  head -c 1 ready >/dev/null
  env LUMO_SESSION="${LUMO_TEST_RUN:-}card$$" XDG_RUNTIME_DIR="$work/linux" LUMODIR="$native/bin" \
      LUMOVIEW_PNG_DIR="$work/linux" LUMOVIEW_GRACE_MS=200 timeout 60 \
      "$native/tests/test_card" </dev/null >/dev/null
  for _ in $(seq 100); do kill -0 "$server" 2>/dev/null || break; sleep 0.1; done
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  mv linux/test_card-1.png "$out/test_card-linux.png"

  rm -rf "$out/test_card-differences"
  mkdir -p "$out/test_card-differences"
  local report status
  report=$("$native/tests/card_compare" "$out/test_card-linux.png" "$out/test_card-windows.png" \
             "$out/test_card-differences")
  status=$?
  echo "$report"
  check "test card: every region agrees with GDI" 0 "$status"
}

# The card written by lumoview.exe as SVG, PDF and EPS at the program's
# end, drawn back by rsvg-convert and Ghostscript and held to the vector
# tolerance against the window's own picture; the texts read back from the
# SVG (an XML parser) and the PDF (pdftotext) are the card's.
case_figures() {
  local native=$build/../native
  if [ ! -x "$native/tests/card_compare" ]; then
    check "the native build's card_compare" present missing
    return
  fi
  export LUMODIR=$(winpath "$bin") LUMOVIEW_PNG_DIR=$(winpath "$work")
  export LUMOVIEW_SAVE="$(winpath "$work"):svg,pdf,eps"
  check "card drawn by lumoview.exe" "drawn 1" "$(run "$bin/test_card.exe")"
  for _ in $(seq 100); do [ -s test_card-1.eps ] && break; sleep 0.1; done
  end_servers
  unset LUMOVIEW_SAVE
  local gs_args=(-q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=png16m -r96 -dTextAlphaBits=4 -dGraphicsAlphaBits=4)
  rsvg-convert -o svg.png test_card-1.svg
  gs "${gs_args[@]}" -sOutputFile=pdf.png test_card-1.pdf
  gs "${gs_args[@]}" -dEPSCrop -sOutputFile=eps.png test_card-1.eps
  local format report status
  for format in svg pdf eps; do
    report=$("$native/tests/card_compare" --vector test_card-1.png "$format.png")
    status=$?
    [ "$status" -eq 0 ] || echo "$report"
    check "test card as $format: every region within the vector tolerance" 0 "$status"
    cp "$format.png" "$out/test_card-windows-$format.png"
  done
  local expected='Lumo 123 €Éé|Lumo 123 €Éé|Lumo 123 €Éé|Turned 90|At 45|Bold 44 px|A|B|C|D|E|F|G|H|Mid 180|Mid 90'
  check "texts of the SVG" "$expected" "$(/usr/bin/python3 -c '
import sys, xml.etree.ElementTree as t
print("|".join(e.text or "" for e in t.parse(sys.argv[1]).iter("{http://www.w3.org/2000/svg}text")))
' test_card-1.svg)"
  check "texts of the PDF" "$(echo "$expected" | tr -d ' |')" "$(pdftotext -raw test_card-1.pdf - | tr -d ' \n\f')"
}

# Real input for lumoview.exe: xdotool clicks, turns the wheel and types in
# the picker sample's window on the Xvfb display Wine draws on; the sample
# prints the world coordinates it got (as the Linux test expects them).
case_events() {
  export LUMODIR=$(winpath "$bin")
  timeout 120 "$wine" "$bin/picker.exe" </dev/null > picker.out 2>&1 &
  local program=$! found corner x y
  found=$(driver client "picker: click points")
  corner=$(sed -n 's/^client: //p' <<< "$found")
  if [ -z "$corner" ]; then
    # Clicks at a guessed place would only make the program wait for its end.
    check "picker window found" yes "no: $found $(tail -3 run.err) $(tr -d '\r' < picker.out | tail -3)"
    kill "$program" 2>/dev/null
    wait "$program"
    end_servers
    return
  fi
  read -r x y <<< "$corner"
  sleep 1
  xdotool mousemove --sync $((x + 320)) $((y + 240)) click 1
  sleep 0.5
  xdotool mousemove --sync $((x + 100)) $((y + 100)) click 3
  sleep 0.5
  xdotool click 4
  sleep 0.5
  xdotool mousemove --sync "$x" $((y + 479)) click 2
  sleep 0.5
  xdotool key q
  wait "$program"
  check "picker read the desktop's input" "point 1: x = 5.000  y = 0.000  (button 1)
point 2: x = 1.219  y = 0.700  (button 3)
point 3: x = -0.500  y = -0.956  (button 2)
3 points" "$(tr -d '\r' < picker.out | sed -n '/^point\|points$/p')"
  end_servers
}

# A program that asks for long work (lumo_client ARGS: "ready", a line,
# "drawing", then its "drawn=" line) while a joined program reads ten
# pixels.  Leaves NAME.txt (the asker's output) and NAME-reader.txt.
asked_beside_reader() {  # NAME ARGS...
  local name=$1 asker reader
  shift
  mkfifo "$name.fifo" "$name-reader.fifo"
  timeout 120 "$wine" "$bin/lumo_client.exe" "$@" < "$name.fifo" > "$name.txt" 2>&1 &
  asker=$!
  exec 7> "$name.fifo"
  for _ in $(seq 600); do grep -q ready "$name.txt" && break; sleep 0.1; done
  timeout 120 "$wine" "$bin/lumo_client.exe" reader < "$name-reader.fifo" > "$name-reader.txt" 2>&1 &
  reader=$!
  exec 8> "$name-reader.fifo"
  for _ in $(seq 300); do grep -q joined "$name-reader.txt" && break; sleep 0.1; done
  echo go >&7
  for _ in $(seq 300); do grep -q drawing "$name.txt" && break; sleep 0.1; done
  sleep 1  # the request is taken and its work begun
  echo go >&8
  # A bound only a server held by the whole work misses.
  for _ in $(seq 40); do grep -q answered "$name-reader.txt" && break; sleep 0.1; done
  check "the joined program answered during $name" "answered=10" \
    "$(tr -d '\r' < "$name-reader.txt" | grep answered)"
  exec 7>&- 8>&-
  wait "$reader" "$asker"
  check "$name done" "drawn=1" "$(tr -d '\r' < "$name.txt" | grep drawn=)"
}

png_pixel() {  # FILE X Y: the pixel as RRGGBB, read by PIL
  /usr/bin/python3 -c 'import sys; from PIL import Image
print("%02X%02X%02X" % Image.open(sys.argv[1]).convert("RGB").getpixel((int(sys.argv[2]), int(sys.argv[3]))))' "$@"
}

# A joined program drawing into a window whose PNG is being written waits
# for the file alone: a third program is answered meanwhile, the drawer
# then reads its own green box, and the file holds the picture as asked.
# A fourth joined program posts its box and ends at once: its box is in
# the picture written at the owner's end.  The drawer on its channel, then
# on WM_COPYDATA.
case_drawn_while_written() {
  local transport
  for transport in channel copydata; do
    mkdir "$transport"
    cd "$transport" || return
    drawn_while_written "$transport"
    cd ..
  done
}
drawn_while_written() {  # channel|copydata: the drawer's transport
  export LUMODIR=$(winpath "$bin") LUMOVIEW_PNG_DIR
  LUMOVIEW_PNG_DIR=$(winpath "$PWD/end")
  mkdir -p end
  local asker drawer leaver name file=written box=drawn drawer_env=()
  [ "$1" = copydata ] && drawer_env=(LUMO_CHANNEL=0)
  mkfifo asker.fifo drawer.fifo reader.fifo
  timeout 120 "$wine" "$bin/lumo_client.exe" filer save 1000 large.png 8000 6000 hold \
    < asker.fifo > asker.txt 2>&1 &
  asker=$!
  exec 7> asker.fifo
  for _ in $(seq 600); do grep -q ready asker.txt && break; sleep 0.1; done
  env "${drawer_env[@]}" timeout 120 "$wine" "$bin/lumo_client.exe" drawer < drawer.fifo > drawer.txt 2>&1 &
  drawer=$!
  exec 8> drawer.fifo
  timeout 120 "$wine" "$bin/lumo_client.exe" reader < reader.fifo > reader.txt 2>&1 &
  exec 9> reader.fifo
  mkfifo leaver.fifo
  timeout 120 "$wine" "$bin/lumo_client.exe" drawer leave < leaver.fifo > leaver.txt 2>&1 &
  leaver=$!
  exec 6> leaver.fifo
  for name in drawer reader leaver; do
    for _ in $(seq 300); do grep -q joined "$name.txt" && break; sleep 0.1; done
  done
  : > large.png  # a name not there yet would be asked for in a file dialog
  echo go >&7
  for _ in $(seq 300); do grep -q drawing asker.txt && break; sleep 0.1; done
  sleep 0.3  # the request is taken and the file begun
  echo go >&8
  echo go >&6
  sleep 0.1
  echo go >&9
  for _ in $(seq 40); do grep -q answered reader.txt && break; sleep 0.1; done
  grep -q drawn= asker.txt || file="being written"
  grep -q drawn drawer.txt || box=waiting
  check "$1: the reader answered while the file was written" "answered=10, file being written, box waiting" \
    "$(tr -d '\r' < reader.txt | grep answered), file $file, box $box"
  for _ in $(seq 600); do grep -q drawn= asker.txt && break; sleep 0.1; done
  for _ in $(seq 100); do grep -q drawn drawer.txt && break; sleep 0.1; done
  check "$1: the drawer sees its drawing after the file" "drawn pixel=00FF00" "$(tr -d '\r' < drawer.txt | grep drawn)"
  echo end >&7
  exec 6>&- 7>&- 8>&- 9>&-
  wait "$asker" "$drawer" "$leaver"
  check "$1: the file written" "drawn=1" "$(tr -d '\r' < asker.txt | grep drawn=)"
  for _ in $(seq 100); do [ -s end/lumo_client-1.png ] && break; sleep 0.1; done
  local background
  background=$(png_pixel large.png 4000 3000)
  check "$1: the boxes: not in the file, in the picture at the end" \
    "$background $background 00FF00 00FF00" \
    "$(png_pixel large.png 150 100) $(png_pixel large.png 250 100) \
$(png_pixel end/lumo_client-1.png 150 100) $(png_pixel end/lumo_client-1.png 250 100)"
  unset LUMOVIEW_PNG_DIR
  end_servers
}

# Long figures in slices: the same pixels as GDI draws them whole, and a
# joined program answered while another draws a polyline that took
# lumoview.exe seconds in one call (1,000,000 random points, a 3-pixel pen).
# A drawing file of a long display list is written beside the loop: the
# reader is answered meanwhile, and the file is the one written at once at
# the program's end.
case_slices() {
  local report
  report=$(run "$bin/slice_check.exe")
  check "every figure in slices as GDI draws it whole" "" "$(echo "$report" | grep -v ': same (')"
  check "figures drawn in more than one slice" 50 "$(echo "$report" | grep -vc '(1 slices)')"
  export LUMODIR=$(winpath "$bin")
  asked_beside_reader polyline painter 1000000
  end_servers
  export LUMOVIEW_SAVE="$(winpath "$work"):svg"
  : > long.svg  # a name not there yet would be asked for in a file dialog
  asked_beside_reader file filer save 3000000 long.svg
  for _ in $(seq 100); do [ -s lumo_client-1.svg ] && break; sleep 0.1; done
  check "the same file as one written at once" same \
    "$(cmp -s long.svg lumo_client-1.svg && echo same || ls -l long.svg lumo_client-1.svg)"
  end_servers
}
