#!/usr/bin/env bash
# morvel-cli falcon-probe: a clean one-line failure without a device, and a
# full report from the simulated Falcon through the real driver code.
source "$(dirname "$0")/../cli/cli_lib.sh" "$1"

# The build machines have no Falcon on their USB bus.
"$cli" falcon-probe >out.txt 2>err.txt
[ $? = 1 ] || fail "no device must exit 1"
[ "$(wc -l <err.txt)" = 1 ] && grep -q '^morvel-cli: no Falcon found' err.txt || fail "no device message: $(cat err.txt)"
[ -s out.txt ] && fail "nothing belongs on stdout without a device: $(cat out.txt)"

"$cli" falcon-probe --simulated --force --seconds 1 >out.txt 2>err.txt || fail "simulated probe exited $? ($(cat err.txt))"
grep -q '^Falcon 0: FALCON HAPTIC' out.txt || fail "device list: $(cat out.txt)"
grep -q 'homed=yes position_mm=' out.txt || fail "the simulated hand homes the grip: $(cat out.txt)"
grep -q 'buttons=0x4' out.txt || fail "the centre button shows: $(cat out.txt)"
# The hand circles 30 mm below the centre: the pull is up to 2 N towards it.
grep -Eq 'force_N=[-0-9.]+,[-0-9.]+,(1\.[0-9]*|2\.00)' out.txt || fail "the centring force pulls out: $(cat out.txt)"
grep -Eq '^ticks=[0-9]+ replies=[0-9]+ tick_rate_hz=[0-9.]+ reply_rate_hz=[0-9.]+ mean_period_us=[0-9.]+ jitter_sd_us=[0-9.]+ p99_abs_dev_us=[0-9.]+ max_period_us=[0-9.]+ realtime=(yes|no)$' out.txt \
  || fail "summary line: $(cat out.txt)"
grep -q 'resends=0 dropped_bytes=0' out.txt || fail "a clean link needs no resends: $(cat out.txt)"

for args in "--seconds 0" "--seconds x" "--seconds" "--speed 3" "extra"; do
  "$cli" falcon-probe $args >out.txt 2>err.txt
  [ $? = 2 ] || fail "'$args' must be a usage error"
done

[ "$failures" = 0 ] || exit 1
echo "falcon-probe cli: all checks passed"
