#!/bin/bash
# Every call of lumo.h has its own manual page, named in lumo(3), with a
# description, and the pages read without a warning from groff.
#   man_pages_test.sh SOURCE_DIR MAN3_DIR
source "$(dirname "$0")/../support/check.sh"
src=$1
pages=$2
calls=$(grep -oE '^(int|float) Lm[A-Za-z0-9]+\(' "$src/include/lumo.h" | sed -E 's/^[a-z]+ //; s/\($//')
check "calls found" yes "$([ "$(echo "$calls" | wc -l)" -gt 100 ] && echo yes || echo no)"
index=$(< "$pages/lumo.3")
for name in $calls; do
  page="$pages/$name.3"
  text=""
  [ -f "$page" ] && text=$(< "$page")
  described=no
  [[ $text =~ $'\n.SH DESCRIPTION\n'[^.] ]] && described=yes
  named=no
  [[ $index == *$'\n.BR '"$name (3)"* ]] && named=yes
  check "$name: page" yes "$([ -n "$text" ] && echo yes || echo no)"
  check "$name: named in lumo(3)" yes "$named"
  check "$name: described" yes "$described"
done
if command -v groff > /dev/null; then
  check "groff warnings" "" "$(groff -man -ww -z "$pages"/*.3 2>&1)"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
