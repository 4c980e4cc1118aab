#!/usr/bin/env bash
# The C client, built in the tree, extracts the sample cabinet exactly as
# cabtool does, and fails on a file that is not a cabinet.
# usage: c_client_matches_cabtool.sh C_CLIENT CABTOOL MAKE_SAMPLE WORK_DIR
set -euo pipefail
client=$1 cabtool=$2 make_sample=$3 work=$4
. "$(dirname "$0")/compare_extraction.sh"

rm -rf "$work"
mkdir -p "$work/cab" "$work/out"
"$make_sample" "$work/cab" >/dev/null
"$cabtool" extract -d "$work/reference" "$work/cab/sample.cab" >/dev/null
"$client" "$work/cab/" sample.cab "$work/out" >"$work/client.txt"
grep -qx 'cabinet of 4 files in 2 folders' "$work/client.txt" || fail "cabinet facts not reported"
check_extraction "$work/reference" "$work/out"

echo "not a cabinet" >"$work/cab/plain.txt"
if "$client" "$work/cab/" plain.txt "$work/out" 2>/dev/null; then
  fail "a plain text file was accepted as a cabinet"
fi
echo "C client extracted the sample cabinet like cabtool"
