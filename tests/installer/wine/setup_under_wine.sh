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
# No downloads of Mono or Gecko when the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

if [ ! -f "$setup" ]; then
  echo "$setup is not built (scripts/prepare.sh builds it into build-win)"
  [ -n "${CI:-}" ] && exit 1
  exit 77
fi
[ -n "${DISPLAY:-}" ] || { echo "no display: run under xvfb-run"; exit 1; }

wine() { timeout 300 "$wine64" "$@"; }
winpath() { echo "Z:$(realpath -m "$1" | tr / '\\')"; }
settle() { timeout 120 wineserver -w; }  # the registry reaches its files once the server has ended

mkdir -p "$work"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wine wineboot -i >/dev/null 2>&1
fi
settle
drive_c=$WINEPREFIX/drive_c
target="C:\\Mivra Test"
installed=$drive_c/Mivra\ Test
elsewhere=$drive_c/elsewhere
rm -rf "$installed" "$elsewhere"

# The prefix as files (path, size for files) and registry (keys and
# values); left out are what Wine itself rewrites on every start: the time
# stamps of keys and its own per-session values.
snapshot() {
  settle
  (cd "$drive_c" && find . -path ./windows/temp -prune -o -path './users/*/Temp' -prune -o -printf '%p %y %s\n' |
    sed 's/ d [0-9]*$/ d/' | sort) >"$1.files"
  for hive in system.reg user.reg userdef.reg; do
    echo "== $hive"
    sed -e '/^#time=/d' -e 's/^\(\[.*\]\) [0-9]*$/\1/' "$WINEPREFIX/$hive"
  done | grep -v -e '^"ProcessorNameString"' -e '^;; All keys relative' >"$1.reg"
}
same() {  # same A B WHAT
  if ! diff -u "$1.files" "$2.files" >"$work/diff.txt" || ! diff -u "$1.reg" "$2.reg" >>"$work/diff.txt"; then
    fail "$3:"; head -40 "$work/diff.txt"
  fi
}
drive() {  # drive MODE ARGS...: the driver's findings, every FAIL counted
  local output
  output=$(wine "$(winpath "$driver")" "$@" 2>&1 | tr -d '\r')
  echo "$output" | sed 's/^/  /'
  n=$(echo "$output" | grep -c '^FAIL')
  failures=$((failures + n))
  driven=$output
}

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
echo "$driven" | grep -qxF "registration UninstallString=$target\\Uninstaller.exe" ||
  fail "UninstallString does not name the long form"
for item in "Mivra.lnk|$short\\Mivra.exe|$short\\icon\\mivra.ico" \
            "Mivra Documentation.lnk|$short\\help\\Index.html|$short\\icon\\mivra.ico" \
            "Uninstall Mivra.lnk|$short\\Uninstaller.exe|$short\\icon\\uninst.ico"; do
  echo "$driven" | grep -qixF "group $item" || fail "program group lacks $item"
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
