#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages ferrox-cli (the command-line program, no
# toolkit) and ferrox (the window, which depends on ferrox-cli) with CPack and
# checks them with lintian.
#
#   scripts/build-packages.sh           build the packages into BUILD_DIR/packages
#   scripts/build-packages.sh --check   also install them on this machine (as
#                                       root), try the installed programs and
#                                       remove them again, also when a step fails
#
# BUILD_DIR is build-deb, or FERROX_DEB_BUILD_DIR; it is reused from one run
# to the next, so only the first run builds everything. A folder configured
# before (FERROX_DEB_BUILD_DIR=build after scripts/run-tests.sh) is only
# brought up to date; one built with sanitizers is refused.
#
# Lintian's errors fail the run; its warnings are shown.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

mode=build
case ${1-} in
  "") ;;
  --check) mode=check ;;
  -h | --help)
    sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"
    exit 0
    ;;
  *)
    echo "usage: $0 [--check]" >&2
    exit 1
    ;;
esac

build_dir=${FERROX_DEB_BUILD_DIR:-build-deb}
case $build_dir in
  /*) ;;
  *) build_dir=$root/$build_dir ;;
esac
package_dir=$build_dir/packages

if [ "$mode" = check ] && [ "$(id -u)" -ne 0 ]; then
  echo "$0 --check installs the packages and must run as root" >&2
  exit 1
fi

# The build's own packages, and what packaging and its checks use.
scripts/setup.sh dpkg-dev file lintian man-db appstream

echo "== building in $build_dir"
if [ -f "$build_dir/CMakeCache.txt" ]; then
  # A tree configured before, such as the build folder of scripts/run-tests.sh:
  # it is brought up to date as it is, unless it is instrumented.
  if grep -q '^FERROX_SANITIZE:STRING=.' "$build_dir/CMakeCache.txt"; then
    echo "$build_dir is built with sanitizers; its programs are not for packages" >&2
    exit 1
  fi
else
  cmake -S . -B "$build_dir" -G Ninja -DFERROX_WERROR=ON -DFERROX_BUILD_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build_dir" -j2

echo "== packaging into $package_dir"
rm -rf "$package_dir"
mkdir -p "$package_dir"
FERROX_BUILD_DIR=$build_dir FERROX_PACKAGE_DIR=$package_dir \
  cpack --config packaging/FerroxCPackConfig.cmake -B "$package_dir"
rm -rf "$package_dir/_CPack_Packages"
shopt -s nullglob
debs=("$package_dir"/ferrox-cli_*.deb "$package_dir"/ferrox_*.deb)
shopt -u nullglob
if [ ${#debs[@]} -ne 2 ]; then
  echo "expected two packages in $package_dir, found: ${debs[*]-none}" >&2
  exit 1
fi
for deb in "${debs[@]}"; do
  echo "-- $(basename "$deb")"
  dpkg-deb --field "$deb" Package Version Architecture Depends
done

echo "== lintian"
lintian --fail-on error "${debs[@]}"

if [ "$mode" = build ]; then
  echo "packages: ${debs[*]}"
  exit 0
fi

echo "== installing the packages on this machine"
for p in ferrox ferrox-cli; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    echo "$p is already installed here; $0 --check would remove it afterwards, so it stops" >&2
    exit 1
  fi
done

work=$(mktemp -d)
installed=no
cleanup() {
  local status=$?
  if [ "$installed" = yes ]; then
    echo "== removing the packages"
    dpkg -P ferrox ferrox-cli >/dev/null || status=1
  fi
  rm -rf "$work"
  if [ $status -eq 0 ]; then echo "packages checked"; else echo "package check FAILED" >&2; fi
  exit $status
}
trap cleanup EXIT
trap 'exit 130' INT TERM

installed=yes
dpkg -i "${debs[@]}"

echo "== the installed ferrox-cli"
test "$(command -v ferrox-cli)" = /usr/bin/ferrox-cli
/usr/bin/ferrox-cli --version
mkdir -p "$work/source/folder" "$work/dest"
printf 'one\n' >"$work/source/one.txt"
head -c 3000000 /dev/urandom >"$work/source/folder/two.bin"
/usr/bin/ferrox-cli -d "$work/dest" "$work/source" >"$work/copy.log"
tail -n 1 "$work/copy.log"
diff -r "$work/source" "$work/dest/source"
echo "copy compared"
# A share path loads the SMB module from /usr/lib/ARCH/ferrox: nothing
# listens on port 1, so the server's side refuses, rather than a library
# failing to load.
share=$(/usr/bin/ferrox-cli -r 0 -d "$work/dest" smb://127.0.0.1:1/share/file || true)
if ! grep -q '^smb://127.0.0.1:1/share/file : Connection refused' <<<"$share"; then
  printf '%s\n' "$share" >&2
  echo "the installed ferrox-cli did not reach the share through its SMB module" >&2
  exit 1
fi
echo "SMB module loaded"

echo "== installed files"
man -w ferrox-cli
man -w ferrox
test -f /usr/share/bash-completion/completions/ferrox-cli
bash -n /usr/share/bash-completion/completions/ferrox-cli
appstreamcli validate --no-net /usr/share/metainfo/io.github.ferrox.Ferrox.metainfo.xml
test -x /usr/bin/ferrox
test -f /usr/share/applications/ferrox.desktop
