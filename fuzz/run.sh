#!/usr/bin/env bash
# Usage: fuzz/run.sh FUZZ_BUILD_DIR SEED_TOOL SECONDS
#
# Writes the seed corpora with SEED_TOOL, then runs fuzz_mszip,
# fuzz_cabinet, fuzz_lzx, fuzz_lzx_cabinet, fuzz_quantum and
# fuzz_quantum_cabinet from FUZZ_BUILD_DIR/fuzz for SECONDS each, one after
# the other. Exits non-zero as soon as a fuzzer reports anything: a crash, a
# sanitizer report, a leak, a timeout or running out of memory. Inputs that
# caused a finding are kept in FUZZ_BUILD_DIR/fuzz-artifacts/.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 FUZZ_BUILD_DIR SEED_TOOL SECONDS" >&2
  exit 2
fi
build="$(cd "$1" && pwd)"
seed_tool="$2"
seconds="$3"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

"$seed_tool" "$work/seeds"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"

for target in mszip cabinet lzx lzx_roundtrip lzx_cabinet quantum quantum_cabinet; do
  fuzzer="$build/fuzz/fuzz_$target"
  corpus="$work/corpus-$target"
  mkdir -p "$corpus"
  echo "== fuzz_$target for ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
       "$corpus" "$work/seeds/$target"; then
    echo "fuzz_$target found a problem; inputs kept in $artifacts" >&2
    exit 1
  fi
done
echo "== fuzzing found nothing"
