#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures Ferrox against the tools users would pick instead, side by side in one run: builds a
# release ferrox-cli (and the CRC benchmark), makes its own data in a temporary folder, and prints
# a table of medians and ratios, each against its peer measured in the same run.
#
#   bench/run.sh                          full sizes, about 10 minutes on 2 cores
#   FERROX_BENCH_QUICK=1 bench/run.sh     small sizes, to try it out (about a minute)
#
# Settings (environment):
#   FERROX_BENCH_QUICK=1    small sizes and fewer runs
#   FERROX_BENCH_DIR=DIR    where the temporary data folder is made (default $TMPDIR or /tmp)
#   FERROX_BENCH_BUILD=DIR  the release build folder (default build-bench in the checkout)
#   FERROX_BENCH_JOBS=N     build jobs (default: the number of cores)
#   FERROX_BENCH_RUNS=N     timed runs per command (default 10, quick 3), after one warm-up
#   FERROX_BENCH_SKIP_SETUP=1  do not install missing Debian packages
#   FERROX_BENCH_ONLY="ROW..."  only these rows: StartRow BigFileRow SmallFilesRow WindowRow CheckRow
#                               CrcRow MemoryRow SmbRows DelayRow DelayFilesRow LinkRows (SmbRows and
#                               LinkRows need a private smbd: package samba; DelayRow and DelayFilesRow
#                               a FUSE source: libfuse3-dev and /dev/fuse)
#   FERROX_BENCH_LINK_RUNS=N    timed runs per command in LinkRows (default 3, quick 1)
#   FERROX_BENCH_LINK_PARTS="PART..."  only these parts of LinkRows: files (the small files, and
#                               the requests counted), big (the long file), check (its check after
#                               copy, which takes the big part's time as its peer), rclone (rclone
#                               as a peer in the first two); default all four
#   FERROX_BENCH_BEFORE=PATH    DelayRow also times the check of this ferrox-cli (an earlier build),
#                               StartRow its start
#
# Copies of many files go each into a new, empty destination folder, and every destination is
# deleted only when the script ends: on an ext4 file system without a journal (as on the machine
# the table was made on) the kernel skips inodes freed in the last 5 to 300 seconds when it
# allocates new ones, so creating 10,000 files right after deleting 10,000 gets slower with every
# run (cp -r went from 0.36 s to 16 s in ten rounds) and would measure the file system, not the
# copier. The 1 GiB destination is deleted before each run (one inode).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=../scripts/lib/private-smbd.sh
. "$root/scripts/lib/private-smbd.sh"
quick=${FERROX_BENCH_QUICK:-0}
build=${FERROX_BENCH_BUILD:-$root/build-bench}
jobs=${FERROX_BENCH_JOBS:-$(nproc)}

if [ "$quick" = 1 ]; then
  big_mib=64 small_folders=10 tree_folders=100 runs=${FERROX_BENCH_RUNS:-3} check_runs=1
  link_mib=32 link_folders=4 link_runs=${FERROX_BENCH_LINK_RUNS:-1}
else
  big_mib=1024 small_folders=100 tree_folders=1000 runs=${FERROX_BENCH_RUNS:-10} check_runs=3
  link_mib=256 link_folders=20 link_runs=${FERROX_BENCH_LINK_RUNS:-3}
fi
small_per_folder=100
tree_files_per_folder=99  # with its folder, 100 entries per folder
tree_entries=$((tree_folders * (tree_files_per_folder + 1)))
small_files=$((small_folders * small_per_folder))
link_per_folder=$((quick == 1 ? 25 : 50))
delay_files=$((quick == 1 ? 100 : 1000))
link_files=$((link_folders * link_per_folder))
memory_runs=3

say() { printf '%s\n' "$*" >&2; }

# ---- packages ------------------------------------------------------------------------------------

# Installs the Debian packages the build and the measurements need, when they are missing.
InstallPackages() {
  [ "${FERROX_BENCH_SKIP_SETUP:-0}" = 1 ] && return 0
  "$root/scripts/setup.sh"
  local wanted=(hyperfine time rsync zlib1g-dev libbenchmark-dev samba smbclient rclone libfuse3-dev fuse3) missing=() p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing: ${missing[*]}"
  local sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# ---- build -----------------------------------------------------------------------------------------

# Returns 0 when the driver of the window is there: bench/window_bench.cpp, which gives the window
# its sources and destination, presses Start and quits once the window is back to idle.
WindowDriveDocumented() {
  [ -f "$root/bench/window_bench.cpp" ]
}

# Builds the release programs into $build.
Build() {
  say "building the release programs in $build ..."
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DFERROX_BUILD_TESTS=OFF \
    -DFERROX_BUILD_BENCH=ON >/dev/null
  local targets=(ferrox-cli)
  cmake --build "$build" --target help | grep -q '^crc_bench' && targets+=(crc_bench)
  cmake --build "$build" --target help | grep -q '^delay_fs' && targets+=(delay_fs)
  cmake --build "$build" --target help | grep -q '^latency_relay' && targets+=(latency_relay)
  cmake --build "$build" -j"$jobs" --target "${targets[@]}" >/dev/null
  window_built=0
  if WindowDriveDocumented && cmake --build "$build" --target help | grep -q '^window_bench' &&
    cmake --build "$build" -j"$jobs" --target window_bench >/dev/null 2>&1; then
    window_built=1
  fi
}

# ---- data ------------------------------------------------------------------------------------------

# Makes the source data in $work: big.bin (random bytes), small/ (4 KiB random files in folders),
# tree/ (empty files in folders) and one/ (a folder with one empty file).
MakeData() {
  say "making the data in $work ..."
  head -c $((big_mib << 20)) /dev/urandom >"$work/big.bin"
  mkdir "$work/small" "$work/tree" "$work/one"
  local d
  for d in $(seq -w 0 $((small_folders - 1))); do
    mkdir "$work/small/d$d"
    head -c $((small_per_folder * 4096)) /dev/urandom | split -b 4096 -a 2 -d - "$work/small/d$d/f"
  done
  for d in $(seq -w 0 $((tree_folders - 1))); do
    mkdir "$work/tree/d$d"
    (cd "$work/tree/d$d" && touch $(seq -f 'e%02g' 0 $((tree_files_per_folder - 1))))
  done
  touch "$work/one/only"
  mkdir "$work/runs"
}

# ---- measuring ------------------------------------------------------------------------------------

# Times the commands given (name=command pairs after the prepare command, the number of runs and
# the warm-up mode) and stores each median in seconds in median[name]. The commands take turns:
# each round runs every one of them (hyperfine, prepare before each run), starting with a
# different one each round, so that a slow spell of the machine falls on all of them alike.
# Warm-up mode "turn" runs each command once untimed right before its timed run: on this virtual
# machine a copy that follows a different program sometimes gets memory the host must first hand
# back, which can triple its time, so every timed run follows a run of its own command. Mode
# "round" has one untimed round first. Every command runs through sh -c, so each pays the same
# shell start.
declare -A median
Time() {
  local prepare=$1 count=$2 warm=$3
  shift 3
  local names=() commands=() pair
  for pair in "$@"; do
    names+=("${pair%%=*}")
    commands+=("${pair#*=}")
  done
  local k=${#names[@]} csv=$work/hyperfine.csv round i value
  local -A times=()
  local first=0 warmup=0
  if [ "$warm" = turn ]; then first=1 warmup=1; fi
  for round in $(seq "$first" "$count"); do
    local order=() turn=()
    for ((i = 0; i < k; i++)); do
      order+=($(((i + round) % k)))
      turn+=("${commands[${order[$i]}]}")
    done
    hyperfine -N --style none --warmup "$warmup" --runs 1 --prepare "sh -c '$prepare'" --export-csv "$csv" \
      "${turn[@]}" \
      >/dev/null 2>"$work/hyperfine.err" || {
      cat "$work/hyperfine.err" >&2
      return 1
    }
    [ "$round" -eq 0 ] && continue
    # The last seven fields are mean, stddev, median, user, system, min and max.
    i=0
    while read -r value; do
      times[${names[${order[$i]}]}]+=" $value"
      i=$((i + 1))
    done < <(tail -n +2 "$csv" | awk -F, '{ print $(NF - 4) }')
  done
  local name
  for name in "${names[@]}"; do
    # shellcheck disable=SC2086
    median[$name]=$(Median ${times[$name]})
  done
}

# Prints the read system calls (read, pread64, readv, preadv: the syscr count of /proc/PID/io) of
# the command given, less those of starting a program that reads nothing. A shell's count takes
# in that of each child it has waited for, so the shell reads its own count before and after.
CountReads() {
  bash -c '
    Syscr() {
      local key value
      while read -r key value; do [ "$key" = syscr: ] && echo "$value"; done </proc/$$/io
    }
    before=$(Syscr); "$@" >/dev/null 2>&1; after=$(Syscr); idle=$(Syscr); /bin/true; last=$(Syscr)
    echo $(( (after - before) - (last - idle) ))' count "$@"
}

# Prints a/b with two decimals.
Ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Prints seconds as milliseconds (with a decimal below 10 ms), or as seconds from 10 s on.
Shown() {
  awk -v s="$1" 'BEGIN { if (s >= 10) printf "%.1f s", s; else if (s < 0.01) printf "%.1f ms", s * 1000;
    else printf "%.0f ms", s * 1000 }'
}

# Prints "met" when value compares to limit as op (le or ge) says, else "missed".
Verdict() {
  awk -v v="$1" -v l="$2" -v op="$3" \
    'BEGIN { ok = op == "le" ? v <= l : v >= l; print ok ? "met" : "missed" }'
}

rows=()
Row() { rows+=("| $1 | $2 | $3 | $4 | $5 |"); }

# The start of ferrox-cli: --version, and a run over one small local file whose complete copy is
# in the destination already (it lists, compares and ends), against cp of the same file. Samba's
# client library is loaded only with a share path, so neither run loads it. These commands run
# without a shell, its start would be most of their time, and five times as many rounds as the
# other rows. FERROX_BENCH_BEFORE=PATH adds the same two runs of another ferrox-cli (an earlier
# build) to the row.
StartRow() {
  say "0: the start, --version and one small local file ..."
  local src=$work/start.txt dst=$work/startdst
  head -c 100 /dev/urandom >"$src"
  mkdir -p "$dst"
  "$cli" -d "$dst" "$src" >/dev/null
  local commands=("version=$cli --version" "ferrox=$cli -d $dst $src" "cp=cp $src $dst/cp.txt")
  [ -n "${FERROX_BENCH_BEFORE:-}" ] &&
    commands+=("beforeversion=$FERROX_BENCH_BEFORE --version" "before=$FERROX_BENCH_BEFORE -d $dst $src")
  Time "true" "$((runs * 5))" turn "${commands[@]}"
  Row "start: ferrox-cli --version" "ferrox-cli $(Shown "${median[version]}")" "cp $(Shown "${median[cp]}")" \
    "$(Ratio "${median[version]}" "${median[cp]}")" "at most 5 ms: $(Verdict "${median[version]}" 0.005 le)"
  [ -n "${FERROX_BENCH_BEFORE:-}" ] &&
    Row "" "before: $(Shown "${median[beforeversion]}")" "" \
      "$(Ratio "${median[beforeversion]}" "${median[cp]}")" ""
  Row "one small local file, its copy complete" "ferrox-cli $(Shown "${median[ferrox]}")" \
    "cp $(Shown "${median[cp]}")" "$(Ratio "${median[ferrox]}" "${median[cp]}")" \
    "at most 5 ms: $(Verdict "${median[ferrox]}" 0.005 le)"
  [ -n "${FERROX_BENCH_BEFORE:-}" ] &&
    Row "" "before: $(Shown "${median[before]}")" "" "$(Ratio "${median[before]}" "${median[cp]}")" ""
  return 0
}

BigFileRow() {
  say "1: ${big_mib} MiB from the page cache ..."
  local big=$work/big.bin dst=$work/bigdst
  local prepare="rm -rf $dst && mkdir $dst && cat $big >/dev/null && sync"
  Time "$prepare" "$runs" turn \
    "ferrox=sh -c '$cli -d $dst $big >/dev/null'" \
    "cat=sh -c 'cat $big > $dst/big.bin'" \
    "dd=sh -c 'dd if=$big of=$dst/big.bin bs=1M status=none'" \
    "cp=sh -c 'cp $big $dst/'" \
    "rsync=sh -c 'rsync --whole-file $big $dst/'"
  local r
  r=$(Ratio "${median[ferrox]}" "${median[cat]}")
  Row "${big_mib} MiB file, page cache to a new file" "ferrox-cli $(Shown "${median[ferrox]}")" \
    "cat SRC > DST $(Shown "${median[cat]}")" "$r" "at most 1.25: $(Verdict "$r" 1.25 le)"
  Row "" "" "dd bs=1M $(Shown "${median[dd]}")" "$(Ratio "${median[ferrox]}" "${median[dd]}")" ""
  Row "" "" "cp $(Shown "${median[cp]}")" "$(Ratio "${median[ferrox]}" "${median[cp]}")" ""
  Row "" "" "rsync --whole-file $(Shown "${median[rsync]}")" \
    "$(Ratio "${median[ferrox]}" "${median[rsync]}")" ""
  big_copy=${median[ferrox]}
  rm -rf "$dst"
}

SmallFilesRow() {
  say "2: $small_files files of 4 KiB ..."
  local small=$work/small
  Time "$fresh" "$runs" turn \
    "ferrox=sh -c '$cli -d $work/cur $small >/dev/null'" \
    "cp=sh -c 'cp -r $small $work/cur/'" \
    "rsync=sh -c 'rsync -a $small $work/cur/'"
  local r
  r=$(Ratio "${median[ferrox]}" "${median[cp]}")
  Row "$small_files files of 4 KiB in $small_folders folders" "ferrox-cli $(Shown "${median[ferrox]}")" \
    "cp -r $(Shown "${median[cp]}")" "$r" "at most 2: $(Verdict "$r" 2 le)"
  Row "" "" "rsync -a $(Shown "${median[rsync]}")" "$(Ratio "${median[ferrox]}" "${median[rsync]}")" ""
  small_cli=${median[ferrox]}
}

# The window on the offscreen platform, driven by window_bench as its tests drive it: the small
# tree as its sources, the destination typed in, Start pressed, and the process ends once the
# window is back to idle. Its time includes starting Qt. Skipped while the driver is missing.
WindowRow() {
  local window=$build/bin/window_bench
  if [ "$window_built" != 1 ] || [ ! -x "$window" ]; then
    local why="no driver for the window yet (bench/window_bench.cpp)"
    WindowDriveDocumented && why="the window or its driver does not build"
    Row "the window, $small_files files" "skipped: $why" "" "" "at most 1.5"
    return
  fi
  say "3: the window, $small_files files ..."
  local small=$work/small
  Time "$fresh" "$runs" turn \
    "window=sh -c 'QT_QPA_PLATFORM=offscreen $window $work/cur $small >/dev/null 2>&1'" \
    "ferrox=sh -c '$cli -d $work/cur $small >/dev/null'"
  local r
  r=$(Ratio "${median[window]}" "${median[ferrox]}")
  Row "the window, $small_files files" "ferrox window $(Shown "${median[window]}")" \
    "ferrox-cli $(Shown "${median[ferrox]}")" "$r" "at most 1.5: $(Verdict "$r" 1.5 le)"
}

CheckRow() {
  say "4: ${big_mib} MiB with check after copy (one check cycle) ..."
  local big=$work/big.bin dst=$work/bigdst
  local prepare="rm -rf $dst && mkdir $dst && cat $big >/dev/null && sync"
  Time "$prepare" "$check_runs" round \
    "check=sh -c '$cli -c --check-cycles 1 -d $dst $big >/dev/null'" \
    "plain=sh -c '$cli -d $dst $big >/dev/null'"
  local pages=$(((big_mib << 20) / 4096)) checked plain
  if [ -r /proc/self/io ]; then
    eval "$prepare"
    checked=$(CountReads "$cli" -c --check-cycles 1 -d "$dst" "$big")
    eval "$prepare"
    plain=$(CountReads "$cli" -d "$dst" "$big")
    checked=$(awk -v n="$checked" -v p="$pages" 'BEGIN { printf "%.4f", n / p }')
    plain=$(awk -v n="$plain" -v p="$pages" 'BEGIN { printf "%.4f", n / p }')
  else
    checked=n/a plain=n/a
  fi
  local check=${median[check]} warm=${median[plain]} r
  r=$(Ratio "$check" "$warm")
  Row "${big_mib} MiB, check after copy, one cycle" \
    "ferrox-cli -c $(Shown "$check"), $checked reads per page" \
    "ferrox-cli $(Shown "$warm"), $plain reads per page" "$r" \
    "at most 5: $(Verdict "$r" 5 le); at most 2 reads per page: $([ "$checked" = n/a ] && echo n/a || Verdict "$checked" 2 le)"
  # The same plain copy with the source read from the disk, as the check's readings are: its cache
  # is dropped before each run (dd's nocache, this file only).
  Time "rm -rf $dst && mkdir $dst && dd if=$big iflag=nocache count=0 status=none && sync" "$check_runs" round \
    "cold=sh -c '$cli -d $dst $big >/dev/null'"
  r=$(Ratio "$check" "${median[cold]}")
  Row "" "" "ferrox-cli, source not cached $(Shown "${median[cold]}")" "$r" "at most 5: $(Verdict "$r" 5 le)"
  rm -rf "$dst"
}

CrcRow() {
  local bench=$build/bin/crc_bench
  if [ ! -x "$bench" ]; then
    Row "CRC-32 of 1 MiB" "skipped: crc_bench not built (needs libbenchmark-dev, zlib1g-dev)" "" "" \
      "at least 3"
    return
  fi
  say "5: CRC-32 ..."
  local out=$work/crc.csv agree
  "$bench" --benchmark_filter='^BM_(CrcUpdate|Zlib)/1048576$' --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_format=csv >"$out" 2>/dev/null || true
  agree=$(grep -c 'all implementations agree with zlib' "$out" || true)
  local ours theirs
  ours=$(awk -F, '/BM_CrcUpdate\/1048576_median/ { print $6 }' "$out")
  theirs=$(awk -F, '/BM_Zlib\/1048576_median/ { print $6 }' "$out")
  local gbs='BEGIN { printf "%.1f GB/s", v / 1e9 }'
  local r
  r=$(Ratio "$ours" "$theirs")
  local verdict
  verdict=$(Verdict "$r" 3 ge)
  [ "$agree" = 1 ] || verdict="missed (results differ)"
  Row "CRC-32 of 1 MiB" "CrcUpdate $(awk -v v="$ours" "$gbs")" "zlib crc32 $(awk -v v="$theirs" "$gbs")" \
    "$r" "at least 3, identical results: $verdict"
}

# ---- SMB on loopback -------------------------------------------------------------------------------

# Starts a private smbd on 127.0.0.1 serving $work as the share "bench" to guests, with its
# configuration and state in $work/samba, on a free port (smb_port). Returns 1 when smbd is missing.
StartSmbd() {
  PrivateSmbdStart "$work" bench "$work" || return 1
  smb_port=$smbd_port
}

SmbRows() {
  if ! StartSmbd; then
    Row "${big_mib} MiB over SMB on loopback" "skipped: no private smbd (Debian package samba)" "" "" \
      "no slower than smbclient"
    return
  fi
  say "7: ${big_mib} MiB over SMB on loopback ..."
  # The copies go to memory (/dev/shm) where it can be had: the row measures the transfer, and the
  # disk's writeback of the copy before made the times of either program vary twofold here.
  local url=smb://127.0.0.1:$smb_port/bench/big.bin dst=$work/smbdst
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    dst=$(mktemp -d /dev/shm/ferrox-bench-smb.XXXXXX)
    smb_dst=$dst
  fi
  local prepare="rm -rf $dst && mkdir $dst && cat $work/big.bin >/dev/null && sync"
  Time "$prepare" "$runs" turn \
    "ferrox=sh -c '$cli -d $dst $url >/dev/null'" \
    "smbclient=sh -c 'smbclient //127.0.0.1/bench -p $smb_port -N -c \"get big.bin $dst/big.bin\" >/dev/null 2>&1'"
  local r
  r=$(Ratio "${median[ferrox]}" "${median[smbclient]}")
  Row "${big_mib} MiB over SMB on loopback, to a new file" "ferrox-cli $(Shown "${median[ferrox]}")" \
    "smbclient get $(Shown "${median[smbclient]}")" "$r" "at most 1 (no slower): $(Verdict "$r" 1 le)"

  say "8: ${big_mib} MiB over SMB with check after copy (one check cycle) ..."
  Time "$prepare" "$check_runs" round \
    "check=sh -c '$cli -c --check-cycles 1 -d $dst $url >/dev/null'"
  local pages=$(((big_mib << 20) / 4096)) before after perpage
  eval "$prepare"
  before=$(PrivateSmbdReads)
  "$cli" -c --check-cycles 1 -d "$dst" "$url" >/dev/null
  after=$(PrivateSmbdReads)
  perpage=$(awk -v a="$before" -v b="$after" -v p="$pages" 'BEGIN { printf "%.4f", (b - a) / p }')
  Row "${big_mib} MiB over SMB, check after copy, one cycle" \
    "ferrox-cli -c $(Shown "${median[check]}"), $perpage read requests per page" \
    "ferrox-cli $(Shown "${median[ferrox]}")" "$(Ratio "${median[check]}" "${median[ferrox]}")" "reported"
  rm -rf "$dst"
  smb_dst=
  PrivateSmbdStop
}

# The source behind delay_fs, a FUSE passthrough that answers each read request after 1 ms (as a
# link with a round trip of 1 ms would): a plain copy and a copy with check after copy, one cycle,
# of the same file through it. FERROX_BENCH_BEFORE=PATH adds the check of another ferrox-cli (an
# earlier build) to the row.
DelayRow() {
  local fusefs=$build/bin/delay_fs mib=$((quick == 1 ? 16 : 256))
  if [ ! -x "$fusefs" ] || [ ! -e /dev/fuse ]; then
    Row "${mib} MiB through a source of 1 ms per request" "skipped: no delay_fs (libfuse3-dev) or /dev/fuse" "" "" \
      "at most 4"
    return
  fi
  say "9: ${mib} MiB through a source of 1 ms per request ..."
  mkdir -p "$work/delaysrc" "$work/delayed"
  head -c $((mib << 20)) "$work/big.bin" >"$work/delaysrc/d.bin"
  "$fusefs" "$work/delaysrc" "$work/delayed" 1000 >"$work/delay_fs.log" 2>&1 &
  delay_pid=$!
  local i
  for i in $(seq 50); do [ -f "$work/delayed/d.bin" ] && break; sleep 0.1; done
  local src=$work/delayed/d.bin dst=$work/delaydst
  local prepare="rm -rf $dst && mkdir $dst && sync"
  local commands=("check=sh -c '$cli -c --check-cycles 1 -d $dst $src >/dev/null'"
    "plain=sh -c '$cli -d $dst $src >/dev/null'")
  [ -n "${FERROX_BENCH_BEFORE:-}" ] &&
    commands+=("before=sh -c '$FERROX_BENCH_BEFORE -c --check-cycles 1 -d $dst $src >/dev/null'")
  Time "$prepare" "$check_runs" round "${commands[@]}"
  local pages=$(((mib << 20) / 4096)) checked r
  eval "$prepare"
  checked=$(CountReads "$cli" -c --check-cycles 1 -d "$dst" "$src")
  checked=$(awk -v n="$checked" -v p="$pages" 'BEGIN { printf "%.4f", n / p }')
  r=$(Ratio "${median[check]}" "${median[plain]}")
  Row "${mib} MiB through a source of 1 ms per request, check after copy, one cycle" \
    "ferrox-cli -c $(Shown "${median[check]}"), $checked reads per page" \
    "ferrox-cli $(Shown "${median[plain]}")" "$r" "at most 4: $(Verdict "$r" 4 le)"
  [ -n "${FERROX_BENCH_BEFORE:-}" ] &&
    Row "" "before: readings one at a time $(Shown "${median[before]}")" "" \
      "$(Ratio "${median[before]}" "${median[plain]}")" ""
  rm -rf "$dst"
  StopDelayFs
}

# Small files behind delay_fs, 1 ms per read request: delay_files files of 0 to 20 KB (random sizes,
# the same each run) in 10 folders, copied into an empty folder by ferrox-cli, which fetches the next
# files ahead on threads, and by cp -r, which reads one file after another. The copies of one more
# run of each are compared with the source (diff -r). delay_fs is mounted where DelayRow mounts it,
# so StopDelayFs and the script's exit unmount it.
DelayFilesRow() {
  local fusefs=$build/bin/delay_fs
  local label="$delay_files files of 0 to 20 KB in 10 folders through a source of 1 ms per request"
  if [ ! -x "$fusefs" ] || [ ! -e /dev/fuse ]; then
    Row "$label" "skipped: no delay_fs (libfuse3-dev) or /dev/fuse" "" "" "at most 0.5"
    return
  fi
  say "11: $delay_files small files through a source of 1 ms per request ..."
  local files=$work/delayfiles/files d f size
  RANDOM=7
  for d in $(seq 0 9); do
    mkdir -p "$files/d$d"
    for f in $(seq -w 0 $((delay_files / 10 - 1))); do
      size=$(((RANDOM << 15 | RANDOM) % 20001))
      head -c "$size" /dev/urandom >"$files/d$d/f$f"
    done
  done
  mkdir -p "$work/delayed"
  "$fusefs" "$work/delayfiles" "$work/delayed" 1000 >"$work/delay_fs.log" 2>&1 &
  delay_pid=$!
  local i
  for i in $(seq 50); do [ -d "$work/delayed/files" ] && break; sleep 0.1; done
  if [ ! -d "$work/delayed/files" ]; then
    StopDelayFs
    Row "$label" "skipped: delay_fs did not mount (see its log)" "" "" "at most 0.5"
    return
  fi
  local src=$work/delayed/files
  Time "$fresh" "$runs" turn \
    "ferrox=sh -c '$cli -d $work/cur $src >/dev/null'" \
    "cp=sh -c 'cp -r $src $work/cur/'"
  local same=1
  eval "$fresh"
  { "$cli" -d "$work/cur" "$src" >/dev/null && diff -r "$files" "$work/cur/files" >/dev/null; } || same=0
  eval "$fresh"
  { cp -r "$src" "$work/cur/" && diff -r "$files" "$work/cur/files" >/dev/null; } || same=0
  StopDelayFs
  local r verdict
  r=$(Ratio "${median[ferrox]}" "${median[cp]}")
  verdict=$(Verdict "$r" 0.5 le)
  [ "$same" = 1 ] || verdict="missed (copies differ from the source)"
  Row "$label" "ferrox-cli $(Shown "${median[ferrox]}")" "cp -r $(Shown "${median[cp]}")" "$r" \
    "at most 0.5, identical copies: $verdict"
}

# Unmounts the delayed source and stops delay_fs.
StopDelayFs() {
  [ -n "${delay_pid:-}" ] || return 0
  umount "$work/delayed" 2>/dev/null || fusermount3 -u "$work/delayed" 2>/dev/null || true
  kill "$delay_pid" 2>/dev/null || true
  wait "$delay_pid" 2>/dev/null || true
  delay_pid=
}

# ---- SMB over a slow link --------------------------------------------------------------------------

relay_pids=()

# Starts bench/latency_relay in front of the private smbd, holding every chunk for MS milliseconds
# in each direction (a round trip of twice MS) and counting the SMB2 requests clients send into
# $work/relay-MS.count. Sets relay_port and relay_count (that file). Returns 1 when the relay did
# not come up within 5 seconds.
StartRelay() {
  local ms=$1 out=$work/relay-$1 i
  relay_count=$out.count
  "$build/bin/latency_relay" --listen 0 --target "$smb_port" --delay-ms "$ms" --count "$relay_count" \
    >"$out.port" 2>"$out.err" &
  relay_pids+=($!)
  for i in $(seq 50); do
    relay_port=$(head -n 1 "$out.port" 2>/dev/null || true)
    [ -n "$relay_port" ] && [ -f "$relay_count" ] && return 0
    sleep 0.1
  done
  return 1
}

# Stops every relay started; nothing when none was.
StopRelays() {
  local pid
  for pid in "${relay_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  relay_pids=()
}

# Prints "REQUESTS MESSAGES CONNECTIONS" from the relay's count file once no connection of the
# relay is open and at least LEAST connections have ended (the file is rewritten as each ends).
# Returns 1 when that did not happen within 10 seconds.
RelayCounts() {
  local file=$1 least=$2 i line
  for i in $(seq 100); do
    line=$(awk '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
      print v["requests"], v["messages"], v["connections"], v["open"] }' "$file")
    # shellcheck disable=SC2086
    set -- "$file" "$least" $line
    if [ "$6" = 0 ] && [ "$5" -ge "$least" ]; then
      echo "$3 $4 $5"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

# Runs the command given (a string as Time takes it) once into a new destination folder ($work/cur)
# through the relay and prints the SMB2 requests per source file it sent, with its messages and
# connections, as "REQUESTS_PER_FILE (R requests in M messages over C connections)", or "n/a" with
# the reason when the copy is incomplete or the relay did not settle.
RequestsPerFile() {
  local command=$1 before after copied
  before=$(RelayCounts "$relay_count" 0) || { echo "n/a (relay busy)"; return; }
  eval "$fresh"
  eval "$command" || true
  after=$(RelayCounts "$relay_count" $(($(echo "$before" | cut -d' ' -f3) + 1))) ||
    { echo "n/a (relay did not settle)"; return; }
  copied=$(find "$work/cur/" -type f | wc -l)
  if [ "$copied" -ne "$link_files" ]; then
    echo "n/a ($copied of $link_files files copied)"
    return
  fi
  # shellcheck disable=SC2086
  set -- $before $after
  awk -v r=$(($4 - $1)) -v m=$(($5 - $2)) -v c=$(($6 - $3)) -v n="$link_files" \
    'BEGIN { printf "%.2f (%d requests in %d messages over %d connection%s)", r / n, r, m, c, c == 1 ? "" : "s" }'
}

# Copies through relays of 1 ms and 5 ms each way (2 ms and 10 ms round trip) in front of the
# private smbd: link_files files of 16 KiB in link_folders folders, one file of link_mib MiB, each
# by ferrox-cli, smbclient and rclone's SMB backend, and the same file by ferrox-cli with check
# after copy. Then the SMB2 requests each of the three sends per small file, counted by the relay.
# Returns 0 when FERROX_BENCH_LINK_PARTS names part, or is not set.
LinkPart() {
  case " ${FERROX_BENCH_LINK_PARTS:-files big check rclone} " in
    *" $1 "*) return 0 ;;
  esac
  return 1
}

LinkRows() {
  local relay=$build/bin/latency_relay
  if [ ! -x "$relay" ] || ! command -v smbclient >/dev/null; then
    Row "SMB over a slow link" "skipped: no latency_relay or no smbclient" "" "" "reported"
    return
  fi
  if ! StartSmbd; then
    Row "SMB over a slow link" "skipped: no private smbd (Debian package samba)" "" "" "reported"
    return
  fi
  local have_rclone=0
  command -v rclone >/dev/null && LinkPart rclone && have_rclone=1
  say "10: SMB through a latency relay: $link_files files of 16 KiB, ${link_mib} MiB ..."
  local d
  mkdir -p "$work/link/tree"
  for d in $(seq -w 0 $((link_folders - 1))); do
    mkdir "$work/link/tree/d$d"
    head -c $((link_per_folder * 16384)) /dev/urandom | split -b 16384 -a 2 -d - "$work/link/tree/d$d/f"
  done
  head -c $((link_mib << 20)) "$work/big.bin" >"$work/link/big.bin"
  # The single file goes to memory where it can, as in SmbRows; the trees go to new folders.
  link_dst=$work/linkdst
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    link_dst=$(mktemp -d /dev/shm/ferrox-bench-link.XXXXXX)
  fi
  local dst=$link_dst
  local big_prepare="rm -rf $dst && mkdir $dst && cat $work/link/big.bin >/dev/null && sync"
  local ms rtt url smb rclone tree_commands big_commands r
  local -A counted=()
  for ms in 1 5; do
    rtt=$((2 * ms))
    StartRelay "$ms" || {
      Row "SMB over a slow link, $rtt ms round trip" "skipped: the relay did not start" "" "" "reported"
      continue
    }
    url=smb://127.0.0.1:$relay_port/bench/link
    smb="smbclient //127.0.0.1/bench -p $relay_port -m SMB3 -N"
    rclone="rclone --config /dev/null --smb-host 127.0.0.1 --smb-port $relay_port --smb-user guest"
    tree_commands=("ferrox=sh -c '$cli -d $work/cur $url/tree >/dev/null'"
      "smbclient=sh -c '$smb -c \"cd link; lcd $work/cur; recurse on; prompt off; mget tree\" >/dev/null 2>&1'")
    big_commands=("ferrox=sh -c '$cli -d $dst $url/big.bin >/dev/null'"
      "smbclient=sh -c '$smb -c \"get link/big.bin $dst/big.bin\" >/dev/null 2>&1'")
    if [ "$have_rclone" = 1 ]; then
      tree_commands+=("rclone=sh -c '$rclone copy :smb:bench/link/tree $work/cur/tree >/dev/null 2>&1'")
      big_commands+=("rclone=sh -c '$rclone copy :smb:bench/link/big.bin $dst >/dev/null 2>&1'")
    fi

    if LinkPart files; then
      say "    $link_files files of 16 KiB, $rtt ms round trip ..."
      Time "$fresh" "$link_runs" round "${tree_commands[@]}"
      r=$(Ratio "${median[ferrox]}" "${median[smbclient]}")
      Row "$link_files files of 16 KiB in $link_folders folders over SMB, $rtt ms round trip" \
        "ferrox-cli $(Shown "${median[ferrox]}")" "smbclient mget $(Shown "${median[smbclient]}")" "$r" "reported"
      [ "$have_rclone" = 1 ] &&
        Row "" "" "rclone copy $(Shown "${median[rclone]}")" "$(Ratio "${median[ferrox]}" "${median[rclone]}")" ""
    fi

    if LinkPart big || LinkPart check; then
      say "    ${link_mib} MiB, $rtt ms round trip ..."
      # The check alone needs only ferrox-cli's plain copy as its peer.
      LinkPart big || big_commands=("${big_commands[0]}")
      Time "$big_prepare" "$link_runs" round "${big_commands[@]}"
      if LinkPart big; then
        r=$(Ratio "${median[ferrox]}" "${median[smbclient]}")
        Row "${link_mib} MiB over SMB, $rtt ms round trip" "ferrox-cli $(Shown "${median[ferrox]}")" \
          "smbclient get $(Shown "${median[smbclient]}")" "$r" "reported"
        [ "$have_rclone" = 1 ] &&
          Row "" "" "rclone copy $(Shown "${median[rclone]}")" "$(Ratio "${median[ferrox]}" "${median[rclone]}")" ""
      fi
    fi

    if LinkPart check; then
      say "    ${link_mib} MiB with check after copy, $rtt ms round trip ..."
      local plain=${median[ferrox]}
      Time "$big_prepare" "$link_runs" round \
        "check=sh -c '$cli -c --check-cycles 1 -d $dst $url/big.bin >/dev/null'"
      Row "${link_mib} MiB over SMB, $rtt ms round trip, check after copy, one cycle" \
        "ferrox-cli -c $(Shown "${median[check]}")" "ferrox-cli $(Shown "$plain")" \
        "$(Ratio "${median[check]}" "$plain")" "reported"
    fi

    # Requests are counted once, through the shorter delay.
    if [ "$ms" = 1 ] && LinkPart files; then
      say "    counting the SMB2 requests per small file ..."
      local pair
      for pair in "${tree_commands[@]}"; do
        counted[${pair%%=*}]=$(RequestsPerFile "${pair#*=}")
      done
    fi
    StopRelays
  done
  if [ ${#counted[@]} -gt 0 ]; then
    Row "SMB2 requests per small file ($link_files files, counted by the relay)" \
      "ferrox-cli ${counted[ferrox]}" "smbclient mget ${counted[smbclient]}" "" "reported"
    [ "$have_rclone" = 1 ] && Row "" "" "rclone copy ${counted[rclone]}" "" ""
  fi
  if [ "$have_rclone" = 0 ] && LinkPart rclone; then
    Row "" "" "rclone: skipped, not installed (Debian package rclone)" "" ""
  fi
  rm -rf "$dst"
  link_dst=
  PrivateSmbdStop
}

# Prints the median of the numbers given.
Median() {
  printf '%s\n' "$@" | sort -n |
    awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Prints the median peak resident size in KiB of ferrox-cli copying source into new folders.
PeakKib() {
  local source=$1 sizes=() i out
  for i in $(seq 0 "$memory_runs"); do
    out=$(mktemp -d "$work/runs/m.XXXXXX")
    sync
    /usr/bin/time -f '%M' -o "$work/time.out" "$cli" -d "$out" "$source" >/dev/null
    [ "$i" -gt 0 ] && sizes+=("$(tail -n 1 "$work/time.out")")  # run 0 is the warm-up
  done
  Median "${sizes[@]}"
}

MemoryRow() {
  say "6: peak memory over $tree_entries entries ..."
  local tree one per
  tree=$(PeakKib "$work/tree")
  one=$(PeakKib "$work/one")
  per=$(awk -v t="$tree" -v o="$one" -v n="$tree_entries" 'BEGIN { printf "%.0f", (t - o) * 1024 / n }')
  local mib='BEGIN { printf "%.1f MiB", k / 1024 }'
  Row "peak memory, $tree_entries entries in $tree_folders folders" \
    "ferrox-cli $(awk -v k="$tree" "$mib"), $per bytes per entry" \
    "ferrox-cli over one file $(awk -v k="$one" "$mib")" "" \
    "at most 400 bytes per entry: $(Verdict "$per" 400 le)"
}

# ---- the table -------------------------------------------------------------------------------------

Machine() {
  local cpu disk
  cpu=$(lscpu | sed -n 's/^Model name:[[:space:]]*//p' | head -n 1)
  disk=$(findmnt -no SOURCE,FSTYPE -T "$work" | awk '{ print $1 " (" $2 ")" }')
  local journal="" device
  device=$(basename "$(findmnt -no SOURCE -T "$work")")
  [ "$(cat "/sys/fs/ext4/$device/journal_task" 2>/dev/null)" = "<none>" ] && journal=", no journal"
  echo "- CPU: $cpu, $(nproc) cores"
  echo "- RAM: $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
  echo "- disk: $disk$journal, $(df -h --output=size "$work" | tail -n 1 | tr -d ' ')"
  echo "- kernel: $(uname -sr); $(. /etc/os-release && echo "$PRETTY_NAME")"
  echo "- load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
}

main() {
  InstallPackages
  Build
  cli=$build/bin/ferrox-cli
  work=$(mktemp -d "${FERROX_BENCH_DIR:-${TMPDIR:-/tmp}}/ferrox-bench.XXXXXX")
  trap 'StopRelays; PrivateSmbdStop; StopDelayFs; rm -rf "$work" ${smb_dst:+"$smb_dst"} ${link_dst:+"$link_dst"}' EXIT
  local need=$(((big_mib * 3 + small_files * 4 * (runs + 1) * 5 / 1024 + 256) * 1024))
  case " ${FERROX_BENCH_ONLY:-LinkRows} " in
    *" LinkRows "*) need=$((need + (link_mib + link_files * 16 * (link_runs + 2) * 6 / 1024) * 1024)) ;;
  esac
  case " ${FERROX_BENCH_ONLY:-DelayFilesRow} " in
    *" DelayFilesRow "*) need=$((need + delay_files * 12 * (4 * runs + 3))) ;;
  esac
  if [ "$(df -k --output=avail "$work" | tail -n 1)" -lt "$need" ]; then
    say "not enough space in $work: about $((need / 1024)) MiB needed"
    exit 1
  fi
  fresh="n=\$(mktemp -d $work/runs/r.XXXXXX) && ln -sfn \$n $work/cur && sync"
  local started=$SECONDS
  MakeData
  local row
  for row in StartRow BigFileRow SmallFilesRow WindowRow CheckRow CrcRow MemoryRow SmbRows DelayRow DelayFilesRow \
    LinkRows; do
    case " ${FERROX_BENCH_ONLY:-$row} " in *" $row "*) "$row" ;; esac
  done

  echo
  echo "Ferrox benchmark$([ "$quick" = 1 ] && echo " (quick sizes)"), $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  Machine
  echo
  echo "Medians of $runs runs ($((runs * 5)) for the start, $check_runs for the check row, $memory_runs for memory,"
  echo "$link_runs for the rows over the latency relay); the commands of a row take turns, and each timed run"
  echo "follows an untimed run of the same command (the check row and the rows over the relay: one untimed"
  echo "round first)."
  echo "ratio = Ferrox / peer, lower is better (CRC: higher is better)."
  echo
  echo "| row | Ferrox | peer | ratio | goal |"
  echo "|---|---|---|---|---|"
  printf '%s\n' "${rows[@]}"
  echo
  echo "Whole run: $((SECONDS - started)) s after the build."
  say "removing the data ..."
}

main "$@"
