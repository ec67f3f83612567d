#!/usr/bin/env bash
# Drives morvel-cli the way scripts do: exit codes, one-line errors, output
# formats and the atomic replacement of existing files.
set -u
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_status() {  # expected-status command...
  local want=$1; shift
  "$@" >out.txt 2>err.txt
  local got=$?
  [ "$got" = "$want" ] || fail "'$*' exited $got, expected $want ($(cat err.txt))"
}

for type in plane cube sphere cone cylinder torus; do
  for ext in cr8 stl obj wrl; do
    expect_status 0 "$cli" primitive "$type" "$type.$ext"
    [ -s "$type.$ext" ] || fail "$type.$ext not written"
  done
done

expect_status 0 "$cli" info cube.cr8 --json
grep -q '^{"objects": \[{"vertices": 3750, "faces": 6912, "closed": true, "volume": 216, "bbox": \[\[-3, -3, -3\], \[3, 3, 3\]\]}\], "totals": {"objects": 1, "vertices": 3750, "faces": 6912}}$' out.txt \
  || fail "cube info: $(cat out.txt)"
expect_status 0 "$cli" info torus.stl --json
grep -q '"vertices": 2560, "faces": 5120, "closed": true' out.txt || fail "torus stl: $(cat out.txt)"
expect_status 0 "$cli" info plane.cr8
grep -q '^object 1: 1250 vertices, 2304 faces, closed, volume 0' out.txt || fail "plane text: $(cat out.txt)"
grep -q '^total: 1 objects, 1250 vertices, 2304 faces$' out.txt || fail "plane totals: $(cat out.txt)"

# Conversions keep the shape: cr8 -> stl -> obj -> cr8.
expect_status 0 "$cli" convert sphere.cr8 s.stl
expect_status 0 "$cli" convert s.stl s.obj
expect_status 0 "$cli" convert s.obj s.cr8
expect_status 0 "$cli" info s.cr8 --json
grep -q '"vertices": 1538, "faces": 3072, "closed": true' out.txt || fail "sphere round trip: $(cat out.txt)"

# Errors: one line "morvel-cli: FILE: REASON", status 1; usage errors 2.
expect_status 1 "$cli" info missing.cr8
[ "$(wc -l < err.txt)" = 1 ] && grep -q '^morvel-cli: missing.cr8: ' err.txt || fail "missing file: $(cat err.txt)"
head -c 100 cube.cr8 > cut.cr8
expect_status 1 "$cli" info cut.cr8
grep -q '^morvel-cli: cut.cr8: Unexpectedly reached end of file.$' err.txt || fail "cut file: $(cat err.txt)"
cp cube.stl keep.stl
expect_status 1 "$cli" convert cut.cr8 keep.stl
cmp -s cube.stl keep.stl || fail "a failed convert touched its output"
expect_status 1 "$cli" primitive cube out.ply
expect_status 1 "$cli" primitive cube no/such/dir/out.stl
expect_status 2 "$cli" primitive blob out.stl
expect_status 2 "$cli" convert only-one.stl
expect_status 2 "$cli" info cube.cr8 --yaml
expect_status 2 "$cli" frobnicate
expect_status 2 "$cli"
expect_status 0 "$cli" help
grep -q 'primitive TYPE OUT' out.txt || fail "help lists no primitive command"
leftovers=$(ls -a | grep -c '\.tmp-' || true)
[ "$leftovers" = 0 ] || fail "temporary files left behind"

[ "$failures" = 0 ] && echo "all morvel-cli checks passed"
exit "$failures"
