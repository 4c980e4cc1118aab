#!/usr/bin/env bash
# Builds what a user gets (if needed) and starts the Q-Mora setup program.
#
# The build, an optimised one without the tests, holds the installer
# (<build>/installer/q-mora-setup), cabtool (<build>/tools/cabtool/cabtool),
# the sample cabinet writer (<build>/tools/cabwriter/make_sample_cabinet) and
# the decoder library that `cmake --install <build>` installs with cabtool.
#
# The installer reads three environment variables: "windir" (it installs into
# $windir\system32\) and "temp" or "tmp" (where it stages the cabinets). Those
# that are not set point into a sandbox under the build directory, so a run
# never touches the rest of the system:
#   <build>/installer-sandbox/windows/system32/   Q-Mora.scr, d3dx9_25.dll
#   <build>/installer-sandbox/temp/               vmo-ss.cab, d3dx9_25.cab
# The build directory is $QMORA_BUILD_DIR, or build/ in the source tree.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QMORA_BUILD_DIR:-$repo/build}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -DQMORA_TESTS=OFF >&2
fi
cmake --build "$build" -j2 --target q-mora-setup cabtool make_sample_cabinet cab >&2

sandbox="$build/installer-sandbox"
if [ -z "${windir:-}" ]; then
  mkdir -p "$sandbox/windows/system32"
  export windir="$sandbox/windows"
fi
if [ -z "${temp:-}" ] && [ -z "${tmp:-}" ]; then
  mkdir -p "$sandbox/temp"
  export temp="$sandbox/temp"
fi
echo "windir=$windir  temp=${temp:-${tmp:-}}" >&2

exec "$build/installer/q-mora-setup"
