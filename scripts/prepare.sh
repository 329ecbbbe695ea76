#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages), then
# configures and builds into build/. Safe to run again: it only installs
# what is missing and rebuilds what changed.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ ninja-build pkg-config googletest libgtest-dev
  qt6-base-dev
  mingw-w64-tools gcc-mingw-w64-i686 gcc-mingw-w64-x86-64 g++-mingw-w64-x86-64
  wine64 default-jdk-headless junit4
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

cmake -S . -B build -G Ninja
cmake --build build

# The Windows build of the core and the command line (mivra.exe), which the
# tests run under wine64 against the Linux build.
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
cmake --build build-win --target mivra
