#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package of a build, made with CPack and checked as a user's system would take it:
#   deb-package.sh BUILD_DIR
# lintian finds no error; the declared dependencies name the package of every library the programs
# load (linked, or opened by name while they run), the Wayland platform and the fonts, and every one of them exists in the archive; unpacked
# into a scratch folder, the programs run: quillgate-cli --version prints its name and the
# project's version, and quillgate without a display says so and ends with status 1.
set -eu
build_dir=$(cd "$1" && pwd)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build_dir/CMakeCache.txt")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

(cd "$build_dir" && cpack -G DEB) >"$scratch/cpack.log" 2>&1 || {
  cat "$scratch/cpack.log" >&2
  fail "cpack could not make the package"
}
deb=$(ls "$build_dir"/package/quillgate_"$version"_*.deb)
echo "package: $deb ($(stat -c %s "$deb") bytes)"

lintian_status=0
lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian" 2>&1 || lintian_status=$?
grep -v 'root privileges' "$scratch/lintian" | sed 's/^/  lintian: /'
[ "$lintian_status" = 0 ] || fail "lintian reports errors"

# The declared dependencies, one alternative group a line.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/ *$//')
echo "$depends" | sed 's/^/  depends: /'
for wanted in "qt6-wayland" "fonts-dejavu-core" "fonts-wine | fonts-dejavu-extra"; do
  echo "$depends" | grep -qxF "$wanted" || fail "the package does not depend on '$wanted'"
done
names=$(echo "$depends" | sed 's/ *(.*)//' | tr '|' '\n' | sed 's/^ *//; s/ *$//')
# Every group has a package in the archive (one look-up for all: each costs seconds).
in_archive=$(apt-cache show --no-all-versions $names 2>/dev/null | sed -n 's/^Package: //p')
for group in $(echo "$depends" | sed 's/ *(.*)//; s/ *| */|/g'); do
  found=
  for name in $(echo "$group" | tr '|' ' '); do
    echo "$in_archive" | grep -qxF "$name" && found=yes
  done
  [ -n "$found" ] || fail "no package in the archive satisfies '$group'"
done

# The package of every library the programs load must be among the dependencies. dpkg knows each
# library by one of its paths: with /usr merged, either spelling, or the link's target.
dpkg-deb -x "$deb" "$scratch/root"
: >"$scratch/needed"
for program in quillgate quillgate-cli; do
  binary="$scratch/root/usr/bin/$program"
  file "$binary" | grep -q ', stripped' || fail "$program is not stripped"
  # Linked (NEEDED) and opened while it runs (a soname written in the program for dlopen).
  for library in $({
    readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'
    strings -a "$binary" | grep -xE 'lib[A-Za-z0-9_+-]+(\.[A-Za-z0-9_+-]+)*\.so\.[0-9]+'
  } | sort -u); do
    path=$(ldconfig -p | sed -n "s|^\t$library (libc6,x86-64) => ||p" | head -n 1)
    [ -n "$path" ] || fail "$program needs $library, which is not installed here"
    echo "$program $library $path" >>"$scratch/needed"
  done
done
owners=$(while read -r _ _ path; do
  printf '%s\n%s\n%s\n%s\n' "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr$path"
done <"$scratch/needed" | sort -u | xargs dpkg -S 2>/dev/null | sed 's/:[a-z0-9]*: /: /')
while read -r program library path; do
  owner=
  for known in "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr$path"; do
    owner=$(echo "$owners" | sed -n "s|^\([^:]*\): $known\$|\1|p" | head -n 1)
    [ -z "$owner" ] || break
  done
  [ -n "$owner" ] || fail "no package here holds $path ($library, loaded by $program)"
  echo "$names" | grep -qxF "$owner" ||
    fail "$program loads $library from $owner, which the package does not depend on"
done <"$scratch/needed"

printed=$("$scratch/root/usr/bin/quillgate-cli" --version)
[ "$printed" = "quillgate-cli $version" ] || fail "quillgate-cli --version printed '$printed'"
mkdir -p "$scratch/home" "$scratch/run"
chmod 700 "$scratch/run"
status=0
env -u DISPLAY -u WAYLAND_DISPLAY HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" \
  XDG_DATA_HOME="$scratch/home/data" XDG_CONFIG_HOME="$scratch/home/config" \
  "$scratch/root/usr/bin/quillgate" 2>"$scratch/stderr" || status=$?
[ "$status" = 1 ] && grep -q 'cannot start' "$scratch/stderr" ||
  fail "the unpacked quillgate ended with status $status: $(cat "$scratch/stderr")"
echo "lintian without errors, dependencies declared, the unpacked programs run ($printed)"
