#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# `cmake --install` into a fresh prefix puts exactly the programs and the desktop's files where a
# desktop looks for them, and the installed command line runs:
#   install-into-prefix.sh BUILD_DIR VERSION
set -eu
build_dir=$1
version=$2
id=org.korvane.Quillgate
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null
expected="bin/quillgate
bin/quillgate-cli
share/applications/$id.desktop
share/doc/quillgate/changelog.gz
share/doc/quillgate/copyright
share/icons/hicolor/128x128/apps/$id.png
share/icons/hicolor/16x16/apps/$id.png
share/icons/hicolor/24x24/apps/$id.png
share/icons/hicolor/32x32/apps/$id.png
share/icons/hicolor/48x48/apps/$id.png
share/icons/hicolor/64x64/apps/$id.png
share/icons/hicolor/scalable/apps/$id.svg
share/man/man1/quillgate-cli.1.gz
share/man/man1/quillgate.1.gz
share/metainfo/$id.metainfo.xml"
installed=$(cd "$scratch/prefix" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$installed" = "$expected" ] || {
  printf '%s\n' "$expected" >"$scratch/expected"
  printf '%s\n' "$installed" >"$scratch/installed"
  diff -u "$scratch/expected" "$scratch/installed" >&2 || true
  fail "the installed files are not the expected ones"
}
for size in 16 24 32 48 64 128; do
  [ "$(identify -format '%wx%h' "$scratch/prefix/share/icons/hicolor/${size}x$size/apps/$id.png")" = \
    "${size}x$size" ] || fail "the ${size}x$size icon has another size"
done
[ "$("$scratch/prefix/bin/quillgate-cli" --version)" = "quillgate-cli $version" ] ||
  fail "the installed quillgate-cli --version printed something else"
echo "installed into a prefix: $(printf '%s\n' "$installed" | wc -l) files where expected"
