#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail

# What building and running the installer and cabtool needs; "--all" adds the
# test, benchmark, fuzzing and Windows cross-build toolchains.
packages=(cmake g++ make pkg-config zlib1g-dev binutils-mingw-w64-i686)  # windres reads the dialog resources
if [ "${1:-}" = "--all" ]; then
  packages+=(
    libgtest-dev libbenchmark-dev
    clang libclang-rt-14-dev
    g++-mingw-w64-i686
    python3  # the examples' check reads the corpus manifests
  )
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
