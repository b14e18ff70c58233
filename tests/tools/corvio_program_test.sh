#!/usr/bin/env bash
# The corvio program as a scheduler or a shell sees it: exit codes, what it prints when
# standard output is not a terminal, and the signals that steer a run.
#   corvio_program_test.sh CORVIO CORVIOCTL
set -uo pipefail
corvio="$1"
ctl="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data"
failures=0
check() {  # check DESCRIPTION CONDITION...
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# Without /run: there is no window to show: it says what it can do and fails.
"$corvio" > "$work/out" 2> "$work/err"; status=$?
check "no arguments exit non-zero" [ "$status" -ne 0 ]
check "no arguments print the usage" grep -q 'corvio /run:TAG' "$work/out"

# A tag that names no profile is a failed run.
"$corvio" /run:missing > "$work/out" 2> "$work/err"; status=$?
check "unknown tag exits 2" [ "$status" -eq 2 ]
check "unknown tag is named" grep -q 'Unable to automatically run backup profile: missing' "$work/err"

# A profile whose server is not there: the run retries until told to stop. SIGUSR1 pauses it,
# SIGINT cancels it, and the cancelled run exits 3.
mkdir -p "$work/src"
echo secret | "$ctl" profile create --tag nowhere --server 127.0.0.1 --port 1 --login a \
  --password-stdin --include "$work/src" --shadow-copy off > /dev/null
"$corvio" /run:nowhere > "$work/out" 2> "$work/err" &
pid=$!
for _ in $(seq 50); do grep -q 'Retry Connect' "$work/out" && break; sleep 0.2; done
kill -USR1 "$pid"
for _ in $(seq 30); do grep -q '^Paused\.\.\.$' "$work/out" && break; sleep 0.2; done
check "SIGUSR1 pauses the run" grep -q '^Paused\.\.\.$' "$work/out"
kill -INT "$pid"
wait "$pid"; status=$?
check "a cancelled run exits 3" [ "$status" -eq 3 ]
check "the cancel is reported" grep -q 'Connect Failed!' "$work/out"
check "the statistics end the output" bash -c "tail -n 1 '$work/out' | grep -q '^Directories 0, files 0'"
check "no control characters when not on a terminal" bash -c "! LC_ALL=C grep -q \$'[\x01-\x08\x0b-\x1f\x7f]' '$work/out'"

# A second interrupt ends the program at once.
"$corvio" /run:nowhere > "$work/out" 2> "$work/err" &
pid=$!
for _ in $(seq 50); do grep -q 'Retry Connect' "$work/out" && break; sleep 0.2; done
kill -INT "$pid"; sleep 0.3; kill -INT "$pid"
wait "$pid"; status=$?
check "a second interrupt exits 130 at once" [ "$status" -eq 130 ]

[ "$failures" -eq 0 ]
