#!/usr/bin/env bash
# Set up and run Mivra's main job on a built-in default: Java bindings for
# Wine's web-browser library (shdocvw.dll) from the build's Wine prefix.
set -euo pipefail
cd "$(dirname "$0")"
scripts/prepare.sh
# The sample library: build/sample/jbrowse.dll and build/sample/jbrowse.jar.
cmake --build build --target sample -j2
source=build/wineprefix/drive_c/windows/system32/shdocvw.dll
[ -f "$source" ] || source=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/shdocvw.dll
out=build/out/shdocvw-demo
build/bin/mivra generate -i "$source" -o "$out" -p mvx.shdocvw --registry build/wineprefix
echo "The Java classes, the C file Jshdocvw.c, overview.html and readme.html are in $out/"
