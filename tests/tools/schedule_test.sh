#!/usr/bin/env bash
# corvioctl schedule as a user drives it: the units it writes (checked by systemd-analyze
# verify), what it asks systemctl, with a fake systemctl on PATH that records its arguments,
# the crontab line without a user manager, and bad input that writes nothing.
#   schedule_test.sh CORVIOCTL
set -uo pipefail
ctl="$1"
corvio="$(cd "$(dirname "$ctl")" && pwd -P)/corvio"  # where corvioctl finds it
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
export XDG_DATA_HOME="$work/my data %h"  # a space and a systemd specifier: both must be quoted
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/bin"
chmod 700 "$XDG_RUNTIME_DIR"
units="$XDG_CONFIG_HOME/systemd/user"
service="$units/corvio-run-nightly.service"
timer="$units/corvio-run-nightly.timer"
failures=0
check() {  # check DESCRIPTION CONDITION...
  local what="$1"; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
has() { grep -qxF -- "$2" "$1"; }  # has FILE LINE

# The fake: "show-environment" answers whether a user manager runs, "enable" may be told to fail.
cat > "$work/bin/systemctl" <<'FAKE'
#!/bin/sh
echo "$*" >> "$FAKE_LOG"
[ "$2" = show-environment ] && exit "${FAKE_NO_MANAGER:-0}"
[ "$2" = enable ] && exit "${FAKE_ENABLE_FAILS:-0}"
exit 0
FAKE
chmod +x "$work/bin/systemctl"
export PATH="$work/bin:$PATH" FAKE_LOG="$work/systemctl.log"
: > "$FAKE_LOG"

echo secret | "$ctl" profile create --tag nightly --login a --password-stdin --include /tmp \
  > /dev/null || { echo "FAILED: profile create"; exit 1; }

# A weekly schedule with a user manager: both units written, the timer enabled.
"$ctl" schedule Nightly --weekly TUE 2:05 > "$work/out" 2> "$work/err"; status=$?
check "weekly schedule succeeds" [ "$status" -eq 0 ]
check "timer calendar" has "$timer" "OnCalendar=Tue *-*-* 02:05:00"
check "missed runs catch up" has "$timer" "Persistent=true"
check "random delay" has "$timer" "RandomizedDelaySec=5min"
check "timer is installed into timers.target" has "$timer" "WantedBy=timers.target"
check "oneshot service: the run's exit code is its result" has "$service" "Type=oneshot"
check "service runs the profile unattended" \
  has "$service" "ExecStart=\"$corvio\" /run:nightly /exitwhendone"
check "service never opens windows" \
  has "$service" "UnsetEnvironment=DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM"
check "data directory quoted, specifier escaped" \
  has "$service" "Environment=\"XDG_DATA_HOME=$work/my data %%h\""
check "systemctl calls" diff -u - "$FAKE_LOG" <<LOG
--user show-environment
--user daemon-reload
--user enable --now corvio-run-nightly.timer
LOG
check "says when it runs" grep -q 'profile nightly runs weekly Tue 02:05' "$work/out"
if command -v systemd-analyze > /dev/null; then
  check "systemd-analyze verify accepts the units" \
    systemd-analyze verify --user --man=no "$timer" "$service"
else
  check "systemd-analyze is installed (Debian package systemd)" false
fi
check "list" diff -u - <("$ctl" schedule list) <<< $'nightly\tTue *-*-* 02:05:00'

"$ctl" schedule nightly --help > "$work/out"; status=$?
check "help exits 0" [ "$status" -eq 0 ]
check "help prints the usage" grep -q '^usage: corvioctl schedule' "$work/out"

# Rescheduling replaces the timer; hourly and daily calendars.
"$ctl" schedule nightly --daily 23:59 > /dev/null
check "daily calendar replaces weekly" has "$timer" "OnCalendar=*-*-* 23:59:00"
"$ctl" schedule nightly --hourly > /dev/null
check "hourly calendar" has "$timer" "OnCalendar=hourly"
check "no temporary files left" [ "$(ls "$units" | wc -l)" -eq 2 ]

# Bad input is refused before anything is written or asked.
cp "$timer" "$work/timer.before"
: > "$FAKE_LOG"
bad=("nightly --daily 24:00" "nightly --daily 7" "nightly --daily 12:5" "nightly --daily 1x:00"
     "nightly --weekly Funday 02:00" "nightly --weekly Mon" "nightly --hourly 3" "nightly"
     "nightly --daily" "nightly --off now" "nightly --every 5" "--daily 02:00" "")
for args in "${bad[@]}"; do
  # shellcheck disable=SC2086
  "$ctl" schedule $args > /dev/null 2>&1; status=$?
  check "usage error: '$args'" [ "$status" -eq 2 ]
done
for tag in ../x a.b 'a b' missing "$(printf 't%.0s' {1..32})"; do
  "$ctl" schedule "$tag" --daily 02:00 > /dev/null 2>&1; status=$?
  check "refused tag: $tag" [ "$status" -ne 0 ]
done
check "nothing asked of systemctl" [ ! -s "$FAKE_LOG" ]
check "the timer is unchanged" cmp -s "$timer" "$work/timer.before"
check "no unit for a refused tag" [ "$(ls "$units" | wc -l)" -eq 2 ]

# systemctl refusing to enable is a failure.
FAKE_ENABLE_FAILS=1 "$ctl" schedule nightly --daily 03:00 > /dev/null 2>&1; status=$?
check "a failed enable fails" [ "$status" -eq 1 ]

# Without a user manager: the crontab line, and no enable.
: > "$FAKE_LOG"
FAKE_NO_MANAGER=1 "$ctl" schedule nightly --weekly sunday 04:30 > "$work/out"; status=$?
check "without a user manager it succeeds" [ "$status" -eq 0 ]
check "crontab line" \
  has "$work/out" "30 4 * * 0 XDG_DATA_HOME='$work/my data \\%h' '$corvio' /run:nightly /exitwhendone"
check "only asked whether a manager runs" diff -u - "$FAKE_LOG" <<< "--user show-environment"

# --off stops and removes; a second --off has nothing to remove.
: > "$FAKE_LOG"
"$ctl" schedule nightly --off > /dev/null; status=$?
check "--off succeeds" [ "$status" -eq 0 ]
check "--off removes both units" [ ! -e "$timer" ] && [ ! -e "$service" ]
check "--off disables the timer" grep -qxF -- "--user disable --now corvio-run-nightly.timer" "$FAKE_LOG"
"$ctl" schedule nightly --off > /dev/null 2> "$work/err"; status=$?
check "a second --off fails" [ "$status" -eq 1 ]
check "a second --off says why" grep -q 'profile nightly has no schedule' "$work/err"
check "list is empty" [ -z "$("$ctl" schedule list)" ]

[ "$failures" -eq 0 ]
