#!/usr/bin/env bash
# Renders user-guide pages with headless Chromium, to see them as a reader
# does: build/help-shots/<page>.png (default: Index.html and Tut3.html).
# Needs Debian's chromium; not part of the tests.
#   scripts/help-screenshots.sh [PAGE.html ...]
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/help-shots
mkdir -p "$out"
pages=("$@")
[ ${#pages[@]} -gt 0 ] || pages=(Index.html Tut3.html)
chromium_bin=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$chromium_bin" ]; then
  echo "help-screenshots: chromium is not installed (apt-get install chromium)" >&2
  exit 1
fi
for page in "${pages[@]}"; do
  profile=$(mktemp -d)
  "$chromium_bin" --headless --no-sandbox --disable-gpu --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$profile" --hide-scrollbars \
    --screenshot="$PWD/$out/${page%.html}.png" --window-size=1200,900 \
    "file://$PWD/help/$page" >/dev/null 2>&1
  rm -rf "$profile"
  echo "$out/${page%.html}.png"
done
