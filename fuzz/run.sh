#!/usr/bin/env bash
# Usage: fuzz/run.sh FUZZ_BUILD_DIR SEED_TOOL SECONDS
#
# Writes the seed corpora with SEED_TOOL, then runs fuzz_mszip,
# fuzz_cabinet, fuzz_lzx, fuzz_lzx_roundtrip, fuzz_lzx_cabinet, fuzz_quantum
# and fuzz_quantum_cabinet from FUZZ_BUILD_DIR/fuzz for SECONDS each, one
# after the other, each starting from a copy of its corpus in fuzz/corpus/
# (what earlier campaigns reached) and its seeds. Exits non-zero as soon as a
# fuzzer reports anything: a crash, a sanitizer report, a leak, a timeout or
# running out of memory. Inputs that caused a finding are kept in
# FUZZ_BUILD_DIR/fuzz-artifacts/.
#
# Inputs are limited in length per target (max_len below): every target
# decodes as much as its input describes, and longer inputs mostly cost time
# without reaching new code. The corpora in fuzz/corpus/ respect the same
# limits; grow them with a campaign and a merge:
#   fuzz_T -max_len=N -runs=... NEWDIR fuzz/corpus/T SEEDS/T
#   fuzz_T -merge=1 -max_len=N MERGED fuzz/corpus/T NEWDIR
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 FUZZ_BUILD_DIR SEED_TOOL SECONDS" >&2
  exit 2
fi
build="$(cd "$1" && pwd)"
seed_tool="$2"
seconds="$3"
corpora="$(cd "$(dirname "$0")" && pwd)/corpus"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"

"$seed_tool" "$work/seeds"

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:${UBSAN_OPTIONS:-}"

for entry in mszip:1024 cabinet:4096 lzx:4096 lzx_roundtrip:1024 lzx_cabinet:4096 \
             quantum:2048 quantum_cabinet:4096; do
  target="${entry%%:*}"
  max_len="${entry#*:}"
  fuzzer="$build/fuzz/fuzz_$target"
  corpus="$work/corpus-$target"
  mkdir -p "$corpus"
  if [ -d "$corpora/$target" ]; then cp -r "$corpora/$target/." "$corpus/"; fi
  echo "== fuzz_$target for ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
       "$corpus" "$work/seeds/$target"; then
    echo "fuzz_$target found a problem; inputs kept in $artifacts" >&2
    exit 1
  fi
done
echo "== fuzzing found nothing"
