#!/usr/bin/env bash
# Makes the Debian package of a configured and built release tree and checks
# it the way a distribution and a desktop would: lintian, the file layout,
# the desktop entries, the AppStream data, the XML, the manual page, the help
# page, and the program run from the unpacked tree: its help, its options and
# a frame drawn on a private X server.
#   package_test.sh BUILD-DIR
set -uo pipefail

build=${1:?usage: package_test.sh BUILD-DIR}
build=$(cd "$build" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

need() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (see build.sh PACKAGES)" >&2; exit 1; }
  done
}
need cpack dpkg-deb lintian desktop-file-validate appstreamcli man file python3 Xvfb

# Every file and link the package installs (folders left out).
expected_files() {
  local n
  cat <<'LIST'
usr/bin/marivelle
usr/libexec/xscreensaver/marivelle
usr/share/applications/marivelle-settings.desktop
usr/share/applications/screensavers/marivelle.desktop
usr/share/doc/marivelle/Help.html
usr/share/doc/marivelle/changelog.gz
usr/share/doc/marivelle/copyright
usr/share/icons/hicolor/scalable/apps/marivelle.svg
usr/share/man/man6/marivelle.6.gz
usr/share/metainfo/io.github.tarnwick.marivelle.metainfo.xml
usr/share/xscreensaver/config/marivelle.xml
LIST
  for n in 16 22 24 32 48 64 128 256; do echo "usr/share/icons/hicolor/${n}x${n}/apps/marivelle.png"; done
}

# The command-line options the XScreenSaver settings can pass, one a line.
xscreensaver_options() {
  python3 - "$1" <<'PY'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
seen = []
for e in root.iter():
    for key in ("arg", "arg-set", "arg-unset"):
        value = e.get(key)
        if value and value.split()[0] not in seen:
            seen.append(value.split()[0])
print("\n".join(seen))
PY
}

# Every option the XScreenSaver settings can pass must be documented in the
# manual page, and the program must accept it.
# TODO(lead): once the options exist, also run "$exe" with each option and a
# valid value (the XML's default) and check that it does not end with status 2.
# Every command line the XML can make: each set or unset argument, and each
# slider at its two ends, one per line.
xscreensaver_commands() {
  python3 - "$1" <<'PY'
import sys, xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
for e in root.iter():
    for key in ("arg-set", "arg-unset"):
        if e.get(key):
            print(e.get(key))
    if e.get("arg") and "%" in e.get("arg"):
        for end in ("low", "high"):
            print(e.get("arg").replace("%", e.get(end, "")))
PY
}

# The program takes every command line the XML offers.
check_xscreensaver_commands() {
  local xml=$1 exe=$2 line
  while IFS= read -r line; do
    # shellcheck disable=SC2086
    "$exe" $line --help >/dev/null 2>"$scratch/option.err" ||
      fail "marivelle refuses \"$line\" (offered by $xml): $(cat "$scratch/option.err")"
  done < <(xscreensaver_commands "$xml")
}

check_xscreensaver_options() {
  local xml=$1 man_text=$2 options option
  options=$(xscreensaver_options "$xml") || { fail "cannot read the options of $xml"; return; }
  [ -n "$options" ] || fail "$xml passes no options"
  for option in $options; do
    case $option in
      --*) ;;
      *) fail "$xml passes \"$option\", not a long option" ;;
    esac
    grep -qF -- "$option" <<<"$man_text" || fail "the manual page does not describe $option (passed by $xml)"
  done
}

# 1. The package.
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
deb=$(ls "$scratch"/out/marivelle_*_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || { echo "FAIL: no marivelle_<version>_<arch>.deb made" >&2; exit 1; }
echo "package: $(basename "$deb")"

# 2. Lintian: errors fail; warnings and notes are shown.
lintian --tag-display-limit 0 --fail-on error "$deb" >"$scratch/lintian.log" 2>&1
lintian_status=$?
cat "$scratch/lintian.log"
[ $lintian_status -eq 0 ] || fail "lintian reports errors"

# 3. Control fields.
control=$(dpkg-deb -f "$deb")
grep -q '^Section: x11$' <<<"$control" || fail "section is not x11"
grep -q '^Suggests: .*xscreensaver.*mate-screensaver' <<<"$control" || fail "Suggests lacks the screen savers"
grep -q '^Depends: .*libc6' <<<"$control" || fail "Depends has no scanned libraries (shlibdeps off?)"
grep -q '^Depends: .*libgl1' <<<"$control" || fail "Depends lacks libgl1 (opened at run time)"

# 4. Layout, owners and the hack's link.
root=$scratch/root
dpkg-deb -x "$deb" "$root"
(cd "$root" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort) >"$scratch/actual"
expected_files | sort >"$scratch/expected"
if ! diff -u "$scratch/expected" "$scratch/actual"; then
  fail "the package's files differ from the expected layout (- expected, + packed)"
fi
dpkg-deb -c "$deb" | awk '$2 != "root/root" { print }' | grep . && fail "files not owned by root"
link=$(readlink "$root/usr/libexec/xscreensaver/marivelle")
[ "$link" = "../../bin/marivelle" ] || fail "the hack links to \"$link\", not ../../bin/marivelle"
[ -x "$root/usr/libexec/xscreensaver/marivelle" ] || fail "the hack's link does not reach the program"
for n in 16 22 24 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${n}x${n}/apps/marivelle.png
  [ -f "$png" ] || continue
  file -b "$png" | grep -q "^PNG image data, $n x $n, 8-bit/color RGBA" || fail "$png: $(file -b "$png")"
done

# 5. Desktop entries, AppStream, XML.
for desktop in "$root/usr/share/applications/marivelle-settings.desktop" \
               "$root/usr/share/applications/screensavers/marivelle.desktop"; do
  [ -f "$desktop" ] || continue
  out=$(desktop-file-validate "$desktop" 2>&1)
  # Hints are advice; errors and warnings are not.
  grep -Ev ': hint: ' <<<"$out" | grep . && fail "desktop-file-validate $(basename "$desktop")"
done
metainfo=$root/usr/share/metainfo/io.github.tarnwick.marivelle.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
for xml in "$metainfo" "$root/usr/share/xscreensaver/config/marivelle.xml" \
           "$root/usr/share/icons/hicolor/scalable/apps/marivelle.svg"; do
  python3 -c 'import sys, xml.etree.ElementTree as ET; ET.parse(sys.argv[1])' "$xml" || fail "$xml does not parse"
done
config_name=$(python3 -c 'import sys, xml.etree.ElementTree as ET; r = ET.parse(sys.argv[1]).getroot(); print(r.tag, r.get("name"), r.find("command").get("arg"))' \
  "$root/usr/share/xscreensaver/config/marivelle.xml")
[ "$config_name" = "screensaver marivelle --root" ] || fail "XScreenSaver entry reads \"$config_name\""

# 6. The manual page renders without warnings.
manpage=$root/usr/share/man/man6/marivelle.6.gz
man_text=$(MANWIDTH=80 man --warnings -l "$manpage" 2>"$scratch/man.err")
[ -s "$scratch/man.err" ] && { cat "$scratch/man.err" >&2; fail "man reports warnings"; }
[ -n "$man_text" ] || fail "the manual page is empty"
check_xscreensaver_options "$root/usr/share/xscreensaver/config/marivelle.xml" "$man_text"

# 7. The unpacked program runs.
exe=$root/usr/bin/marivelle
help=$("$exe" --help 2>&1) || fail "marivelle --help ends with status $?"
grep -q '^Usage: marivelle' <<<"$help" || fail "marivelle --help prints no usage: $help"
ldd "$exe" | grep 'not found' && fail "libraries missing"
check_xscreensaver_commands "$root/usr/share/xscreensaver/config/marivelle.xml" "$exe"

# 8. The help page is a whole document that needs nothing from the network.
helppage=$root/usr/share/doc/marivelle/Help.html
python3 - "$helppage" <<'PY' || fail "$helppage is not a self-contained page"
import sys, html.parser
class Page(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.open, self.outside, self.title = [], [], False
    def handle_starttag(self, tag, attrs):
        if tag in ("meta", "br", "img", "link", "input", "hr"):
            pass
        else:
            self.open.append(tag)
        self.title |= tag == "title"
        for name, value in attrs:
            if name in ("src", "href") and value and not value.startswith("#"):
                self.outside.append(value)
    def handle_endtag(self, tag):
        if not self.open or self.open.pop() != tag:
            raise SystemExit(f"</{tag}> closes nothing open")
page = Page()
page.feed(open(sys.argv[1], encoding="utf-8").read())
if page.open: raise SystemExit(f"left open: {page.open}")
if not page.title: raise SystemExit("no title")
if page.outside: raise SystemExit(f"reaches outside: {page.outside}")
PY
# Every option of --help is explained on the help page.
for option in $(grep -oE -- '--[a-z-]+' <<<"$help" | sort -u); do
  grep -qF -- "$option" "$helppage" || fail "the help page does not mention $option"
done

# 9. The unpacked program draws a frame on a private X server, with its
# settings in the scratch folder.
exec 3>"$scratch/display"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 300); do
  [ -s "$scratch/display" ] && break
  kill -0 $xvfb 2>/dev/null || break
  sleep 0.1
done
if [ -s "$scratch/display" ]; then
  mkdir -p "$scratch/home" "$scratch/config" "$scratch/run"
  chmod 700 "$scratch/run"
  frame=$(DISPLAY=:$(head -n1 "$scratch/display") HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config \
          XDG_RUNTIME_DIR=$scratch/run timeout 300 "$exe" --frames 1 --size 320x240 --no-sound 2>&1)
  status=$?
  [ $status -eq 0 ] || fail "marivelle --frames 1 ends with status $status: $frame"
  grep -q '^1 frames' <<<"$frame" || fail "marivelle --frames 1 draws no frame: $frame"
else
  fail "Xvfb did not start"
fi
kill $xvfb 2>/dev/null
wait $xvfb 2>/dev/null

if [ $failures -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package checks passed"
