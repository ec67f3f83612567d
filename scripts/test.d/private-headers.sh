#!/usr/bin/env bash
# A library's detail/ headers are its own: the library reaches them as
# "detail/X.h" through its PRIVATE include folder, and so do its tests (the
# DETAIL_OF option of morvel_add_test). Reaching one as "<subsystem>/detail/X.h"
# through the shared src/ folder would go round that, so it fails here.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if grep -rnE '#include "[a-z]+/detail/' "$root/src" "$root/tests" "$root/bench" "$root/fuzz" \
     --include='*.h' --include='*.cpp'; then
  echo "private-headers: include a detail/ header only from its own library (as \"detail/X.h\")" >&2
  exit 1
fi
echo "private-headers: no detail/ header is reached from outside its library"
