#!/usr/bin/env bash
# Builds the .deb of a build tree, unpacks it into a throwaway root and checks what a school would
# get: the files in their places, the package's dependencies, a clean desktop entry, and the
# installed programs running on the installed sample library.
# Usage: package_test.sh BUILD_DIR [CPACK]
set -uo pipefail
build=${1:?build directory}
cpack=${2:-cpack}
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in dpkg-deb "$cpack"; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
for program in src/app/harrowvane tools/hvlib/hvlib tools/hvrtf/hvrtf data/sample/Sample.dat; do
  [ -e "$build/$program" ] || fail "$build/$program is not built; build the tree first"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A package directory of its own, so a parallel run or `make package` is not disturbed.
(cd "$build" && "$cpack" -G DEB -B "$work/pkg" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/pkg/harrowvane_*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || fail "no .deb produced"
echo "package: $(basename "$deb")"

control=$(dpkg-deb -f "$deb")
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
has_dep() { tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -xF "$1" >/dev/null; }
for dep in fonts-liberation2 qt6-image-formats-plugins libqt6widgets6 libqt6svg6; do
  has_dep "$dep" || fail "Depends lacks $dep"
done
grep -q '^Section: education' <<<"$control" || fail "section"
# (Outputs are taken whole before grep: grep -q leaving early would fail the pipe.)
conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles) || fail "no conffiles"
for f in vornika32.ini vornika.ini RX2P.xltx; do
  grep -qx "/etc/xdg/harrowvane/$f" <<<"$conffiles" || fail "$f is not a conffile"
done

root="$work/root"
dpkg -x "$deb" "$root" || fail "dpkg -x"
for f in usr/bin/harrowvane usr/bin/hvlib usr/bin/hvrtf \
         usr/share/harrowvane/sample/Sample.dat usr/share/harrowvane/sample/Sample.txt \
         etc/xdg/harrowvane/vornika32.ini etc/xdg/harrowvane/vornika.ini etc/xdg/harrowvane/RX2P.xltx \
         usr/share/applications/harrowvane.desktop usr/share/icons/hicolor/scalable/apps/harrowvane.svg \
         usr/share/icons/hicolor/48x48/apps/harrowvane.png usr/share/man/man1/harrowvane.1 \
         usr/share/man/man1/hvlib.1 usr/share/man/man1/hvrtf.1 usr/share/doc/harrowvane/help; do
  [ -e "$root/$f" ] || fail "/$f is missing from the package"
done
# Every library a program links comes from a package the .deb depends on (shlibdeps at work).
for program in "$root"/usr/bin/*; do
  resolved=$(ldd "$program")
  for lib in $(objdump -p "$program" | awk '/NEEDED/ {print $2}'); do
    path=$(awk -v l="$lib" '$1 == l && $2 == "=>" {print $3}' <<<"$resolved")
    owner=""
    for candidate in "$path" "${path#/usr}" "/usr$path" "$(readlink -f "$path")"; do
      [ -n "$owner" ] || owner=$(dpkg -S "$candidate" 2>/dev/null | head -1 | cut -d: -f1)
    done
    [ -n "$owner" ] || fail "$(basename "$program") links $lib, which no installed package provides"
    has_dep "$owner" || fail "$(basename "$program") links $lib from $owner, which Depends lacks"
  done
done
# Binaries go in stripped and nothing lands outside /usr and /etc.
kind=$(file "$root/usr/bin/harrowvane")
grep -q 'not stripped' <<<"$kind" && fail "harrowvane is not stripped"
stray=$(cd "$root" && find . -mindepth 1 -maxdepth 1 ! -name usr ! -name etc)
[ -z "$stray" ] || fail "unexpected top-level entries: $stray"
# The installed configuration names the installed sample, whatever prefix the tree was built for.
grep -qx 'TextFilename=/usr/share/harrowvane/sample/Sample.txt' "$root/etc/xdg/harrowvane/vornika32.ini" \
  || { cat "$root/etc/xdg/harrowvane/vornika32.ini"; fail "TextFilename of the installed ini"; }
grep -qx 'LibFilename=/usr/share/harrowvane/sample/Sample.dat' "$root/etc/xdg/harrowvane/vornika32.ini" || fail "LibFilename"
grep -qix 'Subject=Sample' "$root/etc/xdg/harrowvane/vornika.ini" || fail "vornika.ini subject"
listing=$(unzip -l "$root/etc/xdg/harrowvane/RX2P.xltx") || fail "template is not a zip package"
grep -q 'xl/worksheets/sheet2.xml' <<<"$listing" || fail "template is not a two-sheet workbook"
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$root/usr/share/applications/harrowvane.desktop" 2>&1)
  [ -z "$out" ] || fail "desktop-file-validate: $out"
else
  echo "note: desktop-file-validate not installed; desktop entry not validated"
fi

# The installed programs, on the installed sample, found the way an installed system finds them:
# through XDG_CONFIG_DIRS, with the root's paths written into its ini in place of /usr.
sed -i "s#=/usr/#=$root/usr/#" "$root/etc/xdg/harrowvane/vornika32.ini"
empty="$work/empty"
mkdir -p "$empty/home"
run() {
  (cd "$empty" && env -u HARROWVANE_CONFIG_DIR HOME="$empty/home" XDG_CONFIG_HOME="$empty/home/.config" \
     XDG_CONFIG_DIRS="$root/etc/xdg" "$@")
}
dump=$(run "$root/usr/bin/hvlib" dump Sample 2>&1) || { echo "$dump" | tail; fail "installed hvlib dump Sample"; }
grep -q 'QP101' <<<"$dump" || fail "the dump of the installed sample lacks QP101"
echo "hvlib dump Sample: $(wc -l <<<"$dump") lines"
text=$(run "$root/usr/bin/hvlib" text Sample QP101 2>&1) || fail "installed hvlib text Sample QP101"
grep -q '^{\\rtf1' <<<"$text" || fail "hvlib text is not RTF"
printf '%s\n' "$text" >"$work/q.rtf"
run "$root/usr/bin/hvrtf" "$work/q.rtf" "$work/q.txt" >/dev/null 2>&1 || fail "installed hvrtf"
[ -s "$work/q.txt" ] || fail "hvrtf wrote nothing"

# The program itself starts on the sample offscreen and reaches the end of its first showing; an
# error box would keep it waiting until the timeout.
started=$(run env QT_QPA_PLATFORM=offscreen HARROWVANE_QUIT_AFTER_START=1 timeout 60 "$root/usr/bin/harrowvane" Sample 2>"$work/err")
rc=$?
[ $rc -eq 0 ] || { cat "$work/err"; fail "installed harrowvane Sample ended with $rc"; }
echo "harrowvane: $(head -1 <<<"$started") / $(sed -n 2p <<<"$started")"
grep -q '^Harrowvane ' <<<"$started" || fail "caption: $started"
[ -n "$(sed -n 2p <<<"$started")" ] || fail "no status line: the first result was not selected"
echo "PASS"
