#!/usr/bin/env bash
# The bash completion of corvioctl against the built corvioctl: commands, options and the tags
# of the profiles there are. bash-completion's _init_completion and _filedir are stood in for.
#   completion_test.sh COMPLETION CORVIOCTL
set -uo pipefail
completion="$1"
ctl_dir="$(cd "$(dirname "$2")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" PATH="$ctl_dir:$PATH"
failures=0

_init_completion() {
  words=("${COMP_WORDS[@]}") cword=$COMP_CWORD cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]}
}
_filedir() { COMPREPLY=(FILES); }
# shellcheck source=/dev/null
source "$completion"

# completes "EXPECTED" WORDS...: the last word is the one being completed.
completes() {
  local expected="$1"; shift
  COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMPREPLY=()
  _corvioctl
  if [ "${COMPREPLY[*]}" = "$expected" ]; then
    echo "ok: '$*' completes to '$expected'"
  else
    echo "FAILED: '$*' completes to '${COMPREPLY[*]}', not '$expected'"
    failures=$((failures + 1))
  fi
}

for tag in nightly nas weekly; do
  echo pw | corvioctl profile create --tag "$tag" --login a --password-stdin > /dev/null
done
completes "schedule" corvioctl sch
completes "profile" corvioctl pro
completes "create edit show list delete --help" corvioctl profile ""
completes "nas nightly" corvioctl profile show n
completes "--json" corvioctl runs --j
completes "nas nightly" corvioctl runs n
completes "weekly" corvioctl log w
completes "--shadow-copy" corvioctl profile create --sh
completes "on off" corvioctl profile edit --shadow-copy ""
completes "nightly" corvioctl profile edit --tag ni
completes "" corvioctl profile create --tag ni
completes "FILES" corvioctl profile create --include ""
completes "list" corvioctl schedule l
completes "--daily --hourly --weekly --off" corvioctl schedule nightly ""
completes "Sat Sun" corvioctl schedule nightly --weekly S
completes "FILES" corvioctl trust-ca ""

[ "$failures" -eq 0 ]
