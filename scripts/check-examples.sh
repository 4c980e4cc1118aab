#!/usr/bin/env bash
# Builds the example programs (examples/list.c, examples/unpack.c) against an
# installed tree only, the way a newcomer builds them, and checks what they
# do against cabtool of the same build:
#   - installs BUILD_DIR into a temporary prefix;
#   - compiles both examples with pkg-config, linked to the shared library,
#     once more with `pkg-config --static`, and builds them with their own
#     CMakeLists.txt through the CMake package;
#   - compiles the complete example of docs/library.md the same ways;
#   - runs `list` and `unpack` on every cabinet of the conformance corpus, on
#     the sample cabinet and on a sample set of three: `list` must name the files the corpus manifest
#     gives, and `unpack` must leave the same files with the same bytes as
#     `cabtool extract -d`, and the same kind of exit status (0 or not).
#
# usage: scripts/check-examples.sh BUILD_DIR [COMPILER_FLAGS]
# COMPILER_FLAGS go on every compile line (-fsanitize=... for a sanitizer
# build). The corpus is QMORA_CORPUS_DIR, by default ../shared/corpus seen
# from the source root; without it the runs on it are skipped (exit 77).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: scripts/check-examples.sh BUILD_DIR [COMPILER_FLAGS]}" && pwd)
read -r -a extra_flags <<<"${2:-}"
corpus=${QMORA_CORPUS_DIR:-$root/../shared/corpus}

work=$(mktemp -d "${TMPDIR:-/tmp}/qmora-examples.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
checks=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}
# pass DESCRIPTION COMMAND...: runs a check, counting it.
pass() {
  local what=$1
  shift
  checks=$((checks + 1))
  "$@" || fail "$what"
}

# ---- Install and build -------------------------------------------------------

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
pc_file=$(find "$prefix" -name qmora-cab.pc -print -quit)
[ -n "$pc_file" ] || { echo "FAILED: no qmora-cab.pc installed" >&2; exit 1; }
# Only the temporary prefix: a qmora-cab installed on this system is not seen.
export PKG_CONFIG_PATH=${pc_file%/*}
export PKG_CONFIG_LIBDIR=$PKG_CONFIG_PATH
cabtool=$prefix/bin/cabtool
# The build's own cabinet writers make the sample cabinet and set.
sample_writer=$build/tools/cabwriter/make_sample_cabinet
set_writer=$build/tools/cabwriter/make_sample_set
for writer in "$sample_writer" "$set_writer"; do
  [ -x "$writer" ] || { echo "FAILED: $writer is not built" >&2; exit 1; }
done
libdir=$(pkg-config --variable=libdir qmora-cab)

# The complete example of docs/library.md, so that the page stays true.
awk '/^```c$/ { inside = 1; next } /^```$/ { inside = 0 } inside' "$root/docs/library.md" \
  >"$work/show.c"

# compile VARIANT [-static --static]: both examples and the page's into
# $work/VARIANT; a first argument starting with '-' goes to cc, the rest to
# pkg-config. The rpath lets the programs find the shared library in the
# temporary prefix.
compile() {
  local variant=$1 source link=()
  shift
  [ "${1:-}" = -static ] && link=(-static) && shift
  link+=("-Wl,-rpath,$libdir")
  mkdir -p "$work/$variant"
  for source in "$root/examples/list.c" "$root/examples/unpack.c" "$work/show.c"; do
    # shellcheck disable=SC2046
    cc -std=c11 -Wall -Wextra -Werror "${extra_flags[@]}" "${link[@]}" "$source" \
      -o "$work/$variant/$(basename "$source" .c)" $(pkg-config "$@" --cflags --libs qmora-cab) ||
      return 1
  done
}

loads_shared_library() { readelf -d "$1" | grep -q 'NEEDED.*libqmora-cab\.so'; }
carries_library() { ! loads_shared_library "$1"; }

variants=(shared)
compile shared
pass "the shared build of list does not load libqmora-cab.so" loads_shared_library "$work/shared/list"
# A static program, as the library's guide shows it. The sanitizers' run
# time cannot be linked statically, so a sanitizer build skips this.
if [ ${#extra_flags[@]} -gt 0 ]; then
  echo "not linked statically: compiler flags '${extra_flags[*]}' given"
elif pkg-config --static --libs qmora-cab >/dev/null 2>&1; then
  if compile static -static --static 2>"$work/static.log"; then
    pass "the static build of list loads libqmora-cab.so" carries_library "$work/static/list"
    variants+=(static)
  else
    cat "$work/static.log" >&2
    fail "the examples do not link statically"
  fi
fi
# The standalone CMake build of examples/, through find_package(QMoraCab).
if cmake -S "$root/examples" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" \
     -DCMAKE_C_FLAGS="-Wall -Wextra -Werror ${extra_flags[*]}" >"$work/cmake.log" 2>&1 &&
   cmake --build "$work/cmake" >>"$work/cmake.log" 2>&1; then
  variants+=(cmake)
else
  cat "$work/cmake.log" >&2
  fail "the examples do not build with their CMakeLists.txt"
fi

# ---- Runs --------------------------------------------------------------------

# run NAME COMMAND...: runs COMMAND with its output in $work/NAME.out and
# .err; its exit status in $status.
run() {
  local name=$1
  shift
  status=0
  "$@" >"$work/$name.out" 2>"$work/$name.err" || status=$?
}

# gave_usage SYNOPSIS: the latest run exited 2 with only the usage line.
gave_usage() {
  [ "$status" = 2 ] && [ "$(cat "$work/usage.err")" = "usage: $1" ] && [ ! -s "$work/usage.out" ]
}

# The manifest's cases: "CODEC<TAB>CASE<TAB>FIRST CABINET<TAB>EXPECT" lines.
corpus_cases() {
  python3 - "$corpus" <<'EOF'
import json, pathlib, sys
for manifest in sorted(pathlib.Path(sys.argv[1]).glob("*/manifest.json")):
    for case in json.loads(manifest.read_text())["cases"]:
        print(manifest.parent.name, case["name"], case["cabinets"][0], case["expect"], sep="\t")
EOF
}

# matches_manifest CODEC CASE LISTING DIR: the listing names every file of
# the case with its size, and DIR holds exactly the files the case leaves
# (all of them for "ok", those finished before the failure for "fail") with
# the intended contents.
matches_manifest() {
  python3 - "$corpus/$1/manifest.json" "$2" "$3" "$4" <<'EOF'
import hashlib, json, os, re, sys
manifest, name, listing, directory = sys.argv[1:]
case = next(c for c in json.load(open(manifest))["cases"] if c["name"] == name)
files = {f["name"]: f for f in case["files"]}
listed = {}
for line in open(listing, encoding="utf-8"):
    size, path = re.fullmatch(r" *(\d+)  \d{4}-\d\d-\d\d \d\d:\d\d:\d\d  (.*)\n", line).groups()
    listed[path] = int(size)
problems = []
if listed != {n: f["size"] for n, f in files.items()}:
    problems.append(f"list printed {sorted(listed.items())}")
kept = files if case["expect"] == "ok" else {n: files[n] for n in case["complete_before_failure"]}
found = {os.path.relpath(os.path.join(d, f), directory)
         for d, _, names in os.walk(directory) for f in names}
if found != set(kept):
    problems.append(f"unpack left {sorted(found)}, expected {sorted(kept)}")
for n in found & set(kept):
    if hashlib.sha256(open(os.path.join(directory, n), "rb").read()).hexdigest() != kept[n]["sha256"]:
        problems.append(f"{n}: not the intended bytes")
for p in problems:
    print(f"{name}: {p}", file=sys.stderr)
sys.exit(1 if problems else 0)
EOF
}

# compare_with_cabtool VARIANT LABEL CABINET: unpack and cabtool extract
# CABINET into fresh directories (cabtool once for all variants); same
# files, same bytes, same exit class. Leaves unpack's directory in $unpacked
# and its exit status in $unpack_status.
compare_with_cabtool() {
  local variant=$1 label=$2 cabinet=$3 cabtool_status
  local reference=$work/cabtool/$label
  unpacked=$work/$variant/out/$label
  mkdir -p "${unpacked%/*}" "${reference%/*}"
  run unpack "$work/$variant/unpack" "$cabinet" "$unpacked"
  unpack_status=$status
  if [ ! -f "$reference.status" ]; then
    run cabtool "$cabtool" extract -q -d "$reference" "$cabinet"
    echo "$status" >"$reference.status"
  fi
  cabtool_status=$(cat "$reference.status")
  pass "$variant $label: unpack exits $unpack_status, cabtool extract $cabtool_status" \
    test $((unpack_status == 0)) = $((cabtool_status == 0))
  pass "$variant $label: unpack's files differ from cabtool's" \
    diff -r "$reference" "$unpacked"
  # Quiet on success; on failure, each file it could not extract is named.
  if [ "$unpack_status" -eq 0 ]; then
    pass "$variant $label: unpack succeeded but printed $(cat "$work/unpack.err")" \
      test ! -s "$work/unpack.err"
  else
    pass "$variant $label: unpack failed ($unpack_status) without saying why" \
      grep -q '^unpack: ' "$work/unpack.err"
  fi
}

for variant in "${variants[@]}"; do
  bin=$work/$variant

  # A wrong command line: a usage line and exit status 2.
  run usage "$bin/list"
  pass "$variant: list without arguments exits $status" gave_usage "list CABINET"
  run usage "$bin/unpack" "$root/README.md"
  pass "$variant: unpack with one argument exits $status" gave_usage "unpack CABINET DIR"
  # Not a cabinet: the error, exit status 1, no listing.
  run notcab "$bin/list" "$root/README.md"
  pass "$variant: list of a text file exits $status or prints a listing" \
    test "$status:$(wc -c <"$work/notcab.out")" = "1:0"
  pass "$variant: list of a text file gives no reason" grep -q '^list: ' "$work/notcab.err"
  run notcab "$bin/unpack" "$root/README.md" "$work/$variant/notcab"
  pass "$variant: unpack of a text file exits $status" test "$status" = 1
  pass "$variant: unpack of a text file made its directory" test ! -e "$work/$variant/notcab"

  # The sample cabinet: a stored and an MSZIP folder, a subdirectory, an
  # empty file.
  if [ ! -d "$work/sample" ]; then
    mkdir -p "$work/sample"
    "$sample_writer" "$work/sample" >/dev/null
  fi
  run list "$bin/list" "$work/sample/sample.cab"
  pass "$variant: list of the sample cabinet exits $status" test "$status" = 0
  pass "$variant: list of the sample cabinet lacks docs/readme.txt" \
    grep -q '  docs/readme\.txt$' "$work/list.out"
  compare_with_cabtool "$variant" sample "$work/sample/sample.cab"
  if [ -x "$bin/show" ]; then  # the pkg-config builds have the guide's example
    run show "$bin/show" "$work/sample/sample.cab" 'docs\readme.txt'
    pass "$variant: the page's example exits $status" test "$status" = 0
    pass "$variant: the page's example prints another docs/readme.txt" \
      cmp -s "$work/show.out" "$work/cabtool/sample/docs/readme.txt"
  fi

  # A set of three cabinets, unpacked from its middle member: every file of
  # the set, as cabtool gives it. Without its last cabinet, both fail alike.
  if [ ! -d "$work/set" ]; then
    mkdir -p "$work/set" "$work/set-cut"
    "$set_writer" "$work/set" >/dev/null
    cp "$work/set/disk1.cab" "$work/set/disk2.cab" "$work/set-cut/"
  fi
  run list "$bin/list" "$work/set/disk2.cab"
  pass "$variant: list of a set's middle cabinet exits $status" test "$status" = 0
  pass "$variant: list of a set's middle cabinet does not name its 4 files" \
    test "$(sed -E 's/.*  //' "$work/list.out" | tr '\n' ' ')" = \
    "setup.inf data/first.bin data/second.bin notes.txt "
  compare_with_cabtool "$variant" set "$work/set/disk2.cab"
  pass "$variant: unpack of a whole set exits $unpack_status" test "$unpack_status" = 0
  compare_with_cabtool "$variant" set-cut "$work/set-cut/disk2.cab"
  pass "$variant: unpack of a set without its last cabinet exits $unpack_status" \
    test "$unpack_status" = 1

  [ -f "$corpus/README.md" ] || continue
  cases=0
  while IFS=$'\t' read -r codec case cabinet expect; do
    cases=$((cases + 1))
    cabinet=$corpus/$codec/$cabinet
    run list "$bin/list" "$cabinet"
    pass "$variant $codec/$case: list exits $status: $(cat "$work/list.err")" test "$status" = 0
    compare_with_cabtool "$variant" "$codec/$case" "$cabinet"
    pass "$variant $codec/$case: unpack exits $unpack_status, the case expects $expect" \
      test "$expect" = "$([ "$unpack_status" -eq 0 ] && echo ok || echo fail)"
    pass "$variant $codec/$case: not as the manifest says" \
      matches_manifest "$codec" "$case" "$work/list.out" "$unpacked"
  done < <(corpus_cases)
  pass "$variant: no case of the corpus was read" test "$cases" -gt 0
done

echo "examples built as: ${variants[*]}"
echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ] || exit 1
if [ ! -f "$corpus/README.md" ]; then
  echo "skipped the corpus: none at $corpus (set QMORA_CORPUS_DIR)"
  exit 77
fi
