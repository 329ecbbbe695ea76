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

# The full bindings at work on this JVM: Wine's scripting runtime generated
# with --mapping full, a short Java program compiled against them and run
# through mivra-bridge64.exe under wine64 against the real server.
cmake --build build --target mivra_runtime_jar -j2
demo=build/out/bridge-demo
rm -rf "$demo"
build/bin/mivra generate -i build/wineprefix/drive_c/windows/system32/scrrun.dll -o "$demo/src" -p mvx.scrrun \
    --mapping full --registry build/wineprefix
javac -nowarn -d "$demo/classes" -cp build/runtime/mivra-runtime.jar "$demo"/src/*.java scripts/bridge-demo/BridgeDemo.java
echo "Running scripts/bridge-demo/BridgeDemo.java on this JVM through wine64 mivra-bridge64.exe:"
WINEPREFIX="$PWD/build/wineprefix" WINEDEBUG=-all java -cp "build/runtime/mivra-runtime.jar:$demo/classes" \
    -Dmivra.bridge="/usr/lib/wine/wine64 $PWD/build/runtime/mivra-bridge64.exe" BridgeDemo
