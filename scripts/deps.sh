#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing: the native
# toolchains, the libraries and the JDK; for the 64-bit ARM cross build the GNU cross compiler
# and binutils (which bring the target's C and C++ runtime), qemu-user to run the tests, and the
# target's own optional libraries from Debian's arm64 packages (multiarch, beside the amd64 ones:
# Highway's headers and CMake package, so that the vector code for NEON is built and tested).
set -euo pipefail
# openjdk-17-jdk (not -headless) brings AWT for the player, fonts-dejavu-core the fonts it draws with;
# xvfb and xauth give its window test a display.
packages=(g++ clang clang-format libclang-rt-14-dev cmake ninja-build libgtest-dev libbenchmark-dev libhwy-dev
  libfftw3-dev pkg-config openjdk-17-jdk junit5 binutils fonts-dejavu-core xvfb xauth ffmpeg
  g++-aarch64-linux-gnu binutils-aarch64-linux-gnu qemu-user)
arm64_packages=(libhwy-dev:arm64)
missing=()
update=false
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
if [ "$(dpkg --print-architecture)" = amd64 ]; then
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    "${sudo_cmd[@]}" dpkg --add-architecture arm64
    update=true
  fi
  for p in "${arm64_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
fi
if [ ${#missing[@]} -gt 0 ] || $update; then
  echo "Installing: ${missing[*]}" >&2
  "${sudo_cmd[@]}" apt-get update -q
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q "${missing[@]}"
fi
