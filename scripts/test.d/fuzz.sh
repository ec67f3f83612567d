#!/usr/bin/env bash
# Builds the fuzz targets (file readers, Boolean, mesh passes) with clang in their own folder and runs
# each briefly from the seed corpus in fuzz/corpus. A crash, a sanitizer
# report or an allocation beyond the limit fails the step.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/build-fuzz"
seconds=${MORVEL_FUZZ_SECONDS:-10}
if [ ! -f "$out/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVEL_FUZZ=ON -DMORVEL_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null
fi
cmake --build "$out" -j2 --target fuzz_cr8 fuzz_stl fuzz_obj fuzz_boolean fuzz_passes
for format in cr8 stl obj boolean passes; do
  work="$out/corpus/$format"
  mkdir -p "$work"
  echo "fuzzing $format for ${seconds}s"
  "$out/fuzz/fuzz_$format" -max_total_time="$seconds" -malloc_limit_mb=256 -rss_limit_mb=1024 \
    -print_final_stats=0 -artifact_prefix="$out/" "$work" "$root/fuzz/corpus/$format" 2>"$out/fuzz_$format.log" \
    || { tail -40 "$out/fuzz_$format.log"; exit 1; }
done
