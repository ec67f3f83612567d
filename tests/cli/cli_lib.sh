# Shared by the morvel-cli test scripts: `source` it with the program as $1.
# Runs in a scratch folder that is removed at exit; fail() counts failures
# and expect_status checks a command's exit status, keeping its output in
# out.txt and err.txt.
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
