#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks the installed tree
# the way its users see it: the program runs without the source tree, the
# desktop entry, AppStream metadata and manual page pass their validators,
# nothing but the listed files is installed, and the Debian package names
# its dependencies.
#   install_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
root="$work/root/usr"

# Exactly these files.
expected="bin/mirabo
share/applications/invalid.mirabo.browser.desktop
share/doc/mirabo/changelog.gz
share/doc/mirabo/copyright
share/icons/hicolor/scalable/apps/mirabo.svg
share/man/man1/mirabo.1.gz
share/metainfo/invalid.mirabo.browser.metainfo.xml
share/mirabo/sample/CATEGORY.csv
share/mirabo/sample/FEATURES.csv
share/mirabo/sample/ISSUES.csv
share/mirabo/sample/REVIEW.csv
share/mirabo/sample/SUPPLIER.csv"
actual=$(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$actual" = "$expected" ] || fail "installed files differ:"$'\n'"$actual"

# The installed program, away from the source and build trees.
cd "$work"
[ "$("$root/bin/mirabo" --version)" = "mirabo $version" ] || fail "--version"
"$root/bin/mirabo" load --data "$work/data" "$root"/share/mirabo/sample/*.csv >"$work/load.txt"
grep -q "^FEATURES: [0-9]* rows loaded" "$work/load.txt" || fail "load: $(cat "$work/load.txt")"
[ -s "$work/data/FEATURES.KVX" ] || fail "no data file"
"$root/bin/mirabo" export --data "$work/data" issues txt "$work/issues.txt" 2>"$work/export.txt" ||
  fail "export: $(cat "$work/export.txt")"
[ "$(wc -l <"$work/issues.txt")" -gt 10 ] || fail "export wrote $(wc -l <"$work/issues.txt") lines"

# Validators say nothing.
desktop-file-validate "$root/share/applications/invalid.mirabo.browser.desktop" >"$work/v.txt" 2>&1 ||
  fail "desktop entry: $(cat "$work/v.txt")"
[ ! -s "$work/v.txt" ] || fail "desktop entry: $(cat "$work/v.txt")"
appstreamcli validate --no-net "$root/share/metainfo/invalid.mirabo.browser.metainfo.xml" \
  >"$work/v.txt" 2>&1 || fail "AppStream: $(cat "$work/v.txt")"
if grep -q '^[WE]:' "$work/v.txt"; then fail "AppStream: $(cat "$work/v.txt")"; fi
man --warnings -l "$root/share/man/man1/mirabo.1.gz" >/dev/null 2>"$work/v.txt"
[ ! -s "$work/v.txt" ] || fail "manual page: $(cat "$work/v.txt")"

# The package's control file lists what the binary needs.
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" >/dev/null) ||
  fail "cpack"
deb=$(ls "$work"/pkg/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for need in libqt6widgets6 libqt6printsupport6 libsqlite3-0 fonts-liberation; do
  case "$depends" in *"$need"*) ;; *) fail "Depends lacks $need: $depends" ;; esac
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
# The manual page names the paths the package installs.
zcat "$root/share/man/man1/mirabo.1.gz" | grep -q '/usr/share/mirabo/sample/' ||
  fail "the manual page does not name /usr/share/mirabo/sample"
if zcat "$root/share/man/man1/mirabo.1.gz" | grep -q '/usr/local'; then
  fail "the manual page names /usr/local"
fi
# Debian's own package checker finds nothing to say.
lintian --fail-on error,warning --suppress-tags-from-file /dev/null "$deb" >"$work/v.txt" 2>&1 ||
  fail "lintian: $(cat "$work/v.txt")"
if grep -q '^[EW]:' "$work/v.txt"; then fail "lintian: $(cat "$work/v.txt")"; fi
echo "installed tree, validators and package are as expected"
