#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz (under
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs each for a few
# seconds from its corpus in fuzz/corpus/, printing how many inputs it ran.
# FERROX_FUZZ_SECONDS sets the seconds per target (default 10). New inputs
# go to build-fuzz/corpus/, never into the repository; an input that breaks
# a target is kept in build-fuzz/artifacts/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FERROX_FUZZ_SECONDS:-10}
dir=build-fuzz
targets=(source_list form_number command_line cli_options log_channel json_text)

scripts/setup.sh
echo "== libFuzzer targets under AddressSanitizer + UndefinedBehaviorSanitizer, $seconds s each"
cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
  -DFERROX_FUZZ=ON -DFERROX_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" -j2 --target "${targets[@]/#/fuzz_}"

mkdir -p "$dir/artifacts"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
status=0
for target in "${targets[@]}"; do
  mkdir -p "$dir/corpus/$target"
  log="$dir/artifacts/$target.log"
  if "$dir/bin/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$dir/artifacts/$target-" "$dir/corpus/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    printf '%-14s %10s executions in %s s\n' "$target" "$runs" "$seconds"
  else
    echo "$target FAILED:"
    grep -E 'check failed|ERROR|runtime error|SUMMARY|Test unit written' "$log" || tail -20 "$log"
    status=1
  fi
done
exit "$status"
