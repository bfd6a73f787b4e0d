#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's screenshot of the window: starts ferrox under Xvfb (with
# openbox for a title bar, when it is there) on a small copy, the way a user
# would start one - the sources on the command line, the destination typed
# into its field with xdotool, Enter pressed - waits until the copy has
# finished and saves a PNG of the window. Then a second window copies a large
# file and is paused, shown paused (Continue and Skip File enabled),
# continued and made to skip the file, with the keys a user would press; the
# run's log file must end with the skip's lines.
#
# Usage: scripts/screenshot.sh [BUILD_DIR [OUTPUT_PNG [PAUSED_PNG]]]
#   BUILD_DIR   the build folder holding bin/ferrox (default: build)
#   OUTPUT_PNG  where the picture goes (default: docs/screenshot.png)
#   PAUSED_PNG  where the picture of the paused copy goes (default: OUTPUT_PNG's name with -paused)
# Installs the packages it needs (xvfb, xdotool, imagemagick, openbox) when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/screenshot.png}
paused_out=${3:-${out%.png}-paused.png}
ferrox="$PWD/$build/bin/ferrox"
[ -x "$ferrox" ] || { echo "no $ferrox: build it first (scripts/build.sh)" >&2; exit 1; }
scripts/setup.sh xvfb xdotool imagemagick openbox

work=$(mktemp -d "${TMPDIR:-/tmp}/ferrox-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a window on the sources SOURCE... (its command line), as a user
# would start a copy: the destination DEST typed into its field, Enter
# pressed. Sets wid (the window).
StartCopy() {
  local dest=$1
  shift
  "$ferrox" "$@" >>"$work/ferrox.log" 2>&1 &
  pids+=($!)
  wid=$(xdotool search --sync --onlyvisible --name '^Ferrox$' | head -1)
  xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
  sleep 0.5
  xdotool key --clearmodifiers Tab # from Source to Destination
  xdotool type --delay 15 "$dest"
  xdotool key --clearmodifiers Return
}

# A small share to copy from: a folder of photos and one film.
share="$work/nas"
mkdir -p "$share/holiday photos" "$work/copies"
for i in 1 2 3 4 5 6 7 8; do
  head -c $((250000 + i * 13000)) /dev/urandom >"$share/holiday photos/IMG_04$i.jpg"
done
head -c 12000000 /dev/urandom >"$share/concert.mkv"

# A screen of its own: Xvfb picks a free display number and writes it out.
Xvfb -displayfd 3 -screen 0 1100x760x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
export XDG_RUNTIME_DIR="$work/runtime"
export XDG_STATE_HOME="$work/state"
mkdir -m 700 "$XDG_RUNTIME_DIR"
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
fi

cd "$work"
StartCopy "$work/copies" "$share/holiday photos" "$share/concert.mkv"

# The caption names the last source at 100% once the copy has finished.
done_caption="100% - $share/concert.mkv"
for _ in $(seq 300); do
  [ "$(xdotool getwindowname "$wid")" = "$done_caption" ] && break
  sleep 0.1
done
[ "$(xdotool getwindowname "$wid")" = "$done_caption" ] || { echo "the copy did not finish" >&2; exit 1; }
cmp -s "$share/concert.mkv" "$work/copies/concert.mkv" || { echo "the copy differs" >&2; exit 1; }
sleep 0.5

# The window with its frame: the screen with its black background trimmed.
cd - >/dev/null
mkdir -p "$(dirname "$out")"
import -window root -trim +repage "$out"
echo "saved $out"

# Escape is Exit: the idle window closes.
xdotool windowactivate --sync "$wid" 2>/dev/null || xdotool windowfocus --sync "$wid"
xdotool key --clearmodifiers Escape
for _ in $(seq 50); do xdotool search --onlyvisible --name "^$done_caption\$" >/dev/null 2>&1 || break; sleep 0.1; done

# Pause, Continue and Skip File during a copy of a large (sparse) file.
big="$work/disk image.img"
truncate -s 8G "$big"
mkdir "$work/copies2"
cd "$work"
StartCopy "$work/copies2" "$big"
# Pause is enabled once the copy runs: once the caption shows some progress,
# Alt+P until it says paused.
for _ in $(seq 100); do
  [[ "$(xdotool getwindowname "$wid")" =~ ^\ *[1-9][0-9]*%\  ]] && break
  sleep 0.05
done
caption=""
for _ in $(seq 50); do
  caption=$(xdotool getwindowname "$wid")
  [[ "$caption" == "Paused - "* ]] && break
  xdotool key --clearmodifiers alt+p
  sleep 0.3
done
[[ "$caption" == "Paused - "* ]] || { echo "the copy did not pause: the caption reads \"$caption\"" >&2; exit 1; }
sleep 0.5
cd - >/dev/null
import -window root -trim +repage "$paused_out"
echo "saved $paused_out"
xdotool key --clearmodifiers alt+c
for _ in $(seq 30); do [[ "$(xdotool getwindowname "$wid")" == "Paused - "* ]] || break; sleep 0.1; done
[[ "$(xdotool getwindowname "$wid")" != "Paused - "* ]] || { echo "Continue did not continue the copy" >&2; exit 1; }
xdotool key --clearmodifiers alt+k
log=""
for _ in $(seq 100); do
  log=$(find "$XDG_STATE_HOME/ferrox" -name 'ferrox-*.log' -newer "$big" 2>/dev/null | head -1)
  [ -n "$log" ] && grep -q "1 file skipped by the user" "$log" && break
  sleep 0.1
done
grep -q "\"disk image.img\" skipped, its partial copy is kept" "$log" || { echo "Skip File did not skip the file" >&2; exit 1; }
grep -q "1 file skipped by the user" "$log" || { echo "the run did not end with the skip" >&2; exit 1; }
kept=$(stat -c %s "$work/copies2/disk image.img")
[ "$kept" -gt 0 ] && [ "$kept" -lt $((8 << 30)) ] || { echo "the partial copy is not kept ($kept bytes)" >&2; exit 1; }
echo "paused, continued and skipped: the partial copy of $kept bytes is kept"
