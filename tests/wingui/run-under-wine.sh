#!/usr/bin/env bash
# Runs one check of the Win32 window test program under wine64 on a virtual
# X display:  run-under-wine.sh PROGRAM WINEPREFIX CHECK [ARGS...]
# Exit 77 (skipped) when the program, wine64, xvfb-run or the prefix is
# missing, except in CI, where the set-up script provides them all.
set -u
program=$1 prefix=$2
shift 2
wine=/usr/lib/wine/wine64
missing=""
[ -f "$program" ] || missing="$program (scripts/prepare.sh builds it)"
[ -x "$wine" ] || missing="wine64"
[ -f "$prefix/system.reg" ] || missing="the Wine prefix $prefix"
command -v xvfb-run >/dev/null || missing="xvfb-run (apt-get install xvfb xauth)"
if [ -n "$missing" ]; then
  echo "missing: $missing" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;winebrowser.exe=d"
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$wine" "$program" "$@"
