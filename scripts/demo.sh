#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up on a fresh Debian 12 machine, builds Ferrox and runs a
# real copy: a folder tree (default: the system's documentation folder) into
# a new temporary folder, then compares the copy with its source.
#   scripts/demo.sh [SOURCE_FOLDER [DESTINATION_FOLDER]]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DFERROX_BUILD_TESTS=OFF

src=${1:-/usr/share/doc}
dst=${2:-$(mktemp -d /tmp/ferrox-demo-XXXXXX)}
mkdir -p "$dst"
echo "== ferrox-cli -d $dst $src"
status=0
build/bin/ferrox-cli -d "$dst" "$src" || status=$?
echo "== exit status $status"

copy="$dst/$(basename "$src")"
if diff -r "$src" "$copy" >/tmp/ferrox-demo-diff.txt 2>&1; then
  echo "== the copy in $copy is identical to $src"
else
  echo "== differences between $src and $copy (links that lead nowhere are not copied):"
  head -20 /tmp/ferrox-demo-diff.txt
fi
exit "$status"
