#!/usr/bin/env bash
# Set up, build and run every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/prepare.sh
ctest --test-dir build --output-on-failure -j2 --timeout 900
