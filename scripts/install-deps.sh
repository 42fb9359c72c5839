#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Zorvane need.
# Safe to run again: it installs only what is missing.
#   scripts/install-deps.sh [--fuzz|--package]
# --fuzz adds what scripts/fuzz.sh needs: clang with libFuzzer and the
# sanitizer runtimes, and llvm-symbolizer for readable stacks.
# --package adds what scripts/package.sh needs: dpkg-shlibdeps for the
# package's Depends, file (with which CPack finds the programs to hand it) and
# lintian to check the package. CPack writes root as the files' owner itself,
# so fakeroot is not needed.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libqt6svg6
  libmpg123-dev libsox-dev libtag1-dev libmp3lame-dev zlib1g-dev
  xvfb xauth ccache
  # The install test validates the desktop entry and the AppStream metadata.
  desktop-file-utils appstream
  # The tag transfer test writes and reads tags with mutagen.
  python3-mutagen
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang clang-14 libclang-rt-14-dev llvm-14)
elif [ "${1:-}" = "--package" ]; then
  packages+=(dpkg-dev file lintian)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
