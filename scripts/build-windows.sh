#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds Ferrox for Windows with Debian's MinGW-w64, 64-bit into
# build-mingw64 and 32-bit into build-mingw32 (warnings as errors, runtime
# linked statically), and runs the Windows test suite under Wine. The 32-bit
# suite runs where Wine's 32-bit part is installed (wine32, which needs the
# i386 architecture); otherwise the 32-bit programs are built but not run.
# Installs the toolchains and Wine first when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine wine64 googletest
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
for target in x86_64:build-mingw64 i686:build-mingw32; do
  arch=${target%%:*} dir=${target#*:}
  echo "== Windows $arch: $dir"
  scripts/build.sh "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-$arch.cmake -DCMAKE_BUILD_TYPE=Release \
    -DFERROX_BUILD_TESTS=ON
  if [ "$arch" = i686 ] && [ ! -e /usr/lib/wine/wine ] && [ ! -e /usr/lib/i386-linux-gnu/wine ]; then
    echo "Wine's 32-bit part (package wine32) is missing: the 32-bit programs are built, not run."
    continue
  fi
  ctest --test-dir "$dir" --output-on-failure --no-tests=error -j2
done
