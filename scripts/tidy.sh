#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs clang-tidy (Debian's clang-tidy 14) with the checks of .clang-tidy
# over the project's .cpp files of the Linux build, two at a time, prints
# what it finds and exits 1 on any warning.
#   scripts/tidy.sh [BUILD_DIR]              the files changed since HEAD~1:
#                                            the last commit's, and any not
#                                            yet committed
#   scripts/tidy.sh --base REV [BUILD_DIR]   the files changed since REV
#   scripts/tidy.sh --all [BUILD_DIR]        every file
# A changed header brings in every .cpp file that includes it, directly or
# through other headers.
#
# The files and their flags come from the compile database of BUILD_DIR
# (default: build, which scripts/run-tests.sh leaves); a folder without one
# is configured here. Configuring is enough: the files checked include no
# generated header (the Qt window has no moc step, and the source that
# rcc makes of its icons is not checked). The Windows-only files
# (platform/windows, win/, cli/*Windows*, tests/Win*) are not in the Linux
# database and are not checked; neither are fuzz/ and bench/, which the
# default build leaves out.
#
# The whole tree (--all) takes about 5 minutes on 2 cores (10 minutes of
# CPU time: every file parses Qt's or GoogleTest's headers), more than the
# 3 minutes CI gives it, so CI runs the default: the files of the commit it
# tests. A commit of a few .cpp files takes seconds; one that changes
# headers that many files include, about a minute.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: $0 [--all | --base REV] [BUILD_DIR]" >&2
  exit 2
}

mode=changed
base=HEAD~1
base_given=0
build=build
while [ $# -gt 0 ]; do
  case "$1" in
    --all) mode=all ;;
    --base)
      [ $# -ge 2 ] || usage
      base=$2
      base_given=1
      shift
      ;;
    --base=*)
      base=${1#--base=}
      base_given=1
      ;;
    -*) usage ;;
    *) build=$1 ;;
  esac
  shift
done

scripts/setup.sh clang-tidy

if [ ! -f "$build/compile_commands.json" ]; then
  echo "configuring $build for its compile database"
  cmake -S . -B "$build" -G Ninja -DFERROX_BUILD_TESTS=ON >/dev/null
fi

if [ "$mode" = changed ] && ! git rev-parse -q --verify "$base^{commit}" >/dev/null; then
  if [ "$base_given" -eq 1 ]; then
    echo "no commit $base" >&2
    exit 2
  fi
  echo "no commit $base (a first commit or a shallow clone): checking every file"
  mode=all
fi

changed=""
if [ "$mode" = changed ]; then
  changed=$({
    git diff --name-only --diff-filter=d "$base" --
    git ls-files --others --exclude-standard
  } | sort -u)
fi

# The database's entries to check, one a line: every project .cpp file it
# holds, or those among them that a changed file is or is included in.
files=()
while IFS= read -r f; do files+=("$f"); done < <(
  FERROX_TIDY_MODE=$mode FERROX_TIDY_CHANGED=$changed python3 - "$build/compile_commands.json" <<'EOF'
import json, os, re, subprocess, sys

root = os.path.realpath(".")
folders = ("engine", "platform", "frontend", "cli", "ui", "tests")
windows_only = re.compile(r"^(platform/windows/|win/|cli/[^/]*Windows|tests/Win)")

with open(sys.argv[1]) as db_file:
    db = json.load(db_file)
entries = {}  # repository-relative path -> the database's own name for it
for entry in db:
    name = os.path.join(entry.get("directory", ""), entry["file"])
    rel = os.path.relpath(os.path.realpath(name), root)
    if (rel.endswith(".cpp") and rel.split("/")[0] in folders and not windows_only.match(rel)
            and os.path.isfile(rel)):
        entries.setdefault(rel, name)

if os.environ["FERROX_TIDY_MODE"] == "all":
    chosen = set(entries)
else:
    changed = {c for c in os.environ["FERROX_TIDY_CHANGED"].splitlines() if c.endswith((".cpp", ".h"))}
    # Who includes whom among the C++ files, tracked or new: an include names
    # its file from the repository's root, or else from the includer's folder.
    listed = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard", "*.cpp", "*.h"],
                            check=True, capture_output=True, text=True).stdout.split()
    known = {f for f in listed if os.path.isfile(f)}
    includers = {}
    include = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
    for f in known:
        with open(f, encoding="utf-8", errors="replace") as source:
            for target in include.findall(source.read()):
                for candidate in (target, os.path.normpath(os.path.join(os.path.dirname(f), target))):
                    if candidate in known:
                        includers.setdefault(candidate, set()).add(f)
                        break
    reached, todo = set(), [c for c in changed if c in known]
    while todo:
        f = todo.pop()
        if f not in reached:
            reached.add(f)
            todo.extend(includers.get(f, ()))
    chosen = reached & set(entries)

for rel in sorted(chosen):
    print(entries[rel])
EOF
)

if [ ${#files[@]} -eq 0 ]; then
  if [ "$mode" = all ]; then
    echo "clang-tidy: no project file in $build/compile_commands.json" >&2
    exit 1
  fi
  echo "clang-tidy: no file of the Linux build changed since $base"
  exit 0
fi
count="${#files[@]} file"
[ ${#files[@]} -eq 1 ] || count+=s
if [ "$mode" = all ]; then
  echo "clang-tidy: $count"
else
  echo "clang-tidy: $count changed since $base or including a changed header"
fi

# Each file's output goes to a log of its own, kept when clang-tidy fails,
# so that the two runs at a time do not mix their lines. -Wno-error: the
# compiler's warnings are the build's business (-Werror there), and those
# clang has but GCC does not must not turn into errors here.
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
export FERROX_TIDY_BUILD=$build FERROX_TIDY_LOGS=$logs
start=$SECONDS
printf '%s\0' "${files[@]}" | xargs -0 -n1 -P2 bash -c '
  log="$FERROX_TIDY_LOGS/$(printf "%s" "$1" | tr "/" "_").log"
  if ! clang-tidy -p "$FERROX_TIDY_BUILD" --quiet --extra-arg=-Wno-error "$1" >"$log" 2>&1; then
    mv "$log" "$log.failed"
  fi
' _
failed=0
for log in "$logs"/*.failed; do
  [ -e "$log" ] || continue
  failed=$((failed + 1))
  grep -v -E '^[0-9]+ (warnings?|errors?)( and [0-9]+ (warnings?|errors?))? generated\.$' "$log" || true
done
elapsed=$((SECONDS - start))
if [ "$failed" -ne 0 ]; then
  echo "clang-tidy: warnings in $failed of $count (${elapsed} s)"
  exit 1
fi
echo "clang-tidy: $count clean (${elapsed} s)"
