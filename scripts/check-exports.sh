#!/usr/bin/env bash
# Checks the dynamic interface of the shared cabinet library:
#   - every exported symbol starts with cab or Cab (nothing of the C++
#     implementation, no unprefixed name);
#   - its SONAME is libqmora-cab.so.MAJOR and a file of that name lies
#     beside it;
#   - every function the given headers declare carries CAB_API and is
#     exported.
#
# usage: check-exports.sh BUILD_DIR | INSTALL_PREFIX | LIBRARY [HEADER...]
# A directory is searched for libqmora-cab.so.MAJOR. Exits 1 listing what is
# wrong.
set -euo pipefail

if [ $# -lt 1 ]; then
  echo "usage: $0 BUILD_DIR | INSTALL_PREFIX | LIBRARY [HEADER...]" >&2
  exit 2
fi
where=$1
shift

if [ -d "$where" ]; then
  # A build directory holds it at its top, an installed tree in lib/ or in
  # lib/ARCH/.
  library=""
  for candidate in "$where"/libqmora-cab.so.* "$where"/lib*/libqmora-cab.so.* \
                   "$where"/lib*/*/libqmora-cab.so.*; do
    if [[ $candidate =~ /libqmora-cab\.so\.[0-9]+$ ]]; then
      library=$candidate
      break
    fi
  done
  [ -n "$library" ] || { echo "check-exports: no libqmora-cab.so.N in $where" >&2; exit 1; }
else
  library=$where
fi
[ -f "$library" ] || { echo "check-exports: no library at $library" >&2; exit 1; }

failed=0
problem() {
  echo "check-exports: $library: $*" >&2
  failed=1
}

exported=$(nm -D --defined-only "$library" | awk '{print $NF}' | sort)
[ -n "$exported" ] || problem "exports nothing"
unprefixed=$(grep -Ev '^(cab|Cab)' <<<"$exported" || true)
if [ -n "$unprefixed" ]; then
  problem "exports symbols without the cab/Cab prefix:"
  sed 's/^/  /' <<<"$unprefixed" >&2
fi

soname=$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
if [[ ! $soname =~ ^libqmora-cab\.so\.[0-9]+$ ]]; then
  problem "SONAME is '${soname}', not libqmora-cab.so.MAJOR"
elif [ ! -e "$(dirname "$library")/$soname" ]; then
  problem "no $soname beside it, where programs linked with it look"
fi

for header in "$@"; do
  # A declaration starts in column 0 with its type; one without the marker
  # would be hidden in the library.
  unmarked=$(grep -E '^[A-Za-z_][A-Za-z0-9_ *]*[ *]cab[A-Za-z0-9_]*\(' "$header" |
             grep -Ev '^(typedef|static|CAB_API) ' || true)
  if [ -n "$unmarked" ]; then
    problem "$header declares functions without CAB_API:"
    sed 's/^/  /' <<<"$unmarked" >&2
  fi
  declared=$(sed -nE 's/.*CAB_API[^(]*[^A-Za-z0-9_]([A-Za-z_][A-Za-z0-9_]*)\(.*/\1/p' "$header")
  [ -n "$declared" ] || problem "$header declares no CAB_API function"
  for name in $declared; do
    grep -qx "$name" <<<"$exported" || problem "does not export $name, declared in $header"
  done
done

if [ "$failed" -ne 0 ]; then exit 1; fi
echo "check-exports: $library: $(wc -l <<<"$exported") symbols, all prefixed; SONAME $soname"
