#!/usr/bin/env bash
# setup.exe and Uninstaller.exe of the Windows build under Wine, on the
# virtual display xvfb-run gives: setup_driver.exe (inside Wine) works their
# windows; this script checks what landed on disk and in the registry, and
# that uninstalling gives back the prefix's files and registry as they were.
#   setup_under_wine.sh WINE64 SETUP.EXE DRIVER.EXE WORK_FOLDER [PICTURES_FOLDER]
# WORK_FOLDER keeps its own Wine prefix between runs. Exit status 77: skipped.
set -u
wine64=$1 setup=$2 driver=$3 work=$4 pictures=${5:-}
export WINEPREFIX=$work/prefix WINEDEBUG=-all
# Nothing may leave the prefix: Wine's menu builder would copy the program
# group into the desktop menu of the home folder, and the prefix's user
# folders would link into that home.
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
mkdir -p "$HOME"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [ ! -f "$setup" ]; then
  echo "$setup is not built (scripts/prepare.sh builds it into build-win)"
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
[ -n "${DISPLAY:-}" ] || { echo "no display: run under xvfb-run"; exit 1; }

wine() { timeout 240 "$wine64" "$@"; }
winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }
# The registry reaches its files once the server has ended; a window left
# open would keep it running.
settle() {
  timeout 90 wineserver -w && return
  fail "Wine did not end: some program of the run is still open"
  wineserver -k
}

mkdir -p "$work"
# A run that was cut short leaves its installation behind: start afresh.
if grep -qs 'CurrentVersion\\\\Uninstall\\\\Mivra\]' "$WINEPREFIX/system.reg" ||
   [ -e "$WINEPREFIX/drive_c/Mivra Test" ] ||
   [ -n "$(find "$WINEPREFIX/drive_c/users" -path '*Start Menu/Programs/Mivra' 2>/dev/null)" ]; then
  timeout 60 wineserver -k
  rm -rf "$WINEPREFIX"
fi
fresh=""
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # Made without a display, as the build's prefix is: no installer of Wine's
  # add-ons can ask anything then.
  env -u DISPLAY "$wine64" wineboot -i >/dev/null 2>&1
  fresh=yes
fi
settle
drive_c=$WINEPREFIX/drive_c
# Pictures show the title bars' buttons, which Wine draws with the Marlett
# font: without it in the prefix's Fonts folder they come out as letters.
if [ -n "$pictures" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  mkdir -p "$drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/marlett.ttf "$drive_c/windows/Fonts/"
fi
target="C:\\Mivra Test"
installed=$drive_c/Mivra\ Test
elsewhere=$drive_c/elsewhere
rm -rf "$installed" "$elsewhere"

# The prefix as files (path, type, size of a file) and registry (keys and
# values). Left out is what Wine itself rewrites on every start: the time
# stamps of keys, and the keys of the devices it finds (display adapter,
# monitors, network cards) with their driver dates.
snapshot() {
  settle
  (cd "$drive_c" && find . -path ./windows/temp -prune -o -path './users/*/Temp' -prune -o -printf '%p %y %s\n' |
    sed 's/ d [0-9]*$/ d/' | sort) >"$1.files"
  for hive in system.reg user.reg userdef.reg; do
    echo "== $hive"
    sed -e '/^#time=/d' -e 's/^\(\[.*\]\) [0-9]*$/\1/' "$WINEPREFIX/$hive" | awk '
      /^\[/ { skip = $0 ~ /^\[(System\\\\CurrentControlSet\\\\(Control\\\\(Class|DeviceClasses|Video)|Enum)|Hardware|Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\NetworkCards)/ }
      !skip'
  done >"$1.reg"
}
same() {  # same A B WHAT
  if ! diff -u "$1.files" "$2.files" >"$work/diff.txt" || ! diff -u "$1.reg" "$2.reg" >>"$work/diff.txt"; then
    fail "$3:"; head -40 "$work/diff.txt"
  fi
}
drive() {  # drive MODE ARGS...: the driver's findings, every FAIL counted
  # Into a file, not a pipe: programs the run starts (the shell's windows)
  # inherit the output and would hold a pipe open.
  # The pictures come from Wine's own desktop window, which draws the frames
  # and captions a window manager would.
  local desktop=()
  [ -n "$pictures" ] && desktop=(explorer /desktop=MivraPictures,1024x768)
  wine "${desktop[@]}" "$(winpath "$driver")" "$@" >"$work/driven.raw" 2>&1 </dev/null
  tr -d '\r' <"$work/driven.raw" >"$work/driven.txt"
  sed 's/^/  /' "$work/driven.txt"
  driven=$(cat "$work/driven.txt")
  n=$(grep -c '^FAIL' "$work/driven.txt")
  failures=$((failures + n))
}
# A first start of a window in a new prefix settles some of Wine's own keys;
# a first installation there leaves more that are not ours to remove (the
# shell's folder cache and Explorer settings from making the program group,
# Notepad's settings from showing the readme): one whole round first.
drive cancel "$(winpath "$setup")" >/dev/null
if [ -n "$fresh" ]; then
  drive install "$(winpath "$setup")" "$target" >/dev/null
  drive uninstall "$target\\Uninstaller.exe" >/dev/null
fi
snapshot "$work/before"

echo "Cancel and a closed agreement touch nothing:"
drive cancel "$(winpath "$setup")"
snapshot "$work/cancelled"
same "$work/before" "$work/cancelled" "Cancel changed the prefix"

echo "Installing into $target:"
drive install "$(winpath "$setup")" "$target" ${pictures:+"$(winpath "$pictures")"}
[ -d "$installed" ] || fail "nothing installed in $installed"
for pair in "Mivra.exe:$(dirname "$setup")/mivra.exe" "Uninstaller.exe:$(dirname "$setup")/Uninstaller.exe" \
            "help/Index.html:$(dirname "$0")/../../../help/Index.html"; do
  name=${pair%%:*} original=${pair#*:}
  cmp -s "$installed/$name" "$original" || fail "$name differs from $original"
done
for name in icon/mivra.ico icon/uninst.ico sample/jbrowse.dll Readme.txt; do
  [ -s "$installed/$name" ] || fail "$name not installed"
done
short=$(echo "$driven" | sed -n 's/^group Mivra.lnk|\(.*\)\\Mivra.exe|.*/\1/p')
readme=$(tr -d '\r' <"$installed/Readme.txt")
echo "$readme" | grep -q '\$TGTDIR' && fail "Readme.txt still holds \$TGTDIR"
echo "$readme" | grep -qF "Mivra is installed in $short." || fail "Readme.txt does not name the short folder '$short'"
[ "$short" != "$target" ] && [ -n "$short" ] || fail "the item paths use the short form of the folder, found '$short'"
echo "$driven" | grep -qxF "registration DisplayName=Mivra" || fail "no DisplayName"
echo "$driven" | grep -qxF "registration UninstallString=\"$target\\Uninstaller.exe\"" ||
  fail "UninstallString does not name the long form in quotes"
# Wine's program manager keeps each item's command line as the link's target
# (the icon path it is given is not kept).
for item in "Mivra.lnk|$short\\Mivra.exe" "Mivra Documentation.lnk|$short\\help\\Index.html" \
            "Uninstall Mivra.lnk|$short\\Uninstaller.exe"; do
  echo "$driven" | grep -qiF "group $item|" || fail "program group lacks $item"
done

echo "A copy of the uninstaller elsewhere refuses:"
mkdir -p "$elsewhere/help"
cp "$installed/Uninstaller.exe" "$elsewhere/"
echo mine >"$elsewhere/Readme.txt"
echo mine >"$elsewhere/help/Index.html"
drive refused "$(winpath "$elsewhere/Uninstaller.exe" | sed 's/^Z:.*drive_c/C:/')"
echo "$driven" | grep -qF "refusal \"This Uninstaller runs from C:\\elsewhere, but Mivra was installed in $target." ||
  fail "no refusal naming both folders"
[ -f "$elsewhere/Readme.txt" ] && [ -f "$elsewhere/help/Index.html" ] && [ -f "$installed/Readme.txt" ] ||
  fail "the refusing copy removed files"
rm -rf "$elsewhere"

echo "Uninstalling:"
drive uninstall "$target\\Uninstaller.exe" ${pictures:+"$(winpath "$pictures")"}
echo "$driven" | grep -qxF "registration none" || fail "the registration stays"
echo "$driven" | grep -qxF "group none" || fail "the program group stays"
[ -e "$installed" ] && fail "installation folder still there: $(cd "$installed" && find . | tr '\n' ' ')"
snapshot "$work/after"
same "$work/before" "$work/after" "the prefix differs after uninstalling"

[ "$failures" -eq 0 ] && echo "setup and uninstaller under Wine: ok"
exit "$failures"
