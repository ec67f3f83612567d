#!/usr/bin/env bash
# morvel-cli render: exit codes, messages and the pictures it writes. The
# drawing itself is checked only when an X display answers (make test
# provides Xvfb); the refusal without one is checked always.
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
png_size() {  # prints "W H" from the PNG header
  od -An -tu1 -j16 -N8 "$1" | awk '{print $3*256+$4, $7*256+$8}'
}

"$cli" primitive cube cube.cr8 || fail "primitive cube"
"$cli" primitive sphere ball.stl || fail "primitive sphere"

DISPLAY= expect_status 1 "$cli" render cube.cr8 none.png
grep -q "X display" err.txt || fail "no display message: $(cat err.txt)"
[ -e none.png ] && fail "a picture without a display"

expect_status 2 "$cli" render cube.cr8 bad.png --size 0x10
expect_status 2 "$cli" render cube.cr8 bad.png --size wide
expect_status 2 "$cli" render cube.cr8 bad.bmp
expect_status 2 "$cli" render cube.cr8
[ -e bad.png ] && fail "a picture after bad arguments"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  expect_status 1 "$cli" render missing.cr8 missing.png
  grep -q "missing.cr8" err.txt || fail "missing input not named: $(cat err.txt)"

  expect_status 0 "$cli" render cube.cr8 cube.png
  [ "$(png_size cube.png)" = "256 256" ] || fail "default size: $(png_size cube.png)"
  expect_status 0 "$cli" render ball.stl ball.png --size 96x64
  [ "$(png_size ball.png)" = "96 64" ] || fail "--size 96x64: $(png_size ball.png)"
  echo old > kept.png
  expect_status 1 "$cli" render missing.cr8 kept.png
  [ "$(cat kept.png)" = "old" ] || fail "a failed render replaced the old picture"
else
  echo "no X display: drawing not checked"
fi

[ "$failures" = 0 ] && echo "render: all checks passed"
exit $((failures > 0))
