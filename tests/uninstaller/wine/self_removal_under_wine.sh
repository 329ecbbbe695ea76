#!/usr/bin/env bash
# The Windows uninstallation under Wine: listed files and emptied folders
# go, the registry key goes with its subkeys, and the clean-up script
# deletes the uninstaller once it has ended, then the installation folder
# if it is empty, then itself. A folder with a blank in its name checks that
# the script's unquoted paths hold together.
#   self_removal_under_wine.sh WINE64 WINEPREFIX HARNESS.exe WORK_FOLDER
set -u
wine64=$1 prefix=$2 harness=$3 work=$4
export WINEPREFIX=$prefix WINEDEBUG=-all
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Waits up to 30 s for a path to disappear.
gone() {
  for _ in $(seq 60); do [ -e "$1" ] || return 0; sleep 0.5; done
  return 1
}

install() {
  rm -rf "$1" && mkdir -p "$1/help" "$1/tools" || exit 1
  cp "$harness" "$1/Uninstaller.exe"
  echo readme > "$1/Readme.txt"
  echo index > "$1/help/Index.html"
  echo script > "$1/tools/run.cmd"
  echo script > "$1/tools/run.bat"
}

uninstall() {
  local output
  output=$(timeout 120 "$wine64" "Z:$(echo "$1/Uninstaller.exe" | tr / '\\')" | tr -d '\r')
  [ "$output" = "registration removed" ] || fail "$1: harness said '$output'"
}

rm -rf "$work"
folder="$work/Mivra Files"
install "$folder"
uninstall "$folder"
gone "$folder" || fail "installation folder still there: $(cd "$work" && find . | tr '\n' ' ')"

folder="$work/kept"
install "$folder"
echo mine > "$folder/mine.txt"
uninstall "$folder"
gone "$folder/Uninstaller.exe" || fail "uninstaller not deleted by the script"
sleep 1
left=$(cd "$folder" && find . | sort | tr '\n' ' ')
[ "$left" = ". ./mine.txt " ] || fail "a user file should keep exactly itself and its folder, found: $left"

left=$(find "$prefix/drive_c/users" -name 'T*.bat' -newer "$harness" 2>/dev/null)
[ -z "$left" ] || fail "clean-up scripts left behind: $left"

rm -rf "$work"
[ "$failures" -eq 0 ] && echo "self removal under Wine: ok"
exit "$failures"
