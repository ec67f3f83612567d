#!/usr/bin/env bash
# morvel-cli render: exit codes, messages and the pictures it writes. The
# drawing itself is checked only when an X display answers (make test
# provides Xvfb); the refusal without one is checked always.
source "$(dirname "$0")/cli_lib.sh" "$1"
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

  # A link as the output: its target gets the picture, the link stays.
  mkdir -p pictures
  ln -s pictures/target.png link.png
  expect_status 0 "$cli" render cube.cr8 link.png --size 8x8
  [ -L link.png ] && [ "$(png_size pictures/target.png)" = "8 8" ] || fail "render through a link"
  # Folders are refused with the real reason; no temporary is left.
  mkdir folder.png
  expect_status 1 "$cli" render cube.cr8 folder.png
  grep -q "it is a folder" err.txt || fail "render onto a folder: $(cat err.txt)"
  ls -a | grep -q '^\.mv-' && fail "a temporary file was left: $(ls -a)"
  # Coordinates the engine cannot take are refused, not an abort.
  printf 'v 0 0 0\nv 1e20 0 0\nv 0 1e20 0\nv 0 0 1e20\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n' > huge.obj
  expect_status 1 "$cli" render huge.obj huge.png --size 8x8
  grep -q "reaches a coordinate of 1e+20" err.txt || fail "huge coordinates: $(cat err.txt)"
else
  echo "no X display: drawing not checked"
fi

[ "$failures" = 0 ] && echo "render: all checks passed"
exit $((failures > 0))
