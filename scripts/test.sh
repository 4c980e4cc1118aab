#!/usr/bin/env bash
# Builds and runs every test: the normal build (with the Windows cross-build
# and its resource check), the example programs against the installed tree,
# the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, and bounded runs of the fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-60}

scripts/install-deps.sh --all

echo "== Build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQMORA_WARNINGS_AS_ERRORS=ON -DQMORA_TESTS=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs" --label-exclude examples

echo "== The example programs, built against the installed tree and checked against cabtool"
scripts/check-examples.sh build || [ $? -eq 77 ]  # 77: no corpus, said so

echo "== Release build, exactly as a user builds it (warnings shown, not errors)"
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DQMORA_WINDOWS_INSTALLER=OFF
cmake --build build-release -j"$jobs"

echo "== Build and test under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQMORA_SANITIZE=ON -DQMORA_WARNINGS_AS_ERRORS=ON \
  -DQMORA_WINDOWS_INSTALLER=OFF
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

echo "== Fuzz for ${fuzz_seconds}s per target"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQMORA_FUZZ=ON \
  -DQMORA_WINDOWS_INSTALLER=OFF
cmake --build build-fuzz -j"$jobs" --target fuzz_cabinet fuzz_mszip fuzz_lzx fuzz_lzx_roundtrip \
  fuzz_lzx_cabinet fuzz_quantum fuzz_quantum_cabinet make_fuzz_seeds
fuzz/run.sh build-fuzz build-fuzz/fuzz/make_fuzz_seeds "$fuzz_seconds"

echo "== All tests passed"
