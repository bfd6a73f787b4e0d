#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Tries Ferrox against a share of its own: sets everything up, builds, starts
# a private Samba server on 127.0.0.1 (a free port, everything in a temporary
# folder, nothing system-wide changed), copies a folder from it with
# ferrox-cli, compares the copy with what the server holds, and then keeps
# the server up so that the window can copy from it too, until Enter is
# pressed. Needs root, for the server only: ferrox-cli and the window need no
# root and no mount.
#   scripts/demo-share.sh [--check] [FOLDER]
# FOLDER (default: a small sample tree with hidden files, blanks, non-ASCII
# names and an empty file) is copied as smb://127.0.0.1:PORT/share/NAME, its
# parent folder being served as the share "share" (so the server may be
# asked for everything beside it too). --check stops the server right
# after the comparison (for CI); so does a standard input that is no
# terminal.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
. scripts/lib/private-smbd.sh

check=0
if [ "${1:-}" = --check ]; then
  check=1
  shift
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "demo-share.sh: the private Samba server needs root (smbd serves files as their owners)" >&2
  exit 1
fi

scripts/setup.sh
scripts/build.sh build

work=$(mktemp -d /tmp/ferrox-share-XXXXXX)
trap 'PrivateSmbdStop; rm -rf "$work"' EXIT
mkdir -p "$work/share" "$work/copy"

# The sample tree: what a copy must keep that a careless one loses.
MakeSample() {
  local d=$1
  mkdir -p "$d/.git/refs" "$d/holiday 2024" "$d/empty folder" "$d/naïve café"
  printf 'ref: refs/heads/main\n' >"$d/.git/HEAD"
  printf 'hidden\n' >"$d/.hidden"
  : >"$d/empty file"
  head -c 3000000 /dev/urandom >"$d/holiday 2024/photo 1.jpg"
  printf 'Grüße aus Köln\n' >"$d/naïve café/postcard.txt"
  touch -d '2001-02-03 04:05:06' "$d/holiday 2024/photo 1.jpg" "$d/.hidden"
}

if [ $# -ge 1 ]; then
  # The chosen folder's parent is served, so that the folder is copied by its name.
  folder=$(cd "$1" && pwd)
  if [ "$folder" = / ]; then
    echo "demo-share.sh: choose a folder below /" >&2
    exit 1
  fi
  name=$(basename "$folder")
  served=$(dirname "$folder")
else
  name=sample
  served=$work/share
  MakeSample "$served/$name"
fi

if ! PrivateSmbdStart "$work" share "$served"; then
  echo "demo-share.sh: the private Samba server did not start:" >&2
  cat "$work/samba/log/out" >&2 2>/dev/null || true
  exit 1
fi
url=smb://127.0.0.1:$smbd_port/share/$name
echo "== a private Samba server serves $served as $url"
echo "== build/bin/ferrox-cli -d $work/copy $url"
status=0
build/bin/ferrox-cli -d "$work/copy" "$url" || status=$?
echo "== exit status $status"

if diff -r "$served/$name" "$work/copy/$name" >"$work/diff.txt" 2>&1; then
  echo "== the copy in $work/copy/$name is identical to what the server holds"
else
  echo "== differences between $served/$name and $work/copy/$name:"
  head -20 "$work/diff.txt"
  [ "$status" -ne 0 ] || status=1
fi
if [ "$status" -eq 0 ] && [ $# -eq 0 ]; then
  want=$(stat -c %Y "$served/$name/holiday 2024/photo 1.jpg")
  got=$(stat -c %Y "$work/copy/$name/holiday 2024/photo 1.jpg")
  if [ "$want" != "$got" ]; then
    echo "== the copy's modification time differs: $got, not $want"
    status=1
  fi
fi

if [ "$check" -eq 0 ] && [ -t 0 ]; then
  echo
  echo "The server stays up. Try the window on it:"
  echo "    $root/build/bin/ferrox $url"
  echo "(choose a destination and press Start), or ferrox-cli again:"
  echo "    $root/build/bin/ferrox-cli -d /tmp/my-copy $url"
  echo "Press Enter here to stop the server and remove its files."
  read -r _ || true
fi
exit "$status"
