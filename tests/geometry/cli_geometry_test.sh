#!/usr/bin/env bash
# morvel-cli boolean, reduce and subdivide: closed results with the right
# volumes, warnings for open operands, usage errors.
source "$(dirname "$0")/../cli/cli_lib.sh" "$1"
box() {  # file x0 y0 z0 x1 y1 z1 [faces to leave out]
  local f=$1 x0=$2 y0=$3 z0=$4 x1=$5 y1=$6 z1=$7 skip=${8:-0}
  {
    for z in $z0 $z1; do for y in $y0 $y1; do for x in $x0 $x1; do echo "v $x $y $z"; done; done; done
    echo "f 1 3 2
f 2 3 4
f 5 6 7
f 6 8 7
f 1 2 5
f 2 6 5
f 3 7 4
f 4 7 8
f 1 5 3
f 3 5 7
f 2 4 6" | head -n $((11 - skip))
    [ "$skip" = 0 ] && echo "f 4 8 6"
  } > "$f"
}
box a.obj 0 0 0 2 2 2
box b.obj 1 0.5 0.5 3 1.5 1.5
box open.obj 1 0.5 0.5 3 1.5 1.5 1

for case in "union 9" "intersect 1" "subtract 7"; do
  set -- $case
  expect_status 0 "$cli" boolean "$1" a.obj b.obj "$1.stl"
  expect_status 0 "$cli" info "$1.stl" --json
  grep -q '"closed": true, "volume": '"$2"',' out.txt || fail "boolean $1: $(cat out.txt)"
done

# Coplanar faces: B shares the planes y = 0 and z = 0 with A.
box c.obj 1 0 0 3 2 2
expect_status 0 "$cli" boolean union a.obj c.obj coplanar.cr8
expect_status 0 "$cli" info coplanar.cr8 --json
grep -q '"closed": true, "volume": 12,' out.txt || fail "coplanar union: $(cat out.txt)"

expect_status 0 "$cli" boolean union a.obj open.obj open-result.obj
grep -q "not closed" err.txt || fail "no warning for an open operand: $(cat err.txt)"
[ -s open-result.obj ] || fail "nothing written for an open operand"

expect_status 2 "$cli" boolean xor a.obj b.obj x.obj
expect_status 2 "$cli" boolean union a.obj b.obj
expect_status 1 "$cli" boolean union a.obj missing.obj x.obj

expect_status 0 "$cli" primitive sphere sphere.cr8
expect_status 0 "$cli" reduce sphere.cr8 reduced.cr8
expect_status 0 "$cli" info reduced.cr8 --json
grep -q '"closed": true' out.txt || fail "reduce: $(cat out.txt)"
grep -q '"faces": 3072,' out.txt && fail "reduce changed nothing: $(cat out.txt)"
expect_status 0 "$cli" subdivide a.obj fine.obj
expect_status 0 "$cli" info fine.obj --json
grep -q '"faces": 48, "closed": true, "volume": 8,' out.txt || fail "subdivide: $(cat out.txt)"

[ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all geometry command checks passed"
