#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The files a desktop reads, as the desktop's own validators see them:
#   desktop-files-valid.sh SOURCE_DIR BUILD_DIR VERSION
# The menu entry (desktop-file-validate), the AppStream metadata (appstreamcli, offline) with this
# version as its newest release, and the manual pages as man formats them, without a warning.
set -eu
source_dir=$1
build_dir=$2
version=$3
id=org.korvane.Quillgate
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

desktop-file-validate "$source_dir/data/$id.desktop" || fail "the menu entry is not valid"
grep -qx "Icon=$id" "$source_dir/data/$id.desktop" || fail "the menu entry names another icon"
appstreamcli validate --no-net --explain "$source_dir/data/$id.metainfo.xml" ||
  fail "the AppStream metadata is not valid"
newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$source_dir/data/$id.metainfo.xml" | head -n 1)
[ "$newest" = "$version" ] || fail "the newest release in the metadata is '$newest', not $version"

for page in quillgate.1 quillgate-cli.1; do
  path="$build_dir/data/$page"
  [ -s "$path.gz" ] || fail "$page.gz was not built"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$path" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man warns about $page: $warnings"
  grep -q "Korvane Quillgate $version" "$path" || fail "$page does not carry the version $version"
done
echo "menu entry, AppStream metadata and manual pages valid"
