#!/usr/bin/env bash
# What the kit's tests leave in /tmp and /dev/shm.
#
#   leftovers.sh start          makes this run's temporary folder in /tmp and
#                               prints the variables to run the suites with
#   leftovers.sh check FOLDER   lists what the suites left, removes FOLDER;
#                               fails when they left anything
#
# The suites run with TMPDIR, TEST_TMPDIR and XDG_RUNTIME_DIR in the run's
# folder: everything they make in /tmp (their own folders, the servers'
# private folders and logs, browser profiles) lies there and must be gone
# after them.  LUMO_TEST_RUN marks the names of their servers' sessions, so
# that what those leave in /dev/shm (lumo-<uid>-<session>, <session>.<block>)
# or straight in /tmp is told apart from what other programs, other runs of
# the tests among them, make there at the same time.
set -uo pipefail

case "${1:-}" in
  start)
    folder=$(mktemp -d "/tmp/lumo_tests_XXXXXX") || exit 1
    echo "TEST_TMPDIR=$folder TMPDIR=$folder XDG_RUNTIME_DIR=$folder LUMO_TEST_RUN=${folder##*_}-"
    ;;
  check)
    folder=$2
    mark=${folder##*_}-
    left=$(
      find "$folder" -mindepth 1 -maxdepth 2 | sort
      for dir in /tmp /dev/shm; do
        find "$dir" -mindepth 1 -maxdepth 1 \( -name "lumo-$(id -u)-$mark*" -o -name "$mark*" \) | sort
      done
    )
    rm -rf "$folder"
    if [ -n "$left" ]; then
      echo "The tests left these behind in /tmp and /dev/shm:" >&2
      echo "$left" | sed 's/^/  /' >&2
      exit 1
    fi
    ;;
  *)
    echo "usage: leftovers.sh start | check FOLDER" >&2
    exit 2
    ;;
esac
