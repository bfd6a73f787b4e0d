#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds ferrox-cli.exe (64-bit Windows) and copies a folder with it under
# Wine, then checks the copy: the same names, the same bytes and the same
# modification times (whole seconds) as the original.
#   scripts/wine-copy.sh            copies a sample tree it makes (names in
#                                   several scripts, blanks, a hidden file,
#                                   an empty file and folder, 3 MiB of data)
#   scripts/wine-copy.sh FOLDER     copies FOLDER
# Installs the toolchain and Wine first when they are missing. Wine keeps its
# state in build-mingw64/wineprefix; nothing outside the checkout changes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh g++-mingw-w64-x86-64-posix wine wine64
scripts/build.sh build-mingw64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DFERROX_BUILD_TESTS=OFF
export WINEPREFIX=$PWD/build-mingw64/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=${1:-}
if [ -z "$src" ]; then
  src=$work/sample
  mkdir -p "$src/docs/Ελληνικά" "$src/données" "$src/empty folder" "$src/.hidden"
  printf 'hello\n' >"$src/docs/readme.txt"
  printf 'γειά σου\n' >"$src/docs/Ελληνικά/κείμενο.txt"
  printf '日本語\n' >"$src/données/ファイル.txt"
  : >"$src/données/empty.bin"
  printf 'secret\n' >"$src/.hidden/.dotfile"
  head -c 3145728 /dev/urandom >"$src/data with blanks.bin"
  touch -d '2001-02-03 04:05:06' "$src/docs/readme.txt"
  touch -d '2019-12-31 23:59:58' "$src/data with blanks.bin"
fi
src=$(cd "$src" && pwd)
dst=$work/copy
mkdir "$dst"

echo "== ferrox-cli.exe under Wine: Z:$src -> Z:$dst"
wine build-mingw64/bin/ferrox-cli.exe -d "Z:$dst" "Z:$src"

copy=$dst/$(basename "$src")
listing() { (cd "$1" && find . -type f -printf '%P\t%s\t%T@\n' | awk -F'\t' '{ printf "%s\t%s\t%d\n", $1, $2, $3 }' | LC_ALL=C sort); }
if ! diff -r "$src" "$copy" >/dev/null || ! diff <(listing "$src") <(listing "$copy"); then
  echo "the copy differs from $src" >&2
  exit 1
fi
echo "identical: $(listing "$copy" | wc -l) files, their bytes and modification times"
