#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the Win32 window (ferrox.exe) under Wine on a screen of its own
# (Xvfb, with openbox for a title bar when it is there), the way a user
# would: the sources on the command line, the destination typed into its
# field with xdotool, Enter pressed. Waits until the caption reads
# "100% - <last source>", checks the copy (the same names, bytes and
# modification times as the sources), saves a screenshot of the window,
# presses Escape and checks that the window closed and the program ended.
#
# Usage: scripts/wine-window.sh [BUILD_DIR [OUTPUT_PNG]]
#   BUILD_DIR   the Windows build folder holding bin/ferrox.exe (default: build-mingw64)
#   OUTPUT_PNG  where the picture goes (default: docs/screenshot-windows.png)
# Installs the packages it needs when missing (wine, xvfb, xdotool,
# imagemagick, openbox). Wine keeps its state in BUILD_DIR/wineprefix.
# Exits non-zero on any failure, after stopping everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-mingw64}
out=${2:-docs/screenshot-windows.png}
ferrox="$PWD/$build/bin/ferrox.exe"
[ -f "$ferrox" ] || { echo "no $ferrox: build it first (scripts/build-windows.sh)" >&2; exit 1; }
scripts/setup.sh wine wine64 xvfb xdotool imagemagick openbox

export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d "${TMPDIR:-/tmp}/ferrox-XXXXXX")
pids=()
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "wine-window: $*" >&2
  [ -s "$work/ferrox.log" ] && sed 's/^/  wine: /' "$work/ferrox.log" >&2
  exit 1
}

# A small share to copy from: a folder of photos and one film, with the
# times a camera would have left on them.
share="$work/nas"
mkdir -p "$share/holiday photos" "$work/copies"
for i in 1 2 3 4 5 6 7 8; do
  head -c $((250000 + i * 13000)) /dev/urandom >"$share/holiday photos/IMG_04$i.jpg"
  touch -d "2023-07-0$i 10:1$i:00" "$share/holiday photos/IMG_04$i.jpg"
done
head -c 12000000 /dev/urandom >"$share/concert.mkv"
touch -d '2022-11-05 21:30:00' "$share/concert.mkv"

# A screen of its own: Xvfb picks a free display number and writes it out.
Xvfb -displayfd 3 -screen 0 1100x760x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
fi

# The prefix is made once, before the window, so that the window's start is
# not the prefix's.
timeout 300 wine wineboot --init >/dev/null 2>&1 || fail "wineboot could not make $WINEPREFIX"
timeout 60 wineserver -w || true

# The paths as the window sees them: Wine's drive Z: is the root.
wsrc_photos="Z:$share/holiday photos"
wsrc_film="Z:$share/concert.mkv"
wdst="Z:$work/copies"

cd "$work"
wine "$ferrox" "$wsrc_photos" "$wsrc_film" >"$work/ferrox.log" 2>&1 &
ferrox_pid=$!
pids+=($ferrox_pid)
wid=$(timeout 120 xdotool search --sync --onlyvisible --name '^Ferrox$' | head -1) || true
[ -n "$wid" ] || fail "the window did not open"
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid" || true
sleep 1
# The focus starts in Source; Tab moves it to Destination.
xdotool key --clearmodifiers Tab
xdotool type --delay 15 "$wdst"
xdotool key --clearmodifiers Return

# The caption names the last source at 100% once the copy has finished.
done_caption="100% - $wsrc_film"
caption=""
for _ in $(seq 600); do
  caption=$(xdotool getwindowname "$wid" 2>/dev/null || true)
  [ "$caption" = "$done_caption" ] && break
  sleep 0.1
done
[ "$caption" = "$done_caption" ] || fail "the copy did not finish: the caption reads \"$caption\", not \"$done_caption\""
echo "caption: $caption"

listing() { (cd "$1" && find . -printf '%y\t%P\t%s\t%T@\n' | awk -F'\t' '$2 != "" { printf "%s\t%s\t%s\t%d\n", $1, $2, ($1 == "f" ? $3 : "-"), ($1 == "f" ? $4 : 0) }' | LC_ALL=C sort); }
# Wait until the files are closed and stamped: the caption comes a moment
# before the last time stamp.
for _ in $(seq 50); do
  diff <(listing "$share") <(listing "$work/copies") >/dev/null && break
  sleep 0.1
done
diff -r "$share" "$work/copies" >/dev/null || fail "the copy differs from the sources"
diff <(listing "$share") <(listing "$work/copies") >&2 || fail "the copy's names, sizes or modification times differ"
echo "identical: $(listing "$work/copies" | grep -c '^f') files, their names, bytes and modification times"
sleep 0.5

# The window with its frame: the screen with its black background trimmed.
cd - >/dev/null
mkdir -p "$(dirname "$out")"
import -window root -trim +repage "$out"
echo "saved $out"

# Escape is Exit: idle, the window closes and the program ends.
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid" || true
xdotool key --clearmodifiers Escape
for _ in $(seq 100); do
  kill -0 "$ferrox_pid" 2>/dev/null || break
  sleep 0.1
done
! kill -0 "$ferrox_pid" 2>/dev/null || fail "Escape did not close the window"
status=0
wait "$ferrox_pid" || status=$?
[ "$status" -eq 0 ] || fail "ferrox.exe ended with status $status"
[ -z "$(xdotool search --onlyvisible --name '^100% - ' 2>/dev/null || true)" ] || fail "the window is still shown"
echo "Escape closed the window"
