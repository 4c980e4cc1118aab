#!/usr/bin/env bash
# Compiles C clients against the headers of the source tree, strictly, with
# the C compiler alone.
#
# usage: c_headers.sh names  CC SOURCE_DIR WORK_DIR
#   the headers define no unprefixed name unless CAB_WALK_NAMES asks, and
#   then the earlier names keep their values (own_names.c, walk_names.c)
# usage: c_headers.sh shared CC SOURCE_DIR WORK_DIR LIBRARY [LINK_FLAGS]
#   shared_client.c linked with the shared library LIBRARY and run
set -euo pipefail
mode=$1 cc=$2 source=$3 work=$4
here=$(dirname "$0")
strict=(-std=c11 -Wall -Wextra -Werror -pedantic -I"$source")
mkdir -p "$work"

case $mode in
  names)
    "$cc" "${strict[@]}" -c "$here/own_names.c" -o "$work/own_names.o"
    "$cc" -x c++ -std=c++17 -Wall -Wextra -Werror -pedantic -I"$source" \
      -c "$here/own_names.c" -o "$work/own_names_cxx.o"
    "$cc" "${strict[@]}" -c "$here/walk_names.c" -o "$work/walk_names.o"
    echo "c_headers: earlier names only on request"
    ;;
  shared)
    library=$5 link_flags=${6:-}
    # shellcheck disable=SC2086
    "$cc" "${strict[@]}" "$here/shared_client.c" -o "$work/shared_client" \
      -L"$(dirname "$library")" -lqmora-cab -Wl,-rpath,"$(dirname "$library")" $link_flags
    "$work/shared_client"
    ;;
  *)
    echo "usage: $0 names|shared CC SOURCE_DIR WORK_DIR [LIBRARY [LINK_FLAGS]]" >&2
    exit 2
    ;;
esac
