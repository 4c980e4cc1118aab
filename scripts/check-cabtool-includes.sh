#!/usr/bin/env bash
# Keeps cabtool a client of the installed library: every file under
# tools/cabtool/ may include, of this project's headers, only the installed
# ones and cabtool's own files.
#
# usage: check-cabtool-includes.sh SOURCE_ROOT
# Exits 1 listing each include that breaks the rule.
set -euo pipefail

root=${1:?usage: $0 SOURCE_ROOT}
cd "$root"

installed=" cab/cab.h cab/cab_export.h cab/cab_owner.h cab/cab_reader.h archive/cab_archive.h "

failed=0
while IFS= read -r file; do
  while IFS= read -r line; do
    number=${line%%:*}
    header=$(sed -E 's/^[^"]*"([^"]+)".*$/\1/' <<<"${line#*:}")
    case " $installed " in *" $header "*) continue ;; esac
    if [[ $header == tools/cabtool/* && -f $header ]]; then continue; fi
    echo "$file:$number: includes \"$header\", which is neither installed nor cabtool's own"
    failed=1
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find tools/cabtool -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.c' \) | sort)

exit $failed
