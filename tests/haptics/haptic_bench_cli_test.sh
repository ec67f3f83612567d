#!/usr/bin/env bash
# morvel-cli haptic-bench: the summary line, its options and its errors.
source "$(dirname "$0")/../cli/cli_lib.sh" "$1"

"$cli" primitive sphere sphere.stl || fail "primitive sphere"
"$cli" haptic-bench sphere.stl --ticks 2000 >out.txt 2>err.txt || fail "bench exited $? ($(cat err.txt))"
grep -Eq '^ticks=2000 contact_ticks=[0-9]+ median_us=[0-9.]+ p99_us=[0-9.]+ max_us=[0-9.]+ max_penetration=[-0-9.e+]+$' out.txt \
  || fail "summary line: $(cat out.txt)"
contact=$(sed -E 's/.*contact_ticks=([0-9]+).*/\1/' out.txt)
[ "${contact:-0}" -gt 500 ] || fail "the default path should touch the sphere: $(cat out.txt)"

# A path straight down onto the top of the sphere and held there.
printf '# t x y z buttons\n0 0 0 6 0\n0.3 0 0 1 0\n0.4 0 0 1 0\n' >down.traj
"$cli" haptic-bench sphere.stl --trajectory down.traj --radius 0.5 >out.txt 2>err.txt || fail "trajectory run ($(cat err.txt))"
grep -q '^ticks=401 ' out.txt || fail "trajectory length: $(cat out.txt)"

printf '0 0 0 6 0\n0.1 0 nan 1 0\n' >bad.traj
"$cli" haptic-bench sphere.stl --trajectory bad.traj >out.txt 2>err.txt
[ $? = 1 ] || fail "bad trajectory must exit 1"
grep -q 'bad.traj' err.txt && grep -q 'line 2' err.txt || fail "bad trajectory message: $(cat err.txt)"

for args in "--ticks 0" "--ticks 1.5" "--radius -1" "--speed 3" "--ticks"; do
  "$cli" haptic-bench sphere.stl $args >out.txt 2>err.txt
  [ $? = 2 ] || fail "'$args' must be a usage error"
done
"$cli" haptic-bench missing.stl >out.txt 2>err.txt
[ $? = 1 ] || fail "missing file must exit 1"

[ "$failures" = 0 ] || exit 1
echo "haptic-bench cli: all checks passed"
