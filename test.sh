#!/usr/bin/env bash
# Set up, build and run every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/prepare.sh
ctest --test-dir build --output-on-failure -j2 --timeout 900

# The reader's tests and the fuzz corpus once more under the address and
# undefined-behaviour sanitizers: corrupt libraries must never read outside
# their bytes.
cmake -S . -B build-asan -G Ninja -DMIVRA_SANITIZE=ON
cmake --build build-asan -j2 --target typelib_tests typelib_corpus_replay
# (The loop over every Wine library runs in the main pass; here it would
# only repeat the same real files slowly.)
build-asan/bin/typelib_tests --gtest_filter=-WineLibraries.EveryFileLoadsAndWalksOrIsRefused
build-asan/bin/typelib_corpus_replay fuzz/corpus/typelib build-asan/tests/typelib/sltg
