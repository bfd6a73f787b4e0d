#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Drives the Win32 window (ferrox.exe) under Wine on a screen of its own
# (Xvfb, with openbox for a title bar when it is there), the way a user
# would: the sources on the command line, the destination typed into its
# field with xdotool, Enter pressed. Waits until the caption reads
# "100% - <last source>", checks the copy (the same names, bytes and
# modification times as the sources), saves a screenshot of the window,
# presses Escape and checks that the window closed and the program ended.
# Then a second window copies a large (sparse) file and is paused with Alt+P
# (the caption must say so), shown paused, continued with Alt+C and made to
# skip the file with Alt+K; the run's log file must end with the skip's
# lines and the partial copy must stay.
#
# Usage: scripts/wine-window.sh [BUILD_DIR [OUTPUT_PNG [PAUSED_PNG]]]
#   BUILD_DIR   the Windows build folder holding bin/ferrox.exe (default: build-mingw64)
#   OUTPUT_PNG  where the picture goes (default: docs/screenshot-windows.png)
#   PAUSED_PNG  where the picture of the paused copy goes (default: OUTPUT_PNG's name with -paused)
# Installs the packages it needs when missing (wine, xvfb, xdotool,
# imagemagick, openbox). Wine keeps its state in BUILD_DIR/wineprefix.
# Exits non-zero on any failure, after stopping everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-mingw64}
out=${2:-docs/screenshot-windows.png}
paused_out=${3:-${out%.png}-paused.png}
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

# Starts the window on the sources SOURCE... (its command line), as a user
# would start a copy: the destination DEST typed into its field, Enter
# pressed. Sets ferrox_pid and wid (the window); fails when no window opens.
StartCopy() {
  local dest=$1
  shift
  wine "$ferrox" "$@" >"$work/ferrox.log" 2>&1 &
  ferrox_pid=$!
  pids+=($ferrox_pid)
  wid=$(timeout 120 xdotool search --sync --onlyvisible --name '^Ferrox$' | head -1) || true
  [ -n "$wid" ] || fail "the window did not open"
  xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid" || true
  sleep 1
  # The focus starts in Source; Tab moves it to Destination.
  xdotool key --clearmodifiers Tab
  xdotool type --delay 15 "$dest"
  xdotool key --clearmodifiers Return
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
StartCopy "$wdst" "$wsrc_photos" "$wsrc_film"

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

# Pause, Continue and Skip File during a copy of a large (sparse) file.
big="$work/disk image.img"
truncate -s 8G "$big"
mkdir "$work/copies2"
cd "$work"
StartCopy "Z:$work/copies2" "Z:$big"
# Pause is enabled once the copy runs: once the caption shows some progress,
# Alt+P until it says paused.
for _ in $(seq 200); do
  [[ "$(xdotool getwindowname "$wid" 2>/dev/null)" =~ ^\ *[1-9][0-9]*%\  ]] && break
  sleep 0.05
done
caption=""
for _ in $(seq 50); do
  caption=$(xdotool getwindowname "$wid" 2>/dev/null || true)
  [[ "$caption" == "Paused - "* ]] && break
  xdotool key --clearmodifiers alt+p
  sleep 0.3
done
[[ "$caption" == "Paused - "* ]] || fail "the copy did not pause: the caption reads \"$caption\""
echo "caption: $caption"
sleep 0.5
cd - >/dev/null
import -window root -trim +repage "$paused_out"
echo "saved $paused_out"
xdotool key --clearmodifiers alt+c
for _ in $(seq 30); do [[ "$(xdotool getwindowname "$wid" 2>/dev/null)" == "Paused - "* ]] || break; sleep 0.1; done
[[ "$(xdotool getwindowname "$wid" 2>/dev/null)" != "Paused - "* ]] || fail "Continue did not continue the copy"
xdotool key --clearmodifiers alt+k
log=""
for _ in $(seq 200); do
  log=$(find "$WINEPREFIX/drive_c/users" -path '*/Ferrox/ferrox-*.log' -newer "$big" 2>/dev/null | head -1)
  [ -n "$log" ] && grep -q "1 file skipped by the user" "$log" && break
  sleep 0.1
done
[ -n "$log" ] || fail "the window wrote no log file"
grep -q "\"disk image.img\" skipped, its partial copy is kept" "$log" || fail "Skip File did not skip the file"
grep -q "1 file skipped by the user" "$log" || fail "the run did not end with the skip"
kept=$(stat -c %s "$work/copies2/disk image.img")
[ "$kept" -gt 0 ] && [ "$kept" -lt $((8 << 30)) ] || fail "the partial copy is not kept ($kept bytes)"
echo "paused, continued and skipped: the partial copy of $kept bytes is kept"
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid" || true
xdotool key --clearmodifiers Escape
for _ in $(seq 100); do
  kill -0 "$ferrox_pid" 2>/dev/null || break
  sleep 0.1
done
! kill -0 "$ferrox_pid" 2>/dev/null || fail "Escape did not close the second window"
