#!/usr/bin/env bash
# Makes the user guide's pictures from the built programs and writes them to
# help/ (they are committed; run this again whenever the window or the
# generated pages change):
#   help/dialogbox.gif    the builder window as it opens
#   help/sampleinput.gif  the builder window filled in for the tutorial
#   help/overview.gif     overview.html generated for the web-browser library
# The window is run offscreen and grabs itself (help_window_grabber); the
# generated page is rendered by headless Chromium; ImageMagick's convert makes
# the GIFs. Needs imagemagick, and chromium for overview.gif (left as it is
# without it); the tests need neither.
#   scripts/help-pictures.sh [BUILD_DIR]      (or: cmake --build build --target help-pictures)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
mivra=$build/bin/mivra
grabber=$build/bin/help_window_grabber
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

command -v convert >/dev/null || { echo "help-pictures: convert is not installed (apt-get install imagemagick)" >&2; exit 1; }
have_chromium=$(command -v chromium || true)
[ -x "$mivra" ] || { echo "help-pictures: build $mivra first" >&2; exit 1; }
if [ ! -x "$grabber" ]; then
  cmake --build "$build" --target help_window_grabber >/dev/null 2>&1 || true
fi

render() {  # render URL WIDTH HEIGHT OUT.png
  local profile
  profile=$(mktemp -d)
  chromium --headless --no-sandbox --disable-gpu --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --hide-scrollbars \
    --screenshot="$4" --window-size="$2,$3" "$1" >/dev/null 2>&1
  rm -rf "$profile"
}

to_gif() {  # to_gif IN.png OUT.gif: trimmed of empty margins, 256 colours
  convert "$1" -trim +repage -bordercolor white -border 8 -colors 256 "$2"
}

window_gif() {  # window_gif IN.png OUT.gif: the whole window in a thin frame
  convert "$1" -bordercolor '#8a94a8' -border 1 -colors 256 "$2"
}

# The caption's font: a file, since ImageMagick's default names a PostScript
# font that a machine without Ghostscript's fonts lacks.
caption_font=$(fc-match -f '%{file}' 'DejaVu Sans:bold' 2>/dev/null || echo DejaVu-Sans-Bold)

# A window grabbed offscreen has no title bar; draw the caption above it so
# the picture reads like the window on screen.
with_caption() {  # with_caption IN.png CAPTION OUT.png
  convert "$1" -background '#2d4f8f' -gravity north -splice 0x28 \
    -fill white -font "$caption_font" -pointsize 14 -gravity northwest -annotate +10+6 "$2" "$3"
}

# Text of the running program, for pictures whose program part is missing
# from this build.
text_page() {  # text_page TITLE TEXTFILE OUT.html NOTE
  {
    printf '<!DOCTYPE html><html lang="en"><head><meta charset="utf-8"><title>%s</title>' "$1"
    printf '<style>body{font-family:sans-serif;margin:16px}pre{background:#f4f6fa;border:1px solid #d6dce8;padding:10px;font-size:14px}</style></head><body>'
    printf '<h3>%s</h3><pre>' "$1"
    sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' "$2"
    printf '</pre><p><i>%s</i></p></body></html>\n' "$4"
  } >"$3"
}

fallbacks=()

# The builder window.
caption="Mivra:  COM to Java JNI bridge builder"
if [ -x "$grabber" ] &&
   QT_QPA_PLATFORM=offscreen "$grabber" "$work/empty.png" "$work/filled.png" >"$work/grab.log" 2>&1; then
  with_caption "$work/empty.png" "$caption" "$work/empty-captioned.png"
  with_caption "$work/filled.png" "$caption" "$work/filled-captioned.png"
  window_gif "$work/empty-captioned.png" help/dialogbox.gif
  window_gif "$work/filled-captioned.png" help/sampleinput.gif
else
  cat "$work/grab.log" >&2 2>/dev/null || true
  "$mivra" --help >"$work/usage.txt" 2>&1 || true
  text_page "mivra --help" "$work/usage.txt" "$work/usage.html" \
    "Stands in for the builder window, which this build does not have yet."
  render "file://$work/usage.html" 900 400 "$work/usage.png"
  to_gif "$work/usage.png" help/dialogbox.gif
  { echo '$ mivra generate -i C:\Windows\System32\ieframe.dll -o C:\tutorial -p mvx.tutorial -l jbrowse.dll'
    "$mivra" generate -i 'C:\Windows\System32\ieframe.dll' -o "$work/tutorial" -p mvx.tutorial -l jbrowse.dll 2>&1 || true
  } >"$work/sample.txt"
  text_page "The tutorial's inputs" "$work/sample.txt" "$work/sample.html" \
    "Stands in for the builder window filled in for the tutorial, which this build does not have yet."
  render "file://$work/sample.html" 900 300 "$work/sample.png"
  to_gif "$work/sample.png" help/sampleinput.gif
  fallbacks+=(dialogbox.gif sampleinput.gif)
fi

# The overview page generated for the web-browser library, as the tutorial
# makes it. Wine's copy of the library stands in for the Windows one.
if [ -z "$have_chromium" ]; then
  echo "help-pictures: chromium is not installed: help/overview.gif is left as it is" >&2
  ls -l help/dialogbox.gif help/sampleinput.gif
  exit 0
fi
wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
registry=()
[ -f "$build/wineprefix/system.reg" ] && registry=(--registry "$build/wineprefix")
generated=""
for library in ieframe.dll shdocvw.dll; do
  rm -rf "$work/sample"
  if "$mivra" generate -i "$wine_dlls/$library" -o "$work/sample" -p mvx.tutorial -l jbrowse.dll \
       "${registry[@]}" >"$work/generate.log" 2>&1 && [ -f "$work/sample/overview.html" ]; then
    generated=$work/sample/overview.html
    break
  fi
done
if [ -n "$generated" ]; then
  render "file://$generated" 900 700 "$work/overview.png"
  to_gif "$work/overview.png" help/overview.gif
else
  cat "$work/generate.log" >&2
  "$mivra" generate -i "$wine_dlls/ieframe.dll" -o "$work/sample" -p mvx.tutorial -l jbrowse.dll \
    >"$work/generate.txt" 2>&1 || true
  text_page "mivra generate (overview.html)" "$work/generate.txt" "$work/generate.html" \
    "Stands in for the generated overview page, which this build cannot write yet."
  render "file://$work/generate.html" 900 300 "$work/generate.png"
  to_gif "$work/generate.png" help/overview.gif
  fallbacks+=(overview.gif)
fi

ls -l help/dialogbox.gif help/sampleinput.gif help/overview.gif
if [ ${#fallbacks[@]} -gt 0 ]; then
  echo "help-pictures: made from the program's text, since this build lacks their part: ${fallbacks[*]}" >&2
fi
