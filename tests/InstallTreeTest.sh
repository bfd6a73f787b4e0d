#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build tree given as $1 under a temporary prefix and checks that
# everything the packages carry is there: both programs, the SMB module, the
# manual pages, the bash completion, the launcher, the icon, the AppStream
# description and each package's copyright and change log; that the
# launcher opens smb:// URLs; and that the installed programs do not link
# Samba's client library, which only the module links, export what the
# module needs of them, and that the installed ferrox-cli finds the module.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
# The module's folder as the build tree installs it (lib/x86_64-linux-gnu/ferrox
# on Debian's amd64, say).
module=$(sed -n 's/^FERROX_SMB_MODULE_INSTALL_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")/ferrox-smb.so
helper=$(dirname "$module")/ferrox-smb-helper
for path in \
  bin/ferrox bin/ferrox-cli "$module" "$helper" \
  share/man/man1/ferrox.1.gz share/man/man1/ferrox-cli.1.gz \
  share/bash-completion/completions/ferrox-cli \
  share/applications/ferrox.desktop \
  share/icons/hicolor/scalable/apps/ferrox.svg \
  share/icons/hicolor/48x48/apps/ferrox.png \
  share/metainfo/io.github.ferrox.Ferrox.metainfo.xml \
  share/doc/ferrox/copyright share/doc/ferrox/changelog.Debian.gz \
  share/doc/ferrox-cli/copyright share/doc/ferrox-cli/changelog.Debian.gz; do
  if [ -f "$prefix/$path" ]; then
    echo "ok: $path"
  else
    echo "MISSING: $path"
    failures=$((failures + 1))
  fi
done

# The manual pages are gzip streams of roff text that name their program.
for page in ferrox ferrox-cli; do
  if ! gzip -dc "$prefix/share/man/man1/$page.1.gz" | grep -q "^\.TH \"$page\" \"1\""; then
    echo "NOT A MANUAL PAGE: share/man/man1/$page.1.gz"
    failures=$((failures + 1))
  fi
done
# The launcher hands the desktop what it was given as URLs, and says it
# opens smb:// ones: file managers then offer it for the files of a share.
launcher=$prefix/share/applications/ferrox.desktop
if ! grep -qx 'Exec=ferrox %U' "$launcher" 2>/dev/null; then
  echo "LAUNCHER DOES NOT RUN 'ferrox %U': share/applications/ferrox.desktop"
  failures=$((failures + 1))
fi
if ! grep -Eqx 'X-KDE-Protocols=([^,]*,)*smb(,[^,]*)*' "$launcher" 2>/dev/null; then
  echo "LAUNCHER DOES NOT LIST smb AMONG ITS PROTOCOLS: share/applications/ferrox.desktop"
  failures=$((failures + 1))
fi
# Samba's client library is loaded with the module, when a share path is
# first used: the programs themselves do not link it.
for program in ferrox ferrox-cli; do
  if readelf -d "$prefix/bin/$program" | grep -q 'NEEDED.*libsmbclient'; then
    echo "LINKS libsmbclient: bin/$program"
    failures=$((failures + 1))
  fi
done
if ! readelf -d "$prefix/$module" 2>/dev/null | grep -q 'NEEDED.*libsmbclient'; then
  echo "DOES NOT LINK libsmbclient: $module"
  failures=$((failures + 1))
fi
if [ -n "$(find "$prefix/$module" -perm /111 2>/dev/null)" ]; then
  echo "EXECUTABLE: $module"
  failures=$((failures + 1))
fi
# The helper processes' program runs, and loads Samba's client library only
# through the module, as the programs do.
if [ ! -x "$prefix/$helper" ]; then
  echo "NOT EXECUTABLE: $helper"
  failures=$((failures + 1))
fi
if readelf -d "$prefix/$helper" 2>/dev/null | grep -q 'NEEDED.*libsmbclient'; then
  echo "LINKS libsmbclient: $helper"
  failures=$((failures + 1))
fi
# The module binds to the program that loads it for the project's own
# functions and classes (platform/SmbModule.h): every C++ name that it
# leaves undefined, without a library's version and not given by a library
# it loads (a sanitizer's operator new, say), is exported by both programs.
for library in $(ldd "$prefix/$module" | awk '$2 == "=>" && $3 ~ /^\// { print $3 }'); do
  nm -D --defined-only "$library" | awk '{ sub(/@.*/, "", $3); print $3 }'
done | sort -u >"$prefix/given"
nm -D --undefined-only "$prefix/$module" | awk '$2 ~ /^_Z/ && $2 !~ /@/ { print $2 }' | sort -u |
  comm -23 - "$prefix/given" >"$prefix/needed"
for program in bin/ferrox bin/ferrox-cli "$helper"; do
  nm -D --defined-only "$prefix/$program" | awk '{ print $3 }' | sort -u >"$prefix/exported"
  missing=$(comm -23 "$prefix/needed" "$prefix/exported")
  if [ -n "$missing" ]; then
    echo "$program DOES NOT EXPORT WHAT THE MODULE NEEDS:"
    echo "$missing"
    failures=$((failures + 1))
  fi
done
if [ ! -s "$prefix/needed" ]; then
  echo "THE MODULE NEEDS NOTHING OF THE PROGRAMS: the check above checked nothing"
  failures=$((failures + 1))
fi
# The installed ferrox-cli loads the installed module: a share where nothing
# listens (port 1) is refused by the server's side, not failed for a missing
# library.
work=$(mktemp -d)
out=$(env -u FERROX_SMB_MODULE "$prefix/bin/ferrox-cli" -r 0 -d "$work" smb://127.0.0.1:1/share/file 2>&1 || true)
rm -rf "$work"
if ! grep -q "^smb://127.0.0.1:1/share/file : Connection refused" <<<"$out"; then
  echo "THE INSTALLED ferrox-cli DID NOT REACH THE SHARE THROUGH ITS MODULE:"
  echo "$out"
  failures=$((failures + 1))
fi
[ $failures -eq 0 ]
