# The shell tests' checks: `check NAME EXPECTED ACTUAL` counts a pass or
# prints what differed; the script reports $passed and $failed at its end.
failed=0
passed=0
check() {  # check NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    printf 'FAILED: %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"
  fi
}
