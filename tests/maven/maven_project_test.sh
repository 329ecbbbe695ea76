#!/usr/bin/env bash
# A small Maven project built offline with mivra-maven-plugin: its bindings
# are generated from a type library in the folders of their package, its own
# code (in a package and in the default one) compiles against them, a
# second build with nothing changed regenerates nothing, a change beside the
# library or in the registry regenerates, and a library mivra
# refuses fails the build with mivra's message.
#   maven_project_test.sh MVN SETTINGS MIVRA TYPE_LIBRARY RUNTIME_JAR VERSION
set -euo pipefail
mvn=$1 settings=$2 mivra=$3 library=$4 runtime=$5 version=$6
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "maven_project_test: $*" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$here/project" "$work/project"
cd "$work/project"
maven() {
  "$mvn" -B -s "$settings" -Dmivra.version="$version" -Dmivra.program="$mivra" "$@" >"$work/log" 2>&1
}
fail_with_log() {
  cat "$work/log"
  fail "$@"
}

# The runtime jar, as the plugin's documentation says to install it.
maven install:install-file -Dfile="$runtime" -DgroupId=mivra -DartifactId=mivra-runtime -Dversion="$version" \
  -Dpackaging=jar || fail_with_log "installing the runtime jar failed"

# The library in a folder of its own, and a Wine prefix of the test's.
mkdir -p "$work/lib" "$work/prefix"
cp "$library" "$work/lib/golden.tlb"
library=$work/lib/golden.tlb
printf 'WINE REGISTRY Version 2\n' >"$work/prefix/system.reg"
export WINEPREFIX=$work/prefix

generated=target/generated-sources/mivra
maven -Dshape.library="$library" compile || fail_with_log "the first build failed"
[ -f "$generated/mvx/golden/Shape.java" ] || fail "no generated mvx/golden/Shape.java"
[ -f target/classes/app/ShapeUser.class ] && [ -f target/classes/Areas.class ] ||
  fail "the project's own classes were not compiled"
[ -f target/classes/mvx/golden/Shape.class ] || fail "the generated classes were not compiled"
first=$(stat -c '%.9Y' "$generated/mvx/golden/Shape.java")

maven -Dshape.library="$library" compile || fail_with_log "the second build failed"
grep -q "Mivra bindings are up to date" "$work/log" || fail_with_log "the second build did not see the bindings up to date"
[ "$(stat -c '%.9Y' "$generated/mvx/golden/Shape.java")" = "$first" ] || fail "the second build regenerated Shape.java"

# A library it may import changing beside it, or the registry mivra reads,
# makes the bindings stale.
printf 'another library' >"$work/lib/imported.tlb"
maven -Dshape.library="$library" compile || fail_with_log "the build after a change beside the library failed"
grep -q "Mivra bindings are up to date" "$work/log" && fail_with_log "a library changed beside it, but nothing was regenerated"
printf '\n[Software\\\\Classes\\\\Mivra.Test] 1\n' >>"$work/prefix/system.reg"
maven -Dshape.library="$library" compile || fail_with_log "the build after a registry change failed"
grep -q "Mivra bindings are up to date" "$work/log" && fail_with_log "the registry changed, but nothing was regenerated"
maven -Dshape.library="$library" compile || fail_with_log "the build after the changes failed"
grep -q "Mivra bindings are up to date" "$work/log" || fail_with_log "the build after the changes regenerated again"

# A changed parameter regenerates; a library mivra refuses fails with its message.
printf 'not a type library' >"$work/broken.tlb"
if maven -Dshape.library="$work/broken.tlb" compile; then fail_with_log "a build from a broken library succeeded"; fi
grep -q "$work/broken.tlb: File does not contain type information" "$work/log" ||
  fail_with_log "the failed build did not give mivra's message"
echo "maven_project_test: generated, compiled, left alone when unchanged, failed with mivra's message"
