#!/usr/bin/env bash
# Set up and run Mivra's main job on a built-in default.
set -euo pipefail
cd "$(dirname "$0")"
scripts/prepare.sh
# The sample library: build/sample/jbrowse.dll and build/sample/jbrowse.jar.
cmake --build build --target sample -j2
source=build/wineprefix/drive_c/windows/system32/shdocvw.dll
[ -f "$source" ] || source=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/shdocvw.dll
build/bin/mivra dump "$source"
