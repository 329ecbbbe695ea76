#!/usr/bin/env bash
# A small Maven project built offline with mivra-maven-plugin: its bindings
# are generated from a type library in the folders of their package, its own
# code (in a package and in the default one) compiles against them, a
# second build with nothing changed regenerates nothing, a change beside the
# library or in the registry regenerates, and a library mivra
# refuses fails the build with mivra's message. It runs offline with an
# empty HOME, both ways the guide gives for a machine with the Debian
# package: Debian's Maven settings on the package's repository, and a local
# repository seeded by copying that one.
#   maven_project_test.sh MVN DEBIAN_REPO DEBIAN_SETTINGS MIVRA TYPE_LIBRARY
#                         RUNTIME_JAR RUNTIME_POM PLUGIN_JAR PLUGIN_POM VERSION
set -euo pipefail
mvn=$1 debian_repo=$2 debian_settings=$3 mivra=$4 library=$5 runtime=$6 runtime_pom=$7 plugin=$8 plugin_pom=$9
version=${10}
here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "maven_project_test: $*" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$here/project" "$work/project"

# The system's Maven repository as it is with the package installed: Debian's
# files, the package's runtime as a link into the jar folder beside it, as
# the package has it, and the plugin.
usr=$work/usr/share
mkdir -p "$usr/java" "$usr/maven-repo"
cp -rs "$debian_repo/." "$usr/maven-repo"
cp "$runtime" "$usr/java/mivra-runtime-$version.jar"
mkdir -p "$usr/maven-repo/mivra/mivra-runtime/$version" "$usr/maven-repo/mivra/mivra-maven-plugin/$version"
ln -s "../../../../java/mivra-runtime-$version.jar" "$usr/maven-repo/mivra/mivra-runtime/$version/"
cp "$runtime_pom" "$usr/maven-repo/mivra/mivra-runtime/$version/"
cp "$plugin" "$plugin_pom" "$usr/maven-repo/mivra/mivra-maven-plugin/$version/"
sed "s|/usr/share/maven-repo|$usr/maven-repo|" "$debian_settings" >"$work/settings-debian.xml"
grep -q "<offline>true</offline>" "$work/settings-debian.xml" || fail "$debian_settings does not work offline"
repo_files() { (cd "$usr/maven-repo" && find . | sort); }
repo_files >"$work/repo-before"

# Java takes its user.home from the password file, not from HOME.
export HOME=$work/home MAVEN_OPTS="-Duser.home=$work/home"
mkdir "$HOME"
cd "$work/project"
settings=(-s "$work/settings-debian.xml")
maven() {
  "$mvn" -B "${settings[@]}" -Dmivra.version="$version" -Dmivra.program="$mivra" "$@" >"$work/log" 2>&1
}
fail_with_log() {
  cat "$work/log"
  fail "$@"
}

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
# Those builds needed nothing beyond the system's repository and wrote nothing
# into it: it belongs to root.
repo_files | diff "$work/repo-before" - >&2 || fail "the builds changed the system's Maven repository"
[ -z "$(ls -A "$HOME")" ] || [ "$(ls -A "$HOME")" = .m2 ] || fail "the builds wrote into HOME: $(ls -A "$HOME")"

# The other way: a local repository in HOME, seeded by copying the system's,
# the links resolved, and Maven's usual settings.
rm -rf "$HOME/.m2" target
mkdir -p "$HOME/.m2"
cp -rL "$usr/maven-repo" "$HOME/.m2/repository"
settings=(-o)
maven -Dshape.library="$library" compile || fail_with_log "the build on a seeded local repository failed"
[ -f target/classes/Areas.class ] || fail "the build on a seeded local repository compiled nothing"
echo "maven_project_test: generated, compiled, left alone when unchanged, failed with mivra's message, offline both ways"
