#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the bash completion of ferrox-cli (the script given as $1) as bash
# would when Tab is pressed, in a folder of its own with a file, a folder and
# a file whose name begins with a dash, and compares what it offers. Exits 77
# (skipped) without bash-completion.
set -u
completion=$1
framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
  echo "skipped: $framework is missing (Debian package bash-completion)"
  exit 77
fi
# shellcheck source=/dev/null
. "$framework"
# shellcheck source=/dev/null
. "$completion"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
mkdir folder
: >file.txt
: >./-dash.txt

failures=0

# Completes the last of the words given, as typed after "ferrox-cli ", and
# compares the sorted offers with the expected ones (one argument, blanks
# between).
expect() {
  local expected=$1
  shift
  COMP_WORDS=(ferrox-cli "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="${COMP_WORDS[*]}"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _ferrox_cli ferrox-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}" 2>/dev/null
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$got" = "$expected" ]; then
    echo "ok: ferrox-cli $* -> $got"
  else
    echo "FAILED: ferrox-cli $*: expected \"$expected\", got \"$got\""
    failures=$((failures + 1))
  fi
}

expect "--check --check-cycles" --che
expect "--credentials" --cr
expect "-U" -U
expect "--dest" --de
expect "folder" -d ""
expect "folder" --dest ""
expect "folder" --dest=
expect "file.txt folder" --log f
expect "file.txt folder" --credentials f
expect "file.txt" --log=fi
expect "" --buffer-size ""
expect "--connections" --con
expect "" --connections ""
expect "" --user ""
expect "-dash.txt file.txt folder" -d folder ""
expect "file.txt folder" -d folder src f
expect "-dash.txt" -- -
expect "-dash.txt" -d folder -- src -

if [ $failures -ne 0 ]; then
  echo "$failures completion(s) wrong"
  exit 1
fi
