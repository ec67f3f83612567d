#!/usr/bin/env bash
# Runs every benchmark binary in <build>/bench and prints its figures.
set -euo pipefail
build=${1:-build-bench}
for b in "$build"/bench/*; do
  [ -x "$b" ] && [ -f "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
