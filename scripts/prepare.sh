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
  wine64 xvfb xauth default-jdk-headless junit4
  clang libclang-rt-14-dev
  dpkg-dev file man-db lintian python3
  maven maven-debian-helper libmaven-plugin-tools-java libmaven-install-plugin-java
  imagemagick  # scripts/help-pictures.sh: the Linux window pictures of the guide
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

# The Windows build: mivra.exe (the command line and the Win32 builder
# window) and the window's test program, which the tests run under wine64,
# and the package setup.exe with Uninstaller.exe, packed with the Linux
# build's tools and parts.
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
cmake --build build-win --target mivra wingui_tests setup
