#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up on a fresh Debian 12 machine, builds Ferrox and runs the
# whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DFERROX_BUILD_TESTS=ON
ctest --test-dir build --output-on-failure -j2
