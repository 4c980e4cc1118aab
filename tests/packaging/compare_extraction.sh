# Sourced by the packaging tests. check_extraction REFERENCE OUT: every file
# below REFERENCE (as cabtool extracted it) is in OUT under its flattened name
# ('/' becomes '_') with the same contents, and OUT holds nothing else.
fail() { echo "FAILED: $*" >&2; exit 1; }

check_extraction() {
  local reference=$1 out=$2 count=0 file relative
  while IFS= read -r -d '' file; do
    relative=${file#"$reference/"}
    cmp "$file" "$out/${relative//\//_}" || fail "$out: ${relative} differs from cabtool's"
    count=$((count + 1))
  done < <(find "$reference" -type f -print0)
  [ "$count" -gt 0 ] || fail "cabtool extracted nothing to compare with"
  [ "$(find "$out" -type f | wc -l)" -eq "$count" ] || fail "$out: wrong number of files"
}
