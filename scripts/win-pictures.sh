#!/usr/bin/env bash
# Makes the user guide's pictures of the Windows windows from the Windows
# build, under Wine on a virtual display, and writes them to help/ (they are
# committed; run this again whenever a window changes):
#   help/win-builder-empty.png   the builder window as it opens
#   help/win-builder-filled.png  the builder window filled in for the tutorial
#   help/win-source-picker.png   the source picker over the build's prefix
#   help/win-progid.png          the ProgID window
#   help/win-about.png           the About box
#   help/win-message.png         a message box of the builder
# The window test program takes the pictures itself (wingui_tests pictures);
# Wine's virtual desktop draws the frames as Windows does. Needs xvfb-run and
# python3 (to compress the pictures).
#   scripts/win-pictures.sh [BUILD_DIR] [WINDOWS_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
windows_build=$(cd "${2:-build-win}" && pwd)
program=$windows_build/tests/wingui/wingui_tests.exe
wine=/usr/lib/wine/wine64
command -v xvfb-run >/dev/null || { echo "win-pictures: xvfb-run is not installed (apt-get install xvfb)" >&2; exit 1; }
[ -f "$build/wineprefix/system.reg" ] || { echo "win-pictures: no Wine prefix in $build" >&2; exit 1; }
cmake --build "$windows_build" --target wingui_tests >/dev/null
# Wine draws the title bars' buttons with the Marlett font; without it in the
# prefix's Fonts folder they come out as letters.
mkdir -p "$build/wineprefix/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/marlett.ttf "$build/wineprefix/drive_c/windows/Fonts/"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Named as the product, so that message boxes carry its name as caption.
cp "$program" "$work/mivra.exe"

WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d \
  xvfb-run -a -s "-screen 0 1024x768x24" \
  "$wine" explorer /desktop=mivra,1024x768 "$work/mivra.exe" pictures "Z:${work//\//\\}" 2>&1 | grep -v "^X connection" || true

for picture in win-builder-empty win-builder-filled win-source-picker win-progid win-about win-message; do
  [ -f "$work/$picture.png" ] || { echo "win-pictures: $picture.png was not made" >&2; exit 1; }
  # The program writes stored (uncompressed) pictures; compress them.
  python3 - "$work/$picture.png" "help/$picture.png" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
pos, chunks = 8, []
while pos < len(data):
    length, = struct.unpack('>I', data[pos:pos + 4])
    chunks.append((data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]))
    pos += 12 + length
idat = zlib.decompress(b''.join(body for kind, body in chunks if kind == b'IDAT'))
def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body) & 0xffffffff)
header = dict(chunks)[b'IHDR']
open(sys.argv[2], 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', header) +
                              chunk(b'IDAT', zlib.compress(idat, 9)) + chunk(b'IEND', b''))
PY
  echo "help/$picture.png"
done
