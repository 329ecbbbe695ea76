#!/usr/bin/env bash
# Makes the user guide's pictures of the Windows installer and uninstaller
# from build-win's setup.exe under Wine on a virtual display, and writes them
# to help/ (they are committed; run this again whenever those windows change):
#   help/win-setup-folder.png     the folder dialog over the background
#   help/win-setup-agreement.png  the licence agreement
#   help/win-setup-progress.png   the progress dialog at its end
#   help/win-uninstall-confirm.png, help/win-uninstall-finished.png
# It is the Wine test's own run (tests/installer/wine/setup_under_wine.sh),
# with the driver grabbing each window as it works it.
#   scripts/windows-pictures.sh [BUILD_DIR [SETUP.EXE]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
setup=${2:-$PWD/build-win/bin/setup.exe}
driver=$build/tests/installer/setup_driver.exe
[ -f "$setup" ] || { echo "windows-pictures: build $setup first (scripts/prepare.sh)" >&2; exit 1; }
[ -f "$driver" ] || cmake --build "$build" --target setup_driver
shots=$build/windows-pictures
rm -rf "$shots" && mkdir -p "$shots"
xvfb-run -a -s "-screen 0 1024x768x24" bash tests/installer/wine/setup_under_wine.sh \
  /usr/lib/wine/wine64 "$setup" "$driver" "$build/tests/installer/wine-setup" "$shots"
for name in setup-folder setup-agreement setup-progress uninstall-confirm uninstall-finished; do
  python3 scripts/help-pictures/bmp_to_png.py "$shots/$name.bmp" "help/win-$name.png"
  echo "help/win-$name.png"
done
