#!/usr/bin/env bash
# The haptic device, renderer and manager tests again under ThreadSanitizer: the
# haptic thread and the main thread share shapes, proxy and contacts, and a
# data race there is a fault even when the ordinary run passes.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/build-tsan"
if [ ! -f "$out/build.ninja" ]; then
  cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEL_TSAN=ON >/dev/null
fi
cmake --build "$out" -j2 --target test_haptics_device test_haptics_renderer test_haptics_manager
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
for suite in test_haptics_device test_haptics_renderer test_haptics_manager; do
  echo "running $suite under ThreadSanitizer"
  "$out/tests/$suite" --gtest_brief=1 > "$out/$suite.log" 2>&1 || { tail -60 "$out/$suite.log"; exit 1; }
done
