#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build tree given as $1 under a temporary prefix and checks that
# everything the packages carry is there: both programs, the manual pages,
# the bash completion, the launcher, the icon, the AppStream description and
# each package's copyright and change log; and that the launcher opens
# smb:// URLs.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

failures=0
for path in \
  bin/ferrox bin/ferrox-cli \
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
[ $failures -eq 0 ]
