#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root and checks it as
# an installation: the installed mivra runs, generates and packs a jar, the
# manual page renders without warnings and covers every option of the usage
# text, and lintian finds no error.
#   check_package.sh BUILD_DIR WINE_DLL_DIR
set -euo pipefail
build=$1
dlls=$2

fail() {
  echo "check_package: $*" >&2
  exit 1
}

cmake --build "$build" --target package
debs=("$build"/package/mivra_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one mivra_*.deb in $build/package, found: ${debs[*]}"
deb=${debs[0]}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"

for file in usr/bin/mivra usr/share/java/mivra-runtime.jar usr/share/doc/mivra/copyright \
            usr/share/doc/mivra/changelog.gz usr/share/doc/mivra/html/Index.html usr/share/man/man1/mivra.1.gz \
            usr/share/applications/mivra.desktop usr/share/icons/hicolor/32x32/apps/mivra.png; do
  [ -f "$root/$file" ] || fail "the package has no /$file"
done
# The icons are whole PNG images of their sizes: every chunk's CRC and the
# image data's checksum hold, and the data fills the image.
for size in 16 22 24 32 48 64 128 256; do
  python3 - "$root/usr/share/icons/hicolor/${size}x${size}/apps/mivra.png" "$size" <<'PY' || fail "the ${size}x${size} icon is no valid PNG"
import struct, sys, zlib
data, size = open(sys.argv[1], "rb").read(), int(sys.argv[2])
assert data[:8] == b"\x89PNG\r\n\x1a\n"
at, image, header = 8, b"", None
while at < len(data):
    length, kind = struct.unpack(">I4s", data[at:at + 8])
    body = data[at + 8:at + 8 + length]
    assert struct.unpack(">I", data[at + 8 + length:at + 12 + length])[0] == zlib.crc32(kind + body)
    if kind == b"IHDR": header = struct.unpack(">IIBBBBB", body)
    if kind == b"IDAT": image += body
    at += 12 + length
assert header == (size, size, 8, 6, 0, 0, 0), header
assert len(zlib.decompress(image)) == size * (1 + 4 * size)
PY
done
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "Depends names no Qt 6 Widgets: $(dpkg-deb -f "$deb" Depends)"
# The offline Maven settings the guide tells of, and a description that names
# the full bindings and their runtime.
dpkg-deb -f "$deb" Recommends | grep -q 'maven-debian-helper' || fail "Recommends names no maven-debian-helper"
description=$(dpkg-deb -f "$deb" Description)
[[ $description == *"full bindings"* && $description == *"mivra-runtime.jar"* ]] ||
  fail "the description names no full bindings or runtime jar: $description"

mivra=$root/usr/bin/mivra
# The command line loads no window toolkit; the window is a program of its own.
! readelf -d "$mivra" | grep -q 'libQt6' || fail "/usr/bin/mivra loads Qt"
[ -x "$root/usr/libexec/mivra/mivra-window" ] || fail "no /usr/libexec/mivra/mivra-window"
version=$("$mivra" --version)
[[ " $version " == *" $(dpkg-deb -f "$deb" Version) "* ]] || fail "mivra --version says '$version', not the package's version"
"$mivra" generate -i "$dlls/shdocvw.dll" -o "$root/out" -p mvx.shdocvw --jar "$root/out/shdocvw.jar"
[ -s "$root/out/shdocvw.jar" ] && [ -s "$root/out/shdocvw-sources.jar" ] || fail "generate --jar wrote no jars"

page=$root/usr/share/man/man1/mivra.1.gz
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man -l $page warns: $warnings"
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$page" 2>/dev/null)
# Every command and option the usage text names is described.
usage=$("$mivra" --help)
words=$({ grep -oE -- '(^|[][ |])-{1,2}[a-z][a-z-]*' <<<"$usage" | sed 's/^[][ |]//'
         grep -oE '^ *(usage: )?mivra [a-z]+' <<<"$usage" | awk '{print $NF}'; } | sort -u)
[ -n "$words" ] || fail "no commands or options in the usage text: $usage"
for word in $words; do
  grep -qE -- "(^|[^a-z-])$word([^a-z-]|\$)" <<<"$text" || fail "the manual page does not mention $word"
done

# In CI, which runs as root on a machine of its own, also a real
# installation and removal with dpkg; elsewhere the system is left alone.
if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ] && ! dpkg-query -W mivra >/dev/null 2>&1; then
  trap 'dpkg --purge mivra >/dev/null 2>&1 || true; rm -rf "$root"' EXIT
  dpkg -i "$deb" || fail "dpkg -i $deb failed"
  [ "$(/usr/bin/mivra --version)" = "$version" ] || fail "the installed /usr/bin/mivra does not run"
  man -w mivra >/dev/null || fail "man does not find the installed page"
  installed=$(dpkg-query -L mivra)
  dpkg --purge mivra || fail "dpkg --purge mivra failed"
  for path in $installed; do
    case $path in /usr/share/doc/mivra* | /usr/bin/mivra | /usr/share/java/mivra* | /usr/share/maven-repo/mivra*)
      [ ! -e "$path" ] && [ ! -L "$path" ] || fail "$path is left after dpkg --purge" ;;
    esac
  done
  echo "check_package: installed with dpkg -i and removed with dpkg --purge"
fi

if ! command -v lintian >/dev/null; then
  fail "lintian is not installed (scripts/prepare.sh installs it)"
fi
lintian --fail-on error --tag-display-limit 0 "$deb"
echo "check_package: $(basename "$deb") unpacks, runs and passes lintian"
