#!/usr/bin/env bash
# Runs every test of a configured and built tree. Extra steps (short fuzz
# runs and the like) live in scripts/test.d/*.sh and get the build folder;
# they run first so that the test summary closes the output.
set -euo pipefail
build=${1:-build}
if [ -d scripts/test.d ]; then
  for step in scripts/test.d/*.sh; do
    [ -e "$step" ] || continue
    echo "== $step"
    bash "$step" "$build"
  done
fi
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
