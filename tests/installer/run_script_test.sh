#!/usr/bin/env bash
# The run command builds everything the README's first steps use -- the
# installer, cabtool, the sample cabinet writer and the decoder library --
# in an optimised build without the tests, then starts the installer.
# CMake and the installer are stand-ins here that record what they are asked.
#   run_script_test.sh <source tree> <scratch directory>
set -euo pipefail
repo="$1"
work="$2"
rm -rf "$work"
mkdir -p "$work/bin" "$work/build/installer"

cat > "$work/bin/cmake" <<'FAKE'
#!/usr/bin/env bash
echo "$*" >> "$CMAKE_LOG"
FAKE
cat > "$work/build/installer/q-mora-setup" <<'FAKE'
#!/usr/bin/env bash
echo "installer started in windir=$windir"
FAKE
chmod +x "$work/bin/cmake" "$work/build/installer/q-mora-setup"

export CMAKE_LOG="$work/cmake.log"
output=$(PATH="$work/bin:$PATH" QMORA_BUILD_DIR="$work/build" windir="$work/win" temp="$work/tmp" \
  bash "$repo/scripts/run-installer.sh" 2>&1 </dev/null)

fail() { echo "FAIL: $*"; echo "--- cmake was run as:"; cat "$CMAKE_LOG"; echo "--- output:"; echo "$output"; exit 1; }

configure=$(grep -e '^-S ' "$CMAKE_LOG" || true)
[ -n "$configure" ] || fail "the build directory was not configured"
case "$configure" in *QMORA_TESTS=ON*|*CMAKE_BUILD_TYPE=Debug*) fail "configured as a developer build";; esac
build=$(grep -e '^--build ' "$CMAKE_LOG" || true)
for target in q-mora-setup cabtool make_sample_cabinet cab; do
  grep -qw -- "$target" <<<"${build#*--target}" || fail "target $target is not built"
done
grep -q "installer started in windir=$work/win" <<<"$output" || fail "the installer was not started"
echo "ok"
