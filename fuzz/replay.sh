#!/usr/bin/env bash
# Usage: fuzz/replay.sh SEED_TOOL REPLAY_TOOL TARGET
#
# Writes the seed corpora with SEED_TOOL and replays the TARGET ("cabinet"
# or "mszip") seeds, and any saved regression inputs in
# fuzz/regressions/TARGET/, through REPLAY_TOOL (the fuzz target's entry
# point in a plain program). Used by ctest.
set -euo pipefail
seed_tool="$1"
replay_tool="$2"
target="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$seed_tool" "$work"
inputs=("$work/$target")
regressions="$(dirname "$0")/regressions/$target"
if [ -d "$regressions" ]; then inputs+=("$regressions"); fi
"$replay_tool" "${inputs[@]}"
