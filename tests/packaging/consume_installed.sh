#!/usr/bin/env bash
# Installs the build into a scratch prefix, then builds and runs programs
# against the installed tree only: a C++ program and a C program through the
# CMake package (the shared library by default, the static archives on
# request), and the C program again through pkg-config (shared, then
# --static) after the tree has been moved elsewhere. Their results are
# checked against the installed cabtool's on a sample cabinet.
#
# usage: consume_installed.sh BUILD_DIR SOURCE_DIR MAKE_SAMPLE C_COMPILER WORK_DIR [LINK_FLAGS]
set -euo pipefail
build=$1 source=$2 make_sample=$3 cc=$4 work=$5 link_flags=${6:-}

. "$(dirname "$0")/compare_extraction.sh"

rm -rf "$work"
mkdir -p "$work/cab"
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log"

prefix=$work/prefix
for installed in bin/cabtool share/man/man1/cabtool.1 include/qmora/cab/cab.h \
                 include/qmora/cab/cab_owner.h include/qmora/cab/cab_export.h \
                 include/qmora/archive/cab_archive.h; do
  [ -f "$prefix/$installed" ] || fail "$installed was not installed"
done
pc_dir=$(dirname "$(find "$prefix" -name qmora-cab.pc)")
lib_dir=$(dirname "$pc_dir")
for installed in libqmora-cab.so libqmora-cab.so.1 libqmora-cab.a; do
  [ -e "$lib_dir/$installed" ] || fail "$installed was not installed in $lib_dir"
done
bash "$source/../../scripts/check-exports.sh" "$prefix" >/dev/null || fail "installed library's exports"

# needs_shared PROGRAM yes|no: whether PROGRAM loads libqmora-cab.so.1.
needs_shared() {
  local found=no
  if readelf -d "$1" | grep -q 'NEEDED.*\[libqmora-cab\.so\.1\]'; then found=yes; fi
  [ "$found" = "$2" ] || fail "$1: linked with the shared library: $found, expected $2"
}
[ -n "$(find "$prefix" -name QMoraCabConfig.cmake)" ] || fail "no CMake package config installed"
[ -f "$pc_dir/qmora-cab.pc" ] || fail "no pkg-config file installed"

"$make_sample" "$work/cab" >/dev/null
"$prefix/bin/cabtool" extract -d "$work/reference" "$work/cab/sample.cab" >/dev/null
expected_summary=$("$prefix/bin/cabtool" list "$work/cab/sample.cab" | tail -n 1)

cmake -S "$source/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_EXE_LINKER_FLAGS="$link_flags" >"$work/consumer.log"
cmake --build "$work/consumer" >>"$work/consumer.log"

summary=$("$work/consumer/count_files" "$work/cab/" sample.cab)
[ "$summary" = "$expected_summary" ] || fail "C++ consumer says '$summary', cabtool '$expected_summary'"

mkdir "$work/out-cmake"
needs_shared "$work/consumer/c_client" yes
"$work/consumer/c_client" "$work/cab/" sample.cab "$work/out-cmake" >/dev/null
check_extraction "$work/reference" "$work/out-cmake"

cmake -S "$source/consumer" -B "$work/consumer-static" -DCMAKE_PREFIX_PATH="$prefix" \
  -DQMORA_CAB_STATIC=ON -DCMAKE_C_COMPILER="$cc" -DCMAKE_EXE_LINKER_FLAGS="$link_flags" \
  >"$work/consumer-static.log"
cmake --build "$work/consumer-static" --target c_client >>"$work/consumer-static.log"
mkdir "$work/out-cmake-static"
needs_shared "$work/consumer-static/c_client" no
"$work/consumer-static/c_client" "$work/cab/" sample.cab "$work/out-cmake-static" >/dev/null
check_extraction "$work/reference" "$work/out-cmake-static"

# pkg-config paths are relative to the .pc file: the moved tree still works.
mv "$prefix" "$work/moved"
pc_dir=${pc_dir/#$prefix/$work/moved}
lib_dir=${lib_dir/#$prefix/$work/moved}
# shellcheck disable=SC2046
"$cc" -std=c11 -Wall -Wextra -Wpedantic -Werror "$source/c_client.c" -o "$work/pc_client" \
  $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs qmora-cab) $link_flags
mkdir "$work/out-pkgconfig"
needs_shared "$work/pc_client" yes
LD_LIBRARY_PATH="$lib_dir" "$work/pc_client" "$work/cab/" sample.cab "$work/out-pkgconfig" \
  >/dev/null
check_extraction "$work/reference" "$work/out-pkgconfig"

# --static names what the archives need; the sanitizers' runtime cannot be
# linked statically, so that build skips it.
if [ -z "$link_flags" ]; then
  # shellcheck disable=SC2046
  "$cc" -static -std=c11 -Wall -Wextra -Wpedantic -Werror "$source/c_client.c" \
    -o "$work/pc_static_client" \
    $(PKG_CONFIG_PATH="$pc_dir" pkg-config --static --cflags --libs qmora-cab)
  mkdir "$work/out-pkgconfig-static"
  needs_shared "$work/pc_static_client" no
  "$work/pc_static_client" "$work/cab/" sample.cab "$work/out-pkgconfig-static" >/dev/null
  check_extraction "$work/reference" "$work/out-pkgconfig-static"
fi

echo "installed tree consumed through the CMake package and pkg-config"
