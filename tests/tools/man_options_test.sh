#!/usr/bin/env bash
# Every option and command that a program's --help (and each of its commands' --help) lists
# appears in its man page.
#   man_options_test.sh MANDIR CORVIO CORVIOCTL CORVIO_SERVER
set -uo pipefail
man_dir="$1" corvio="$2" ctl="$3" server="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config"
failures=0

# The page as text: roff's \- and font changes undone.
page_text() { gzip -dc "$man_dir/$1.gz" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\&//g'; }

# check PAGE PROGRAM HELP_TEXT_FILE: the options (--x, /x) and the commands ("PROGRAM word" and
# "PROGRAM word word") of the help text are all in the page.
check() {
  local page="$1" program="$2" help="$3" word missing=0
  page_text "$page" > "$work/page"
  [ -s "$work/page" ] || { echo "FAILED: $page is empty"; failures=$((failures + 1)); return; }
  for word in $( (grep -oE -- '(^|[ [|])(--[a-z][a-z0-9-]*|/[a-z]+)' "$help" | tr -d ' [|'
                 grep -oE -- "$program( [a-z][a-z-]*){1,2}( |$)" "$help" | cut -d' ' -f2-3 |
                   tr ' ' '\n') | sort -u); do
    # Whole words: --login is not found inside --login-timeout.
    if ! grep -qE -- "(^|[^a-z0-9-])$word([^a-z0-9-]|\$)" "$work/page"; then
      echo "FAILED: $page lacks '$word' that '$program' lists"
      missing=1 failures=$((failures + 1))
    fi
  done
  [ "$missing" -eq 0 ] && echo "ok: $page names every option and command of $program"
}

# corvio: its one help text.
"$corvio" --help > "$work/help"
check corvio.1 corvio "$work/help"

# corvioctl: the main help, each command's, and each profile command's.
"$ctl" --help > "$work/help"
for command in $(grep -oE 'corvioctl [a-z][a-z-]*' "$work/help" | cut -d' ' -f2 | sort -u); do
  "$ctl" "$command" --help >> "$work/help"
done
for command in $("$ctl" profile --help | sed -n '/^commands:/,/^$/s/^  \([a-z]*\) .*/\1/p'); do
  "$ctl" profile "$command" --help >> "$work/help"
done
check corvioctl.1 corvioctl "$work/help"

# corvio-server: the main help and each command's.
"$server" --help > "$work/help"
for command in $(grep -oE '^  corvio-server [a-z][a-z-]*' "$work/help" | awk '{print $2}' | sort -u); do
  "$server" "$command" --help >> "$work/help"
done
check corvio-server.8 corvio-server "$work/help"

[ "$failures" -eq 0 ]
