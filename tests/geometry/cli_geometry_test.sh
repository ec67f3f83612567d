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

# Hostile operands. A far-away piece must not collapse a small one (the
# clean-up's snapping used to scale with the whole model).
box small.obj 0 0 0 0.5 0.5 0.5
box far.obj 10000000 0 0 10000600 600 600
expect_status 0 "$cli" boolean union small.obj far.obj far-union.stl
expect_status 0 "$cli" info far-union.stl --json
grep -q '"vertices": 8, "faces": 12, "closed": true, "volume": 0.125,' out.txt || fail "far union: $(cat out.txt)"
# A piece whose float corners all round to one point counts as empty.
box point.obj 1e15 0 0 1.00000000000001e15 1 1
expect_status 0 "$cli" boolean union a.obj point.obj point-union.stl
expect_status 0 "$cli" info point-union.stl --json
grep -q '"closed": true, "volume": 8,' out.txt || fail "union with a collapsed operand: $(cat out.txt)"
# A first operand whose root group is scaled by 0 (its frame has no inverse).
expect_status 0 "$cli" convert a.obj flat.cr8
python3 -c "import sys; d = bytearray(open(sys.argv[1], 'rb').read()); d[-13:-1] = bytes(12); open(sys.argv[1], 'wb').write(d)" flat.cr8
expect_status 0 "$cli" boolean union flat.cr8 b.obj flat-union.stl
expect_status 0 "$cli" info flat-union.stl --json
grep -q '"closed": true, "volume": 2,' out.txt || fail "union with a zero-scaled operand: $(cat out.txt)"
# Non-finite coordinates are refused by number, not crashed on.
printf 'v nan 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n' > nan.obj
expect_status 1 "$cli" boolean union a.obj nan.obj nan-union.stl
grep -q "nan.obj: Line 1: vertex 1 has a coordinate that is not a finite number" err.txt || fail "NaN: $(cat err.txt)"
# Two overlapping closed objects in one operand are united first.
box left.obj 1 0 0 3 2 2
box right.obj 1.5 0.25 0.25 3.5 2.25 2.25
{ cat left.obj; awk '/^v/ {print; next} /^f/ {print "f", $2 + 8, $3 + 8, $4 + 8}' right.obj; } > pair.obj
# Volumes by inclusion-exclusion over the three boxes.
for case in "union 15.40625" "intersect 4" "subtract 4"; do
  set -- $case
  expect_status 0 "$cli" boolean "$1" a.obj pair.obj "pair-$1.stl"
  expect_status 0 "$cli" info "pair-$1.stl" --json
  grep -q '"closed": true, "volume": '"$2"',' out.txt || fail "overlapping objects, $1: $(cat out.txt)"
done

# One closed object whose surface crosses itself (a corner pushed through
# the opposite faces) is refused by name, and nothing is written.
box dented.obj 0 0 0 1 1 1
sed -i '8s/.*/v -0.5 -0.5 -0.5/' dented.obj
expect_status 1 "$cli" boolean union a.obj dented.obj dented-union.stl
grep -q "dented.obj: the operand intersects itself" err.txt || fail "self-crossing operand: $(cat err.txt)"
[ -e dented-union.stl ] && fail "a result was written for a self-crossing operand"

# Nothing on standard error unless something went wrong.
for command in "reduce sphere.cr8 quiet-reduced.cr8" "subdivide a.obj quiet-fine.obj" "convert a.obj quiet.stl"; do
  expect_status 0 "$cli" $command
  [ -s err.txt ] && fail "$command wrote to standard error: $(cat err.txt)"
done

[ "$failures" = 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "all geometry command checks passed"
