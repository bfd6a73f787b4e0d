#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every tracked C++ file (*.cpp, *.h) is formatted as
# .clang-format says, with Debian's clang-format 14. Prints each file that
# differs with the start of its diff and exits 1 if any does, 0 otherwise.
#   scripts/check-format.sh          check only
#   scripts/check-format.sh --fix    reformat the files in place
set -euo pipefail
cd "$(dirname "$0")/.."

fix=0
case "${1:-}" in
  "") ;;
  --fix) fix=1 ;;
  *) echo "usage: $0 [--fix]" >&2; exit 2 ;;
esac

scripts/setup.sh clang-format

# The tracked files that exist in the work tree (a file deleted but not yet
# committed is left out).
files=()
while IFS= read -r -d '' f; do
  if [ -f "$f" ]; then files+=("$f"); fi
done < <(git ls-files -z '*.cpp' '*.h')
if [ ${#files[@]} -eq 0 ]; then
  echo "no C++ files tracked"
  exit 0
fi

if [ "$fix" -eq 1 ]; then
  # clang-format rewrites only the files whose formatting changes.
  printf '%s\0' "${files[@]}" | xargs -0 clang-format -i --style=file
  echo "${#files[@]} C++ files formatted as .clang-format says"
  exit 0
fi

# One clang-format process formats copies of all the files in a scratch
# folder (one process per file would take half a minute); each copy is then
# compared with its original.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
printf '%s\0' "${files[@]}" | tar --null -T - -cf - | tar -xf - -C "$scratch"
git ls-files -z '.clang-format' '*/.clang-format' | tar --null -T - -cf - | tar -xf - -C "$scratch"
(cd "$scratch" && printf '%s\0' "${files[@]}" | xargs -0 clang-format -i --style=file)

differ=0
for f in "${files[@]}"; do
  if ! cmp -s "$f" "$scratch/$f"; then
    differ=$((differ + 1))
    echo "not formatted: $f"
    diff -u --label "$f" --label "$f (formatted)" "$f" "$scratch/$f" | head -n 20 | sed 's/^/    /' || true
  fi
done
if [ "$differ" -ne 0 ]; then
  echo "$differ of ${#files[@]} files differ from .clang-format; scripts/check-format.sh --fix reformats them"
  exit 1
fi
echo "all ${#files[@]} C++ files are formatted"
