#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Windows release into dist/:
#   ferrox-VERSION-windows.zip   ferrox.exe and ferrox-cli.exe for 64-bit
#                                (x64/) and 32-bit (x86/) Windows
#   ferrox-VERSION-setup-x64.exe and ferrox-VERSION-setup-x86.exe
#                                the installers (Start menu, "Send to",
#                                uninstaller), each of its own architecture
# The programs come from build-mingw64 and build-mingw32, configured here when
# they are not yet. With --check the 64-bit installer is also tried under
# Wine in a
# prefix of its own (the 32-bit one needs Wine's 32-bit part, which the CI
# machine cannot install): a silent install, the files, shortcuts and uninstall
# entry it leaves, the installed ferrox-cli.exe, and a silent uninstall that
# leaves nothing behind. Installs what it needs (MinGW-w64, NSIS, zip, Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
check=0
[ "${1:-}" = --check ] && check=1
scripts/setup.sh g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix nsis zip
version=$(sed -n 's/^project(Ferrox VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }

for target in x86_64:build-mingw64 i686:build-mingw32; do
  arch=${target%%:*} dir=${target#*:}
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -G Ninja -DFERROX_WERROR=ON -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-$arch.cmake \
      -DCMAKE_BUILD_TYPE=Release -DFERROX_BUILD_TESTS=OFF >/dev/null
  fi
  echo "== Windows $arch: ferrox.exe and ferrox-cli.exe in $dir"
  cmake --build "$dir" -j2 --target ferrox ferrox-cli
done

mkdir -p dist
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
name=ferrox-$version-windows
mkdir -p "$stage/$name/x64" "$stage/$name/x86"
cp build-mingw64/bin/ferrox.exe build-mingw64/bin/ferrox-cli.exe "$stage/$name/x64/"
cp build-mingw32/bin/ferrox.exe build-mingw32/bin/ferrox-cli.exe "$stage/$name/x86/"
cp README.md "$stage/$name/README.md"
rm -f "dist/$name.zip"
(cd "$stage" && zip -q -r -X "$OLDPWD/dist/$name.zip" "$name")
echo "dist/$name.zip"

for target in x64:build-mingw64 x86:build-mingw32; do
  arch=${target%%:*} dir=${target#*:}
  setup=dist/ferrox-$version-setup-$arch.exe
  wide=()
  if [ "$arch" = x64 ]; then wide=(-DX64); fi
  makensis -V2 "${wide[@]}" -DVERSION="$version" -DBIN="$PWD/$dir/bin" -DICON="$PWD/win/ferrox.ico" \
    -DOUTFILE="$PWD/$setup" packaging/windows/ferrox.nsi
  echo "$setup"
done
[ $check = 1 ] || exit 0

echo "== the installer under Wine"
scripts/setup.sh wine wine64
export WINEPREFIX=$stage/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$stage"' EXIT
wineboot --init >/dev/null 2>&1
fail() { echo "installer check: $*" >&2; exit 1; }
wine "dist/ferrox-$version-setup-x64.exe" /S
wineserver -w
root=$WINEPREFIX/drive_c
installed="$root/Program Files/Ferrox"
for file in ferrox.exe ferrox-cli.exe uninstall.exe; do
  [ -f "$installed/$file" ] || fail "$file was not installed in $installed"
done
cmp -s "$installed/ferrox-cli.exe" build-mingw64/bin/ferrox-cli.exe || fail "the 64-bit ferrox-cli.exe was not the one installed"
menu=$(find "$root" -path '*Start Menu/Programs/Ferrox/Ferrox.lnk' | head -n 1)
[ -n "$menu" ] || fail "no Start menu entry"
sendto=$(find "$root/users" -ipath '*/SendTo/Ferrox.lnk' | head -n 1)
[ -n "$sendto" ] || fail "no \"Send to\" entry"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ferrox' /v DisplayVersion 2>/dev/null |
  grep -q "$version" || fail "no uninstall entry with version $version"
[ "$(wine "C:\\Program Files\\Ferrox\\ferrox-cli.exe" --version | tr -d '\r')" = "Ferrox Version ${version%.*}" ] ||
  fail "the installed ferrox-cli.exe does not run"
echo "installed: the programs, the Start menu and \"Send to\" entries and the uninstall entry"

# The uninstaller runs from where it lies (_?=), so that it is waited for.
wine "C:\\Program Files\\Ferrox\\uninstall.exe" /S "_?=C:\\Program Files\\Ferrox"
wineserver -w
[ ! -e "$installed" ] || fail "the uninstaller left $(ls "$installed")"
[ -z "$(find "$root" -name 'Ferrox.lnk')" ] || fail "the uninstaller left a shortcut"
if wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ferrox' >/dev/null 2>&1; then
  fail "the uninstaller left its uninstall entry"
fi
echo "uninstalled: nothing left behind"
